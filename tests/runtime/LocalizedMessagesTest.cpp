// The start-up message table: language pick, exact texts, index range.
#include "LocalizedMessages.h"

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
  const auto set = [](const char* name, const char* value) {
    if (value == nullptr)
      unsetenv(name);
    else
      setenv(name, value, 1);
  };
  for (const TCase& c : cases) {
    set("LC_ALL", c.LcAll);
    set("LC_MESSAGES", c.LcMessages);
    set("LANG", c.Lang);
    EXPECT_EQ(GetUserLanguageCode(), c.Expected);
  }
  setenv("LC_ALL", "es_MX.UTF-8", 1);
  EXPECT_EQ(GetLocalizedMessage(msgCancelButton), "Cancelar");
  unsetenv("LC_ALL");
  unsetenv("LC_MESSAGES");
  unsetenv("LANG");
}
#endif

} // namespace
} // namespace velmora
