// Header fields of the engine double's requests and responses, and the interfaces that expose them.
#include "EngineObjects.h"

#include "Text.h"

namespace velmora::enginedouble {

THeaderList THeaderList::Parse(std::wstring_view text)
{
  THeaderList list;
  while (!text.empty()) {
    const size_t end = text.find(L'\n');
    std::wstring_view line = text.substr(0, end);
    text = end == std::wstring_view::npos ? std::wstring_view() : text.substr(end + 1);
    if (!line.empty() && line.back() == L'\r')
      line.remove_suffix(1);
    const size_t colon = line.find(L':');
    if (colon == std::wstring_view::npos)
      continue;
    const std::wstring_view name = TrimWhite(line.substr(0, colon));
    if (!name.empty())
      list.Append(std::wstring(name), std::wstring(TrimWhite(line.substr(colon + 1))));
  }
  return list;
}

void THeaderList::Append(std::wstring name, std::wstring value)
{
  FFields.emplace_back(std::move(name), std::move(value));
}

void THeaderList::Set(std::wstring name, std::wstring value)
{
  Remove(name);
  Append(std::move(name), std::move(value));
}

void THeaderList::Remove(std::wstring_view name)
{
  std::erase_if(FFields, [&](const auto& field) { return EqualsIgnoreCase(field.first, name); });
}

bool THeaderList::Contains(std::wstring_view name) const
{
  for (const auto& field : FFields) {
    if (EqualsIgnoreCase(field.first, name))
      return true;
  }
  return false;
}

std::optional<std::wstring> THeaderList::Get(std::wstring_view name) const
{
  std::optional<std::wstring> value;
  for (const auto& field : FFields) {
    if (!EqualsIgnoreCase(field.first, name))
      continue;
    if (value)
      *value += L", " + field.second;
    else
      value = field.second;
  }
  return value;
}

std::vector<std::pair<std::wstring, std::wstring>> THeaderList::Matching(std::wstring_view name) const
{
  std::vector<std::pair<std::wstring, std::wstring>> fields;
  for (const auto& field : FFields) {
    if (EqualsIgnoreCase(field.first, name))
      fields.push_back(field);
  }
  return fields;
}

std::string THeaderList::ToJson() const
{
  TJsonObjectWriter object;
  std::vector<std::wstring> written;
  for (const auto& field : FFields) {
    bool seen = false;
    for (const auto& name : written)
      seen = seen || EqualsIgnoreCase(name, field.first);
    if (seen)
      continue;
    written.push_back(field.first);
    object.Str(Utf8FromWide(field.first), *Get(field.first));
  }
  return object.Finish();
}

namespace {

HRESULT MakeIterator(std::vector<std::pair<std::wstring, std::wstring>> fields,
                     ICoreWebView2HttpHeadersCollectionIterator** iterator)
{
  if (iterator == nullptr)
    return E_POINTER;
  *iterator = MakeObject<THeaderIterator>(std::move(fields)).Detach();
  return S_OK;
}

// The engine has no documented answer for a header that is not there; the double fails the call
// with E_INVALIDARG and a null string.
HRESULT GetHeaderValue(const THeaderList& headers, LPCWSTR name, LPWSTR* value)
{
  if (value == nullptr)
    return E_POINTER;
  *value = nullptr;
  if (name == nullptr)
    return E_INVALIDARG;
  const auto found = headers.Get(name);
  if (!found)
    return E_INVALIDARG;
  return OutString(*found, value);
}

HRESULT ContainsHeader(const THeaderList& headers, LPCWSTR name, BOOL* value)
{
  if (value == nullptr)
    return E_POINTER;
  *value = name != nullptr && headers.Contains(name) ? TRUE : FALSE;
  return S_OK;
}

} // namespace

// ---- THeaderIterator ----

HRESULT THeaderIterator::GetCurrentHeader(LPWSTR* name, LPWSTR* value)
{
  if (name == nullptr || value == nullptr)
    return E_POINTER;
  *name = nullptr;
  *value = nullptr;
  if (FIndex >= FFields.size())
    return HRESULT_FROM_WIN32(ERROR_INVALID_INDEX);
  if (FAILED(OutString(FFields[FIndex].first, name)))
    return E_OUTOFMEMORY;
  if (FAILED(OutString(FFields[FIndex].second, value))) {
    CoTaskMemFree(*name);
    *name = nullptr;
    return E_OUTOFMEMORY;
  }
  return S_OK;
}

HRESULT THeaderIterator::GetHasCurrentHeader(BOOL* hasCurrent)
{
  if (hasCurrent == nullptr)
    return E_POINTER;
  *hasCurrent = FIndex < FFields.size() ? TRUE : FALSE;
  return S_OK;
}

HRESULT THeaderIterator::MoveNext(BOOL* hasNext)
{
  if (hasNext == nullptr)
    return E_POINTER;
  if (FIndex < FFields.size())
    ++FIndex;
  *hasNext = FIndex < FFields.size() ? TRUE : FALSE;
  return S_OK;
}

const ICoreWebView2HttpHeadersCollectionIteratorVtbl THeaderIterator::kVtbl = {
  .QueryInterface = TUnknownThunks<THeaderIterator>::QueryInterface,
  .AddRef = TUnknownThunks<THeaderIterator>::AddRef,
  .Release = TUnknownThunks<THeaderIterator>::Release,
  .GetCurrentHeader = Thunk<&THeaderIterator::GetCurrentHeader>,
  .get_HasCurrentHeader = Thunk<&THeaderIterator::GetHasCurrentHeader>,
  .MoveNext = Thunk<&THeaderIterator::MoveNext>,
};

// ---- TRequestHeaders ----

HRESULT TRequestHeaders::GetHeader(LPCWSTR name, LPWSTR* value) { return GetHeaderValue(*FHeaders, name, value); }

HRESULT TRequestHeaders::GetHeaders(LPCWSTR name, ICoreWebView2HttpHeadersCollectionIterator** iterator)
{
  return MakeIterator(FHeaders->Matching(View(name)), iterator);
}

HRESULT TRequestHeaders::Contains(LPCWSTR name, BOOL* value) { return ContainsHeader(*FHeaders, name, value); }

HRESULT TRequestHeaders::SetHeader(LPCWSTR name, LPCWSTR value)
{
  if (name == nullptr || *name == L'\0')
    return E_INVALIDARG;
  FHeaders->Set(name, std::wstring(View(value)));
  return S_OK;
}

HRESULT TRequestHeaders::RemoveHeader(LPCWSTR name)
{
  if (name == nullptr)
    return E_INVALIDARG;
  FHeaders->Remove(name);
  return S_OK;
}

HRESULT TRequestHeaders::GetIterator(ICoreWebView2HttpHeadersCollectionIterator** iterator)
{
  return MakeIterator(FHeaders->Fields(), iterator);
}

const ICoreWebView2HttpRequestHeadersVtbl TRequestHeaders::kVtbl = {
  .QueryInterface = TUnknownThunks<TRequestHeaders>::QueryInterface,
  .AddRef = TUnknownThunks<TRequestHeaders>::AddRef,
  .Release = TUnknownThunks<TRequestHeaders>::Release,
  .GetHeader = Thunk<&TRequestHeaders::GetHeader>,
  .GetHeaders = Thunk<&TRequestHeaders::GetHeaders>,
  .Contains = Thunk<&TRequestHeaders::Contains>,
  .SetHeader = Thunk<&TRequestHeaders::SetHeader>,
  .RemoveHeader = Thunk<&TRequestHeaders::RemoveHeader>,
  .GetIterator = Thunk<&TRequestHeaders::GetIterator>,
};

// ---- TResponseHeaders ----

HRESULT TResponseHeaders::AppendHeader(LPCWSTR name, LPCWSTR value)
{
  if (name == nullptr || *name == L'\0')
    return E_INVALIDARG;
  FHeaders->Append(name, std::wstring(View(value)));
  return S_OK;
}

HRESULT TResponseHeaders::Contains(LPCWSTR name, BOOL* value) { return ContainsHeader(*FHeaders, name, value); }

HRESULT TResponseHeaders::GetHeader(LPCWSTR name, LPWSTR* value) { return GetHeaderValue(*FHeaders, name, value); }

HRESULT TResponseHeaders::GetHeaders(LPCWSTR name, ICoreWebView2HttpHeadersCollectionIterator** iterator)
{
  return MakeIterator(FHeaders->Matching(View(name)), iterator);
}

HRESULT TResponseHeaders::GetIterator(ICoreWebView2HttpHeadersCollectionIterator** iterator)
{
  return MakeIterator(FHeaders->Fields(), iterator);
}

const ICoreWebView2HttpResponseHeadersVtbl TResponseHeaders::kVtbl = {
  .QueryInterface = TUnknownThunks<TResponseHeaders>::QueryInterface,
  .AddRef = TUnknownThunks<TResponseHeaders>::AddRef,
  .Release = TUnknownThunks<TResponseHeaders>::Release,
  .AppendHeader = Thunk<&TResponseHeaders::AppendHeader>,
  .Contains = Thunk<&TResponseHeaders::Contains>,
  .GetHeader = Thunk<&TResponseHeaders::GetHeader>,
  .GetHeaders = Thunk<&TResponseHeaders::GetHeaders>,
  .GetIterator = Thunk<&TResponseHeaders::GetIterator>,
};

} // namespace velmora::enginedouble
