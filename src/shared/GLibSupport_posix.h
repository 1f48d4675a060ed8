// The one GLib adapter of the POSIX code, used by the system utilities and the GTK layer alike:
// owning wrappers for GLib strings, string arrays, objects, variants and errors; the guard every
// call from GLib into our code runs under; and the one way our code connects a callback to a
// signal or a main-loop source, which always applies that guard.
//
// POSIX only: nothing portable includes this header.
#pragma once

#include <gio/gio.h>

#include <exception>
#include <memory>
#include <string>
#include <type_traits>

namespace velmora {

// ---------------------------------------------------------------- owning wrappers

struct TGFree {
  void operator()(void* p) const { g_free(p); }
};
using TGString = std::unique_ptr<char, TGFree>;

struct TGStrvFree {
  void operator()(char** p) const { g_strfreev(p); }
};
using TGStrv = std::unique_ptr<char*, TGStrvFree>;

struct TGObjectUnref {
  void operator()(void* p) const { g_object_unref(p); }
};
template <class T>
using TGObject = std::unique_ptr<T, TGObjectUnref>;

struct TGVariantUnref {
  void operator()(GVariant* p) const { g_variant_unref(p); }
};
using TGVariant = std::unique_ptr<GVariant, TGVariantUnref>;

// A GError that a GLib call may fill through Out(), freed with its owner.
class TGError {
public:
  TGError() = default;
  TGError(const TGError&) = delete;
  TGError& operator=(const TGError&) = delete;
  ~TGError()
  {
    if (FError != nullptr)
      g_error_free(FError);
  }
  GError** Out() { return &FError; }
  const GError* Get() const { return FError; }
  explicit operator bool() const { return FError != nullptr; }

  // The error's message, a D-Bus error's without its "GDBus.Error:name:" prefix; "Unknown error"
  // when the call failed without saying why.
  std::string Message()
  {
    if (FError == nullptr)
      return "Unknown error";
    if (g_dbus_error_is_remote_error(FError))
      g_dbus_error_strip_remote_error(FError);
    return FError->message;
  }

private:
  GError* FError = nullptr;
};

// ---------------------------------------------------------------- guarded callbacks

// Runs Fn and swallows whatever it throws, reporting it on standard error. An exception that
// unwinds through GLib's C frames is undefined behaviour, so every call from GLib into program code
// runs under this guard; GuardedCallback and ConnectSignal below apply it by construction.
template <class F>
void GuardedCall(const char* Where, F&& Fn) noexcept
{
  try {
    Fn();
  } catch (const std::exception& E) {
    g_printerr("velmora: an exception left %s: %s\n", Where, E.what());
  } catch (...) {
    g_printerr("velmora: an exception left %s\n", Where);
  }
}

namespace detail {

template <class Signature>
struct TGuardedTrampoline;

template <class R, class... A>
struct TGuardedTrampoline<R (*)(A...)> {
  // Calls Fn under the guard. When Fn throws, the caller gets Fallback: what a handler answers
  // that did nothing (FALSE for an event not handled, G_SOURCE_REMOVE for a source); nullptr for
  // a handler that answers with a pointer.
  template <auto Fn, auto Fallback>
  static R Call(A... Args) noexcept
  {
    if constexpr (std::is_void_v<R>) {
      GuardedCall(__PRETTY_FUNCTION__, [&] { Fn(Args...); });
    } else {
      R result{};
      if constexpr (!std::is_pointer_v<R>)
        result = static_cast<R>(Fallback);
      GuardedCall(__PRETTY_FUNCTION__, [&] { result = Fn(Args...); });
      return result;
    }
  }
};

} // namespace detail

// Fn (a plain function or a captureless lambda turned into one) wrapped in the guard, with Fn's own
// signature: what GLib is given wherever it takes a C callback (sources, async completions).
template <auto Fn, auto Fallback = 0>
inline constexpr auto GuardedCallback = &detail::TGuardedTrampoline<decltype(Fn)>::template Call<Fn, Fallback>;

// Connects Fn to Signal of Instance with Data as its last argument, under the guard. Fallback is
// the answer of a handler that throws; Notify, when given, frees Data with the connection.
template <auto Fn, auto Fallback = 0>
gulong ConnectSignal(gpointer Instance, const char* Signal, gpointer Data, GConnectFlags Flags = GConnectFlags(0),
                     GClosureNotify Notify = nullptr)
{
  return g_signal_connect_data(Instance, Signal, G_CALLBACK((GuardedCallback<Fn, Fallback>)), Data, Notify, Flags);
}

} // namespace velmora
