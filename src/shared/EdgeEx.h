// TCustomEdgeBrowser: what the program asks of the embedded browser control, whatever engine
// implements it (WebView2 on Windows, WebKitGTK on Linux, a recording fake in unit tests).
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace velmora {

class TCustomEdgeBrowser;

// Status of the engine's creation, as WebView2 reports it: 0 (S_OK) is success.
using THResult = int32_t;
inline constexpr THResult kSOk = 0;
inline constexpr THResult kEFail = static_cast<THResult>(0x80004005U);

// A web message from a page. WebView2 semantics: a message posted as a string has both
// forms; one posted as any other value has only its JSON form.
class TWebMessageReceivedEventArgs {
public:
  TWebMessageReceivedEventArgs(std::string Source, std::string Json, std::optional<std::string> String)
    : FSource(std::move(Source)), FJson(std::move(Json)), FString(std::move(String))
  {
  }
  // The address of the document that posted the message, as the view sees it ("file:///...").
  const std::string& Source() const { return FSource; }
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
};

struct TWebResourceResponse {
  std::string Body;
  int StatusCode = 200;
  std::string ReasonPhrase = "OK";
  std::string Headers; // "Name: value" lines separated by CR LF
};

// A resource request; the handler answers by setting Response before it returns. Without a
// response the engine loads the address by its own means.
struct TWebResourceRequestedEventArgs {
  std::string Uri; // as the view sees it: app files are "file:///..."
  std::optional<TWebResourceResponse> Response;
};

struct TNewWindowRequestedEventArgs {
  std::string Uri;
  bool Handled = false; // true: the engine opens no window
};

enum class TPermissionState { Default, Allow, Deny };

struct TPermissionRequestedEventArgs {
  std::string Uri;         // the document asking
  std::string Kind;        // e.g. "camera", "microphone", "geolocation", "notifications"
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
