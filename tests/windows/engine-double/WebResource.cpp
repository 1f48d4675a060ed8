// The request, response and args objects of the engine double's intercepted requests.
#include "EngineObjects.h"

#include "Text.h"

namespace velmora::enginedouble {

// ---- TRequest ----

TRequest::TRequest(std::wstring uri, std::wstring method, THeaderList headers)
  : FUri(std::move(uri)), FMethod(std::move(method)), FHeaders(std::make_shared<THeaderList>(std::move(headers)))
{}

TRequest::~TRequest() { ReleaseInterface(FContent); }

HRESULT TRequest::GetUri(LPWSTR* uri) { return OutString(FUri, uri); }

HRESULT TRequest::PutUri(LPCWSTR uri)
{
  if (uri == nullptr)
    return E_INVALIDARG;
  FUri = uri;
  return S_OK;
}

HRESULT TRequest::GetMethod(LPWSTR* method) { return OutString(FMethod, method); }

HRESULT TRequest::PutMethod(LPCWSTR method)
{
  if (method == nullptr)
    return E_INVALIDARG;
  FMethod = method;
  return S_OK;
}

HRESULT TRequest::GetContent(IStream** content)
{
  if (content == nullptr)
    return E_POINTER;
  AddRefInterface(FContent);
  *content = FContent;
  return S_OK;
}

HRESULT TRequest::PutContent(IStream* content)
{
  AddRefInterface(content);
  ReleaseInterface(std::exchange(FContent, content));
  return S_OK;
}

HRESULT TRequest::GetHeaders(ICoreWebView2HttpRequestHeaders** headers)
{
  if (headers == nullptr)
    return E_POINTER;
  *headers = MakeObject<TRequestHeaders>(FHeaders).Detach();
  return S_OK;
}

const ICoreWebView2WebResourceRequestVtbl TRequest::kVtbl = {
  .QueryInterface = TUnknownThunks<TRequest>::QueryInterface,
  .AddRef = TUnknownThunks<TRequest>::AddRef,
  .Release = TUnknownThunks<TRequest>::Release,
  .get_Uri = Thunk<&TRequest::GetUri>,
  .put_Uri = Thunk<&TRequest::PutUri>,
  .get_Method = Thunk<&TRequest::GetMethod>,
  .put_Method = Thunk<&TRequest::PutMethod>,
  .get_Content = Thunk<&TRequest::GetContent>,
  .put_Content = Thunk<&TRequest::PutContent>,
  .get_Headers = Thunk<&TRequest::GetHeaders>,
};

// ---- TResponse ----

TResponse::TResponse(IStream* content, int status, std::wstring reason, std::wstring headerText)
  : FContent(content), FStatus(status), FReason(std::move(reason)), FHeaderText(std::move(headerText)),
    FHeaders(std::make_shared<THeaderList>(THeaderList::Parse(FHeaderText)))
{
  AddRefInterface(FContent);
}

TResponse::~TResponse() { ReleaseInterface(FContent); }

HRESULT TResponse::GetContent(IStream** content)
{
  if (content == nullptr)
    return E_POINTER;
  AddRefInterface(FContent);
  *content = FContent;
  return S_OK;
}

HRESULT TResponse::PutContent(IStream* content)
{
  AddRefInterface(content);
  ReleaseInterface(std::exchange(FContent, content));
  return S_OK;
}

HRESULT TResponse::GetHeaders(ICoreWebView2HttpResponseHeaders** headers)
{
  if (headers == nullptr)
    return E_POINTER;
  *headers = MakeObject<TResponseHeaders>(FHeaders).Detach();
  return S_OK;
}

HRESULT TResponse::GetStatusCode(int* status)
{
  if (status == nullptr)
    return E_POINTER;
  *status = FStatus;
  return S_OK;
}

HRESULT TResponse::PutStatusCode(int status)
{
  FStatus = status;
  return S_OK;
}

HRESULT TResponse::GetReasonPhrase(LPWSTR* reason) { return OutString(FReason, reason); }

HRESULT TResponse::PutReasonPhrase(LPCWSTR reason)
{
  FReason = View(reason);
  return S_OK;
}

std::optional<std::string> TResponse::ReadContent(bool& truncated, HRESULT& readResult) const
{
  constexpr size_t kLimit = 64u << 20;
  truncated = false;
  readResult = S_OK;
  if (FContent == nullptr)
    return std::nullopt;
  std::string body;
  char buffer[64 * 1024];
  for (;;) {
    ULONG read = 0;
    readResult = FContent->Read(buffer, sizeof buffer, &read);
    if (FAILED(readResult))
      break;
    body.append(buffer, read);
    if (body.size() > kLimit) {
      body.resize(kLimit);
      truncated = true;
      break;
    }
    // S_FALSE means the stream ended within this read; so does a read that gives nothing.
    if (readResult == S_FALSE || read == 0)
      break;
  }
  return body;
}

const ICoreWebView2WebResourceResponseVtbl TResponse::kVtbl = {
  .QueryInterface = TUnknownThunks<TResponse>::QueryInterface,
  .AddRef = TUnknownThunks<TResponse>::AddRef,
  .Release = TUnknownThunks<TResponse>::Release,
  .get_Content = Thunk<&TResponse::GetContent>,
  .put_Content = Thunk<&TResponse::PutContent>,
  .get_Headers = Thunk<&TResponse::GetHeaders>,
  .get_StatusCode = Thunk<&TResponse::GetStatusCode>,
  .put_StatusCode = Thunk<&TResponse::PutStatusCode>,
  .get_ReasonPhrase = Thunk<&TResponse::GetReasonPhrase>,
  .put_ReasonPhrase = Thunk<&TResponse::PutReasonPhrase>,
};

// ---- TResourceRequestedArgs ----

HRESULT TResourceRequestedArgs::GetRequest(ICoreWebView2WebResourceRequest** request)
{
  if (request == nullptr)
    return E_POINTER;
  *request = TComRef<TRequest>(FRequest).Detach();
  return S_OK;
}

// Before the host sets a response there is none: S_OK with a null pointer.
HRESULT TResourceRequestedArgs::GetResponse(ICoreWebView2WebResourceResponse** response)
{
  if (response == nullptr)
    return E_POINTER;
  *response = TComRef<TResponse>(FResponse).Detach();
  return S_OK;
}

// Only a response made by this environment's CreateWebResourceResponse is accepted, as the engine
// accepts only its own objects; null takes the response back.
HRESULT TResourceRequestedArgs::PutResponse(ICoreWebView2WebResourceResponse* response)
{
  if (response != nullptr && response->lpVtbl != &TResponse::kVtbl) {
    Record(Event("foreign-response"));
    return E_INVALIDARG;
  }
  FResponse = TComRef<TResponse>::Retain(static_cast<TResponse*>(response));
  return S_OK;
}

HRESULT TResourceRequestedArgs::GetDeferral(ICoreWebView2Deferral** deferral)
{
  if (deferral != nullptr)
    *deferral = nullptr;
  return E_NOTIMPL;
}

HRESULT TResourceRequestedArgs::GetResourceContext(COREWEBVIEW2_WEB_RESOURCE_CONTEXT* context)
{
  if (context == nullptr)
    return E_POINTER;
  *context = FContext;
  return S_OK;
}

const ICoreWebView2WebResourceRequestedEventArgsVtbl TResourceRequestedArgs::kVtbl = {
  .QueryInterface = TUnknownThunks<TResourceRequestedArgs>::QueryInterface,
  .AddRef = TUnknownThunks<TResourceRequestedArgs>::AddRef,
  .Release = TUnknownThunks<TResourceRequestedArgs>::Release,
  .get_Request = Thunk<&TResourceRequestedArgs::GetRequest>,
  .get_Response = Thunk<&TResourceRequestedArgs::GetResponse>,
  .put_Response = Thunk<&TResourceRequestedArgs::PutResponse>,
  .GetDeferral = Thunk<&TResourceRequestedArgs::GetDeferral>,
  .get_ResourceContext = Thunk<&TResourceRequestedArgs::GetResourceContext>,
};

} // namespace velmora::enginedouble
