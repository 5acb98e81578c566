// TLifeGuard: tells code that has just called out (an event handler, a callback) whether the
// object that made the call still exists and is still on the same piece of work. A handler may
// destroy its sender, close its connection or start a new request, so the caller takes a check
// before the call and asks it afterwards:
//
//   const TLifeGuard::TCheck still = life_.Check();
//   FireEvent(OnSomething, this);
//   if (!still) return;
//
// StartOver ends every check taken so far while the object lives on (a new request, an abort).
// Everything runs on the owner's thread; the checks are not meant to cross threads.
#pragma once

#include <cstdint>
#include <memory>
#include <utility>

namespace qelo::net {

class TLifeGuard {
 public:
  class TCheck {
   public:
    // The owner exists and has not started over since the check was taken.
    bool Holds() const { return !state_.expired() && *generation_ == taken_; }
    explicit operator bool() const { return Holds(); }
    // The owner exists, whatever it started since.
    bool OwnerAlive() const { return !state_.expired(); }

   private:
    friend class TLifeGuard;
    explicit TCheck(const std::shared_ptr<uint64_t>& state)
        : state_(state), generation_(state.get()), taken_(*state) {}

    std::weak_ptr<uint64_t> state_;
    const uint64_t* generation_;  // read only while state_ has not expired
    uint64_t taken_;
  };

  TLifeGuard() = default;
  TLifeGuard(const TLifeGuard&) = delete;
  TLifeGuard& operator=(const TLifeGuard&) = delete;

  TCheck Check() const { return TCheck(state_); }
  void StartOver() { ++*state_; }

 private:
  std::shared_ptr<uint64_t> state_ = std::make_shared<uint64_t>(0);
};

// Calls an event handler through a copy of it, so a handler that reassigns or clears its own
// event does not destroy the function object it is running in. Nothing happens when unset.
template <typename Event, typename... Args>
void FireEvent(const Event& event, Args&&... args) {
  if (!event) return;
  Event copy = event;
  copy(std::forward<Args>(args)...);
}

}  // namespace qelo::net
