// TRequirePasswordForm: the access password prompt shown before the app opens.
#pragma once

#include "NativeLayer.h"

#include <memory>
#include <string>

namespace velmora {

// A small dialog with one masked edit and no buttons. It closes with mrOk the moment a key
// release finds the exact password in the edit; closing it any other way gives mrCancel.
// Escape and Enter have no meaning of their own.
class TRequirePasswordForm {
public:
  TRequirePasswordForm();
  ~TRequirePasswordForm();
  TRequirePasswordForm(const TRequirePasswordForm&) = delete;
  TRequirePasswordForm& operator=(const TRequirePasswordForm&) = delete;

  const std::string& Password() const { return FPassword; }
  void SetPassword(const std::string& Value) { FPassword = Value; }
  void SetCaption(const std::string& Caption) { FForm->SetCaption(Caption); }
  TModalResult ShowModal();

  TNativeForm& Form() const { return *FForm; }
  TNativePasswordEdit& PasswordEdit() const { return *FPasswordEdit; }

private:
  void FormCreate();
  void PasswordEditKeyUp();

  std::string FPassword;
  std::unique_ptr<TNativeForm> FForm;
  std::unique_ptr<TNativePasswordEdit> FPasswordEdit;
};

} // namespace velmora
