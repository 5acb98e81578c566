// The turn of the event loop right after a window's first paint: where work that the window's
// first appearance must not wait for begins. Header-only, so that the benchmark's empty window
// links nothing but Qt.
#pragma once

#include <QEvent>
#include <QObject>
#include <QTimer>
#include <QWindow>
#include <functional>
#include <utility>

namespace qelo::ui {

class AfterFirstPaint : public QObject {
 public:
  // Runs then once, from a zero timer started when window is first exposed: the paint that the
  // expose starts runs before that timer fires. Owned by window, whose platform window must
  // exist (winId() or show() made it).
  AfterFirstPaint(QWindow& window, std::function<void()> then)
      : QObject(&window), then_(std::move(then)) {
    window.installEventFilter(this);
    if (window.isExposed()) Schedule();
  }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Expose && static_cast<QWindow*>(watched)->isExposed()) Schedule();
    return false;
  }

 private:
  void Schedule() {
    if (scheduled_) return;
    scheduled_ = true;
    QTimer::singleShot(0, this, [this] {
      std::function<void()> then = std::move(then_);
      deleteLater();
      then();
    });
  }

  std::function<void()> then_;
  bool scheduled_ = false;
};

}  // namespace qelo::ui
