#include "ui/dispatcher_bridge.h"

#include <QAbstractEventDispatcher>
#include <QThread>
#include <algorithm>
#include <chrono>

#include "net/dispatcher.h"

namespace qelo::ui {

DispatcherBridge::DispatcherBridge(QObject* parent)
    : QObject(parent),
      dispatcher_(net::Dispatcher::current()),
      notifier_(dispatcher_.fd(), QSocketNotifier::Read) {
  deadline_.setSingleShot(true);
  deadline_.setTimerType(Qt::PreciseTimer);
  connect(&notifier_, &QSocketNotifier::activated, this, [this] { Turn(); });
  connect(&deadline_, &QTimer::timeout, this, [this] { Turn(); });
  // Timers may be added by code that runs outside a dispatcher turn (a click handler starting
  // a request); re-reading the nearest deadline whenever the loop is about to sleep covers them.
  if (QAbstractEventDispatcher* ed = QAbstractEventDispatcher::instance(QThread::currentThread()))
    aboutToBlock_ = connect(ed, &QAbstractEventDispatcher::aboutToBlock, this, [this] { Rearm(); });
  Rearm();
}

DispatcherBridge::~DispatcherBridge() {
  disconnect(aboutToBlock_);
}

void DispatcherBridge::Turn() {
  ++turns_;
  dispatcher_.processPending();
  Rearm();
}

void DispatcherBridge::Rearm() {
  const auto next = dispatcher_.nextDeadline();
  if (!next) {
    deadline_.stop();
    return;
  }
  const auto wait = std::chrono::ceil<std::chrono::milliseconds>(*next - net::Clock::now());
  const int ms = static_cast<int>(std::clamp<long long>(wait.count(), 0, 24 * 3600 * 1000));
  if (deadline_.isActive() && deadline_.remainingTime() <= ms) return;
  deadline_.start(ms);
}

}  // namespace qelo::ui
