// Helpers shared by the GTK parts of the native layer: UTF-8 clean-up, the process's active window
// and a main loop that can be ended before it runs. Guarded callbacks and the GLib wrappers come
// from GLibSupport_posix.h.
#pragma once

#include "GLibSupport_posix.h"

#include <gtk/gtk.h>

#include <string>

namespace velmora {

// GTK requires valid UTF-8 and warns (and shows nothing) otherwise; invalid sequences become U+FFFD.
std::string GtkValidUtf8(const std::string& Text);

// The visible top-level window of this process that has the keyboard focus, or nullptr.
// Except is never returned (a window looking for its own owner passes itself).
GtkWindow* GtkActiveWindow(GtkWindow* Except = nullptr);

// A nested main loop on the default context. Quit() before Run() makes Run() return at once,
// which a bare GMainLoop does not guarantee.
class TGtkNestedLoop {
public:
  TGtkNestedLoop() : FLoop(g_main_loop_new(nullptr, FALSE)) {}
  ~TGtkNestedLoop() { g_main_loop_unref(FLoop); }
  TGtkNestedLoop(const TGtkNestedLoop&) = delete;
  TGtkNestedLoop& operator=(const TGtkNestedLoop&) = delete;

  void Run()
  {
    if (!FQuit)
      g_main_loop_run(FLoop);
  }
  void Quit()
  {
    FQuit = true;
    g_main_loop_quit(FLoop);
  }
  bool Quitting() const { return FQuit; }

private:
  GMainLoop* FLoop;
  bool FQuit = false;
};

} // namespace velmora
