// Test support: a bridge module wired to a browser view and a main window on the headless layer,
// as the main window wires them, with the browser already created.
#pragma once

#include "BrowserExternalModule.h"
#include "BrowserForm.h"
#include "IniFile.h"

#include "support/HeadlessFixture.h"

namespace velmora::test {

class TBridgeTest : public THeadlessTest {
protected:
  TBridgeTest() : Form(Platform.CreateForm(TFormKind::Main)), View(*Form), Browser(*Platform.Browsers.back())
  {
    Module.SetBrowserForm(&View);
    Module.SetMainForm(Form.get());
    Module.SetProjectINI(&Ini);
    Browser.OnWebMessageReceived = [this](TCustomEdgeBrowser& s, const TWebMessageReceivedEventArgs& a) {
      Module.EdgeBrowserWebMessageReceived(s, a);
    };
    Browser.CompleteCreation(kSOk);
  }

  // Sends one call with uuid "u" as the page would, and returns each reply's part after the
  // uuid ("true, "result": ...}").
  std::vector<std::string> Call(int Id, const std::string& Data)
  {
    Browser.PostedMessages.clear();
    Browser.ReceiveMessage("{\"id\":" + std::to_string(Id) + ",\"uuid\":\"u\",\"data\":" + Data + "}");
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

  std::unique_ptr<TNativeForm> Form;
  TBrowserForm View;
  THeadlessEdgeBrowser& Browser;
  TMemIniFile Ini;
  TBrowserExternalModule Module;
};

} // namespace velmora::test
