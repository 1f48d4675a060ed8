// The bridge dispatcher and the app and window commands, against a recording browser control.
#include "BrowserExternalModule.h"
#include "BrowserForm.h"
#include "ExeZip.h"
#include "IniFile.h"

#include "support/BridgeFixture.h"

#include <set>

namespace velmora {
namespace {

class BridgeTest : public test::TBridgeTest {
protected:
  BridgeTest() { Module.SetExeZip(&Zip); }

  // Posts a message as the page would and returns the replies it caused.
  std::vector<std::string> Send(const std::string& Json, std::optional<std::string> String = std::nullopt)
  {
    Browser.PostedMessages.clear();
    Browser.ReceiveMessage(Json, std::move(String));
    return Browser.PostedMessages;
  }
  std::string Reply(const std::string& Json)
  {
    const auto replies = Send(Json);
    return replies.size() == 1 ? replies[0] : "<" + std::to_string(replies.size()) + " replies>";
  }

  TExeZip Zip; // assigned but empty: the module runs "in the runtime"
};

TEST_F(BridgeTest, RepliesWithTheExactEnvelope)
{
  const std::pair<const char*, const char*> cases[] = {
    {R"({"id":10001,"uuid":"u1","data":{}})", R"({"uuid": "u1", "success": true, "result": "2021.43"})"},
    {R"({"id":"10002","uuid":"u2","data":{}})", R"({"uuid": "u2", "success": true, "result": true})"},
    {R"({"id":10001,"uuid":"a\"b\\c/d","data":{},"extra":[1]})",
     R"({"uuid": "a\"b\\c\/d", "success": true, "result": "2021.43"})"},
    {R"({"id":10001,"uuid":12.50,"data":{}})", R"({"uuid": "12.50", "success": true, "result": "2021.43"})"},
    {R"({"id":10001,"uuid":null,"data":{}})", R"({"uuid": "", "success": true, "result": "2021.43"})"},
    {R"({"id":10001,"uuid":"é€","data":{}})", R"({"uuid": "é\u20AC", "success": true, "result": "2021.43"})"},
  };
  for (const auto& [message, reply] : cases) {
    SCOPED_TRACE(message);
    EXPECT_EQ(Reply(message), reply);
  }
}

TEST_F(BridgeTest, MalformedMessagesGetNoReplyAndTheBridgeGoesOn)
{
  const char* dropped[] = {
    R"({"id":10001,"uuid":"u"})",                 // no data
    R"({"id":10001,"uuid":"u","data":null})",     // data null
    R"({"id":10001,"uuid":"u","data":[]})",       // data not an object
    R"({"id":10001,"uuid":"u","data":"x"})",
    R"({"uuid":"u","data":{}})",                  // no id
    R"({"id":10001,"data":{}})",                  // no uuid
    R"({"id":{},"uuid":"u","data":{}})",          // id an object
    R"({"id":10001,"uuid":["u"],"data":{}})",     // uuid an array
    R"({"id":99999,"uuid":"u","data":{}})",       // not in the table
    R"({"id":0,"uuid":"u","data":{}})",
    R"({"id":-1,"uuid":"u","data":{}})",
    R"({"id":10001.5,"uuid":"u","data":{}})",     // not an integer
    R"({"id":"ten","uuid":"u","data":{}})",
    R"({"id":null,"uuid":"u","data":{}})",
    R"(["id",10001])",                            // not an object
    R"("ryx-webbrowser-clicked")",                // a plain string
    R"({"id":10001,"uuid":"u","data":{})",        // not JSON
    R"({"id":50001,"uuid":"u","data":{}})",       // commands that never reply
    R"({"id":50003,"uuid":"u","data":{}})",
    R"({"id":50003,"uuid":"u","data":{}})",
    R"({"id":50004,"uuid":"u","data":{}})",
    R"({"id":60006,"uuid":"u","data":{"title":{"a":1}}})", // ill-typed text argument
    R"({"id":60002,"uuid":"u","data":{"style":[1]}})",
  };
  for (const char* message : dropped) {
    SCOPED_TRACE(message);
    EXPECT_TRUE(Send(message, std::string(message)).empty());
  }
  EXPECT_EQ(Browser.FocusCount, 0) << "in the runtime a plain string does not move the focus";
  EXPECT_TRUE(Platform.Messages.empty());
  EXPECT_EQ(Reply(R"({"id":10001,"uuid":"after","data":{}})"),
            R"({"uuid": "after", "success": true, "result": "2021.43"})");
}

TEST_F(BridgeTest, MessagesFromDocumentsOutsideTheAppAreDropped)
{
  for (const char* source : {"https://example.com/", "http://localhost/x", "data:text/html,x", "about:blank", ""}) {
    SCOPED_TRACE(source);
    Browser.CurrentSource = source;
    EXPECT_TRUE(Send(R"({"id":10001,"uuid":"u","data":{}})").empty());
    Module.SetInFullscreen(false);
    Send(R"({"id":50003,"uuid":"u","data":{}})");
    EXPECT_FALSE(Module.InFullscreen()) << "a foreign page must not act through the bridge";
  }
  Browser.CurrentSource = "FILE:///pages/other.html";
  EXPECT_EQ(Send(R"({"id":10001,"uuid":"u","data":{}})").size(), 1U);
}

TEST_F(BridgeTest, RuntimeOnlyCommandsShowABoxWithoutArchive)
{
  Module.SetExeZip(nullptr);
  EXPECT_EQ(Reply(R"({"id":10002,"uuid":"u","data":{}})"), R"({"uuid": "u", "success": true, "result": false})");
  const std::pair<int, const char*> cases[] = {
    {50003, "Calls to ryx.app.enterFullscreen() works only at runtime."},
    {50004, "Calls to ryx.app.exitFullscreen() works only at runtime."},
    {30004, "Calls to ryx.app.extractFile() works only at runtime."},
    {80002, "Calls to ryx.themes.getThemes() works only at runtime."},
    {11001, "Calls to ryx.system.logoff() works only at runtime."},
  };
  for (const auto& [id, text] : cases) {
    Platform.Messages.clear();
    EXPECT_TRUE(Send(R"({"id":)" + std::to_string(id) + R"(,"uuid":"u","data":{}})").empty());
    EXPECT_EQ(Platform.Messages, std::vector<std::string>{text});
  }
  EXPECT_FALSE(Module.InFullscreen());
  // Without an archive the click report of a page outside the runtime moves the focus.
  EXPECT_TRUE(Send("\"ryx-webbrowser-clicked\"", "ryx-webbrowser-clicked").empty());
  EXPECT_EQ(Browser.FocusCount, 1);
}

TEST_F(BridgeTest, WindowCommandsChangeTheMainWindow)
{
  Form->SetCaption("Start");
  struct TStep {
    const char* Message;
    const char* Result; // nullptr: no reply
  };
  const TStep steps[] = {
    {R"({"id":60001,"uuid":"u","data":{}})", R"("normal")"},
    {R"({"id":60002,"uuid":"u","data":{"style":"ontop"}})", "true"},
    {R"({"id":60001,"uuid":"u","data":{}})", R"("ontop")"},
    {R"({"id":60002,"uuid":"u","data":{"style":"OnTop"}})", "true"},
    {R"({"id":60001,"uuid":"u","data":{}})", R"("normal")"},
    {R"({"id":60004,"uuid":"u","data":{"state":"maximized"}})", "true"},
    {R"({"id":60003,"uuid":"u","data":{}})", R"("maximized")"},
    {R"({"id":60004,"uuid":"u","data":{"state":"Minimized"}})", "true"},
    {R"({"id":60003,"uuid":"u","data":{}})", R"("maximized")"},
    {R"({"id":60004,"uuid":"u","data":{"state":"minimized"}})", "true"},
    {R"({"id":60003,"uuid":"u","data":{}})", R"("minimized")"},
    {R"({"id":60004,"uuid":"u","data":{}})", "true"},
    {R"({"id":60003,"uuid":"u","data":{}})", R"("normal")"},
    {R"({"id":60006,"uuid":"u","data":{"title":"Say \"hi\" \\ 5/2"}})", "true"},
    {R"({"id":60005,"uuid":"u","data":{}})", R"("Say \"hi\" \\ 5\/2")"},
    {R"({"id":60006,"uuid":"u","data":{"title":42}})", "true"},
    {R"({"id":60005,"uuid":"u","data":{}})", R"("42")"},
    {R"({"id":60006,"uuid":"u","data":{}})", "true"},
    {R"({"id":60005,"uuid":"u","data":{}})", R"("")"},
  };
  for (const TStep& step : steps) {
    SCOPED_TRACE(step.Message);
    EXPECT_EQ(Reply(step.Message), std::string(R"({"uuid": "u", "success": true, "result": )") + step.Result + "}");
  }
}

TEST_F(BridgeTest, FullScreenIsAPlainFlagRestoredToTheConfiguredBorder)
{
  Ini.SetText("[App]\nWindowBorder=3");
  Form->SetBorderStyle(TBorderStyle::bsSizeable);
  Form->SetWindowState(TWindowState::wsMaximized);
  const auto inFullscreen = [this] { return Reply(R"({"id":50002,"uuid":"u","data":{}})"); };
  EXPECT_EQ(inFullscreen(), R"({"uuid": "u", "success": true, "result": false})");
  Send(R"({"id":50003,"uuid":"u","data":{}})");
  Send(R"({"id":50003,"uuid":"u","data":{}})");
  EXPECT_EQ(Form->BorderStyle(), TBorderStyle::bsNone);
  EXPECT_EQ(Form->WindowState(), TWindowState::wsMaximized);
  // Changing the state does not leave full screen.
  Send(R"({"id":60004,"uuid":"u","data":{"state":"normal"}})");
  EXPECT_EQ(inFullscreen(), R"({"uuid": "u", "success": true, "result": true})");
  EXPECT_EQ(Form->BorderStyle(), TBorderStyle::bsNone);
  Send(R"({"id":50004,"uuid":"u","data":{}})");
  EXPECT_EQ(Form->BorderStyle(), TBorderStyle::bsDialog);
  EXPECT_EQ(Form->WindowState(), TWindowState::wsNormal);
  EXPECT_EQ(inFullscreen(), R"({"uuid": "u", "success": true, "result": false})");
  // A second exit does nothing; without the setting the border is sizeable.
  Form->SetBorderStyle(TBorderStyle::bsSingle);
  Send(R"({"id":50004,"uuid":"u","data":{}})");
  EXPECT_EQ(Form->BorderStyle(), TBorderStyle::bsSingle);
  Ini.SetText("");
  Send(R"({"id":50003,"uuid":"u","data":{}})");
  Send(R"({"id":50004,"uuid":"u","data":{}})");
  EXPECT_EQ(Form->BorderStyle(), TBorderStyle::bsSizeable);
}

TEST_F(BridgeTest, CloseRaisesTheCloseRequestWithoutReply)
{
  int requests = 0;
  Module.SetOnAppCloseRequest([&](TBrowserExternalModule& sender) {
    EXPECT_EQ(&sender, &Module);
    ++requests;
  });
  EXPECT_TRUE(Send(R"({"id":50001,"uuid":"u","data":{}})").empty());
  EXPECT_EQ(requests, 1);
}

TEST(BridgeCommandTable, IdsAreUniqueAndRuntimeOnlyTextsNameTheirCall)
{
  std::set<int> ids;
  for (const auto& command : TBrowserExternalModule::Commands()) {
    EXPECT_TRUE(ids.insert(command.Id).second) << command.Id;
    if (!command.RuntimeOnlyText.empty() && command.Id != 30004) {
      EXPECT_NE(command.RuntimeOnlyText.find("ryx." + std::string(command.ScriptName) + "()"), std::string::npos)
        << command.Id;
    }
  }
  EXPECT_EQ(ids.size(), 38U);
}

} // namespace
} // namespace velmora
