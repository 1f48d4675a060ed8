// The engine double's web view: settings, scripts, web messages, request filters, the events it
// raises, and page loading, where the host's request handler is the only source of content.
#include "EngineObjects.h"

#include "Dispatcher.h"
#include "HtmlScan.h"
#include "Text.h"
#include "WebAddress.h"

#include <algorithm>
#include <cwctype>

namespace velmora::enginedouble {

namespace {

// The live web views in the order they were made; the commands act on the last one.
std::vector<TWebView*>& LiveWebViews()
{
  static auto* views = new std::vector<TWebView*>;
  return *views;
}

void Forget(TWebView* view) { std::erase(LiveWebViews(), view); }

// The results of the handlers of one event, as a JSON array of HRESULT texts.
std::string ResultsJson(const std::vector<HRESULT>& results)
{
  std::string json = "[";
  for (size_t i = 0; i < results.size(); ++i) {
    if (i > 0)
      json += ',';
    AppendJsonString(json, std::string_view(HresultText(results[i])));
  }
  return json + "]";
}

bool IsHtml(std::wstring_view contentType)
{
  const std::wstring_view type = TrimWhite(contentType.substr(0, contentType.find(L';')));
  return EqualsIgnoreCase(type, L"text/html");
}

// The context a page's element gives the request it makes (see the README): img IMAGE, script SCRIPT,
// link STYLESHEET, or IMAGE for a link whose rel names an icon; everything else OTHER.
COREWEBVIEW2_WEB_RESOURCE_CONTEXT ContextOf(const THtmlReference& reference)
{
  if (reference.Tag == L"img")
    return COREWEBVIEW2_WEB_RESOURCE_CONTEXT_IMAGE;
  if (reference.Tag == L"script")
    return COREWEBVIEW2_WEB_RESOURCE_CONTEXT_SCRIPT;
  if (reference.Tag == L"link")
    return reference.Rel.find(L"icon") != std::wstring::npos ? COREWEBVIEW2_WEB_RESOURCE_CONTEXT_IMAGE
                                                             : COREWEBVIEW2_WEB_RESOURCE_CONTEXT_STYLESHEET;
  return COREWEBVIEW2_WEB_RESOURCE_CONTEXT_OTHER;
}

} // namespace

TWebView* CommandTarget()
{
  auto& views = LiveWebViews();
  return views.empty() ? nullptr : views.back();
}

TWebView::TWebView() : FSettings(MakeObject<TSettings>()) { LiveWebViews().push_back(this); }

TWebView::~TWebView() { Forget(this); }

size_t TWebView::Shutdown()
{
  if (FClosed)
    return 0;
  FClosed = true;
  FNavigation.reset();
  Forget(this);
  return FNavigationCompleted.Clear() + FWebMessageReceived.Clear() + FWebResourceRequested.Clear() +
         FNewWindowRequested.Clear() + FPermissionRequested.Clear() + FProcessFailed.Clear() +
         FDocumentTitleChanged.Clear() + FNavigationStarting.Clear() + FContentLoading.Clear() +
         FSourceChanged.Clear() + FHistoryChanged.Clear() + FFrameNavigationStarting.Clear() +
         FFrameNavigationCompleted.Clear() + FScriptDialogOpening.Clear() + FContainsFullScreenElementChanged.Clear() +
         FWindowCloseRequested.Clear();
}

template <auto List>
HRESULT
TWebView::AddHandler(typename std::remove_reference_t<decltype(std::declval<TWebView>().*List)>::THandler* handler,
                     EventRegistrationToken* token)
{
  if (FClosed)
    return kClosedError;
  return (this->*List).Add(handler, token);
}

template <auto List>
HRESULT TWebView::RemoveHandler(EventRegistrationToken token)
{
  return (this->*List).Remove(token);
}

HRESULT TWebView::GetSettings(ICoreWebView2Settings** settings)
{
  if (settings == nullptr)
    return E_POINTER;
  if (FClosed) {
    *settings = nullptr;
    return kClosedError;
  }
  *settings = TComRef<TSettings>(FSettings).Detach();
  return S_OK;
}

HRESULT TWebView::GetSource(LPWSTR* uri)
{
  if (FClosed)
    return kClosedError;
  return OutString(FSource, uri);
}

HRESULT TWebView::Navigate(LPCWSTR uri)
{
  if (FClosed)
    return kClosedError;
  if (uri == nullptr || *uri == L'\0') {
    Record(Event("navigate").Str("uri", View(uri)).Utf8("result", HresultText(E_INVALIDARG)));
    return E_INVALIDARG;
  }
  StartNavigation(CanonicalAddress(uri), L"", "navigate");
  return S_OK;
}

HRESULT TWebView::NavigateToString(LPCWSTR html)
{
  if (FClosed)
    return kClosedError;
  if (html == nullptr)
    return E_INVALIDARG;
  const UINT64 id = ++FNavigationCounter;
  if (FNavigation)
    Record(Event("navigation-abandoned").Uint("navigationId", FNavigation->Id).Str("uri", FNavigation->Uri));
  FNavigation.emplace();
  FNavigation->Id = id;
  FNavigation->Uri = L"about:blank";
  FNavigation->Html = html;
  Record(Event("navigate-to-string").Str("html", html).Uint("navigationId", id));
  PostNavigationStep(id, &TWebView::LoadDocument);
  return S_OK;
}

HRESULT
TWebView::AddScriptToExecuteOnDocumentCreated(LPCWSTR script,
                                              ICoreWebView2AddScriptToExecuteOnDocumentCreatedCompletedHandler* handler)
{
  if (FClosed)
    return kClosedError;
  if (script == nullptr)
    return E_INVALIDARG;
  TScript added{L"script-" + std::to_wstring(FNextScriptId++), script};
  Record(Event("script-added").Str("id", added.Id).Str("script", added.Text).Bool("hasHandler", handler != nullptr));
  if (handler != nullptr) {
    auto completed = TComRef<ICoreWebView2AddScriptToExecuteOnDocumentCreatedCompletedHandler>::Retain(handler);
    PostTask([completed, id = added.Id] {
      const HRESULT result = completed->lpVtbl->Invoke(completed.Get(), S_OK, id.c_str());
      Record(Event("script-added-completed").Str("id", id).Utf8("result", HresultText(result)));
    });
  }
  FScripts.push_back(std::move(added));
  return S_OK;
}

HRESULT TWebView::RemoveScriptToExecuteOnDocumentCreated(LPCWSTR id)
{
  if (FClosed)
    return kClosedError;
  const size_t removed =
    std::erase_if(FScripts, [&](const TScript& script) { return id != nullptr && script.Id == id; });
  Record(Event("script-removed").Str("id", View(id)).Bool("found", removed > 0));
  return S_OK;
}

// The double runs no script: the script is recorded and the result is "null", delivered later.
HRESULT TWebView::ExecuteScript(LPCWSTR script, ICoreWebView2ExecuteScriptCompletedHandler* handler)
{
  if (FClosed)
    return kClosedError;
  if (script == nullptr)
    return E_INVALIDARG;
  Record(Event("execute-script").Str("script", script).Bool("hasHandler", handler != nullptr));
  if (handler != nullptr) {
    auto completed = TComRef<ICoreWebView2ExecuteScriptCompletedHandler>::Retain(handler);
    PostTask([completed] { completed->lpVtbl->Invoke(completed.Get(), S_OK, L"null"); });
  }
  return S_OK;
}

HRESULT TWebView::Reload()
{
  if (FClosed)
    return kClosedError;
  Record(Event("reload").Str("uri", FSource));
  if (!FSource.empty())
    StartNavigation(FSource, L"", "reload");
  return S_OK;
}

// The message is checked as the engine checks it: text that is not JSON is refused with E_INVALIDARG.
HRESULT TWebView::PostWebMessageAsJson(LPCWSTR json)
{
  if (FClosed)
    return kClosedError;
  const bool valid = json != nullptr && ParseJson(Utf8FromWide(json)).has_value();
  Record(Event("post-json")
           .Str("json", View(json))
           .Bool("valid", valid)
           .Bool("webMessageEnabled", FSettings->Value(TSetting::IsWebMessageEnabled)));
  return valid ? S_OK : E_INVALIDARG;
}

HRESULT TWebView::PostWebMessageAsString(LPCWSTR text)
{
  if (FClosed)
    return kClosedError;
  if (text == nullptr)
    return E_INVALIDARG;
  Record(Event("post-string")
           .Str("string", text)
           .Bool("webMessageEnabled", FSettings->Value(TSetting::IsWebMessageEnabled)));
  return S_OK;
}

HRESULT TWebView::GetCanGoBack(BOOL* canGoBack)
{
  if (canGoBack == nullptr)
    return E_POINTER;
  *canGoBack = FALSE;
  return S_OK;
}

HRESULT TWebView::GetCanGoForward(BOOL* canGoForward)
{
  if (canGoForward == nullptr)
    return E_POINTER;
  *canGoForward = FALSE;
  return S_OK;
}

// Stops the navigation in progress; it completes, later, unsuccessfully with OPERATION_CANCELED.
HRESULT TWebView::Stop()
{
  if (FClosed)
    return kClosedError;
  if (!FNavigation) {
    Record(Event("stop"));
    return S_OK;
  }
  const UINT64 id = FNavigation->Id;
  Record(Event("stop").Uint("navigationId", id));
  FNavigation.reset();
  auto self = TComRef<TWebView>::Retain(this);
  PostTask([self, id] {
    if (!self->FClosed)
      self->RaiseNavigationCompleted(id, false, COREWEBVIEW2_WEB_ERROR_STATUS_OPERATION_CANCELED);
  });
  return S_OK;
}

HRESULT TWebView::GetDocumentTitle(LPWSTR* title)
{
  if (FClosed)
    return kClosedError;
  return OutString(FTitle, title);
}

HRESULT TWebView::GetContainsFullScreenElement(BOOL* contains)
{
  if (contains == nullptr)
    return E_POINTER;
  *contains = FALSE;
  return S_OK;
}

HRESULT TWebView::AddWebResourceRequestedFilter(LPCWSTR uri, COREWEBVIEW2_WEB_RESOURCE_CONTEXT context)
{
  if (FClosed)
    return kClosedError;
  if (uri == nullptr || context < COREWEBVIEW2_WEB_RESOURCE_CONTEXT_ALL ||
      context > COREWEBVIEW2_WEB_RESOURCE_CONTEXT_OTHER) {
    Record(
      Event("filter-added").Str("uri", View(uri)).Int("context", context).Utf8("result", HresultText(E_INVALIDARG)));
    return E_INVALIDARG;
  }
  FFilters.push_back({uri, context});
  Record(Event("filter-added").Str("uri", uri).Int("context", context));
  return S_OK;
}

HRESULT TWebView::RemoveWebResourceRequestedFilter(LPCWSTR uri, COREWEBVIEW2_WEB_RESOURCE_CONTEXT context)
{
  if (FClosed)
    return kClosedError;
  const auto found = std::find_if(FFilters.begin(), FFilters.end(), [&](const TFilter& filter) {
    return uri != nullptr && filter.Pattern == uri && filter.Context == context;
  });
  const bool removed = found != FFilters.end();
  if (removed)
    FFilters.erase(found);
  Record(Event("filter-removed").Str("uri", View(uri)).Int("context", context).Bool("found", removed));
  return S_OK;
}

// ---- Page loading ----

namespace {

// The Referer a request made by the document at Page carries: as a browser sends it, only from a
// web page (http or https); a file: document sends none.
std::wstring RefererOf(const std::wstring& Page)
{
  const auto startsWith = [&](std::wstring_view prefix) {
    return Page.size() >= prefix.size() &&
           std::equal(prefix.begin(), prefix.end(), Page.begin(),
                      [](wchar_t a, wchar_t b) { return std::towlower(a) == std::towlower(b); });
  };
  if (startsWith(L"http://") || startsWith(L"https://"))
    return WithoutFragment(Page);
  return {};
}

} // namespace

void TWebView::StartNavigation(std::wstring uri, std::wstring referer, const char* cause)
{
  const UINT64 id = ++FNavigationCounter;
  if (FNavigation)
    Record(Event("navigation-abandoned").Uint("navigationId", FNavigation->Id).Str("uri", FNavigation->Uri));
  auto line = Event("navigate").Str("uri", uri).Uint("navigationId", id).Utf8("cause", cause);
  if (!referer.empty())
    line.Str("referer", referer);
  Record(line);
  FNavigation.emplace();
  FNavigation->Id = id;
  FNavigation->Uri = std::move(uri);
  FNavigation->Referer = RefererOf(referer);
  PostNavigationStep(id, &TWebView::LoadDocument);
}

// Runs step later unless the navigation has been superseded, stopped or the view closed by then.
void TWebView::PostNavigationStep(UINT64 id, void (TWebView::*step)())
{
  auto self = TComRef<TWebView>::Retain(this);
  PostTask([self, id, step] {
    TWebView* view = self.Get();
    if (!view->FClosed && view->FNavigation && view->FNavigation->Id == id)
      (view->*step)();
  });
}

void TWebView::LoadDocument()
{
  TNavigation& navigation = *FNavigation;
  const UINT64 id = navigation.Id;
  TResourceOutcome document;
  if (navigation.Html) {
    document = {.Answered = true, .Status = 200, .ContentType = L"text/html", .Body = Utf8FromWide(*navigation.Html)};
  } else {
    THeaderList headers;
    if (!navigation.Referer.empty())
      headers.Append(L"Referer", navigation.Referer);
    document = RequestResource(WithoutFragment(navigation.Uri), std::move(headers),
                               COREWEBVIEW2_WEB_RESOURCE_CONTEXT_DOCUMENT, id);
  }
  // The host's handler may have navigated again, stopped, or closed the view.
  if (FClosed || !FNavigation || FNavigation->Id != id)
    return;
  navigation.Success = document.Answered && document.Status >= 200 && document.Status <= 299;
  FSource = navigation.Uri;
  if (navigation.Success) {
    std::string ids = "[";
    for (size_t i = 0; i < FScripts.size(); ++i) {
      if (i > 0)
        ids += ',';
      AppendJsonString(ids, std::wstring_view(FScripts[i].Id));
    }
    Record(Event("document-created").Str("uri", navigation.Uri).Uint("navigationId", id).Raw("scripts", ids + "]"));
    if (IsHtml(document.ContentType))
      ScanPage(navigation, document.Body);
  }
  PostNavigationStep(id, &TWebView::LoadNextResource);
}

void TWebView::ScanPage(TNavigation& navigation, const std::string& body)
{
  const THtmlScan scan = ScanHtml(WideFromUtf8(body));
  navigation.Title = scan.Title;
  std::string resources = "[";
  std::string skipped = "[";
  for (const auto& reference : scan.References) {
    const auto uri = ResolveAddress(navigation.Uri, reference.Value);
    if (!uri) {
      if (skipped.size() > 1)
        skipped += ',';
      AppendJsonString(skipped, std::wstring_view(reference.Value));
      continue;
    }
    const std::wstring request = WithoutFragment(*uri);
    // A page that names a resource twice loads it once.
    const bool seen = std::any_of(navigation.Resources.begin(), navigation.Resources.end(),
                                  [&](const TPageResource& resource) { return resource.Uri == request; });
    if (seen)
      continue;
    navigation.Resources.push_back({request, ContextOf(reference)});
    if (resources.size() > 1)
      resources += ',';
    resources += TJsonObjectWriter().Str("uri", request).Int("context", ContextOf(reference)).Finish();
  }
  auto line = Event("page-scanned").Str("uri", navigation.Uri).Uint("navigationId", navigation.Id);
  if (scan.Title)
    line.Str("title", *scan.Title);
  else
    line.Null("title");
  Record(line.Raw("resources", resources + "]").Raw("skipped", skipped + "]"));
}

void TWebView::LoadNextResource()
{
  TNavigation& navigation = *FNavigation;
  const UINT64 id = navigation.Id;
  if (navigation.NextResource >= navigation.Resources.size()) {
    FinishNavigation();
    return;
  }
  const TPageResource resource = navigation.Resources[navigation.NextResource++];
  THeaderList headers;
  if (const std::wstring referer = RefererOf(navigation.Uri); !referer.empty())
    headers.Append(L"Referer", referer);
  RequestResource(resource.Uri, std::move(headers), resource.Context, id);
  if (!FClosed && FNavigation && FNavigation->Id == id)
    PostNavigationStep(id, &TWebView::LoadNextResource);
}

// The document's title is its <title> when it has a non-empty one, else its address.
void TWebView::FinishNavigation()
{
  TNavigation navigation = std::move(*FNavigation);
  FNavigation.reset();
  const std::wstring title =
    navigation.Success && navigation.Title && !navigation.Title->empty() ? *navigation.Title : navigation.Uri;
  if (title != FTitle)
    ChangeTitle(title);
  if (!FClosed)
    RaiseNavigationCompleted(navigation.Id, navigation.Success, COREWEBVIEW2_WEB_ERROR_STATUS_UNKNOWN);
}

void TWebView::RaiseNavigationCompleted(UINT64 id, bool success, COREWEBVIEW2_WEB_ERROR_STATUS status)
{
  auto args = MakeObject<TNavigationCompletedArgs>(success, status, id);
  const auto handlers = FNavigationCompleted.Snapshot();
  Record(Event("navigation-completed")
           .Str("uri", FSource)
           .Uint("navigationId", id)
           .Bool("isSuccess", success)
           .Int("webErrorStatus", status)
           .Uint("handlers", handlers.size()));
  for (const auto& handler : handlers) {
    if (FClosed)
      break;
    handler->lpVtbl->Invoke(handler.Get(), this, args.Get());
  }
}

bool TWebView::Intercepts(const std::wstring& uri, COREWEBVIEW2_WEB_RESOURCE_CONTEXT context) const
{
  return std::any_of(FFilters.begin(), FFilters.end(), [&](const TFilter& filter) {
    return (filter.Context == COREWEBVIEW2_WEB_RESOURCE_CONTEXT_ALL || filter.Context == context) &&
           MatchesPattern(filter.Pattern, uri);
  });
}

// Raises WebResourceRequested for one request when a filter matches, then reads the response the
// host set, if any. Nothing is ever loaded from the network or the disk.
TResourceOutcome TWebView::RequestResource(const std::wstring& uri, THeaderList headers,
                                           COREWEBVIEW2_WEB_RESOURCE_CONTEXT context, UINT64 navigationId)
{
  TResourceOutcome outcome;
  auto withNavigation = [navigationId](TJsonObjectWriter line) {
    if (navigationId != 0)
      line.Uint("navigationId", navigationId);
    return line;
  };
  const auto handlers = FWebResourceRequested.Snapshot();
  if (!Intercepts(uri, context) || handlers.empty()) {
    Record(withNavigation(Event("request-unfiltered")
                            .Str("uri", uri)
                            .Int("context", context)
                            .Utf8("reason", handlers.empty() ? "no handler" : "no filter matches")));
    return outcome;
  }
  Record(withNavigation(Event("request")
                          .Str("uri", uri)
                          .Utf8("method", "GET")
                          .Raw("headers", headers.ToJson())
                          .Int("context", context)
                          .Uint("handlers", handlers.size())));
  auto request = MakeObject<TRequest>(uri, L"GET", std::move(headers));
  auto args = MakeObject<TResourceRequestedArgs>(request, context);
  std::vector<HRESULT> results;
  for (const auto& handler : handlers) {
    if (FClosed)
      break;
    results.push_back(handler->lpVtbl->Invoke(handler.Get(), this, args.Get()));
  }
  const TResponse* response = args->Response();
  if (response == nullptr) {
    Record(withNavigation(Event("no-response").Str("uri", uri).Raw("results", ResultsJson(results))));
    return outcome;
  }
  bool truncated = false;
  HRESULT readResult = S_OK;
  const std::optional<std::string> body = response->ReadContent(truncated, readResult);
  outcome.Answered = true;
  outcome.Status = response->Status();
  outcome.ContentType = response->Headers().Get(L"Content-Type").value_or(L"");
  outcome.Body = body.value_or("");

  auto line = withNavigation(Event("response")
                               .Str("uri", uri)
                               .Int("status", outcome.Status)
                               .Str("reason", response->Reason())
                               .Str("headers", response->HeaderText())
                               .Raw("headerFields", response->Headers().ToJson())
                               .Str("contentType", outcome.ContentType)
                               .Bool("hasContent", body.has_value())
                               .Uint("bodyLength", outcome.Body.size()));
  if (IsValidUtf8(outcome.Body))
    line.Utf8("body", outcome.Body);
  else
    line.Utf8("bodyBase64", Base64(outcome.Body));
  if (truncated)
    line.Bool("truncated", true);
  if (FAILED(readResult))
    line.Utf8("readResult", HresultText(readResult));
  Record(line.Raw("results", ResultsJson(results)));
  return outcome;
}

void TWebView::RaiseWebMessage(std::wstring json, std::optional<std::wstring> string, std::wstring source)
{
  const auto handlers = FWebMessageReceived.Snapshot();
  if (!FSettings->Value(TSetting::IsWebMessageEnabled)) {
    Record(Event("message-dropped").Str("json", json).Utf8("reason", "IsWebMessageEnabled is off"));
    return;
  }
  auto posted = Event("message-posted").Str("json", json).Str("source", source).Uint("handlers", handlers.size());
  if (string)
    posted.Str("string", *string);
  Record(posted);
  auto args = MakeObject<TWebMessageArgs>(std::move(source), std::move(json), std::move(string));
  std::vector<HRESULT> results;
  for (const auto& handler : handlers) {
    if (FClosed)
      break;
    results.push_back(handler->lpVtbl->Invoke(handler.Get(), this, args.Get()));
  }
  Record(Event("message-handled").Uint("handlers", results.size()).Raw("results", ResultsJson(results)));
}

// Whatever the host answers, no window opens: the double has nothing to open one with.
void TWebView::RaiseNewWindow(std::wstring uri)
{
  const auto handlers = FNewWindowRequested.Snapshot();
  auto args = MakeObject<TNewWindowArgs>(uri);
  std::vector<HRESULT> results;
  for (const auto& handler : handlers) {
    if (FClosed)
      break;
    results.push_back(handler->lpVtbl->Invoke(handler.Get(), this, args.Get()));
  }
  Record(Event("new-window")
           .Str("uri", uri)
           .Bool("handled", args->Handled())
           .Uint("handlers", results.size())
           .Raw("results", ResultsJson(results)));
}

void TWebView::RaisePermission(std::wstring uri, COREWEBVIEW2_PERMISSION_KIND kind)
{
  const auto handlers = FPermissionRequested.Snapshot();
  auto args = MakeObject<TPermissionArgs>(uri, kind);
  std::vector<HRESULT> results;
  for (const auto& handler : handlers) {
    if (FClosed)
      break;
    results.push_back(handler->lpVtbl->Invoke(handler.Get(), this, args.Get()));
  }
  Record(Event("permission")
           .Str("uri", uri)
           .Int("kind", kind)
           .Int("state", args->State())
           .Uint("handlers", results.size())
           .Raw("results", ResultsJson(results)));
}

void TWebView::RaiseProcessFailed(COREWEBVIEW2_PROCESS_FAILED_KIND kind)
{
  const auto handlers = FProcessFailed.Snapshot();
  Record(Event("process-failed").Int("kind", kind).Uint("handlers", handlers.size()));
  auto args = MakeObject<TProcessFailedArgs>(kind);
  for (const auto& handler : handlers) {
    if (FClosed)
      break;
    handler->lpVtbl->Invoke(handler.Get(), this, args.Get());
  }
}

// The event's args parameter is passed as null: the title is read back with get_DocumentTitle.
void TWebView::ChangeTitle(std::wstring title)
{
  FTitle = std::move(title);
  const auto handlers = FDocumentTitleChanged.Snapshot();
  Record(Event("title").Str("title", FTitle).Uint("handlers", handlers.size()));
  for (const auto& handler : handlers) {
    if (FClosed)
      break;
    handler->lpVtbl->Invoke(handler.Get(), this, nullptr);
  }
}

// Methods the double does not offer answer E_NOTIMPL (and null out what they could).
const ICoreWebView2Vtbl TWebView::kVtbl = {
  .QueryInterface = TUnknownThunks<TWebView>::QueryInterface,
  .AddRef = TUnknownThunks<TWebView>::AddRef,
  .Release = TUnknownThunks<TWebView>::Release,
  .get_Settings = Thunk<&TWebView::GetSettings>,
  .get_Source = Thunk<&TWebView::GetSource>,
  .Navigate = Thunk<&TWebView::Navigate>,
  .NavigateToString = Thunk<&TWebView::NavigateToString>,
  .add_NavigationStarting = Thunk<&TWebView::AddHandler<&TWebView::FNavigationStarting>>,
  .remove_NavigationStarting = Thunk<&TWebView::RemoveHandler<&TWebView::FNavigationStarting>>,
  .add_ContentLoading = Thunk<&TWebView::AddHandler<&TWebView::FContentLoading>>,
  .remove_ContentLoading = Thunk<&TWebView::RemoveHandler<&TWebView::FContentLoading>>,
  .add_SourceChanged = Thunk<&TWebView::AddHandler<&TWebView::FSourceChanged>>,
  .remove_SourceChanged = Thunk<&TWebView::RemoveHandler<&TWebView::FSourceChanged>>,
  .add_HistoryChanged = Thunk<&TWebView::AddHandler<&TWebView::FHistoryChanged>>,
  .remove_HistoryChanged = Thunk<&TWebView::RemoveHandler<&TWebView::FHistoryChanged>>,
  .add_NavigationCompleted = Thunk<&TWebView::AddHandler<&TWebView::FNavigationCompleted>>,
  .remove_NavigationCompleted = Thunk<&TWebView::RemoveHandler<&TWebView::FNavigationCompleted>>,
  .add_FrameNavigationStarting = Thunk<&TWebView::AddHandler<&TWebView::FFrameNavigationStarting>>,
  .remove_FrameNavigationStarting = Thunk<&TWebView::RemoveHandler<&TWebView::FFrameNavigationStarting>>,
  .add_FrameNavigationCompleted = Thunk<&TWebView::AddHandler<&TWebView::FFrameNavigationCompleted>>,
  .remove_FrameNavigationCompleted = Thunk<&TWebView::RemoveHandler<&TWebView::FFrameNavigationCompleted>>,
  .add_ScriptDialogOpening = Thunk<&TWebView::AddHandler<&TWebView::FScriptDialogOpening>>,
  .remove_ScriptDialogOpening = Thunk<&TWebView::RemoveHandler<&TWebView::FScriptDialogOpening>>,
  .add_PermissionRequested = Thunk<&TWebView::AddHandler<&TWebView::FPermissionRequested>>,
  .remove_PermissionRequested = Thunk<&TWebView::RemoveHandler<&TWebView::FPermissionRequested>>,
  .add_ProcessFailed = Thunk<&TWebView::AddHandler<&TWebView::FProcessFailed>>,
  .remove_ProcessFailed = Thunk<&TWebView::RemoveHandler<&TWebView::FProcessFailed>>,
  .AddScriptToExecuteOnDocumentCreated = Thunk<&TWebView::AddScriptToExecuteOnDocumentCreated>,
  .RemoveScriptToExecuteOnDocumentCreated = Thunk<&TWebView::RemoveScriptToExecuteOnDocumentCreated>,
  .ExecuteScript = Thunk<&TWebView::ExecuteScript>,
  .CapturePreview = NotImplemented,
  .Reload = Thunk<&TWebView::Reload>,
  .PostWebMessageAsJson = Thunk<&TWebView::PostWebMessageAsJson>,
  .PostWebMessageAsString = Thunk<&TWebView::PostWebMessageAsString>,
  .add_WebMessageReceived = Thunk<&TWebView::AddHandler<&TWebView::FWebMessageReceived>>,
  .remove_WebMessageReceived = Thunk<&TWebView::RemoveHandler<&TWebView::FWebMessageReceived>>,
  .CallDevToolsProtocolMethod = NotImplemented,
  .get_BrowserProcessId = NotImplemented,
  .get_CanGoBack = Thunk<&TWebView::GetCanGoBack>,
  .get_CanGoForward = Thunk<&TWebView::GetCanGoForward>,
  .GoBack = NotImplemented,
  .GoForward = NotImplemented,
  .GetDevToolsProtocolEventReceiver = [](ICoreWebView2*, LPCWSTR,
                                         ICoreWebView2DevToolsProtocolEventReceiver** receiver) -> HRESULT {
    if (receiver != nullptr)
      *receiver = nullptr;
    return E_NOTIMPL;
  },
  .Stop = Thunk<&TWebView::Stop>,
  .add_NewWindowRequested = Thunk<&TWebView::AddHandler<&TWebView::FNewWindowRequested>>,
  .remove_NewWindowRequested = Thunk<&TWebView::RemoveHandler<&TWebView::FNewWindowRequested>>,
  .add_DocumentTitleChanged = Thunk<&TWebView::AddHandler<&TWebView::FDocumentTitleChanged>>,
  .remove_DocumentTitleChanged = Thunk<&TWebView::RemoveHandler<&TWebView::FDocumentTitleChanged>>,
  .get_DocumentTitle = Thunk<&TWebView::GetDocumentTitle>,
  .AddHostObjectToScript = NotImplemented,
  .RemoveHostObjectFromScript = NotImplemented,
  .OpenDevToolsWindow = NotImplemented,
  .add_ContainsFullScreenElementChanged = Thunk<&TWebView::AddHandler<&TWebView::FContainsFullScreenElementChanged>>,
  .remove_ContainsFullScreenElementChanged =
    Thunk<&TWebView::RemoveHandler<&TWebView::FContainsFullScreenElementChanged>>,
  .get_ContainsFullScreenElement = Thunk<&TWebView::GetContainsFullScreenElement>,
  .add_WebResourceRequested = Thunk<&TWebView::AddHandler<&TWebView::FWebResourceRequested>>,
  .remove_WebResourceRequested = Thunk<&TWebView::RemoveHandler<&TWebView::FWebResourceRequested>>,
  .AddWebResourceRequestedFilter = Thunk<&TWebView::AddWebResourceRequestedFilter>,
  .RemoveWebResourceRequestedFilter = Thunk<&TWebView::RemoveWebResourceRequestedFilter>,
  .add_WindowCloseRequested = Thunk<&TWebView::AddHandler<&TWebView::FWindowCloseRequested>>,
  .remove_WindowCloseRequested = Thunk<&TWebView::RemoveHandler<&TWebView::FWindowCloseRequested>>,
};

} // namespace velmora::enginedouble
