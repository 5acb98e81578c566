// Start-up timing from outside: once a window has been exposed and painted for the first time,
// prints
//   qelo: main window shown, monotonic_ns=N since_main_ms=M cpu_ms=C
// on stdout and quits the application (ReportFirstPaint). N is the CLOCK_MONOTONIC reading then, so
// a parent that reads that clock just before starting the program gets the whole start-up time; C
// is the CPU time (user and system, all threads) the process has used so far, helper processes not
// included. Header-only, so that the benchmark's empty window links nothing but Qt.
#pragma once

#include <sys/resource.h>

#include <QCoreApplication>
#include <QWindow>
#include <chrono>
#include <cstdio>

#include "ui/first_paint.h"

namespace qelo::ui {

using StartupClock = std::chrono::steady_clock;  // CLOCK_MONOTONIC

// Prints "qelo: <what>, monotonic_ns=N since_main_ms=M cpu_ms=C" as above, for any point of the
// start.
inline void ReportStartupPoint(const char* what, StartupClock::time_point mainStart) {
  const StartupClock::time_point now = StartupClock::now();
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  const double cpuMs = (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e3 +
                       (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e3;
  std::printf("qelo: %s, monotonic_ns=%lld since_main_ms=%.3f cpu_ms=%.3f\n", what,
              static_cast<long long>(now.time_since_epoch() / std::chrono::nanoseconds(1)),
              std::chrono::duration<double, std::milli>(now - mainStart).count(), cpuMs);
  std::fflush(stdout);
}

// Prints the report above once window has been painted for the first time, then quits the
// application unless quit is false. window's platform window must exist (winId() or show() made
// it).
inline void ReportFirstPaint(QWindow& window, StartupClock::time_point mainStart,
                             bool quit = true) {
  new AfterFirstPaint(window, [mainStart, quit] {  // owned by the window
    ReportStartupPoint("main window shown", mainStart);
    if (quit) QCoreApplication::quit();
  });
}

}  // namespace qelo::ui
