// Test support: a bridge module wired to a browser view and a main window on the headless layer,
// as the main window wires them, with the browser already created and showing an app document
// (the view's archive holds "app/index.html").
#pragma once

#include "BrowserExternalModule.h"
#include "BrowserForm.h"
#include "ExeZip.h"
#include "IniFile.h"

#include "support/HeadlessFixture.h"
#include "support/ZipFixture.h"

#include <chrono>

namespace velmora::test {

class TBridgeTest : public THeadlessTest {
protected:
  TBridgeTest()
    : ViewArchive(MakeZip({{"app/index.html", "<h1>app</h1>", 0, 0}, {"app/frame.html", "<p>frame</p>", 0, 0}}, "")),
      Form(Platform.CreateForm(TFormKind::Main)), View(*Form), Browser(*Platform.Browsers.back())
  {
    EXPECT_TRUE(ViewZip.Open({reinterpret_cast<const uint8_t*>(ViewArchive.data()), ViewArchive.size()}));
    View.SetExeZip(&ViewZip);
    View.SetAppDirName("app");
    Module.SetBrowserForm(&View);
    Module.SetMainForm(Form.get());
    Module.SetProjectINI(&Ini);
    Browser.OnWebMessageReceived = [this](TCustomEdgeBrowser& s, const TWebMessageReceivedEventArgs& a) {
      Module.EdgeBrowserWebMessageReceived(s, a);
    };
    Browser.CompleteCreation(kSOk);
    Browser.CommitDocument("file:///index.html");
  }

  // Runs what work beside the UI thread posts back, until no call waits for its reply.
  void AwaitReplies()
  {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (Module.PendingReplies() > 0 && std::chrono::steady_clock::now() < deadline)
      Platform.RunPosted(50);
  }

  // Sends one call with uuid "u" as the page would, waits for work beside the UI thread, and
  // returns each reply's part after the uuid ("true, "result": ...}").
  std::vector<std::string> Call(int Id, const std::string& Data)
  {
    Browser.PostedMessages.clear();
    Browser.ReceiveMessage("{\"id\":" + std::to_string(Id) + ",\"uuid\":\"u\",\"data\":" + Data + "}");
    AwaitReplies();
    std::vector<std::string> replies;
    for (const std::string& reply : Browser.PostedMessages)
      replies.push_back(reply.substr(std::string("{\"uuid\": \"u\", \"success\": ").size()));
    return replies;
  }
  // The one reply of a call; "" when there was none.
  std::string One(int Id, const std::string& Data)
  {
    const auto replies = Call(Id, Data);
    return replies.size() == 1 ? replies[0] : replies.empty() ? "" : "<" + std::to_string(replies.size()) + " replies>";
  }

  std::string ViewArchive;
  TExeZip ViewZip;
  std::unique_ptr<TNativeForm> Form;
  TBrowserForm View;
  THeadlessEdgeBrowser& Browser;
  TMemIniFile Ini;
  TBrowserExternalModule Module;
};

} // namespace velmora::test
