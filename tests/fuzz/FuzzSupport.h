// Fuzz support: one bridge module, browser view and main window on the headless layer, made once
// for the whole run, showing an app document from a small archive, as in the runtime.
#pragma once

#include "BrowserExternalModule.h"
#include "BrowserForm.h"
#include "ExeZip.h"
#include "HeadlessPlatform.h"
#include "IniFile.h"

#include "support/ZipFixture.h"

#include <memory>
#include <string>

namespace velmora::fuzz {

class TBridgeWorld {
public:
  static TBridgeWorld& Get()
  {
    static TBridgeWorld* world = new TBridgeWorld(); // lives for the whole run
    return *world;
  }

  THeadlessPlatform Platform;
  std::string Archive;
  TExeZip Zip;
  std::unique_ptr<TNativeForm> Form;
  std::unique_ptr<TBrowserForm> View;
  THeadlessEdgeBrowser* Browser = nullptr;
  TMemIniFile Ini;
  std::unique_ptr<TBrowserExternalModule> Module;

  // Runs what the bridge's workers post back, so replies settle within the input that caused them.
  void Settle()
  {
    for (int i = 0; i < 200 && Module->PendingReplies() > 0; ++i)
      Platform.RunPosted(10);
    // Nothing the inputs leave behind may pile up over a long run.
    Browser->PostedMessages.clear();
    Browser->ExecutedScripts.clear();
    Browser->Navigations.clear();
    Platform.Messages.clear();
    Platform.Dialogs.clear();
    Platform.AppliedThemes.clear();
  }

private:
  TBridgeWorld()
  {
    SetNativePlatform(&Platform);
    // A few app files, one of them an image the headless decoder reads.
    Archive = test::MakeZip({{"app/index.html", "<h1>app</h1>", 0, 0},
                             {"app/img/icon.png", "IMG:16x16", 0, 8},
                             {"app/data.json", "{\"a\":1}", 0, 8}},
                            "");
    Zip.Open({reinterpret_cast<const uint8_t*>(Archive.data()), Archive.size()});
    Form = Platform.CreateForm(TFormKind::Main);
    View = std::make_unique<TBrowserForm>(*Form);
    Browser = Platform.Browsers.back();
    View->SetExeZip(&Zip);
    View->SetAppDirName("app");
    View->SetHandleRequests(true);
    View->SetIsRuntime(true);
    View->SetSecondInstanceStarter([](const std::string&) {}); // never a real process
    Module = std::make_unique<TBrowserExternalModule>();
    Module->SetExeZip(&Zip);
    Module->SetBrowserForm(View.get());
    Module->SetMainForm(Form.get());
    Module->SetProjectINI(&Ini);
    Ini.SetText("[App]\nDirName=app\n");
    Browser->OnWebMessageReceived = [this](TCustomEdgeBrowser& s, const TWebMessageReceivedEventArgs& a) {
      Module->EdgeBrowserWebMessageReceived(s, a);
    };
    Browser->CompleteCreation(kSOk);
    Browser->CommitDocument("file:///index.html");
  }
};

} // namespace velmora::fuzz
