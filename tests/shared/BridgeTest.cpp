// The bridge dispatcher and the app and window commands, against a recording browser control.
#include "BrowserExternalModule.h"
#include "BrowserForm.h"
#include "ExeZip.h"
#include "IniFile.h"
#include "Limits.h"
#include "SysUtils.h"

#include "support/BridgeFixture.h"
#include "support/TestFiles.h"

#include <cstring>
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
  // clang-format off
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
    R"("ryx-webbrowser-clicked")",                // the click report, which only counts without archive
    R"({"id":10001,"uuid":"u","data":{})",        // not JSON
    R"({"id":50001,"uuid":"u","data":{}})",       // commands that never reply
    R"({"id":50003,"uuid":"u","data":{}})",
    R"({"id":50003,"uuid":"u","data":{}})",
    R"({"id":50004,"uuid":"u","data":{}})",
    R"({"id":60006,"uuid":"u","data":{"title":{"a":1}}})", // ill-typed text argument
    R"({"id":60002,"uuid":"u","data":{"style":[1]}})",
  };
  // clang-format on
  for (const char* message : dropped) {
    SCOPED_TRACE(message);
    // A message posted as a JSON string has that string as its string form.
    std::optional<std::string> asString;
    if (message[0] == '"')
      asString = std::string(message + 1, std::strlen(message) - 2);
    EXPECT_TRUE(Send(message, asString).empty());
  }
  // Nested past the limit, a million levels deep, or past the size limit: malformed, and no
  // recursion on the native stack while finding out.
  const auto nested = [](size_t depth) {
    return R"({"id":10001,"uuid":"u","data":{"x":)" + std::string(depth, '[') + std::string(depth, ']') + "}}";
  };
  EXPECT_EQ(Send(nested(kMaxJsonNesting - 2)).size(), 1U) << "deep but within the limit";
  for (const std::string& message :
       {nested(kMaxJsonNesting), nested(1000000),
        R"({"id":10001,"uuid":")" + std::string(kMaxBridgeMessageBytes, 'u') + R"(","data":{}})"}) {
    EXPECT_TRUE(Send(message).empty());
  }
  EXPECT_TRUE(Platform.FocusLog.empty()) << "in the runtime the click report does not move the focus";
  EXPECT_TRUE(Platform.Messages.empty());
  EXPECT_EQ(Reply(R"({"id":10001,"uuid":"after","data":{}})"),
            R"({"uuid": "after", "success": true, "result": "2021.43"})");
}

TEST_F(BridgeTest, BracketsAndQuotesInsideStringsAreText)
{
  // The nesting check skips strings, escaped quotes and backslash runs included; what it skips is
  // read back unescaped in the reply's uuid.
  const std::string brackets(kMaxJsonNesting * 2, '[');
  const std::pair<std::string, std::string> answered[] = {
    {brackets, brackets},
    {R"(q\")" + brackets + R"(\\)", "q\\\"" + brackets + "\\\\"},
    {R"(\u005b{\\\\)", R"([{\\\\)"},
  };
  for (const auto& [posted, echoed] : answered) {
    SCOPED_TRACE(posted.substr(0, 16));
    EXPECT_EQ(Reply(R"({"id":10001,"uuid":")" + posted + R"(","data":{}})"),
              R"({"uuid": ")" + echoed + R"(", "success": true, "result": "2021.43"})");
  }
  // A string that ends after a backslash run leaves real nesting to count; a raw NUL is not JSON.
  const std::string deep = std::string(kMaxJsonNesting, '[') + std::string(kMaxJsonNesting, ']');
  for (const std::string& message : {R"({"id":10001,"uuid":"b\\","data":{"x":)" + deep + "}}",
                                     std::string(R"({"id":10001,"uuid":"u","data":{}})") + '\0' + "x"}) {
    EXPECT_TRUE(Send(message).empty());
  }
}

TEST_F(BridgeTest, OnlyAppDocumentsMayUseTheBridge)
{
  // An app document is one the host serves from the archive or the program folder, judged by the
  // address the document was loaded from (a fragment aside). Anything else is dropped like a
  // malformed message: no reply, no action.
  test::TTempDir disk;
  test::WriteFile(disk.File("program/beside.html"), "<p>beside</p>");
  test::WriteFile(disk.File("elsewhere/planted.html"), "<p>planted</p>");
  View.SetAppDirPath(disk.File("program") + TSysUtils::PathDelimiter());
  const std::string planted = test::FileUriOf(disk.File("elsewhere/planted.html"));
  struct TCase {
    std::string Source;
    bool Answered;
  };
  const TCase cases[] = {
    {"file:///index.html", true},
    {"file:///Frame.html", true},                  // archive names ignore ASCII letter case
    {"file:///index.html#part", true},             // a fragment names the same document
    {"file:///beside.html", true},                 // beside the executable
    {planted, false},                              // served from elsewhere on disk
    {"file:///no-such-page.html", false},          // served by nobody
    {"file:///index.html?x=1", true},              // the query is the page's, not part of the name
    {"file:///%2E%2E/program/beside.html", false}, // an escaped ".." climbs out of no folder
    {"https://example.com/", false},
    {"http://127.0.0.1:8000/index.html", false},
    {"data:text/html,x", false},
    {"blob:file:///0f8e-11", false}, // made by a page, even an app page
    {"about:blank", false},
    {"about:srcdoc", false},
    {"", false},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Source);
    Module.SetInFullscreen(false);
    Browser.PostedMessages.clear();
    Browser.ReceiveMessage(R"({"id":10001,"uuid":"u","data":{}})", std::nullopt, c.Source);
    EXPECT_EQ(Browser.PostedMessages.size(), c.Answered ? 1U : 0U);
    Browser.ReceiveMessage(R"({"id":50003,"uuid":"u","data":{}})", std::nullopt, c.Source);
    EXPECT_EQ(Module.InFullscreen(), c.Answered) << "only an app document may act through the bridge";
  }
}

TEST_F(BridgeTest, RepliesReachOnlyTheDocumentThatSentTheCall)
{
  // A frame's call settles in that frame, not in the top-level document.
  const auto top = Browser.ReceiveMessage(R"({"id":10001,"uuid":"t","data":{}})");
  const auto frame = Browser.ReceiveMessage(R"({"id":10002,"uuid":"f","data":{}})", std::nullopt, "file:///frame.html");
  EXPECT_EQ(top->Received, std::vector<std::string>{R"({"uuid": "t", "success": true, "result": "2021.43"})"});
  EXPECT_EQ(frame->Received, std::vector<std::string>{R"({"uuid": "f", "success": true, "result": true})"});

  // A reply that comes once the view shows another document is dropped: the new document, app
  // page or not, never sees the replies to the calls of the one before.
  Browser.PostedMessages.clear();
  const auto slow = Browser.ReceiveMessage(R"({"id":70003,"uuid":"slow","data":{"command":"sleep 0.3; echo late"}})");
  Browser.CommitDocument("https://example.com/");
  AwaitReplies();
  EXPECT_EQ(Module.PendingReplies(), 0U);
  EXPECT_TRUE(slow->Received.empty());
  EXPECT_TRUE(Browser.PostedMessages.empty());
}

TEST_F(BridgeTest, RuntimeOnlyCommandsShowABoxWithoutArchive)
{
  Module.SetExeZip(nullptr);
  EXPECT_EQ(Reply(R"({"id":10002,"uuid":"u","data":{}})"), R"({"uuid": "u", "success": true, "result": false})");
  const std::pair<int, const char*> cases[] = {
    {50003, "Calls to ryx.app.enterFullscreen() works only at runtime."},
    {50004, "Calls to ryx.app.exitFullscreen() works only at runtime."},
    {30004, "Calls to ryx.app.extractFile() works only at runtime."},
    {80001, "Calls to ryx.themes.getTheme() works only at runtime."},
    {80002, "Calls to ryx.themes.getThemes() works only at runtime."},
    {80003, "Calls to ryx.themes.setTheme() works only at runtime."},
    {11001, "Calls to ryx.system.logoff() works only at runtime."},
    {11002, "Calls to ryx.system.reboot() works only at runtime."},
    {11003, "Calls to ryx.system.shutdown() works only at runtime."},
    {12001, "Calls to ryx.mainMenu.setItems() works only at runtime."},
    {12002, "Calls to ryx.mainMenu.updateItem() works only at runtime."},
  };
  for (const auto& [id, text] : cases) {
    Platform.Messages.clear();
    EXPECT_TRUE(Send(R"({"id":)" + std::to_string(id) + R"(,"uuid":"u","data":{}})").empty());
    EXPECT_EQ(Platform.Messages, std::vector<std::string>{text});
  }
  EXPECT_FALSE(Module.InFullscreen());
  // Without an archive the click report of a page outside the runtime moves the focus: to the
  // window first, then to the browser control.
  EXPECT_TRUE(Send("\"ryx-webbrowser-clicked\"", "ryx-webbrowser-clicked").empty());
  EXPECT_EQ(Platform.FocusLog, (std::vector<std::string>{"form", "browser"}));
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
    // Bounds: each key optional; what is not an integer, or a size below 1, stays.
    {R"({"id":60008,"uuid":"u","data":{"left":-20,"top":"30","width":640,"height":480}})", "true"},
    {R"({"id":60007,"uuid":"u","data":{}})",
     R"({"left": -20, "top": 30, "width": 640, "height": 480, "state": "normal"})"},
    {R"({"id":60008,"uuid":"u","data":{"width":"wide","height":0,"top":7}})", "true"},
    {R"({"id":60007,"uuid":"u","data":{}})",
     R"({"left": -20, "top": 7, "width": 640, "height": 480, "state": "normal"})"},
    {R"({"id":60004,"uuid":"u","data":{"state":"maximized"}})", "true"},
    {R"({"id":60007,"uuid":"u","data":{}})",
     R"({"left": -20, "top": 7, "width": 640, "height": 480, "state": "maximized"})"},
  };
  for (const TStep& step : steps) {
    SCOPED_TRACE(step.Message);
    EXPECT_EQ(Reply(step.Message), std::string(R"({"uuid": "u", "success": true, "result": )") + step.Result + "}");
  }
}

TEST_F(BridgeTest, GetArgsAnswersTheCommandLineAsAJsonArray)
{
  EXPECT_EQ(Reply(R"({"id":50005,"uuid":"u","data":{}})"), R"({"uuid": "u", "success": true, "result": []})");
  Module.SetCommandLineArgs({"/home/me/My File.txt", "say \"hi\"", "été"});
  EXPECT_EQ(Reply(R"({"id":50005,"uuid":"u","data":{}})"),
            R"({"uuid": "u", "success": true, "result": ["\/home\/me\/My File.txt", "say \"hi\"", "été"]})");
}

TEST_F(BridgeTest, TheSettingsCanRestrictTheCommandGroups)
{
  // Only the groups listed (blanks and letter case aside) answer; hello, isRuntime and the app
  // group always do; a refused command does nothing.
  Ini.SetText("[App]\nCommands= Window , dialogs\n");
  Form->SetCaption("Kept");
  const std::pair<const char*, const char*> cases[] = {
    {R"({"id":60005,"uuid":"u","data":{}})", R"(true, "result": "Kept"})"},
    {R"({"id":10001,"uuid":"u","data":{}})", R"(true, "result": "2021.43"})"},
    {R"({"id":50002,"uuid":"u","data":{}})", R"(true, "result": false})"},
    {R"({"id":30001,"uuid":"u","data":{"filePath":"x"}})", R"(false, "result": "Command not allowed"})"},
    {R"({"id":70003,"uuid":"u","data":{"command":"touch should-not-exist"}})",
     R"(false, "result": "Command not allowed"})"},
    {R"({"id":80003,"uuid":"u","data":{"name":"Windows10 Dark"}})", R"(false, "result": "Command not allowed"})"},
  };
  for (const auto& [message, reply] : cases) {
    SCOPED_TRACE(message);
    EXPECT_EQ(Reply(message), std::string(R"({"uuid": "u", "success": )") + reply);
  }
  EXPECT_FALSE(TSysUtils::FileExists("should-not-exist"));
  EXPECT_TRUE(Platform.Messages.empty()) << "a refused runtime-only command shows no box either";
  Ini.SetText("[App]\nCommands=\n");
  // An empty list allows every group again.
  EXPECT_TRUE(Reply(R"({"id":40003,"uuid":"u","data":{}})").starts_with(R"({"uuid": "u", "success": true, )"));
}

TEST_F(BridgeTest, FullScreenIsAPlainFlagRestoredToTheConfiguredBorder)
{
  Ini.SetText("[App]\nWindowBorder=3");
  Form->SetBorderStyle(TBorderStyle::bsSizeable);
  Form->SetWindowState(TWindowState::wsMaximized);
  const auto inFullscreen = [this] { return Reply(R"({"id":50002,"uuid":"u","data":{}})"); };
  EXPECT_EQ(inFullscreen(), R"({"uuid": "u", "success": true, "result": false})");
  auto& window = static_cast<THeadlessForm&>(*Form);
  window.Changes.clear();
  Send(R"({"id":50003,"uuid":"u","data":{}})");
  Send(R"({"id":50003,"uuid":"u","data":{}})");
  // The border goes first, then the state; a second request changes nothing.
  EXPECT_EQ(window.Changes, (std::vector<std::string>{"border 0", "state 2"}));
  EXPECT_EQ(Form->BorderStyle(), TBorderStyle::bsNone);
  EXPECT_EQ(Form->WindowState(), TWindowState::wsMaximized);
  // Changing the state does not leave full screen.
  Send(R"({"id":60004,"uuid":"u","data":{"state":"normal"}})");
  EXPECT_EQ(inFullscreen(), R"({"uuid": "u", "success": true, "result": true})");
  EXPECT_EQ(Form->BorderStyle(), TBorderStyle::bsNone);
  // Leaving reads the border setting as it is then, and sets the state before the border.
  Ini.SetText("[App]\nWindowBorder=4");
  window.Changes.clear();
  Send(R"({"id":50004,"uuid":"u","data":{}})");
  EXPECT_EQ(window.Changes, (std::vector<std::string>{"state 0", "border 4"}));
  EXPECT_EQ(Form->BorderStyle(), TBorderStyle::bsToolWindow);
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
  EXPECT_EQ(ids.size(), 44U);
}

} // namespace
} // namespace velmora
