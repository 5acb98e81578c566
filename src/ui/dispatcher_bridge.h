// Drives the calling thread's net::Dispatcher from the Qt event loop: one socket notifier on the
// dispatcher's descriptor and one single-shot timer for its nearest deadline. Because both are
// ordinary Qt event sources, nested loops (modal dialogs, message boxes) keep delivering
// transfer completions.
#pragma once

#include <QObject>
#include <QSocketNotifier>
#include <QTimer>

namespace qelo::net {
class Dispatcher;
}

namespace qelo::ui {

class DispatcherBridge : public QObject {
 public:
  // Binds to Dispatcher::current() of the calling thread, which must run a Qt event loop.
  explicit DispatcherBridge(QObject* parent = nullptr);
  ~DispatcherBridge() override;
  DispatcherBridge(const DispatcherBridge&) = delete;
  DispatcherBridge& operator=(const DispatcherBridge&) = delete;

  // How many times the bridge gave the dispatcher a turn (for tests and diagnostics).
  quint64 turns() const { return turns_; }

 private:
  void Turn();
  void Rearm();

  net::Dispatcher& dispatcher_;
  QSocketNotifier notifier_;
  QTimer deadline_;
  QMetaObject::Connection aboutToBlock_;
  quint64 turns_ = 0;
};

}  // namespace qelo::ui
