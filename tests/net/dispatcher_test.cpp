#include <gtest/gtest.h>
#include <poll.h>
#include <unistd.h>

#include <functional>
#include <thread>

#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "net/dispatcher.h"
#include "net/net_exception.h"
#include "net/net_timer.h"
#include "net/net_wnd_control.h"

namespace qelo::net {
namespace {

// A component with `slots` message slots that records (name, parameter) for each message
// and can be told to run arbitrary code in its handler.
class Recorder : public TNetWndControl {
 public:
  Recorder(std::string name, std::vector<std::pair<std::string, int>>& log, int slots = 2)
      : TNetWndControl(slots), log_(log) {
    Name = std::move(name);
  }
  void Post(int value) { PostMsg(Msg(1), 0, value); }
  std::function<void(int)> onMessage;
  int reactions = 0;

 protected:
  void MessageHandler(uint32_t msg, uintptr_t w, intptr_t l) override {
    if (msg != Msg(1)) return TNetWndControl::MessageHandler(msg, w, l);
    log_.emplace_back(Name, static_cast<int>(l));
    if (onMessage) onMessage(static_cast<int>(l));
  }
  void BgExceptionReaction() override { ++reactions; }

 private:
  std::vector<std::pair<std::string, int>>& log_;
};

using Log = std::vector<std::pair<std::string, int>>;

void Drain() {
  Dispatcher::current().runUntil([] { return Dispatcher::current().pendingCount() == 0; }, 2000);
}

TEST(Dispatcher, DeliversInPostingOrderAcrossEndpoints) {
  Log log;
  // Fill the first endpoint so the second component lands on a second one.
  Recorder a("a", log, 60);
  Recorder b("b", log, 60);
  ASSERT_NE(a.Endpoint(), b.Endpoint());
  a.Post(1);
  b.Post(2);
  a.Post(3);
  b.Post(4);
  Drain();
  EXPECT_EQ(log, (Log{{"a", 1}, {"b", 2}, {"a", 3}, {"b", 4}}));
}

TEST(Dispatcher, DestroyedComponentNeverReceivesQueuedMessages) {
  Log log;
  auto doomed = std::make_unique<Recorder>("doomed", log);
  Recorder survivor("survivor", log);
  doomed->Post(1);
  survivor.Post(2);
  doomed->Post(3);
  doomed.reset();
  survivor.Post(4);
  Drain();
  EXPECT_EQ(log, (Log{{"survivor", 2}, {"survivor", 4}}));
}

TEST(Dispatcher, RaisingHandlerReachesBgExceptionAndLoopGoesOn) {
  struct Case {
    bool assignHandler;
    bool canClose;
    int expectedReactions;
  };
  for (const Case& c : {Case{false, true, 1}, Case{true, true, 1}, Case{true, false, 0}}) {
    Log log;
    Recorder r("r", log);
    std::string seen;
    r.onMessage = [](int v) {
      if (v == 1) throw std::runtime_error("boom");
    };
    if (c.assignHandler) {
      r.OnBgException = [&](TNetWndControl* sender, const std::exception& e, bool& canClose) {
        EXPECT_EQ(sender, &r);
        seen = e.what();
        canClose = c.canClose;
      };
    }
    r.Post(1);
    r.Post(2);
    Drain();
    EXPECT_EQ(log, (Log{{"r", 1}, {"r", 2}}));
    EXPECT_EQ(r.reactions, c.expectedReactions);
    EXPECT_EQ(seen, c.assignHandler ? "boom" : "");
  }
}

TEST(Dispatcher, ExceptionInsideOnBgExceptionIsSwallowed) {
  Log log;
  Recorder r("r", log);
  r.onMessage = [](int) { throw std::runtime_error("first"); };
  r.OnBgException = [](TNetWndControl*, const std::exception&, bool&) {
    throw std::runtime_error("second");
  };
  r.Post(1);
  EXPECT_NO_THROW(Drain());
  EXPECT_EQ(r.reactions, 1);
}

TEST(Dispatcher, FifteenSevenSlotComponentsUseTwoEndpoints) {
  Dispatcher& d = Dispatcher::current();
  const size_t before = d.endpointCount();
  Log log;
  std::vector<std::unique_ptr<Recorder>> parts;
  for (int i = 0; i < 15; ++i)
    parts.push_back(std::make_unique<Recorder>("c", log, 7));
  EXPECT_EQ(d.endpointCount(), before + 2);
  EXPECT_EQ(parts[0]->Endpoint()->UsedCount(), 98);
  for (int i = 1; i < 14; ++i)
    EXPECT_EQ(parts[i]->Endpoint(), parts[0]->Endpoint());
  EXPECT_NE(parts[14]->Endpoint(), parts[0]->Endpoint());
  EXPECT_EQ(parts[14]->Endpoint()->UsedCount(), 7);
  // Slots are numbered from 1025 in table order.
  EXPECT_EQ(parts[0]->Messages().front(), TNetWndHandler::kMsgLow);
  EXPECT_EQ(parts[1]->Messages().front(), TNetWndHandler::kMsgLow + 7);
  parts.clear();
  EXPECT_EQ(d.endpointCount(), before);
}

TEST(Dispatcher, SlotErrors) {
  Log log;
  EXPECT_THROW(
      {
        try {
          Recorder tooBig("big", log, 101);
        } catch (const std::logic_error& e) {
          EXPECT_STREQ(e.what(), "Net message IDs out of bounds!");
          throw;
        }
      },
      std::logic_error);

  Dispatcher d;
  TNetWndHandler ep(d);
  auto message = [](auto&& f) {
    try {
      f();
    } catch (const ENetException& e) {
      return std::string(e.what());
    }
    return std::string("no exception");
  };
  EXPECT_EQ(message([&] { ep.FreeMsg(1024); }), "Msg value out of bound");
  EXPECT_EQ(message([&] { ep.FreeMsg(1025 + 100); }), "Msg value out of bound");
  EXPECT_EQ(message([&] { ep.FreeMsg(1030); }), "Msg not registered");
  Recorder holder("holder", log);
  for (int i = 0; i < TNetWndHandler::kSlotCount; ++i)
    ep.AllocateMsg(&holder);
  EXPECT_EQ(message([&] { ep.AllocateMsg(&holder); }), "No more free message");
  ep.FreeMsg(1030);
  EXPECT_EQ(ep.UsedCount(), 99);
}

TEST(Dispatcher, DetachAndAttach) {
  Log log;
  Recorder r("r", log);
  EXPECT_THROW(r.ThreadAttach(), ENetException);
  r.Post(1);
  r.ThreadDetach();  // purges the queued message
  EXPECT_FALSE(r.Attached());
  r.ThreadAttach();
  r.Post(2);
  Drain();
  EXPECT_EQ(log, (Log{{"r", 2}}));

  std::string refusal;
  std::thread other([&] {
    try {
      r.ThreadDetach();
    } catch (const ENetException& e) {
      refusal = e.what();
    }
  });
  other.join();
  EXPECT_EQ(refusal, "Cannot detach from another thread");
  try {
    r.ThreadAttach();
  } catch (const ENetException& e) {
    refusal = e.what();
  }
  EXPECT_EQ(refusal, "Cannot attach when not detached");
}

TEST(Dispatcher, NestedLoopInsideHandlerKeepsOrder) {
  Log log;
  Recorder outer("outer", log);
  Recorder inner("inner", log);
  outer.onMessage = [&](int v) {
    if (v != 1) return;
    // A modal window's loop: runs until the inner component's messages are through.
    Dispatcher::current().runUntil([&] { return log.size() >= 4; }, 2000);
    log.emplace_back("outer-done", 1);
  };
  outer.Post(1);
  inner.Post(2);
  outer.Post(3);
  inner.Post(4);
  Drain();
  EXPECT_EQ(log, (Log{{"outer", 1}, {"inner", 2}, {"outer", 3}, {"inner", 4}, {"outer-done", 1}}));
}

TEST(Dispatcher, FdWatchPostsReadinessAsMessage) {
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  Log log;
  Recorder r("r", log);
  Dispatcher& d = Dispatcher::current();
  d.watchFdAsMessage(fds[0], kFdRead, r, r.Messages()[1]);
  r.Post(7);  // queued before the descriptor becomes ready
  ASSERT_EQ(write(fds[1], "x", 1), 1);
  Drain();
  d.runOnce(50);
  Drain();
  ASSERT_EQ(log.size(), 2u);
  EXPECT_EQ(log[0], (std::pair<std::string, int>{"r", 7}));
  EXPECT_EQ(log[1].second, static_cast<int>(kFdRead));
  // One-shot: still readable, but no second message until re-armed.
  d.runOnce(50);
  EXPECT_EQ(log.size(), 2u);
  d.setFdInterest(fds[0], kFdRead);
  d.runOnce(50);
  Drain();
  EXPECT_EQ(log.size(), 3u);
  d.unwatchFd(fds[0]);
  close(fds[0]);
  close(fds[1]);
}

TEST(Dispatcher, TimerFiresRepeatedlyAndStopsWhileDisabled) {
  Log log;
  Recorder owner("owner", log);
  TNetTimer timer(&owner);
  EXPECT_TRUE(timer.Enabled());
  EXPECT_EQ(timer.Interval(), 1000u);
  int fired = 0;
  timer.SetInterval(20);
  timer.SetOnTimer([&](TNetTimer* sender) {
    EXPECT_EQ(sender, &timer);
    ++fired;
  });
  Dispatcher& d = Dispatcher::current();
  ASSERT_TRUE(d.runUntil([&] { return fired >= 3; }, 5000));

  timer.SetEnabled(false);
  const int atDisable = fired;
  d.runUntil([] { return false; }, 150);
  EXPECT_EQ(fired, atDisable);

  timer.SetEnabled(true);
  EXPECT_TRUE(d.runUntil([&] { return fired > atDisable; }, 5000));
}

TEST(Dispatcher, TimerFailuresGoToTheOwnersBackgroundStep) {
  struct Case {
    const char* name;
    std::function<void(Recorder&)> onTick;
    const char* seen;
  };
  const Case cases[] = {
      {"handler raises", [](Recorder&) { throw std::runtime_error("tick failed"); }, "tick failed"},
      {"handler raises a non-standard exception", [](Recorder&) { throw 42; }, "Unknown exception"},
      {"owner detached while armed", [](Recorder& owner) { owner.ThreadDetach(); },
       "No window available"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Log log;
    Recorder owner("owner", log);
    std::vector<std::string> seen;
    owner.OnBgException = [&](TNetWndControl*, const std::exception& e, bool&) {
      seen.push_back(e.what());
    };
    TNetTimer timer(&owner);
    timer.SetInterval(1);
    timer.SetOnTimer([&](TNetTimer*) { c.onTick(owner); });
    bool reported = false;
    EXPECT_NO_THROW(reported = Dispatcher::current().runUntil([&] { return !seen.empty(); }, 5000));
    EXPECT_TRUE(reported);
    if (seen.empty()) continue;
    EXPECT_EQ(seen.front(), c.seen);
    EXPECT_GE(owner.reactions, 1);
    if (owner.Attached()) timer.SetEnabled(false);
  }
}

TEST(Dispatcher, TimerNeedsOwner) {
  try {
    TNetTimer orphan(nullptr);
    FAIL() << "no exception";
  } catch (const ENetTimerException& e) {
    EXPECT_STREQ(e.what(), "Owner not assigned");
  }
}

TEST(Dispatcher, FdReadableWhileMessagesPending) {
  Log log;
  Recorder r("r", log);
  Dispatcher& d = Dispatcher::current();
  Drain();
  EXPECT_FALSE(d.nextDeadline().has_value());
  r.Post(1);
  pollfd p{d.fd(), POLLIN, 0};
  EXPECT_EQ(poll(&p, 1, 0), 1);
  d.processPending();
  EXPECT_EQ(poll(&p, 1, 0), 0);
  EXPECT_EQ(log.size(), 1u);
}

}  // namespace
}  // namespace qelo::net
