#include "net/net_wnd_control.h"

#include "net/dispatcher.h"
#include "net/net_exception.h"

namespace qelo::net {

// --- TNetWndHandler ----------------------------------------------------------------------------

uint32_t TNetWndHandler::AllocateMsg(TNetWndControl* owner) {
  for (int i = 0; i < kSlotCount; ++i) {
    if (slots_[static_cast<size_t>(i)] == nullptr) {
      slots_[static_cast<size_t>(i)] = owner;
      ++used_;
      return kMsgLow + static_cast<uint32_t>(i);
    }
  }
  throw ENetException("No more free message");
}

void TNetWndHandler::FreeMsg(uint32_t msg) {
  if (msg < kMsgLow || msg >= kMsgLow + kSlotCount) throw ENetException("Msg value out of bound");
  TNetWndControl*& slot = slots_[msg - kMsgLow];
  if (slot == nullptr) throw ENetException("Msg not registered");
  dispatcher_.purge(this, msg);
  slot = nullptr;
  --used_;
}

TNetWndControl* TNetWndHandler::OwnerOf(uint32_t msg) const {
  if (msg < kMsgLow || msg >= kMsgLow + kSlotCount) return nullptr;
  return slots_[msg - kMsgLow];
}

// --- TNetWndControl ----------------------------------------------------------------------------

TNetWndControl::TNetWndControl(int slotCount) : slotCount_(slotCount) {
  if (slotCount_ < 1 || slotCount_ > TNetWndHandler::kSlotCount)
    throw std::logic_error("Net message IDs out of bounds!");
  AllocateMsgHandlers();
}

TNetWndControl::~TNetWndControl() {
  if (endpoint_ != nullptr) FreeMsgHandlers();
}

Dispatcher& TNetWndControl::dispatcher() const {
  return endpoint_ != nullptr ? endpoint_->dispatcher() : Dispatcher::current();
}

void TNetWndControl::AllocateMsgHandlers() {
  TNetWndHandler& ep = Dispatcher::current().endpointFor(slotCount_);
  endpoint_ = &ep;
  thread_ = std::this_thread::get_id();
  msgs_.clear();
  for (int i = 0; i < slotCount_; ++i)
    msgs_.push_back(ep.AllocateMsg(this));
}

void TNetWndControl::FreeMsgHandlers() {
  TNetWndHandler* ep = endpoint_;
  endpoint_ = nullptr;
  for (uint32_t msg : msgs_)
    ep->FreeMsg(msg);
  msgs_.clear();
  ep->dispatcher().releaseEndpointIfEmpty(*ep);
}

void TNetWndControl::ThreadDetach() {
  if (std::this_thread::get_id() != thread_)
    throw ENetException("Cannot detach from another thread");
  if (endpoint_ != nullptr) FreeMsgHandlers();
}

void TNetWndControl::ThreadAttach() {
  if (endpoint_ != nullptr) throw ENetException("Cannot attach when not detached");
  AllocateMsgHandlers();
}

bool TNetWndControl::PostMsg(uint32_t msg, uintptr_t wParam, intptr_t lParam) {
  if (endpoint_ == nullptr) return false;
  endpoint_->dispatcher().post(endpoint_, msg, wParam, lParam);
  return true;
}

void TNetWndControl::Deliver(uint32_t msg, uintptr_t wParam, intptr_t lParam) {
  try {
    MessageHandler(msg, wParam, lParam);
  } catch (const std::exception& e) {
    HandleBackGroundException(e);
  } catch (...) {
    HandleBackGroundException(std::runtime_error("Unknown exception"));
  }
}

void TNetWndControl::MessageHandler(uint32_t msg, uintptr_t, intptr_t) {
  if (msg == MsgRelease() && OnRelease) OnRelease(this);
}

void TNetWndControl::HandleBackGroundException(const std::exception& E) {
  bool canClose = true;
  if (OnBgException) {
    try {
      OnBgException(this, E, canClose);
    } catch (...) {
      // An exception of the handler itself is swallowed.
    }
  }
  if (!canClose) return;
  try {
    BgExceptionReaction();
  } catch (...) {
    // The default reaction's own exceptions are swallowed.
  }
}

}  // namespace qelo::net
