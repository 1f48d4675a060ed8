// The engine double's own message-only window on the host's UI thread: every completion and event
// is posted to it and runs later, when the host's message loop dispatches it, never inside the host's
// call that started the operation.
#pragma once

#include <windows.h>

#include <functional>

namespace velmora::enginedouble {

using TTask = std::function<void()>;

// Makes the calling thread the UI thread and creates the window, once. A later call from another
// thread fails with RPC_E_WRONG_THREAD; window creation failing gives its error.
HRESULT AttachDispatcher();
// True on the thread that attached (and true for any thread before one did).
bool OnUiThread();
// Runs task later on the UI thread, after the tasks posted before it.
void PostTask(TTask task);
// Runs tick every milliseconds on the UI thread (a window timer); a tick that is still running when
// the next is due (the host pumped messages inside it) skips that one.
void StartTimer(UINT milliseconds, TTask tick);
// The module is being unloaded: destroys the window and unregisters its class (on the UI thread only).
void DetachDispatcher();

} // namespace velmora::enginedouble
