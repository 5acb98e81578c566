#include "work_queue.h"

#include <algorithm>

namespace qelo::service {

WorkQueue::WorkQueue(size_t threads) {
  for (size_t i = 0; i < std::max<size_t>(threads, 1); ++i)
    threads_.emplace_back([this] { Loop(); });
}

WorkQueue::~WorkQueue() {
  {
    std::lock_guard lock(mutex_);
    stop_ = true;
  }
  ready_.notify_all();
  for (std::thread& t : threads_)
    t.join();
}

void WorkQueue::Post(Job job) {
  {
    std::lock_guard lock(mutex_);
    jobs_.push_back(std::move(job));
  }
  ready_.notify_one();
}

void WorkQueue::Loop() {
  for (;;) {
    Job job;
    {
      std::unique_lock lock(mutex_);
      ready_.wait(lock, [this] { return stop_ || !jobs_.empty(); });
      if (jobs_.empty()) return;  // stopping, and nothing left to run
      job = std::move(jobs_.front());
      jobs_.pop_front();
    }
    job();
  }
}

}  // namespace qelo::service
