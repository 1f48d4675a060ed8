// The engine double's transcript and live-object count (see Transcript.h).
#include "Transcript.h"

#include "Text.h"

#include <windows.h>

#include <array>
#include <atomic>
#include <mutex>

namespace velmora::enginedouble {

namespace {

struct TTranscriptState {
  std::mutex Lock;
  std::wstring TranscriptPath;
  std::wstring CommandsPath;
  std::atomic<uint64_t> Sequence{0};
  std::array<std::atomic<long>, static_cast<size_t>(TObjectKind::Count)> Live{};
};

// Never destroyed: objects may still be released, and recorded, while the process ends.
TTranscriptState& State()
{
  static auto* state = new TTranscriptState;
  return *state;
}

constexpr const char* kKindNames[] = {
  "environment",
  "controller",
  "webView",
  "settings",
  "request",
  "requestHeaders",
  "response",
  "responseHeaders",
  "headerIterator",
  "resourceRequestedArgs",
  "navigationCompletedArgs",
  "webMessageArgs",
  "newWindowArgs",
  "permissionArgs",
  "processFailedArgs",
};
static_assert(std::size(kKindNames) == static_cast<size_t>(TObjectKind::Count));

} // namespace

void ConfigureTranscript()
{
  auto& state = State();
  const auto dir = EnvironmentVariable(L"VELMORA_DOUBLE_DIR");
  std::lock_guard lock(state.Lock);
  if (!dir || dir->empty())
    return;
  std::wstring base = *dir;
  if (base.back() != L'\\' && base.back() != L'/')
    base += L'\\';
  base += std::to_wstring(GetCurrentProcessId());
  state.TranscriptPath = base + L".transcript.jsonl";
  state.CommandsPath = base + L".commands.jsonl";
}

bool TranscriptEnabled()
{
  auto& state = State();
  std::lock_guard lock(state.Lock);
  return !state.TranscriptPath.empty();
}

std::wstring CommandsPath()
{
  auto& state = State();
  std::lock_guard lock(state.Lock);
  return state.CommandsPath;
}

TJsonObjectWriter Event(std::string_view name)
{
  TJsonObjectWriter line;
  line.Utf8("event", name).Uint("pid", GetCurrentProcessId()).Uint("seq", ++State().Sequence);
  return line;
}

void Record(const TJsonObjectWriter& line)
{
  auto& state = State();
  std::lock_guard lock(state.Lock);
  if (state.TranscriptPath.empty())
    return;
  const std::string text = line.Finish() + "\n";
  // FILE_APPEND_DATA without FILE_WRITE_DATA makes every write land at the end of the file.
  HANDLE file =
    CreateFileW(state.TranscriptPath.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE)
    return;
  DWORD written = 0;
  WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
  CloseHandle(file);
}

const char* ObjectKindName(TObjectKind kind) { return kKindNames[static_cast<size_t>(kind)]; }

void CountObject(TObjectKind kind, int delta)
{
  const long now = State().Live[static_cast<size_t>(kind)] += delta;
  if (delta < 0 && now == 0 &&
      (kind == TObjectKind::Environment || kind == TObjectKind::Controller || kind == TObjectKind::WebView ||
       kind == TObjectKind::Settings))
    Record(Event("object-freed").Utf8("kind", ObjectKindName(kind)).Int("liveObjects", LiveObjectTotal()));
}

long LiveObjectTotal()
{
  long total = 0;
  for (const auto& count : State().Live)
    total += count.load();
  return total;
}

std::string LiveObjectsJson()
{
  TJsonObjectWriter counts;
  counts.Int("total", LiveObjectTotal());
  for (size_t i = 0; i < static_cast<size_t>(TObjectKind::Count); ++i) {
    if (const long count = State().Live[i].load(); count != 0)
      counts.Int(kKindNames[i], count);
  }
  return counts.Finish();
}

} // namespace velmora::enginedouble
