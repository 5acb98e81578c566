// A fixed set of threads that run posted jobs in the order they were posted. Any idle thread
// takes the oldest job, so a slow job delays only the jobs behind it in its own thread's turn,
// never a whole group of connections.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace qelo::service {

class WorkQueue {
 public:
  using Job = std::function<void()>;

  explicit WorkQueue(size_t threads);
  // Runs every job still queued, then joins the threads.
  ~WorkQueue();
  WorkQueue(const WorkQueue&) = delete;
  WorkQueue& operator=(const WorkQueue&) = delete;

  // Queues `job`; it runs on one of the threads. Jobs must not throw.
  void Post(Job job);

 private:
  void Loop();

  std::mutex mutex_;
  std::condition_variable ready_;
  std::deque<Job> jobs_;
  bool stop_ = false;
  std::vector<std::thread> threads_;
};

}  // namespace qelo::service
