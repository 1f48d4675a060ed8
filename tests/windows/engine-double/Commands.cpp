// The engine double's commands: a test appends JSON lines to "<dir>\<pid>.commands.jsonl" and the
// double, polling every 50 ms on the UI thread, plays each complete new line as the page or the engine.
#include "EngineObjects.h"

#include "Dispatcher.h"
#include "Text.h"
#include "WebAddress.h"

#include <limits>

namespace velmora::enginedouble {

namespace {

constexpr UINT kPollMilliseconds = 50;

// What the poll has consumed so far: bytes of the file, lines executed.
struct TCommandFile {
  std::wstring Path;
  uint64_t Offset = 0;
  uint64_t Line = 0;
};

TCommandFile& CommandFile()
{
  static auto* file = new TCommandFile;
  return *file;
}

// A command that cannot be carried out; the message is what the command-error line reports.
struct TCommandFailure {
  std::string Message;
};

std::wstring RequiredString(const TJsonValue& command, std::wstring_view name)
{
  const auto value = command.FindString(name);
  if (!value)
    throw TCommandFailure{"\"" + Utf8FromWide(name) + "\" must be a string"};
  return *value;
}

int64_t IntegerMember(const TJsonValue& command, std::wstring_view name, int64_t fallback, int64_t low, int64_t high)
{
  const TJsonValue* value = command.Find(name);
  if (value == nullptr)
    return fallback;
  const auto number = value->AsInteger();
  if (!number || *number < low || *number > high)
    throw TCommandFailure{"\"" + Utf8FromWide(name) + "\" must be an integer from " + std::to_string(low) + " to " +
                          std::to_string(high)};
  return *number;
}

// The address of a command, resolved against the page's own address as a link on the page would be.
std::wstring PageAddress(const TWebView& view, const std::wstring& uri)
{
  if (const auto resolved = ResolveAddress(view.Source(), uri))
    return *resolved;
  return CanonicalAddress(uri);
}

void Execute(const TJsonValue& command)
{
  if (!command.IsObject())
    throw TCommandFailure{"a command is a JSON object"};
  const std::wstring action = RequiredString(command, L"do");
  TWebView* view = CommandTarget();
  if (view == nullptr)
    throw TCommandFailure{"no open web view"};

  if (action == L"post") {
    const std::wstring json = RequiredString(command, L"json");
    std::optional<std::wstring> string;
    if (const TJsonValue* value = command.Find(L"string"); value != nullptr && !value->IsNull()) {
      if (!value->IsString())
        throw TCommandFailure{"\"string\" must be a string"};
      string = value->AsString();
    }
    const std::wstring source = command.FindString(L"source").value_or(view->Source());
    view->RaiseWebMessage(json, std::move(string), source);
  } else if (action == L"navigate") {
    view->StartNavigation(PageAddress(*view, RequiredString(command, L"uri")), WithoutFragment(view->Source()), "page");
  } else if (action == L"request") {
    THeaderList headers;
    if (const TJsonValue* given = command.Find(L"headers"); given != nullptr) {
      if (!given->IsObject())
        throw TCommandFailure{"\"headers\" must be an object"};
      for (const auto& [name, value] : given->Members()) {
        if (!value.IsString())
          throw TCommandFailure{"header values must be strings"};
        headers.Append(name, value.AsString());
      }
    }
    const auto context = static_cast<COREWEBVIEW2_WEB_RESOURCE_CONTEXT>(
      IntegerMember(command, L"context", COREWEBVIEW2_WEB_RESOURCE_CONTEXT_OTHER, COREWEBVIEW2_WEB_RESOURCE_CONTEXT_ALL,
                    COREWEBVIEW2_WEB_RESOURCE_CONTEXT_OTHER));
    view->RequestResource(WithoutFragment(PageAddress(*view, RequiredString(command, L"uri"))), std::move(headers),
                          context, 0);
  } else if (action == L"new-window") {
    view->RaiseNewWindow(PageAddress(*view, RequiredString(command, L"uri")));
  } else if (action == L"permission") {
    const auto kind = static_cast<COREWEBVIEW2_PERMISSION_KIND>(IntegerMember(
      command, L"kind", COREWEBVIEW2_PERMISSION_KIND_UNKNOWN_PERMISSION, 0, std::numeric_limits<INT32>::max()));
    view->RaisePermission(command.FindString(L"uri").value_or(view->Source()), kind);
  } else if (action == L"title") {
    view->ChangeTitle(RequiredString(command, L"title"));
  } else if (action == L"process-failed") {
    const auto kind = static_cast<COREWEBVIEW2_PROCESS_FAILED_KIND>(IntegerMember(
      command, L"kind", COREWEBVIEW2_PROCESS_FAILED_KIND_RENDER_PROCESS_EXITED, 0, std::numeric_limits<INT32>::max()));
    view->RaiseProcessFailed(kind);
  } else {
    throw TCommandFailure{"unknown command"};
  }
}

void RunLine(std::string_view text, uint64_t lineNumber)
{
  std::string error;
  const auto command = ParseJson(text, &error);
  if (!command) {
    Record(Event("command-error").Uint("line", lineNumber).Utf8("text", text).Utf8("message", "bad JSON: " + error));
    return;
  }
  auto line = Event("command").Uint("line", lineNumber);
  if (const auto action = command->FindString(L"do"))
    line.Str("do", *action);
  Record(line);
  try {
    Execute(*command);
  } catch (const TCommandFailure& failure) {
    Record(Event("command-error").Uint("line", lineNumber).Utf8("text", text).Utf8("message", failure.Message));
  }
}

// Reads what was appended since the last poll and runs each line that is complete (ends in LF);
// a partial last line waits for the next poll.
void Poll()
{
  auto& file = CommandFile();
  HANDLE handle = CreateFileW(file.Path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE)
    return;
  std::string data;
  LARGE_INTEGER size{};
  LARGE_INTEGER offset{};
  offset.QuadPart = static_cast<LONGLONG>(file.Offset);
  if (GetFileSizeEx(handle, &size) && static_cast<uint64_t>(size.QuadPart) > file.Offset &&
      SetFilePointerEx(handle, offset, nullptr, FILE_BEGIN)) {
    data.resize(static_cast<size_t>(static_cast<uint64_t>(size.QuadPart) - file.Offset));
    DWORD read = 0;
    if (!ReadFile(handle, data.data(), static_cast<DWORD>(data.size()), &read, nullptr))
      read = 0;
    data.resize(read);
  }
  CloseHandle(handle);

  size_t start = 0;
  for (size_t end; (end = data.find('\n', start)) != std::string::npos; start = end + 1) {
    std::string_view line(data.data() + start, end - start);
    // Counted before the command runs, so that whatever the command does the line is not read again.
    file.Offset += end + 1 - start;
    if (!line.empty() && line.back() == '\r')
      line.remove_suffix(1);
    ++file.Line;
    if (line.find_first_not_of(" \t") == std::string_view::npos)
      continue;
    RunLine(line, file.Line);
  }
}

} // namespace

void StartCommandPolling()
{
  auto& file = CommandFile();
  file.Path = CommandsPath();
  if (file.Path.empty())
    return;
  StartTimer(kPollMilliseconds, Poll);
}

} // namespace velmora::enginedouble
