// Start-up timing from outside: once a window has been exposed and painted for the first time,
// prints
//   qelo: main window shown, monotonic_ns=N since_main_ms=M cpu_ms=C
// on stdout and quits the application. N is the CLOCK_MONOTONIC reading then, so a parent that
// reads that clock just before starting the program gets the whole start-up time; C is the CPU
// time (user and system, all threads) the process has used so far, helper processes not
// included. Header-only, so that the benchmark's empty window links nothing but Qt.
#pragma once

#include <sys/resource.h>

#include <QCoreApplication>
#include <QEvent>
#include <QObject>
#include <QTimer>
#include <QWindow>
#include <chrono>
#include <cstdio>

namespace qelo::ui {

class ExitWhenShown : public QObject {
 public:
  using Clock = std::chrono::steady_clock;  // CLOCK_MONOTONIC

  // Owned by window, whose platform window must exist (winId() or show() made it).
  ExitWhenShown(QWindow* window, Clock::time_point mainStart)
      : QObject(window), mainStart_(mainStart) {
    window->installEventFilter(this);
    if (window->isExposed()) Schedule();
  }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Expose && static_cast<QWindow*>(watched)->isExposed()) Schedule();
    return false;
  }

 private:
  // The paint that the expose starts runs before the zero timer fires, so the report comes
  // after the first paint.
  void Schedule() {
    if (scheduled_) return;
    scheduled_ = true;
    QTimer::singleShot(0, this, [this] { Report(); });
  }

  void Report() {
    const Clock::time_point now = Clock::now();
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const double cpuMs = (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e3 +
                         (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e3;
    std::printf("qelo: main window shown, monotonic_ns=%lld since_main_ms=%.3f cpu_ms=%.3f\n",
                static_cast<long long>(now.time_since_epoch() / std::chrono::nanoseconds(1)),
                std::chrono::duration<double, std::milli>(now - mainStart_).count(), cpuMs);
    std::fflush(stdout);
    QCoreApplication::quit();
  }

  Clock::time_point mainStart_;
  bool scheduled_ = false;
};

}  // namespace qelo::ui
