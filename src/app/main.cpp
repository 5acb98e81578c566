// Entry point of the client: the application object, the windows in their fixed order, the
// message loop until the main window closes.
//
// Start-up timing: with QELO_EXIT_WHEN_SHOWN=1 in the environment the client prints
//   qelo: main window shown, monotonic_ns=N since_main_ms=M cpu_ms=C
// on stdout once its main window has been exposed and painted for the first time, and quits.
// N is the CLOCK_MONOTONIC reading then, so a parent that reads that clock just before starting
// the client gets the whole start-up time (bench/app_startup_bench does). C is the CPU time (user
// and system, all threads) the client process has used so far; Qt WebEngine's helper processes
// are not in it.
#include <sys/resource.h>

#include <QEvent>
#include <QObject>
#include <QTimer>
#include <QWidget>
#include <QWindow>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "app/main_form.h"
#include "app/startup.h"
#include "ui/application.h"
#include "ui/dispatcher_bridge.h"

namespace {

using Clock = std::chrono::steady_clock;  // CLOCK_MONOTONIC

// Watches the window's first expose; the paint that the expose starts runs before the zero
// timer fires, so the report comes after the first paint.
class ExitWhenShown : public QObject {
 public:
  ExitWhenShown(QWindow* window, Clock::time_point mainStart)
      : QObject(window), mainStart_(mainStart) {
    window->installEventFilter(this);
    if (window->isExposed()) Schedule();
  }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    auto* window = static_cast<QWindow*>(watched);
    if (event->type() == QEvent::Expose && window->isExposed()) Schedule();
    return false;
  }

 private:
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

}  // namespace

int main(int argc, char** argv) {
  const Clock::time_point mainStart = Clock::now();
  qelo::ui::TApplication app(argc, argv);
  qelo::ui::DispatcherBridge bridge;
  qelo::app::TWindows windows;
  windows.ShowMain();
  const char* exitWhenShown = std::getenv("QELO_EXIT_WHEN_SHOWN");
  if (exitWhenShown && std::strcmp(exitWhenShown, "1") == 0)
    new ExitWhenShown(windows.Main().windowHandle(), mainStart);  // owned by the window
  return app.exec();
}
