// The dialog, file, folder, base64, shell and system commands, against the headless layer.
#include "AppPaths.h"
#include "BrowserExternalModule.h"
#include "BrowserForm.h"
#include "ExeZip.h"
#include "IniFile.h"
#include "StrUtils.h"
#include "SysUtils.h"

#include "support/BridgeFixture.h"
#include "support/ScopedEnv.h"
#include "support/TestFiles.h"
#include "support/ZipFixture.h"

#include <rapidjson/document.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <regex>

#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace velmora {
namespace {

std::string TStrUtilsJson(const std::string& text) { return TStrUtils::StringToJsonString(text); }

TEST(ResolveAppRelativePath, FollowsThePlatformsRule)
{
  struct TCase {
    const char* Path;
    char Separator;
    const char* Expected;
  };
  const TCase cases[] = {
    {"data/notes.txt", '\\', "C:\\Apps\\Demo\\data\\notes.txt"},
    {"D:/x/y.txt", '\\', "D:/x/y.txt"},
    {"\\\\server\\share\\a.txt", '\\', "\\\\server\\share\\a.txt"},
    {"\\a.txt", '\\', "C:\\Apps\\Demo\\\\a.txt"},
    {"..\\up.txt", '\\', "C:\\Apps\\Demo\\..\\up.txt"},
    {"x", '\\', "C:\\Apps\\Demo\\x"},
    {"data/notes.txt", '/', "/opt/demo/data/notes.txt"},
    {"data\\notes.txt", '/', "/opt/demo/data/notes.txt"},
    {"/home/u/a.txt", '/', "/home/u/a.txt"},
    {"C:/x.txt", '/', "/opt/demo/C:/x.txt"},
    {"../up.txt", '/', "/opt/demo/../up.txt"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Path);
    EXPECT_EQ(ResolveAppRelativePath(c.Path, c.Separator == '\\' ? "C:\\Apps\\Demo\\" : "/opt/demo/", c.Separator),
              c.Expected);
  }
}

// The UTF-8 byte-order mark that begins every text file the bridge writes.
const std::string kBom = "\xEF\xBB\xBF";

TEST(TextFileBytes, BomAndCrLfAfterEveryLine)
{
  const std::pair<std::string, std::string> cases[] = {
    {"a\nb", kBom + "a\r\nb\r\n"},
    {"a\r\n", kBom + "a\r\n"},
    {"", kBom},
    {"a\rb\r\nc\n\nd", kBom + "a\r\nb\r\nc\r\n\r\nd\r\n"},
    {std::string("ab\0cd", 5), kBom + "ab\r\n"},
    {"\n", kBom + "\r\n"},
    {"a\r\r\nb\n\rc", kBom + "a\r\n\r\nb\r\n\r\nc\r\n"},
    {"é€", kBom + "é€\r\n"},
  };
  for (const auto& [text, bytes] : cases)
    EXPECT_EQ(TextFileBytes(text), bytes);

  // A large text reaches the sink in pieces, lines cut across them, never whole.
  std::string text;
  std::string expected = kBom;
  for (int line = 0; text.size() < 700000; ++line) {
    const std::string body(static_cast<size_t>(line * 37 % 90000), static_cast<char>('a' + line % 26));
    text += body + (line % 3 == 0 ? "\r\n" : "\n");
    expected += body + "\r\n";
  }
  std::string joined;
  size_t pieces = 0;
  size_t largest = 0;
  ASSERT_TRUE(WriteTextFileBytes(text, [&](std::string_view piece) -> TStatus {
    joined.append(piece);
    ++pieces;
    largest = std::max(largest, piece.size());
    return {};
  }));
  EXPECT_EQ(joined, expected);
  EXPECT_GT(pieces, 2U);
  EXPECT_LE(largest, 256U * 1024 + 2);
  // The sink's first failure ends the writing and is the outcome.
  size_t calls = 0;
  const TStatus failed = WriteTextFileBytes(text, [&](std::string_view) -> TStatus {
    ++calls;
    return TError{"disk full"};
  });
  EXPECT_EQ(failed.Error(), "disk full");
  EXPECT_EQ(calls, 1U);
}

TEST(DecodeBase64, StandardDataDecodesExactly)
{
  std::string all;
  for (int i = 0; i < 256; ++i)
    all += static_cast<char>(i);
  const std::pair<std::string, std::string> good[] = {
    {"", ""},
    {"TQ==", "M"},
    {"TWE=", "Ma"},
    {"TWFu", "Man"},
    {"TWE", "Ma"},
    {"TW\r\nFu", "Man"},
    {"AAECAwQFBgcICQoLDA0ODxAREhMUFRYXGBkaGxwdHh8gISIjJCUmJygpKissLS4vMDEyMzQ1Njc4OTo7PD0+P0BBQkNERUZHSElKS0xNTk9Q"
     "UVJTVFVWV1hZWltcXV5fYGFiY2RlZmdoaWprbG1ub3BxcnN0dXZ3eHl6e3x9fn+AgYKDhIWGh4iJiouMjY6PkJGSk5SVlpeYmZqbnJ2en6Ch"
     "oqOkpaanqKmqq6ytrq+wsbKztLW2t7i5uru8vb6/wMHCw8TFxsfIycrLzM3Oz9DR0tPU1dbX2Nna29zd3t/g4eLj5OXm5+jp6uvs7e7v8PHy"
     "8/T19vf4+fr7/P3+/w==",
     all},
  };
  for (const auto& [text, bytes] : good) {
    std::string out = "untouched";
    EXPECT_TRUE(DecodeBase64(text, out)) << text;
    EXPECT_EQ(out, bytes);
  }
  // Encoding gives the padded form back.
  for (const auto& [text, bytes] : good) {
    if (text.find_first_of("\r\n") == std::string::npos && text.size() % 4 == 0) {
      EXPECT_EQ(EncodeBase64(bytes), text);
    }
  }
  for (const char* bad : {"T", "TQ=a", "T@==", "TQ===", "-_8="}) {
    std::string out = "untouched";
    EXPECT_FALSE(DecodeBase64(bad, out)) << bad;
    EXPECT_EQ(out, "untouched");
  }
}

class FileCommandsTest : public test::TBridgeTest {
protected:
  FileCommandsTest() : Archive(test::MakeZip({{"app/img/a.png", "PNG!", 1, 0}}, "pw"))
  {
    Zip.SetPassword("pw");
    EXPECT_TRUE(Zip.Open({reinterpret_cast<const uint8_t*>(Archive.data()), Archive.size()}));
    View.SetAppDirPath(Dir.Path().string() + TSysUtils::PathDelimiter());
    Ini.SetText("[App]\nDirName=app\n");
    Module.SetExeZip(&Zip);
  }

  std::string InDir(const std::string& name) const { return Dir.File(name); }

  test::TTempDir Dir;
  std::string Archive;
  TExeZip Zip;
};

TEST_F(FileCommandsTest, FilesAndFoldersRelativeToTheProgramFolder)
{
  EXPECT_EQ(One(30003, R"({"filePath":"sub/deeper/notes.txt","contents":"a\nb"})"), "true, \"result\": true}");
  EXPECT_EQ(test::ReadFile(InDir("sub/deeper/notes.txt")), kBom + "a\r\nb\r\n");
  EXPECT_EQ(One(30003, R"({"filePath":"sub/empty.txt"})"), "true, \"result\": true}");
  EXPECT_EQ(test::ReadFile(InDir("sub/empty.txt")), "\xEF\xBB\xBF");
  EXPECT_EQ(One(30001, R"({"filePath":"sub/deeper/notes.txt"})"), "true, \"result\": true}");
  EXPECT_EQ(One(30001, R"({"filePath":"sub/deeper"})"), "true, \"result\": false}") << "a folder is not a file";
  EXPECT_EQ(One(40001, R"({"dirPath":"sub/deeper"})"), "true, \"result\": true}");
  EXPECT_EQ(One(40001, R"({"dirPath":"sub/empty.txt"})"), "true, \"result\": false}");
  EXPECT_EQ(One(30002, R"({"filePath":"sub/deeper"})"), "true, \"result\": false}");
  EXPECT_EQ(One(30002, R"({"filePath":"sub/empty.txt"})"), "true, \"result\": true}");
  EXPECT_EQ(One(30002, R"({"filePath":"sub/empty.txt"})"), "true, \"result\": false}");
  EXPECT_EQ(One(40002, R"({"dirPath":"sub"})"), "true, \"result\": true}");
  EXPECT_FALSE(std::filesystem::exists(test::PathOf(InDir("sub"))));
  EXPECT_EQ(One(40002, R"({"dirPath":"sub"})"), "true, \"result\": false}");
  // An absolute path is used as it is.
  const std::string absolute = TSysUtils::PathDelimiter() == "/" ? InDir("abs.txt") : InDir("abs.txt");
  EXPECT_EQ(One(30003, "{\"filePath\":" + TStrUtilsJson(absolute) + ",\"contents\":\"x\"}"), "true, \"result\": true}");
  EXPECT_TRUE(TSysUtils::FileExists(absolute));
  EXPECT_EQ(One(40006, "{}"),
            "true, \"result\": " + TStrUtilsJson(Dir.Path().string() + TSysUtils::PathDelimiter()) + "}");
}

TEST_F(FileCommandsTest, MissingArgumentsAndFailuresAnswerWithErrors)
{
  const std::pair<int, const char*> missing[] = {
    {30001, "Missing filePath"},   {30002, "Missing filePath"}, {30003, "Missing filePath"},
    {90001, "Missing filePath"},   {40001, "Missing dirPath"},  {40002, "Missing dirPath"},
    {30004, "Missing sourceFile"}, {70001, "Missing filePath"}, {70002, "Missing filePath"},
    {70003, "Missing command"},    {30005, "Missing filePath"}, {30006, "Missing filePath"},
    {40008, "Missing dirPath"},
  };
  for (const auto& [id, text] : missing) {
    SCOPED_TRACE(id);
    EXPECT_EQ(One(id, "{}"), std::string("false, \"result\": \"") + text + "\"}");
    EXPECT_EQ(One(id, R"({"filePath":"","dirPath":null,"sourceFile":"","command":""})"),
              std::string("false, \"result\": \"") + text + "\"}");
  }
  EXPECT_EQ(One(30004, R"({"sourceFile":"/img/a.png"})"), R"(false, "result": "Missing targetFile"})");
  EXPECT_EQ(One(30004, R"({"sourceFile":"img/a.png","targetFile":"x"})"), R"(false, "result": "File not found"})");
  // A file cannot be written where a folder stands: the failure's message comes back.
  std::filesystem::create_directories(test::PathOf(InDir("taken")));
  const std::string failed = One(30003, R"({"filePath":"taken","contents":"x"})");
  EXPECT_TRUE(failed.starts_with("false, \"result\": \"") && failed.size() > 25) << failed;
  EXPECT_EQ(One(30003, R"({"filePath":"x.txt","contents":{"a":1}})").substr(0, 7), "false, ")
    << "contents of the wrong type is an error reply";
  // Ill-typed path arguments end the command without a reply.
  for (const int id : {30001, 30003, 40001, 20001, 70001})
    EXPECT_TRUE(Call(id, R"({"filePath":[1],"dirPath":{},"fileName":[],"arguments":[]})").empty()) << id;
  EXPECT_TRUE(Call(20002, R"({"overwritePrompt":"maybe"})").empty());
}

TEST_F(FileCommandsTest, ReadsGiveBackWhatWasWritten)
{
  // Text: the byte-order mark goes, the line ends stay as written.
  EXPECT_EQ(One(30003, R"({"filePath":"notes/a.txt","contents":"été €\nb"})"), "true, \"result\": true}");
  const auto text = [](const std::string& Value) {
    return "true, \"result\": " + TStrUtils::StringToJsonString(Value) + "}";
  };
  EXPECT_EQ(One(30005, R"({"filePath":"notes/a.txt"})"), text("été €\r\nb\r\n"));
  test::WriteFile(InDir("notes/lf.txt"), "one\ntwo\r\nthree");
  EXPECT_EQ(One(30005, R"({"filePath":"notes/lf.txt"})"), text("one\ntwo\r\nthree"));
  // Bytes: every value, through base64 both ways.
  std::string all;
  for (int i = 0; i < 256; ++i)
    all += static_cast<char>(i);
  test::WriteFile(InDir("notes/all.bin"), all);
  const std::string base64 = EncodeBase64(all);
  EXPECT_EQ(One(30006, R"({"filePath":"notes/all.bin"})"), text(base64));
  EXPECT_EQ(One(90001, R"({"filePath":"notes/copy.bin","contents":")" + base64 + "\"}"), "true, \"result\": true}");
  EXPECT_EQ(test::ReadFile(InDir("notes/copy.bin")), all);
  // Failures say why: no such file, a folder, bytes that are not UTF-8 text.
  for (const char* path : {"notes/none.txt", "notes", "notes/all.bin"}) {
    SCOPED_TRACE(path);
    const std::string reply = One(30005, std::string(R"({"filePath":")") + path + "\"}");
    EXPECT_TRUE(reply.starts_with("false, \"result\": \"Cannot read ") ||
                reply.starts_with("false, \"result\": \"The file is not UTF-8 text"))
      << reply;
  }
  EXPECT_TRUE(Call(30005, R"({"filePath":["x"]})").empty()) << "an ill-typed path ends the command without a reply";
}

TEST_F(FileCommandsTest, FolderListingFoldersFirstThenFilesByName)
{
  test::WriteFile(InDir("list/z.txt"), "abc");
  test::WriteFile(InDir("list/B.bin"), std::string(1000, 'x'));
  test::WriteFile(InDir("list/b dir/inner.txt"), "deeper entries are not listed");
  std::filesystem::create_directories(test::PathOf(InDir("list/A dir")));
  const std::string reply = One(40008, R"({"dirPath":"list"})");
  const std::string prefix = "true, \"result\": ";
  ASSERT_TRUE(reply.starts_with(prefix)) << reply;
  rapidjson::Document listing;
  listing.Parse(reply.substr(prefix.size(), reply.size() - prefix.size() - 1).c_str());
  ASSERT_TRUE(listing.IsArray()) << reply;
  std::vector<std::string> seen;
  for (const auto& entry : listing.GetArray()) {
    seen.push_back(std::string(entry["name"].GetString()) + (entry["isDir"].GetBool() ? "/" : "") + " " +
                   std::to_string(entry["size"].GetUint64()));
    EXPECT_TRUE(std::regex_match(entry["modified"].GetString(), std::regex(R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\dZ)")))
      << entry["modified"].GetString();
  }
  EXPECT_EQ(seen, (std::vector<std::string>{"A dir/ 0", "b dir/ 0", "B.bin 1000", "z.txt 3"}));
  // A file is not a folder; a missing folder neither.
  for (const char* path : {"list/z.txt", "nowhere"})
    EXPECT_TRUE(
      One(40008, std::string(R"({"dirPath":")") + path + "\"}").starts_with("false, \"result\": \"Cannot list "))
      << path;
}

TEST_F(FileCommandsTest, WritesNeverDestroyTheOldFileNorGoWhereTheyShouldNot)
{
  [[maybe_unused]] const auto json = [](const std::string& text) { return TStrUtils::StringToJsonString(text); };
  const std::string notes = InDir("notes.txt");
  test::WriteFile(notes, "the user's work");
  const std::string nulError = R"(false, "result": "Invalid path: it contains a NUL character"})";
  // A NUL would cut the path short at the system's call and name another file.
  for (const int id : {30001, 30002, 30003, 40001, 40002, 90001, 70001, 70002}) {
    SCOPED_TRACE(id);
    EXPECT_EQ(One(id, R"({"filePath":"notes.txt\u0000.bak","dirPath":"notes.txt\u0000x","contents":"x"})"), nulError);
  }
  EXPECT_EQ(One(30004, R"({"sourceFile":"/img/a.png","targetFile":"notes.txt\u0000x"})"), nulError);
  EXPECT_EQ(One(70003, R"({"command":"echo a\u0000; rm -rf x"})"),
            R"(false, "result": "Invalid command: it contains a NUL character"})");
  EXPECT_EQ(test::ReadFile(notes), "the user's work");
  // Base64 that does not decode leaves the old file as it was.
  EXPECT_EQ(One(90001, R"({"filePath":"notes.txt","contents":"@@@"})").substr(0, 7), "false, ");
  EXPECT_EQ(test::ReadFile(notes), "the user's work");
#ifndef _WIN32
  // A FIFO (or a device) is no file to write: refused at once, without waiting for a reader.
  const std::string fifo = InDir("pipe");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  for (const int id : {30003, 90001}) {
    const std::string reply = One(id, "{\"filePath\":" + json(fifo) + ",\"contents\":\"eA==\"}");
    EXPECT_NE(reply.find("not a regular file"), std::string::npos) << reply;
  }
  EXPECT_NE(One(30004, "{\"sourceFile\":\"/img/a.png\",\"targetFile\":" + json(fifo) + "}").find("not a regular file"),
            std::string::npos);
#endif
}

#ifndef _WIN32
TEST_F(FileCommandsTest, AFullDiskKeepsTheOldFileAndSaysWhy)
{
  // A small file system of its own, where this test may mount one.
  const std::string mount = InDir("small");
  std::filesystem::create_directories(test::PathOf(mount));
  if (geteuid() != 0 || std::system(("mount -t tmpfs -o size=64k tmpfs '" + mount + "' 2>/dev/null").c_str()) != 0)
    GTEST_SKIP() << "no tmpfs can be mounted here";
  struct TUnmount {
    std::string Path;
    ~TUnmount() { (void)std::system(("umount '" + Path + "'").c_str()); }
  } unmount{mount};
  const std::string file = mount + "/data.txt";
  test::WriteFile(file, "kept");
  const std::string reply = One(30003, "{\"filePath\":" + TStrUtils::StringToJsonString(file) + ",\"contents\":\"" +
                                         std::string(200000, 'x') + "\"}");
  EXPECT_NE(reply.find("No space left on device"), std::string::npos) << reply;
  EXPECT_EQ(test::ReadFile(file), "kept");
  EXPECT_EQ(
    std::distance(std::filesystem::directory_iterator(test::PathOf(mount)), std::filesystem::directory_iterator()), 1)
    << "no partial file is left behind";
}
#endif

TEST_F(FileCommandsTest, FileCommandsRunBesideTheWindowInTheOrderTheyCame)
{
  // The page's calls are answered in order, the window is free meanwhile, and a big write is done.
  const std::string big(8 * 1024 * 1024, 'z');
  Browser.PostedMessages.clear();
  Browser.ReceiveMessage(R"({"id":30003,"uuid":"1","data":{"filePath":"big.txt","contents":")" + big + "\"}}");
  Browser.ReceiveMessage(R"({"id":30001,"uuid":"2","data":{"filePath":"big.txt"}})");
  Browser.ReceiveMessage(R"({"id":30002,"uuid":"3","data":{"filePath":"big.txt"}})");
  Browser.ReceiveMessage(R"({"id":10001,"uuid":"4","data":{}})");
  ASSERT_FALSE(Browser.PostedMessages.empty());
  EXPECT_EQ(Browser.PostedMessages[0], R"({"uuid": "4", "success": true, "result": "2021.43"})")
    << "the UI thread answered while the file commands ran beside it";
  AwaitReplies();
  EXPECT_EQ(Browser.PostedMessages, (std::vector<std::string>{R"({"uuid": "4", "success": true, "result": "2021.43"})",
                                                              R"({"uuid": "1", "success": true, "result": true})",
                                                              R"({"uuid": "2", "success": true, "result": true})",
                                                              R"({"uuid": "3", "success": true, "result": true})"}));
}

#ifndef _WIN32
TEST_F(FileCommandsTest, CommandOutputPastTheCeilingEndsTheCommandWithAnError)
{
  EXPECT_EQ(One(70003, R"({"command":"yes"})"),
            R"(false, "result": "The command printed more than 32 MB and was ended"})");
  EXPECT_EQ(One(70003, R"({"command":"echo fine"})"), R"(true, "result": "fine\n"})");
}
#endif

TEST_F(FileCommandsTest, ExtractFileNamesTheEntryByDirNameAndArgument)
{
  const std::string target = InDir("out.png");
  EXPECT_EQ(One(30004, "{\"sourceFile\":\"/img/a.png\",\"targetFile\":" + TStrUtilsJson(target) + "}"),
            "true, \"result\": true}");
  EXPECT_EQ(test::ReadFile(target), "PNG!");
  // A target that cannot be opened ends the command without a reply.
  EXPECT_TRUE(
    Call(30004, "{\"sourceFile\":\"/IMG/A.PNG\",\"targetFile\":" + TStrUtilsJson(InDir("no/dir/x")) + "}").empty());
  Module.SetExeZip(nullptr);
  EXPECT_TRUE(Call(30004, R"({"sourceFile":"/img/a.png","targetFile":"x"})").empty());
  EXPECT_EQ(Platform.Messages.back(), "Calls to ryx.app.extractFile() works only at runtime.");
}

TEST_F(FileCommandsTest, ExtractFileWritesARelativeTargetInTheCurrentFolder)
{
  // Unlike the file commands, whose relative paths are inside the program folder, extractFile
  // takes its target as the system does: relative to the current folder.
  test::TTempDir current;
  const std::filesystem::path before = std::filesystem::current_path();
  std::filesystem::current_path(current.Path());
  const std::string reply = One(30004, R"({"sourceFile":"/img/a.png","targetFile":"relative-out.png"})");
  std::filesystem::current_path(before);
  EXPECT_EQ(reply, "true, \"result\": true}");
  EXPECT_EQ(test::ReadFile(current.File("relative-out.png")), "PNG!");
  EXPECT_FALSE(std::filesystem::exists(test::PathOf(InDir("relative-out.png")))) << "not in the program folder";
}

TEST_F(FileCommandsTest, FolderCommandsAnswerFoldersEndingInTheDelimiter)
{
  for (const int id : {40003, 40004, 40005, 40006, 40007}) {
    SCOPED_TRACE(id);
    const std::string reply = One(id, "{}");
    rapidjson::Document parsed;
    parsed.Parse(("{\"success\": " + reply).c_str());
    ASSERT_TRUE(parsed.IsObject() && parsed["result"].IsString()) << reply;
    const std::string folder = parsed["result"].GetString();
    ASSERT_GT(folder.size(), 1U) << folder;
    EXPECT_TRUE(folder.ends_with(TSysUtils::PathDelimiter())) << folder;
    EXPECT_FALSE(folder.ends_with(TSysUtils::PathDelimiter() + TSysUtils::PathDelimiter())) << folder;
  }
}

TEST_F(FileCommandsTest, Base64WritesExactlyTheDecodedBytes)
{
  test::WriteFile(InDir("b/data.bin"), std::string(100, 'Z'));
  EXPECT_EQ(One(90001, R"({"filePath":"b/data.bin","contents":"AP8Q"})"), "true, \"result\": true}");
  EXPECT_EQ(test::ReadFile(InDir("b/data.bin")), std::string("\x00\xFF\x10", 3)) << "a longer file is replaced";
  EXPECT_EQ(One(90001, R"({"filePath":"new/empty.bin"})"), "true, \"result\": true}");
  EXPECT_EQ(test::ReadFile(InDir("new/empty.bin")), "");
  EXPECT_EQ(One(90001, R"({"filePath":"bad.bin","contents":"not base64!"})").substr(0, 7), "false, ");
}

TEST_F(FileCommandsTest, DialogsTakeTheirArgumentsAndKeepTheRest)
{
  THeadlessFileDialog& open = *Platform.FileDialogs.at(0);
  THeadlessFileDialog& save = *Platform.FileDialogs.at(1);
  open.Answer = [](THeadlessFileDialog&) { return std::optional<std::string>("/home/u/ä \"q\".txt"); };
  EXPECT_EQ(One(20001, R"({"fileTypes":"Text files|*.txt;All|*.*;Images|*.png;*.jpg;A|b|c"})"),
            R"(true, "result": "\/home\/u\/ä \"q\".txt"})");
  EXPECT_EQ(open.Title, "Open file");
  ASSERT_EQ(open.FileTypes.size(), 3U);
  EXPECT_EQ(open.FileTypes[0].Name, "Text files");
  EXPECT_EQ(open.FileTypes[0].Mask, "*.txt");
  EXPECT_EQ(open.FileTypes[2].Name, "Images");
  EXPECT_EQ(open.FileTypes[2].Mask, "*.png");

  open.Answer = nullptr; // the user cancels
  EXPECT_EQ(One(20001, R"({"title":"Pick","fileName":"start.txt"})"), R"(true, "result": ""})");
  EXPECT_EQ(open.Title, "Pick");
  EXPECT_TRUE(open.FileTypes.empty());

  save.Answer = [](THeadlessFileDialog& d) { return std::optional<std::string>(d.FileName()); };
  EXPECT_EQ(One(20002, R"({"fileName":"out.txt","overwritePrompt":"TRUE"})"), R"(true, "result": "out.txt"})");
  EXPECT_TRUE(save.OverwritePrompt());
  EXPECT_EQ(save.Title, "Save file");
  EXPECT_EQ(One(20002, R"({"overwritePrompt":0})"), R"(true, "result": ""})");
  EXPECT_FALSE(save.OverwritePrompt());
}

TEST_F(FileCommandsTest, DialogCallsDuringAnOpenDialogWaitAndEachGetsItsReply)
{
  THeadlessFileDialog& open = *Platform.FileDialogs.at(0);
  int shown = 0;
  open.Answer = [&](THeadlessFileDialog&) -> std::optional<std::string> {
    if (++shown == 1) {
      // The page sends a second dialog call while the first dialog is open.
      Browser.ReceiveMessage(R"({"id":20001,"uuid":"second","data":{}})");
      EXPECT_EQ(Browser.PostedMessages.size(), 0U) << "the second dialog must wait";
      return std::string("first.txt");
    }
    return std::string("second.txt");
  };
  Browser.PostedMessages.clear();
  Browser.ReceiveMessage(R"({"id":20001,"uuid":"first","data":{}})");
  ASSERT_EQ(Browser.PostedMessages.size(), 2U);
  EXPECT_EQ(Browser.PostedMessages[0], R"({"uuid": "first", "success": true, "result": "first.txt"})");
  EXPECT_EQ(Browser.PostedMessages[1], R"({"uuid": "second", "success": true, "result": "second.txt"})");
}

#ifndef _WIN32
TEST_F(FileCommandsTest, ShellCommandRepliesLaterWhileOtherCallsGoOn)
{
  Browser.PostedMessages.clear();
  Browser.ReceiveMessage(
    R"({"id":70003,"uuid":"slow","data":{"command":"sleep 0.5; printf '\"q\" \\\\ x'; echo err >&2"}})");
  EXPECT_TRUE(Browser.PostedMessages.empty()) << "the reply waits for the command";
  Browser.ReceiveMessage(R"({"id":10001,"uuid":"quick","data":{}})");
  ASSERT_EQ(Browser.PostedMessages.size(), 1U) << "another call is answered meanwhile";
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (Browser.PostedMessages.size() < 2 && std::chrono::steady_clock::now() < deadline)
    Platform.RunPosted(100);
  ASSERT_EQ(Browser.PostedMessages.size(), 2U);
  EXPECT_EQ(Browser.PostedMessages[1], R"({"uuid": "slow", "success": true, "result": "\"q\" \\ xerr\n"})");

  Browser.PostedMessages.clear();
  Browser.ReceiveMessage(R"({"id":70003,"uuid":"nowhere","data":{"command":"pwd","workingDir":"/no/such/folder"}})");
  while (Browser.PostedMessages.empty() && std::chrono::steady_clock::now() < deadline)
    Platform.RunPosted(100);
  ASSERT_EQ(Browser.PostedMessages.size(), 1U);
  EXPECT_EQ(Browser.PostedMessages[0], R"({"uuid": "nowhere", "success": true, "result": ""})");
}

TEST_F(FileCommandsTest, SystemCommandsReportThePlatformsRefusal)
{
  // No system bus at this address: logind cannot be reached, so nothing can power off.
  const test::TScopedEnv bus("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=" + InDir("no-bus"));
  for (const int id : {11001, 11002, 11003}) {
    const std::string reply = One(id, "{}");
    EXPECT_TRUE(reply.starts_with("false, \"result\": \"") && reply.size() > 22) << reply;
  }
}
#endif

} // namespace
} // namespace velmora
