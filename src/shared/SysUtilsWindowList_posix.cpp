// Linux implementation of TSysUtils::GetWindowsCaptions: the X11 window manager's client list,
// read through libxcb loaded at run time.
#include "SysUtils.h"
#include "SysUtils_posix.h"
#include "TextCodec.h"

#include <dlfcn.h>
#include <xcb/xcb.h>

#include <cstring>
#include <memory>
#include <string_view>
#include <vector>

namespace velmora {

using namespace posix;

namespace {

// The few libxcb functions the window list needs, looked up at run time: velmora_shared links no X11
// library, and a desktop without X11 must still run. XCB rather than Xlib because XCB reports an
// error (a window closed while we read it) with the reply, while Xlib calls a process-wide error
// handler that the toolkit has installed for itself.
struct TXcb {
  decltype(&xcb_connect) Connect = nullptr;
  decltype(&xcb_connection_has_error) ConnectionHasError = nullptr;
  decltype(&xcb_disconnect) Disconnect = nullptr;
  decltype(&xcb_get_setup) GetSetup = nullptr;
  decltype(&xcb_setup_roots_iterator) SetupRootsIterator = nullptr;
  decltype(&xcb_screen_next) ScreenNext = nullptr;
  decltype(&xcb_intern_atom) InternAtom = nullptr;
  decltype(&xcb_intern_atom_reply) InternAtomReply = nullptr;
  decltype(&xcb_get_property) GetProperty = nullptr;
  decltype(&xcb_get_property_reply) GetPropertyReply = nullptr;
  decltype(&xcb_get_property_value) GetPropertyValue = nullptr;
  decltype(&xcb_get_property_value_length) GetPropertyValueLength = nullptr;
};

template <class F>
bool LoadSymbol(void* library, const char* name, F& function)
{
  void* symbol = dlsym(library, name);
  // POSIX guarantees that a symbol's address converts to a function pointer; memcpy says so without
  // a cast between object and function pointers.
  static_assert(sizeof(symbol) == sizeof(function));
  std::memcpy(&function, &symbol, sizeof(function));
  return symbol != nullptr;
}

// libxcb, loaded once and kept for the life of the process; nullptr when it is not installed.
const TXcb* Xcb()
{
  static const std::optional<TXcb> xcb = []() -> std::optional<TXcb> {
    void* library = dlopen("libxcb.so.1", RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr)
      return std::nullopt;
    TXcb functions;
    const bool complete = LoadSymbol(library, "xcb_connect", functions.Connect) &&
                          LoadSymbol(library, "xcb_connection_has_error", functions.ConnectionHasError) &&
                          LoadSymbol(library, "xcb_disconnect", functions.Disconnect) &&
                          LoadSymbol(library, "xcb_get_setup", functions.GetSetup) &&
                          LoadSymbol(library, "xcb_setup_roots_iterator", functions.SetupRootsIterator) &&
                          LoadSymbol(library, "xcb_screen_next", functions.ScreenNext) &&
                          LoadSymbol(library, "xcb_intern_atom", functions.InternAtom) &&
                          LoadSymbol(library, "xcb_intern_atom_reply", functions.InternAtomReply) &&
                          LoadSymbol(library, "xcb_get_property", functions.GetProperty) &&
                          LoadSymbol(library, "xcb_get_property_reply", functions.GetPropertyReply) &&
                          LoadSymbol(library, "xcb_get_property_value", functions.GetPropertyValue) &&
                          LoadSymbol(library, "xcb_get_property_value_length", functions.GetPropertyValueLength);
    if (!complete) {
      dlclose(library);
      return std::nullopt;
    }
    return functions;
  }();
  return xcb ? &*xcb : nullptr;
}

struct TFreeReply {
  void operator()(void* p) const { std::free(p); }
};
template <class T>
using TXcbReply = std::unique_ptr<T, TFreeReply>;

// Longest property read, in 32-bit units: a client list of 65536 windows, a title of 256 KB.
constexpr uint32_t kMaxPropertyLength = 65536;

std::string PropertyBytes(const TXcb& xcb, const xcb_get_property_reply_t* reply)
{
  if (reply == nullptr || reply->format != 8)
    return {};
  const auto* bytes = static_cast<const char*>(xcb.GetPropertyValue(reply));
  return std::string(bytes, static_cast<size_t>(xcb.GetPropertyValueLength(reply)));
}

// True when the title has something besides spaces and control characters.
bool HasVisibleCharacter(std::string_view title)
{
  size_t pos = 0;
  while (pos < title.size()) {
    const char32_t cp = DecodeUtf8(title, pos);
    if (cp > 0x20 && (cp < 0x7F || cp > 0x9F))
      return true;
  }
  return false;
}

// The titles of the X11 display's client windows in the window manager's stacking order, topmost
// first. The client list and every window's title are requested in one batch each, so a long list
// costs two round trips rather than one per window.
void ReadX11WindowTitles(std::vector<std::string>& list)
{
  if (EnvValue("DISPLAY").empty())
    return;
  const TXcb* xcb = Xcb();
  if (xcb == nullptr)
    return;
  int screenNumber = 0;
  xcb_connection_t* connection = xcb->Connect(nullptr, &screenNumber);
  const std::unique_ptr<xcb_connection_t, void (*)(xcb_connection_t*)> owner(connection, xcb->Disconnect);
  if (connection == nullptr || xcb->ConnectionHasError(connection) != 0)
    return;

  xcb_screen_iterator_t screens = xcb->SetupRootsIterator(xcb->GetSetup(connection));
  for (int i = 0; i < screenNumber && screens.rem > 0; ++i)
    xcb->ScreenNext(&screens);
  if (screens.rem <= 0)
    return;
  const xcb_window_t root = screens.data->root;

  // only_if_exists: atoms that no program has used yet are not created by asking for them.
  auto internAtom = [&](std::string_view name) {
    return xcb->InternAtom(connection, 1, static_cast<uint16_t>(name.size()), name.data());
  };
  const xcb_intern_atom_cookie_t cookies[] = {internAtom("_NET_CLIENT_LIST_STACKING"), internAtom("_NET_WM_NAME")};
  xcb_atom_t atoms[2] = {XCB_ATOM_NONE, XCB_ATOM_NONE};
  for (size_t i = 0; i < 2; ++i) {
    const TXcbReply<xcb_intern_atom_reply_t> reply(xcb->InternAtomReply(connection, cookies[i], nullptr));
    if (reply)
      atoms[i] = reply->atom;
  }
  const xcb_atom_t clientListAtom = atoms[0];
  const xcb_atom_t netWmNameAtom = atoms[1];
  if (clientListAtom == XCB_ATOM_NONE)
    return;

  const auto readProperty = [&](xcb_window_t window, xcb_atom_t property, xcb_atom_t type) {
    return xcb->GetProperty(connection, 0, window, property, type, 0, kMaxPropertyLength);
  };
  const TXcbReply<xcb_get_property_reply_t> clientList(
    xcb->GetPropertyReply(connection, readProperty(root, clientListAtom, XCB_ATOM_WINDOW), nullptr));
  if (!clientList || clientList->format != 32 || clientList->type != XCB_ATOM_WINDOW)
    return;
  const auto* windows = static_cast<const xcb_window_t*>(xcb->GetPropertyValue(clientList.get()));
  const size_t count = static_cast<size_t>(xcb->GetPropertyValueLength(clientList.get())) / sizeof(xcb_window_t);

  // The list runs from the bottom of the stack to the top; the caller wants the top first.
  std::vector<xcb_get_property_cookie_t> netNames;
  std::vector<xcb_get_property_cookie_t> legacyNames;
  netNames.reserve(count);
  legacyNames.reserve(count);
  for (size_t i = count; i-- > 0;) {
    if (netWmNameAtom != XCB_ATOM_NONE)
      netNames.push_back(readProperty(windows[i], netWmNameAtom, XCB_ATOM_ANY));
    legacyNames.push_back(readProperty(windows[i], XCB_ATOM_WM_NAME, XCB_ATOM_ANY));
  }
  for (size_t i = 0; i < legacyNames.size(); ++i) {
    std::string title;
    if (!netNames.empty()) {
      const TXcbReply<xcb_get_property_reply_t> reply(xcb->GetPropertyReply(connection, netNames[i], nullptr));
      // _NET_WM_NAME is UTF-8 by definition, even where a program declares another type for it.
      if (reply)
        title = SanitizeUtf8(PropertyBytes(*xcb, reply.get()));
    }
    // Every reply is collected, used or not, so none stays queued on the connection.
    const TXcbReply<xcb_get_property_reply_t> legacy(xcb->GetPropertyReply(connection, legacyNames[i], nullptr));
    if (title.empty() && legacy) {
      // WM_NAME should be Latin-1, but many programs store UTF-8 there; AnsiToUtf8 takes bytes that form
      // valid UTF-8 as UTF-8 and anything else as Windows-1252, the superset of Latin-1.
      title = AnsiToUtf8(PropertyBytes(*xcb, legacy.get()));
    }
    if (HasVisibleCharacter(title))
      list.push_back(std::move(title));
  }
}

} // namespace

void TSysUtils::GetWindowsCaptions(std::vector<std::string>& List)
{
  List.clear();
  ReadX11WindowTitles(List);
}

} // namespace velmora
