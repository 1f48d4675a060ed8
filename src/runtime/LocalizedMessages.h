// The start-up message table in six languages and the pick of the user's language.
#pragma once

#include "NativeLayer.h"

#include <array>
#include <string>
#include <string_view>
#include <vector>

namespace velmora {

// Indexes into a row of the table; entry 0 of every row is the row's language code.
enum TMessageIndex : int {
  msgLanguageCode = 0,
  msgErrorTitle = 1,
  msgConfirmTitle = 2,
  msgAcceptButton = 3,
  msgCancelButton = 4,
  msgNoArchive = 5,
  msgRuntimeMissing = 6,
  msgAskInstallRuntime = 7,
  msgInstallDeclined = 8,
  msgInstallFailed = 9,
};

using TMessageRow = std::array<std::string_view, 10>;

extern const TMessageRow DefaultMessages;
// Spanish, Italian, German, French, Chinese, in this order.
extern const std::array<TMessageRow, 5> TranslatedMessages;

// The two-letter ISO 639 code of the user's language: GetLocaleInfoW on Windows; on Linux
// the first of LC_ALL, LC_MESSAGES and LANG that is set ("de_DE.UTF-8" gives "de").
std::string GetUserLanguageCode();

// Entry MessageIndex of the row for the user's language (English for any unlisted language).
// An index of 10 or more throws std::out_of_range("MessageIndex is out of range!").
std::string GetLocalizedMessage(int MessageIndex);

// The same pick for a given language code; the code is compared exactly.
std::string GetLocalizedMessageFor(int MessageIndex, std::string_view LanguageCode);

// Shows Msg in the standard message dialog with its own title and button captions (the i-th
// button created gets ButtonCaptions[i]) and returns the modal result: Yes 6, Cancel 2, and 2
// when the dialog is closed or Escape is pressed in a dialog with a Cancel button.
int CustomMessageDlg(const std::string& Msg, TMsgDlgType DlgType, const std::vector<TMsgDlgBtn>& Buttons,
                     const std::vector<std::string>& ButtonCaptions, const std::string& Caption);

// The language part of a POSIX locale name: "de_DE.UTF-8" and "de@euro" give "de".
std::string LanguageFromLocaleName(std::string_view LocaleName);

} // namespace velmora
