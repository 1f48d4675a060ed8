// TCustomEdgeBrowser: what the program asks of the embedded browser control, whatever engine
// implements it (WebView2 on Windows, WebKitGTK on Linux, a recording fake in unit tests).
#pragma once

#include "Result.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>

namespace velmora {

class TCustomEdgeBrowser;

// Status of the engine's creation, as WebView2 reports it: 0 (S_OK) is success.
using THResult = int32_t;
inline constexpr THResult kSOk = 0;
inline constexpr THResult kEFail = static_cast<THResult>(0x80004005U);

// The document that posted a web message. A reply posted through it reaches that document and
// nothing else: when the document is gone, or the frame or view now shows another one, the reply
// is dropped. UI thread only, also for its destruction.
class TWebMessageReplyTarget {
public:
  virtual ~TWebMessageReplyTarget() = default;
  // The page receives the parsed value as the data of a message event, as with
  // TCustomEdgeBrowser::PostWebMessageAsJson.
  virtual void PostWebMessageAsJson(const std::string& Json) = 0;
};
using TWebMessageReplyTargetPtr = std::shared_ptr<TWebMessageReplyTarget>;

// A web message from a page. WebView2 semantics: a message posted as a string has both
// forms; one posted as any other value has only its JSON form.
class TWebMessageReceivedEventArgs {
public:
  TWebMessageReceivedEventArgs(std::string Source, std::string Json, std::optional<std::string> String,
                               TWebMessageReplyTargetPtr ReplyTarget = nullptr)
    : FSource(std::move(Source)), FJson(std::move(Json)), FString(std::move(String)),
      FReplyTarget(std::move(ReplyTarget))
  {}
  // The address of the document that posted the message, as the view sees it ("file:///..."):
  // the address the document was loaded from, which the page cannot change (history.pushState
  // and fragment changes do not count).
  const std::string& Source() const { return FSource; }
  // Where replies to this message go; nullptr when the engine cannot answer one document.
  const TWebMessageReplyTargetPtr& ReplyTarget() const { return FReplyTarget; }
  const std::string& WebMessageAsJson() const { return FJson; }
  // False (and Value untouched) when the page posted something other than a string.
  bool TryGetWebMessageAsString(std::string& Value) const
  {
    if (!FString)
      return false;
    Value = *FString;
    return true;
  }

private:
  std::string FSource;
  std::string FJson;
  std::optional<std::string> FString;
  TWebMessageReplyTargetPtr FReplyTarget;
};

// The body of a response. The engine reads it beside the UI thread, one call at a time, so a
// large or slow body never holds the window up; it may be read after the handler has returned.
class TWebResourceBody {
public:
  virtual ~TWebResourceBody() = default;
  // The length in bytes when it is known before reading, else -1.
  virtual int64_t Length() const = 0;
  // The next bytes, up to Buffer.size(); 0 at the end. An error ends the response: the engine
  // treats the load as failed.
  virtual TResult<size_t> Read(std::span<uint8_t> Buffer) = 0;
  // Passes over the next Count bytes; an error when the body ends before them. Reads and drops
  // them unless the body can do better.
  virtual TStatus Skip(uint64_t Count);
};
using TWebResourceBodyPtr = std::shared_ptr<TWebResourceBody>;

// A body over bytes held in memory.
TWebResourceBodyPtr MakeMemoryBody(std::string Bytes);
// Count bytes of Whole from First on: the body of an answer to a byte range. Whole is skipped to
// First at the first read, which happens beside the UI thread like every read.
TWebResourceBodyPtr MakeRangeBody(TWebResourceBodyPtr Whole, uint64_t First, uint64_t Count);
// Reads a body to its end, at most MaxBytes; an error when reading fails or there is more.
TResult<std::string> ReadWholeBody(TWebResourceBody& Body, uint64_t MaxBytes = UINT64_MAX);

struct TWebResourceResponse {
  TWebResourceBodyPtr Body; // nullptr: an empty body
  int StatusCode = 200;
  std::string ReasonPhrase = "OK";
  std::string Headers; // "Name: value" lines separated by CR LF
};

// A resource request; the handler answers by setting Response before it returns. Without a
// response the engine loads the address by its own means.
struct TWebResourceRequestedEventArgs {
  std::string Uri; // as the view sees it: app files are "file:///..."
  // Who asks, as far as the engine tells: the address of the requesting document (its referrer,
  // "file:///..." for app-scheme documents) or, when the engine gives only the requester's origin
  // because it is not the app's own, that origin ("https://example.com", "null" for an opaque
  // origin). Empty when the engine says nothing (the view's own navigations, documents that
  // withhold their referrer).
  std::string Requester;
  // The request comes from a window the engine opened for a page, not from the view itself.
  bool FromPopup = false;
  // The request's "Range" header; empty when it has none.
  std::string Range;
  std::optional<TWebResourceResponse> Response;
};

struct TNewWindowRequestedEventArgs {
  std::string Uri;
  bool Handled = false; // true: the engine opens no window
  // The document that asked, when the engine tells; empty: the view's top-level document.
  std::string Requester = {};
};

// A page starts a download. The handler sets Cancel, or ResultFilePath to where the file goes;
// with neither the download is cancelled (nothing is ever saved silently).
struct TDownloadStartingEventArgs {
  std::string Uri;               // what is downloaded
  std::string SuggestedFileName; // the name the server or the page suggests
  // The document that started it, when the engine tells; empty: the view's top-level document.
  std::string Requester;
  bool FromPopup = false;
  bool Cancel = false;
  std::string ResultFilePath;
};

enum class TPermissionState { Default, Allow, Deny };

struct TPermissionRequestedEventArgs {
  std::string Uri;  // the document asking
  std::string Kind; // e.g. "camera", "microphone", "geolocation", "notifications"
  TPermissionState State = TPermissionState::Default;
};

struct TEdgeBrowserSettings {
  bool ScriptEnabled = true;
  bool StatusBarEnabled = true;
  bool ZoomControlEnabled = true;
  bool WebMessageEnabled = true;
  bool BuiltInErrorPageEnabled = true;
  bool DevToolsEnabled = true;
  bool DefaultContextMenusEnabled = true;
};

class TCustomEdgeBrowser {
public:
  virtual ~TCustomEdgeBrowser() = default;

  // Events; all arrive on the UI thread. Assigning replaces the handler.
  std::function<void(TCustomEdgeBrowser& Sender, THResult AResult)> OnCreateWebViewCompleted;
  std::function<void(TCustomEdgeBrowser& Sender, bool Success)> OnNavigationCompleted;
  std::function<void(TCustomEdgeBrowser& Sender, TNewWindowRequestedEventArgs& Args)> OnNewWindowRequested;
  std::function<void(TCustomEdgeBrowser& Sender, TPermissionRequestedEventArgs& Args)> OnPermissionRequested;
  std::function<void(TCustomEdgeBrowser& Sender)> OnProcessFailed;
  std::function<void(TCustomEdgeBrowser& Sender, const TWebMessageReceivedEventArgs& Args)> OnWebMessageReceived;
  std::function<void(TCustomEdgeBrowser& Sender, TWebResourceRequestedEventArgs& Args)> OnWebResourceRequested;
  std::function<void(TCustomEdgeBrowser& Sender, const std::string& ADocumentTitle)> OnDocumentTitleChanged;
  // A new top-level document has been committed (its content starts loading): Uri is the address
  // it was loaded from, before any of its scripts ran.
  std::function<void(TCustomEdgeBrowser& Sender, const std::string& Uri)> OnContentLoading;
  std::function<void(TCustomEdgeBrowser& Sender, TDownloadStartingEventArgs& Args)> OnDownloadStarting;

  // Settings apply to navigations started after they are set.
  virtual void ApplySettings(const TEdgeBrowserSettings& Settings) = 0;
  // Runs in every later document before the page's own scripts.
  virtual void AddScriptToExecuteOnDocumentCreated(const std::string& Script) = 0;
  // With "*", every request of every document raises OnWebResourceRequested.
  virtual void AddWebResourceRequestedFilter(const std::string& Filter) = 0;
  virtual void Navigate(const std::string& Url) = 0;
  // Runs in the current document; the result is ignored. Nothing happens before creation.
  virtual void ExecuteScript(const std::string& Script) = 0;
  // The page receives the parsed value as the data of a message event.
  virtual void PostWebMessageAsJson(const std::string& Json) = 0;
  virtual void SetFocus() = 0;
  // The address of the current document ("file:///..." for app documents).
  virtual std::string Source() const = 0;
};

using TEdgeBrowser = TCustomEdgeBrowser;

} // namespace velmora
