// The yardstick of app_startup_bench: the least a Qt Widgets program does to show a window. It
// shows an empty QWidget of the client's main window size and, once that has been exposed and
// painted for the first time, prints the same line as the client under QELO_EXIT_WHEN_SHOWN=1
//   qelo: main window shown, monotonic_ns=N since_main_ms=M cpu_ms=C
// and exits.
#include <sys/resource.h>
#include <QApplication>

#include <QEvent>
#include <QTimer>
#include <QWidget>
#include <QWindow>
#include <chrono>
#include <cstdio>

namespace {

using Clock = std::chrono::steady_clock;  // CLOCK_MONOTONIC

// Reports after the first expose: the paint it starts runs before the zero timer fires.
class FirstExpose : public QObject {
 public:
  explicit FirstExpose(Clock::time_point mainStart) : mainStart_(mainStart) {}

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Expose && static_cast<QWindow*>(watched)->isExposed() &&
        !scheduled_) {
      scheduled_ = true;
      QTimer::singleShot(0, this, [this] { Report(); });
    }
    return false;
  }

 private:
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
  QApplication app(argc, argv);
  QWidget window;
  window.resize(760, 430);
  window.setWindowTitle("empty");
  FirstExpose watcher(mainStart);
  window.winId();  // creates the platform window, so the filter sees its first expose
  window.windowHandle()->installEventFilter(&watcher);
  window.show();
  return app.exec();
}
