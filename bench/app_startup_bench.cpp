// Time from process start to the main window shown. The program starts itself again with
// "--child" a number of times; each child runs the client's start-up (application object,
// windows in their order, main window shown and exposed), prints the monotonic clock and
// exits. The parent takes the clock just before it starts each child. Goal: under 500 ms.
// Usage: app_startup_bench [RUNS]   (offscreen unless QT_QPA_PLATFORM says otherwise)
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QWindow>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <memory>
#include <string>
#include <vector>

#include "app/main_form.h"
#include "app/startup.h"
#include "ui/application.h"
#include "ui/dispatcher_bridge.h"

extern char** environ;

namespace {

long long NowNs() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return ts.tv_sec * 1000000000LL + ts.tv_nsec;
}

int Child(int argc, char** argv) {
  qelo::ui::TApplication app(argc, argv);
  qelo::ui::DispatcherBridge bridge;
  qelo::app::TWindows windows;
  windows.ShowMain();
  const qelo::app::TMainForm& mainForm = windows.Main();
  for (int i = 0; i < 100000; ++i) {
    if (mainForm.windowHandle() && mainForm.windowHandle()->isExposed()) break;
    QApplication::processEvents(QEventLoop::AllEvents, 10);
  }
  QApplication::processEvents();  // the first paint
  std::printf("%lld\n", NowNs());
  return 0;
}

// Runs one child; returns milliseconds from before its start to its window shown, or -1.
double OneRun(const char* self) {
  int out[2];
  if (pipe(out) != 0) return -1;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, out[1], 1);
  posix_spawn_file_actions_addclose(&actions, out[0]);
  char arg0[] = "app_startup_bench";
  char arg1[] = "--child";
  char* args[] = {arg0, arg1, nullptr};
  pid_t pid = 0;
  const long long start = NowNs();
  const int rc = posix_spawn(&pid, self, &actions, nullptr, args, environ);
  posix_spawn_file_actions_destroy(&actions);
  close(out[1]);
  if (rc != 0) {
    close(out[0]);
    return -1;
  }
  std::string text;
  char buf[256];
  ssize_t n = 0;
  while ((n = read(out[0], buf, sizeof buf)) > 0)
    text.append(buf, static_cast<size_t>(n));
  close(out[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0 || text.empty()) return -1;
  return static_cast<double>(std::atoll(text.c_str()) - start) / 1e6;
}

}  // namespace

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  if (argc > 1 && std::string(argv[1]) == "--child") return Child(argc, argv);
  const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 10;
  std::vector<double> ms;
  for (int i = 0; i < runs; ++i) {
    const double t = OneRun("/proc/self/exe");
    if (t < 0) {
      std::fprintf(stderr, "app_startup_bench: a start-up run failed\n");
      return 1;
    }
    ms.push_back(t);
  }
  std::sort(ms.begin(), ms.end());
  std::printf(
      "start-up to main window shown (%s), %d runs: min %.1f ms, median %.1f ms, max %.1f ms\n",
      std::getenv("QT_QPA_PLATFORM"), runs, ms.front(), ms[ms.size() / 2], ms.back());
  return 0;
}
