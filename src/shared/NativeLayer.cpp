// The process's installed native layer.
#include "NativeLayer.h"

#include <algorithm>
#include <stdexcept>

namespace velmora {

namespace {
TNativePlatform* GPlatform = nullptr;
} // namespace

TNativePlatform& Native()
{
  if (GPlatform == nullptr)
    throw std::logic_error("no native layer installed");
  return *GPlatform;
}

void SetNativePlatform(TNativePlatform* Platform) { GPlatform = Platform; }

std::span<const TMsgDlgButtonKind> MessageDialogButtonKinds()
{
  // clang-format off
  static constexpr TMsgDlgButtonKind kKinds[] = {
    {TMsgDlgBtn::mbYes, mrYes, "&Yes"},          {TMsgDlgBtn::mbNo, mrNo, "&No"},
    {TMsgDlgBtn::mbOK, mrOk, "&OK"},             {TMsgDlgBtn::mbCancel, mrCancel, "&Cancel"},
    {TMsgDlgBtn::mbAbort, 3, "&Abort"},          {TMsgDlgBtn::mbRetry, 4, "&Retry"},
    {TMsgDlgBtn::mbIgnore, 5, "&Ignore"},        {TMsgDlgBtn::mbAll, 12, "&All"},
    {TMsgDlgBtn::mbNoToAll, 13, "N&o to All"},   {TMsgDlgBtn::mbYesToAll, 14, "Yes to &All"},
    {TMsgDlgBtn::mbHelp, 9, "&Help"},            {TMsgDlgBtn::mbClose, 8, "&Close"},
  };
  // clang-format on
  return kKinds;
}

std::optional<TMsgDlgBtn> MessageDialogDefaultButton(const TMessageDialogSpec& Dialog)
{
  for (const TMsgDlgBtn kind : {TMsgDlgBtn::mbOK, TMsgDlgBtn::mbYes})
    if (std::find(Dialog.Buttons.begin(), Dialog.Buttons.end(), kind) != Dialog.Buttons.end())
      return kind;
  return std::nullopt;
}

} // namespace velmora
