// TSerialWorker: one thread that runs jobs one after another, in the order they were queued.
// The bridge runs its file commands here, beside the UI thread, so a slow disk or a large write
// never holds the window up while the calls of one page still happen in the order it made them.
#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

namespace velmora {

class TSerialWorker {
public:
  TSerialWorker() = default;
  // Runs what is still queued, then ends the thread: a write a page asked for is never dropped.
  ~TSerialWorker()
  {
    {
      const std::lock_guard lock(FLock);
      FStopping = true;
    }
    FWake.notify_all();
    if (FThread.joinable())
      FThread.join();
  }
  TSerialWorker(const TSerialWorker&) = delete;
  TSerialWorker& operator=(const TSerialWorker&) = delete;

  void Post(std::function<void()> Job)
  {
    {
      const std::lock_guard lock(FLock);
      FJobs.push_back(std::move(Job));
      // The thread starts with the first job, so a bridge that never writes costs nothing.
      if (!FThread.joinable())
        FThread = std::thread([this] { Loop(); });
    }
    FWake.notify_all();
  }

private:
  void Loop()
  {
    for (;;) {
      std::function<void()> job;
      {
        std::unique_lock lock(FLock);
        FWake.wait(lock, [this] { return FStopping || !FJobs.empty(); });
        if (FJobs.empty())
          return;
        job = std::move(FJobs.front());
        FJobs.pop_front();
      }
      job();
    }
  }

  std::mutex FLock;
  std::condition_variable FWake;
  std::deque<std::function<void()>> FJobs;
  bool FStopping = false;
  std::thread FThread;
};

} // namespace velmora
