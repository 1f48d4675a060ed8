// The standard message dialog of the GTK native layer.
#pragma once

#include "NativeLayer.h"

#include <string>

namespace velmora {

// Shows Dialog's dialog modally under Title and returns the pressed button's modal result, or
// mrCancel when the dialog is closed (or Escape is pressed while it has a Cancel button).
TModalResult GtkShowMessageDialog(const TMessageDialogSpec& Dialog, const std::string& Title);

} // namespace velmora
