// The message dialog of the Win32 native layer.
#pragma once

#include "NativeLayer.h"

#include <string>

namespace velmora {

// Shows the dialog modally, titled Title, owned by the window active at that moment, and returns
// the modal result of the pressed button; Escape in a dialog with a Cancel button, the close box
// and Alt+F4 give mrCancel.
TModalResult Win32ShowMessageDialog(const TMessageDialogSpec& Dialog, const std::string& Title);

} // namespace velmora
