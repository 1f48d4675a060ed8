// Response bodies for WebKit: a pollable stream fed by a producer thread, and whole reads in the
// background.
#include "GtkBodyStreams.h"

#include "GLibSupport_posix.h"

#include <gio/gio.h>
#include <glib-unix.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace velmora {

namespace {

// What the producer has made and the reader has not taken yet.
constexpr size_t kQueueBytes = 1024 * 1024;
constexpr size_t kChunkBytes = 256 * 1024;

// The queue between the producer thread and the stream. The event descriptor is readable while
// the reader has something new to look at (bytes, the end, a failure).
struct TQueue {
  std::mutex Lock;
  std::condition_variable Changed;
  std::deque<std::vector<uint8_t>> Chunks;
  size_t Offset = 0; // into the front chunk
  size_t Queued = 0; // bytes in Chunks past Offset
  bool End = false;
  bool Closed = false; // the reader is gone: the producer stops
  std::string Error;
  int Event = -1;

  TQueue() : Event(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}
  ~TQueue()
  {
    if (Event >= 0)
      close(Event);
  }
  TQueue(const TQueue&) = delete;
  TQueue& operator=(const TQueue&) = delete;

  void Signal() const
  {
    const uint64_t one = 1;
    if (Event >= 0 && write(Event, &one, sizeof one) < 0) {
      // The counter cannot overflow at these rates; a failed write leaves the reader polling.
    }
  }
  void Drain() const
  {
    uint64_t count = 0;
    if (Event >= 0 && read(Event, &count, sizeof count) < 0) {
      // Nothing was pending.
    }
  }
  // Takes up to Count bytes; false when there is nothing to take yet.
  bool Take(uint8_t* Buffer, size_t Count, gssize& Taken)
  {
    if (Queued == 0)
      return false;
    size_t done = 0;
    while (done < Count && !Chunks.empty()) {
      std::vector<uint8_t>& front = Chunks.front();
      const size_t n = std::min(Count - done, front.size() - Offset);
      std::copy_n(front.data() + Offset, n, Buffer + done);
      done += n;
      Offset += n;
      if (Offset == front.size()) {
        Chunks.pop_front();
        Offset = 0;
      }
    }
    Queued -= done;
    Taken = static_cast<gssize>(done);
    return true;
  }
};

// The producer thread: reads the body chunk by chunk while the queue has room, until the end, a
// failure, or the reader closing the stream.
void Produce(const std::shared_ptr<TQueue>& Queue, const TWebResourceBodyPtr& Body)
{
  for (;;) {
    {
      std::unique_lock lock(Queue->Lock);
      Queue->Changed.wait(lock, [&] { return Queue->Closed || Queue->Queued < kQueueBytes; });
      if (Queue->Closed)
        return;
    }
    std::vector<uint8_t> chunk;
    std::optional<std::string> error;
    size_t got = 0;
    try {
      chunk.resize(kChunkBytes);
      const auto read = Body->Read(chunk);
      if (read)
        got = read.Value();
      else
        error = read.Error();
    } catch (const std::exception& Failure) {
      error = Failure.what();
    } catch (...) {
      error = "the response body failed";
    }
    {
      const std::lock_guard lock(Queue->Lock);
      if (error) {
        Queue->Error = error->empty() ? "the response body failed" : *error;
      } else if (got == 0) {
        Queue->End = true;
      } else {
        chunk.resize(got);
        Queue->Chunks.push_back(std::move(chunk));
        Queue->Queued += got;
      }
    }
    Queue->Changed.notify_all();
    Queue->Signal();
    if (error || got == 0)
      return;
  }
}

struct TPrefetchStream {
  GInputStream Parent;
  std::shared_ptr<TQueue>* Queue; // owned; null once closed
};

struct TPrefetchStreamClass {
  GInputStreamClass ParentClass;
};

TQueue* QueueOf(gpointer Stream)
{
  std::shared_ptr<TQueue>* queue = static_cast<TPrefetchStream*>(Stream)->Queue;
  return queue != nullptr ? queue->get() : nullptr;
}

// Bytes when there are some, else the failure (-1) or the end (0); nothing while the producer is
// still at work. Called under the queue's lock.
std::optional<gssize> TakeOrFinish(TQueue& Queue, void* Buffer, gsize Count, GError** Error)
{
  gssize taken = 0;
  if (Queue.Take(static_cast<uint8_t*>(Buffer), Count, taken)) {
    Queue.Changed.notify_all();
    return taken;
  }
  if (!Queue.Error.empty()) {
    g_set_error_literal(Error, G_IO_ERROR, G_IO_ERROR_FAILED, Queue.Error.c_str());
    return -1;
  }
  if (Queue.End)
    return 0;
  return std::nullopt;
}

// Without waiting: bytes, the end (0), or G_IO_ERROR_WOULD_BLOCK.
gssize ReadNonblocking(GPollableInputStream* Stream, void* Buffer, gsize Count, GError** Error)
{
  TQueue* queue = QueueOf(Stream);
  if (queue == nullptr)
    return 0;
  const std::lock_guard lock(queue->Lock);
  if (const std::optional<gssize> done = TakeOrFinish(*queue, Buffer, Count, Error))
    return *done;
  // Nothing yet: the producer's next signal makes the stream readable again.
  queue->Drain();
  g_set_error_literal(Error, G_IO_ERROR, G_IO_ERROR_WOULD_BLOCK, "The body is still being read");
  return -1;
}

// Waiting: for callers that read the stream synchronously (in a thread of their own).
gssize ReadBlocking(GInputStream* Stream, void* Buffer, gsize Count, GCancellable*, GError** Error)
{
  TQueue* queue = QueueOf(Stream);
  if (queue == nullptr)
    return 0;
  std::unique_lock lock(queue->Lock);
  queue->Changed.wait(lock, [&] { return queue->Queued > 0 || queue->End || !queue->Error.empty(); });
  return TakeOrFinish(*queue, Buffer, Count, Error).value_or(0);
}

gboolean IsReadable(GPollableInputStream* Stream)
{
  TQueue* queue = QueueOf(Stream);
  if (queue == nullptr)
    return TRUE;
  const std::lock_guard lock(queue->Lock);
  return queue->Queued > 0 || queue->End || !queue->Error.empty();
}

gboolean CanPoll(GPollableInputStream*) { return TRUE; }

GSource* CreateSource(GPollableInputStream* Stream, GCancellable* Cancellable)
{
  TQueue* queue = QueueOf(Stream);
  GSource* ready =
    queue != nullptr && queue->Event >= 0 ? g_unix_fd_source_new(queue->Event, G_IO_IN) : g_timeout_source_new(0);
  GSource* source = g_pollable_source_new_full(Stream, ready, Cancellable);
  g_source_unref(ready);
  return source;
}

gboolean Close(GInputStream* Stream, GCancellable*, GError**)
{
  auto* self = reinterpret_cast<TPrefetchStream*>(Stream);
  if (self->Queue != nullptr) {
    {
      const std::lock_guard lock((*self->Queue)->Lock);
      (*self->Queue)->Closed = true;
    }
    (*self->Queue)->Changed.notify_all();
    delete self->Queue;
    self->Queue = nullptr;
  }
  return TRUE;
}

void Finalize(GObject* Object)
{
  Close(G_INPUT_STREAM(Object), nullptr, nullptr);
  G_OBJECT_CLASS(g_type_class_peek_parent(G_OBJECT_GET_CLASS(Object)))->finalize(Object);
}

void ClassInit(gpointer Class, gpointer)
{
  G_OBJECT_CLASS(Class)->finalize = Finalize;
  G_INPUT_STREAM_CLASS(Class)->read_fn = ReadBlocking;
  G_INPUT_STREAM_CLASS(Class)->close_fn = Close;
}

void PollableInit(gpointer Interface, gpointer)
{
  auto* iface = static_cast<GPollableInputStreamInterface*>(Interface);
  iface->can_poll = CanPoll;
  iface->is_readable = IsReadable;
  iface->create_source = CreateSource;
  iface->read_nonblocking = ReadNonblocking;
}

GType PrefetchStreamType()
{
  static const GType Type = [] {
    const GType type =
      g_type_register_static_simple(G_TYPE_INPUT_STREAM, "VelmoraPrefetchStream", sizeof(TPrefetchStreamClass),
                                    ClassInit, sizeof(TPrefetchStream), nullptr, GTypeFlags(0));
    const GInterfaceInfo pollable = {PollableInit, nullptr, nullptr};
    g_type_add_interface_static(type, G_TYPE_POLLABLE_INPUT_STREAM, &pollable);
    return type;
  }();
  return Type;
}

// A whole read in a worker thread and its outcome for the UI thread.
struct TWholeRead {
  TWebResourceBodyPtr Body;
  uint64_t MaxBytes = 0;
  std::function<void(TResult<std::string>)> Done;
  std::optional<TResult<std::string>> Outcome;
};

void RunWholeRead(GTask* Task, gpointer, gpointer Data, GCancellable*)
{
  auto* read = static_cast<TWholeRead*>(Data);
  GuardedCall("reading a response body", [&] { read->Outcome = ReadWholeBody(*read->Body, read->MaxBytes); });
  g_task_return_boolean(Task, TRUE);
}

void FinishWholeRead(GObject*, GAsyncResult* Result, gpointer)
{
  auto* read = static_cast<TWholeRead*>(g_task_get_task_data(G_TASK(Result)));
  if (!read->Outcome)
    read->Outcome = TResult<std::string>(TError{"the response body failed"});
  read->Done(std::move(*read->Outcome));
}

void FreeWholeRead(gpointer Data) { delete static_cast<TWholeRead*>(Data); }

} // namespace

GInputStream* NewPrefetchStream(TWebResourceBodyPtr Body)
{
  auto* stream = static_cast<TPrefetchStream*>(g_object_new(PrefetchStreamType(), nullptr));
  auto queue = std::make_shared<TQueue>();
  stream->Queue = new std::shared_ptr<TQueue>(queue);
  std::thread([queue, body = std::move(Body)] { Produce(queue, body); }).detach();
  return G_INPUT_STREAM(stream);
}

void ReadBodyInBackground(TWebResourceBodyPtr Body, uint64_t MaxBytes, std::function<void(TResult<std::string>)> Done)
{
  GTask* task = g_task_new(nullptr, nullptr, GuardedCallback<&FinishWholeRead>, nullptr);
  g_task_set_task_data(task, new TWholeRead{std::move(Body), MaxBytes, std::move(Done), std::nullopt}, FreeWholeRead);
  g_task_run_in_thread(task, RunWholeRead);
  g_object_unref(task);
}

} // namespace velmora
