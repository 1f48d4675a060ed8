// TGtkForm: a GTK 3 top-level window implementing TNativeForm; the other GTK parts of the
// native layer place their widgets in its areas.
#pragma once

#include "NativeLayer.h"

#include <gtk/gtk.h>

namespace velmora {

class TGtkForm : public TNativeForm {
public:
  // The window and its areas, top to bottom: menu bar slot, client area (the browser control
  // fills it), bottom area (the progress bar). Dialog forms place children at fixed positions
  // in Fixed() instead.
  virtual GtkWindow* Window() const = 0;
  virtual GtkBox* MenuArea() const = 0;
  virtual GtkBox* ClientArea() const = 0;
  virtual GtkBox* BottomArea() const = 0;
  virtual GtkFixed* Fixed() const = 0;
};

} // namespace velmora
