// Components that receive posted messages: endpoints of 100 message slots and the component
// base that takes its slots on one of them for its whole life.
#pragma once

#include <array>
#include <cstdint>
#include <exception>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace qelo::net {

class Dispatcher;
class TNetWndControl;

// An endpoint: 100 message slots, numbered from 1025, each empty or held by a component.
class TNetWndHandler {
 public:
  static constexpr uint32_t kMsgLow = 1025;
  static constexpr int kSlotCount = 100;

  explicit TNetWndHandler(Dispatcher& dispatcher) : dispatcher_(dispatcher) {}

  // Takes the first free slot for owner and returns its message number.
  uint32_t AllocateMsg(TNetWndControl* owner);
  // Purges every queued message of msg, then empties its slot.
  void FreeMsg(uint32_t msg);
  // The component that holds msg's slot, or null.
  TNetWndControl* OwnerOf(uint32_t msg) const;

  int UsedCount() const { return used_; }
  int FreeCount() const { return kSlotCount - used_; }
  Dispatcher& dispatcher() const { return dispatcher_; }

 private:
  Dispatcher& dispatcher_;
  std::array<TNetWndControl*, kSlotCount> slots_{};
  int used_ = 0;
};

// Base of every asynchronous component. Its messages are delivered in posting order by its
// thread's loop; exceptions raised while one is handled go to the background-exception step.
class TNetWndControl {
 public:
  using BgExceptionEvent =
      std::function<void(TNetWndControl* Sender, const std::exception& E, bool& CanClose)>;
  using NotifyEvent = std::function<void(TNetWndControl* Sender)>;

  virtual ~TNetWndControl();
  TNetWndControl(const TNetWndControl&) = delete;
  TNetWndControl& operator=(const TNetWndControl&) = delete;

  // Called with CanClose preset to true; when it stays true the default reaction follows.
  BgExceptionEvent OnBgException;
  // The component's self-release message calls this; its owner frees the component there.
  NotifyEvent OnRelease;

  // Gives the slots back; refused from a thread other than the one that took them.
  virtual void ThreadDetach();
  // Takes slots on the calling thread; refused while slots are held.
  virtual void ThreadAttach();

  // Posts the self-release message.
  bool Release() { return PostMsg(MsgRelease(), 0, 0); }

  bool Attached() const { return endpoint_ != nullptr; }
  TNetWndHandler* Endpoint() const { return endpoint_; }
  Dispatcher& dispatcher() const;
  const std::vector<uint32_t>& Messages() const { return msgs_; }
  std::string Name;

  // Entry from the dispatcher: runs MessageHandler inside the background-exception guard.
  void Deliver(uint32_t msg, uintptr_t wParam, intptr_t lParam);
  // Runs the background-exception step for E (OnBgException, then the default reaction).
  void HandleBackGroundException(const std::exception& E);

 protected:
  // slotCount is the total number of message slots the most-derived component needs,
  // including the base's release slot.
  explicit TNetWndControl(int slotCount);

  // Message number of the component's index-th slot (0 is the base's release message).
  uint32_t Msg(int index) const { return msgs_.at(static_cast<size_t>(index)); }
  uint32_t MsgRelease() const { return Msg(0); }
  bool PostMsg(uint32_t msg, uintptr_t wParam, intptr_t lParam);

  virtual void MessageHandler(uint32_t msg, uintptr_t wParam, intptr_t lParam);
  // What follows an unhandled background exception when CanClose stays true.
  virtual void BgExceptionReaction() {}

 private:
  void AllocateMsgHandlers();
  void FreeMsgHandlers();

  int slotCount_;
  TNetWndHandler* endpoint_ = nullptr;
  std::thread::id thread_;
  std::vector<uint32_t> msgs_;
};

}  // namespace qelo::net
