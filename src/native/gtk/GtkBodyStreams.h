// How response bodies reach WebKit on Linux, never read on the UI thread.
//
// A small body is read whole by one of GLib's worker threads before the answer is given, and
// WebKit reads it from memory. A larger one is produced by a thread of its own into a bounded
// queue while WebKit reads what is ready, from the UI thread's loop and without waiting: the
// stream is pollable, so GLib hands none of WebKit's reads to a worker thread, and decrypting or
// inflating an entry overlaps with the engine passing on what came before.
#pragma once

#include "EdgeEx.h"

#include <cstdint>
#include <functional>

typedef struct _GInputStream GInputStream;

namespace velmora {

// Bodies up to this size (when their length is known) are read whole before the answer.
inline constexpr int64_t kWholeBodyBytes = 64 * 1024;

// A pollable stream over Body, filled by a producer thread that stays at most about a megabyte
// ahead of the reader. A failure of the body fails the read that comes to it.
GInputStream* NewPrefetchStream(TWebResourceBodyPtr Body);

// Reads Body whole (at most MaxBytes) in a worker thread, then calls Done on the UI thread with
// the bytes or the failure.
void ReadBodyInBackground(TWebResourceBodyPtr Body, uint64_t MaxBytes, std::function<void(TResult<std::string>)> Done);

} // namespace velmora
