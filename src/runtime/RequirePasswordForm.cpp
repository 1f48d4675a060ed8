// The access password prompt.
#include "RequirePasswordForm.h"

namespace velmora {

TRequirePasswordForm::TRequirePasswordForm() : FForm(Native().CreateForm(TFormKind::Dialog))
{
  FForm->SetCaption("[App Name]");
  FForm->SetBorderStyle(TBorderStyle::bsDialog);
  FForm->SetPosition(TPosition::poScreenCenter);
  FForm->SetBounds(0, 0, 308, 71);
  FPasswordEdit = Native().CreatePasswordEdit(*FForm, 24, 24, 257, 21);
  FPasswordEdit->OnKeyUp = [this] { PasswordEditKeyUp(); };
  FormCreate();
}

TRequirePasswordForm::~TRequirePasswordForm()
{
  FPasswordEdit.reset();
  FForm.reset();
}

void TRequirePasswordForm::FormCreate() { FPassword.clear(); }

TModalResult TRequirePasswordForm::ShowModal()
{
  FPasswordEdit->SetFocus();
  return FForm->ShowModal();
}

void TRequirePasswordForm::PasswordEditKeyUp()
{
  // No message, no count of attempts, no delay: a match simply lets the app open.
  if (FPasswordEdit->Text() == FPassword)
    FForm->SetModalResult(mrOk);
}

} // namespace velmora
