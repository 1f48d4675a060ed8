// The start-up message table: language pick, exact texts, index range.
#include "LocalizedMessages.h"

#include "support/ScopedEnv.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace velmora {
namespace {

TEST(GetLocalizedMessage, GermanUserSeesTheGermanInstallQuestion)
{
  EXPECT_EQ(GetLocalizedMessageFor(msgAskInstallRuntime, "de"),
            "Die Microsoft WebView2-Laufzeit ist erforderlich, um diese Anwendung auszuführen. Möchten Sie es jetzt "
            "installieren?");
  EXPECT_EQ(GetLocalizedMessageFor(msgConfirmTitle, "de"), "Bestätigen");
  EXPECT_EQ(GetLocalizedMessageFor(msgAcceptButton, "de"), "Akzeptieren");
  EXPECT_EQ(GetLocalizedMessageFor(msgCancelButton, "de"), "Stornieren");
  EXPECT_EQ(GetLocalizedMessageFor(msgErrorTitle, "de"), "Error");
}

TEST(GetLocalizedMessage, OnlyTheFiveTranslatedLanguagesLeaveEnglish)
{
  const std::pair<const char*, const char*> cases[] = {
    {"es", "Esta no es una aplicación de Windows válida."},
    {"it", "Questa non è un'applicazione Windows valida."},
    {"de", "Dies ist keine gültige Windows-Anwendung."},
    {"fr", "Ce n'est pas une application Windows valide."},
    {"zh", "这不是有效的Windows应用程序。"},
    {"en", "This is not a valid Windows application."},
    {"pt", "This is not a valid Windows application."},
    {"ja", "This is not a valid Windows application."},
    {"DE", "This is not a valid Windows application."},
    {"", "This is not a valid Windows application."},
  };
  for (const auto& [code, text] : cases) {
    SCOPED_TRACE(code);
    EXPECT_EQ(GetLocalizedMessageFor(msgNoArchive, code), text);
  }
  EXPECT_EQ(GetLocalizedMessageFor(msgInstallFailed, "en"),
            "You cancel the installation of Microsoft WebView2 runtime, This application cannot continue and will be "
            "closed now.");
}

TEST(GetLocalizedMessage, IndexZeroIsTheRowsLanguageAndTenIsOutOfRange)
{
  for (const char* code : {"es", "it", "de", "fr", "zh"})
    EXPECT_EQ(GetLocalizedMessageFor(msgLanguageCode, code), code);
  EXPECT_EQ(GetLocalizedMessageFor(msgLanguageCode, "pt"), "en");
  for (int index : {10, 11, -1}) {
    try {
      GetLocalizedMessage(index);
      ADD_FAILURE() << "index " << index << " was accepted";
    } catch (const std::out_of_range& error) {
      EXPECT_STREQ(error.what(), "MessageIndex is out of range!");
    }
  }
}

#ifndef _WIN32
TEST(GetUserLanguageCode, FirstSetLocaleVariableGivesTheLanguage)
{
  struct TCase {
    const char* LcAll;
    const char* LcMessages;
    const char* Lang;
    const char* Expected;
  };
  const TCase cases[] = {
    {nullptr, nullptr, "de_DE.UTF-8", "de"},
    {nullptr, "it_IT.UTF-8", "de_DE.UTF-8", "it"},
    {"fr_CA", "it_IT.UTF-8", "de_DE", "fr"},
    {"", "", "zh_TW.UTF-8@radical", "zh"},
    {nullptr, nullptr, "C", "C"},
    {nullptr, nullptr, nullptr, ""},
  };
  const test::TScopedEnv lcAll("LC_ALL", std::nullopt);
  const test::TScopedEnv lcMessages("LC_MESSAGES", std::nullopt);
  const test::TScopedEnv lang("LANG", std::nullopt);
  const auto text = [](const char* value) { return value ? std::optional<std::string>(value) : std::nullopt; };
  for (const TCase& c : cases) {
    lcAll.Set(text(c.LcAll));
    lcMessages.Set(text(c.LcMessages));
    lang.Set(text(c.Lang));
    EXPECT_EQ(GetUserLanguageCode(), c.Expected);
  }
  lcAll.Set("es_MX.UTF-8");
  EXPECT_EQ(GetLocalizedMessage(msgCancelButton), "Cancelar");
}
#endif

} // namespace
} // namespace velmora
