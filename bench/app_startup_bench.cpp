// Time from process start to the main window shown, for the client itself (build/bin/qelo)
// against an empty Qt window with one label of Chinese text (empty_qt_window, built beside this
// program), offscreen and on an X server (Xvfb), interleaved in one run. Each start runs the
// program with QELO_EXIT_WHEN_SHOWN set: it prints the monotonic clock once its window has been
// exposed and painted for the first time; the figure is that reading minus the clock taken just
// before the process was spawned. The client runs with QELO_EXIT_WHEN_SHOWN=ready and goes on
// until the browser engine, started after that first paint, has loaded its first page, which it
// reports too ("engine ready"); --no-ready starts it with =1 instead, as a client from before
// that report needs. One untimed start of each program on each platform comes first. Goal: the
// client's first paint within 1.5 times the empty window's.
//
// Usage: app_startup_bench [RUNS] [--runs N] [--platforms offscreen,xcb] [--display :N]
//                          [--qelo PATH] [--empty PATH] [--no-ready]
// The X server: --display, else DISPLAY, else an Xvfb started here on :96 and stopped at the end.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

extern char** environ;

namespace {

constexpr int kStartTimeoutMs = 60000;
constexpr char kXvfbDisplay[] = ":96";

long long NowNs() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return ts.tv_sec * 1000000000LL + ts.tv_nsec;
}

struct Options {
  int runs = 10;
  std::vector<std::string> platforms = {"offscreen", "xcb"};
  std::string display;
  std::string qelo = QELO_CLIENT_PATH;
  std::string empty = EMPTY_WINDOW_PATH;
  bool ready = true;
};

constexpr double kGoalRatio = 1.5;

// The environment of a start: ours with the platform, the display and the report switch set.
std::vector<std::string> ChildEnv(const std::string& platform, const std::string& display,
                                  const std::string& report) {
  std::map<std::string, std::string> env;
  for (char** e = environ; *e; ++e) {
    const std::string entry = *e;
    const size_t eq = entry.find('=');
    if (eq != std::string::npos) env[entry.substr(0, eq)] = entry.substr(eq + 1);
  }
  env["QT_QPA_PLATFORM"] = platform;
  env.insert_or_assign("QELO_EXIT_WHEN_SHOWN", report);
  if (!display.empty()) env["DISPLAY"] = display;
  // Qt WebEngine refuses to start its sandbox as root.
  if (geteuid() == 0) env.emplace("QTWEBENGINE_DISABLE_SANDBOX", "1");
  std::vector<std::string> out;
  for (const auto& [k, v] : env)
    out.push_back(k + "=" + v);
  return out;
}

std::vector<char*> Pointers(std::vector<std::string>& strings) {
  std::vector<char*> out;
  for (auto& s : strings)
    out.push_back(s.data());
  out.push_back(nullptr);
  return out;
}

// Waits up to timeoutMs for pid to end; kills it when it does not. Returns its status.
int Reap(pid_t pid, int timeoutMs) {
  int status = 0;
  for (int waited = 0; waited < timeoutMs; waited += 5) {
    if (waitpid(pid, &status, WNOHANG) == pid) return status;
    usleep(5000);
  }
  kill(pid, SIGKILL);
  waitpid(pid, &status, 0);
  return status;
}

// One start: milliseconds from just before the spawn to the window shown, the part of that spent
// in main() (the rest is exec, the dynamic loader and static initialisation), and CPU time.
struct Start {
  double shownMs = 0;
  double inMainMs = 0;
  double cpuMs = 0;    // the program's own CPU time until then
  double readyMs = 0;  // to the engine ready, when the program reports it
};

// The number after `key` in the report that starts at `from`; 0 when it is not there.
double Field(const std::string& text, size_t from, const char* key) {
  const size_t at = text.find(key, from);
  return at == std::string::npos ? 0 : std::atof(text.c_str() + at + std::strlen(key));
}

// Starts `program` once and reads its report, up to the engine ready when waitReady.
std::optional<Start> OneStart(const std::string& program, const std::vector<std::string>& env,
                              bool waitReady) {
  int out[2];
  if (pipe2(out, O_CLOEXEC) != 0) return std::nullopt;
  char errName[] = "/tmp/app_startup_bench.XXXXXX";
  const int errFd = mkstemp(errName);
  unlink(errName);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, out[1], 1);
  if (errFd >= 0) posix_spawn_file_actions_adddup2(&actions, errFd, 2);
  std::vector<std::string> args = {program};
  std::vector<std::string> envCopy = env;
  std::vector<char*> argv = Pointers(args);
  std::vector<char*> envp = Pointers(envCopy);
  pid_t pid = 0;
  const long long start = NowNs();
  const int rc = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  close(out[1]);
  if (rc != 0) {
    std::fprintf(stderr, "app_startup_bench: cannot start %s: %s\n", program.c_str(),
                 std::strerror(rc));
    close(out[0]);
    if (errFd >= 0) close(errFd);
    return std::nullopt;
  }
  // Reads until the report line; the program's helper processes may keep the pipe open after.
  std::string text;
  const long long deadline = start + kStartTimeoutMs * 1000000LL;
  const char* last = waitReady ? "engine ready, monotonic_ns=" : "monotonic_ns=";
  while (text.find('\n', text.find(last)) == std::string::npos) {
    pollfd p{out[0], POLLIN, 0};
    const int left = static_cast<int>((deadline - NowNs()) / 1000000);
    if (left <= 0 || poll(&p, 1, left) <= 0) break;
    char buf[512];
    const ssize_t n = read(out[0], buf, sizeof buf);
    if (n <= 0) break;
    text.append(buf, static_cast<size_t>(n));
  }
  close(out[0]);
  const int status = Reap(pid, kStartTimeoutMs);
  const size_t at = text.find("monotonic_ns=");
  if (at == std::string::npos || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    std::fprintf(stderr, "app_startup_bench: %s did not report its window shown (status %d)\n",
                 program.c_str(), status);
    if (errFd >= 0) {
      char buf[4096];
      const ssize_t n = pread(errFd, buf, sizeof buf, 0);
      if (n > 0) std::fwrite(buf, 1, static_cast<size_t>(n), stderr);
      close(errFd);
    }
    return std::nullopt;
  }
  if (errFd >= 0) close(errFd);
  const long long shown = std::atoll(text.c_str() + at + std::strlen("monotonic_ns="));
  Start result{static_cast<double>(shown - start) / 1e6, Field(text, at, "since_main_ms="),
               Field(text, at, "cpu_ms="), 0};
  constexpr char kReady[] = "engine ready, monotonic_ns=";
  const size_t readyAt = text.find(kReady);
  if (readyAt != std::string::npos)
    result.readyMs =
        static_cast<double>(std::atoll(text.c_str() + readyAt + sizeof kReady - 1) - start) / 1e6;
  else if (waitReady)
    return std::nullopt;
  return result;
}

// An Xvfb on :96 for the length of the benchmark.
class Xvfb {
 public:
  bool Start() {
    const std::string lock = std::string("/tmp/.X") + (kXvfbDisplay + 1) + "-lock";
    if (access(lock.c_str(), F_OK) == 0) {
      std::fprintf(stderr, "app_startup_bench: display %s is taken (%s); pass --display\n",
                   kXvfbDisplay, lock.c_str());
      return false;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    std::vector<std::string> args = {"Xvfb",         kXvfbDisplay, "-screen", "0",
                                     "1280x1024x24", "-nolisten",  "tcp"};
    std::vector<char*> argv = Pointers(args);
    const int rc = posix_spawnp(&pid_, "Xvfb", &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) {
      std::fprintf(stderr, "app_startup_bench: cannot start Xvfb: %s\n", std::strerror(rc));
      pid_ = 0;
      return false;
    }
    for (int i = 0; i < 1000; ++i) {
      if (Answers()) return true;
      int status = 0;
      if (waitpid(pid_, &status, WNOHANG) == pid_) break;
      usleep(10000);
    }
    std::fprintf(stderr, "app_startup_bench: Xvfb %s did not come up\n", kXvfbDisplay);
    return false;
  }
  ~Xvfb() {
    if (pid_ <= 0) return;
    kill(pid_, SIGTERM);
    Reap(pid_, 5000);
  }
  static std::string Display() { return kXvfbDisplay; }

 private:
  static bool Answers() {
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un a{};
    a.sun_family = AF_UNIX;
    std::snprintf(a.sun_path, sizeof a.sun_path, "/tmp/.X11-unix/X%s", kXvfbDisplay + 1);
    const bool ok = connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    close(fd);
    return ok;
  }
  pid_t pid_ = 0;
};

std::vector<std::string> Split(const std::string& list) {
  std::vector<std::string> out;
  std::stringstream in(list);
  for (std::string item; std::getline(in, item, ',');)
    if (!item.empty()) out.push_back(item);
  return out;
}

bool ParseArgs(int argc, char** argv, Options& o) {
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    const bool hasValue = i + 1 < argc;
    if (a == "--runs" && hasValue) {
      o.runs = std::max(1, std::atoi(argv[++i]));
    } else if (a == "--platforms" && hasValue) {
      o.platforms = Split(argv[++i]);
    } else if (a == "--display" && hasValue) {
      o.display = argv[++i];
    } else if (a == "--qelo" && hasValue) {
      o.qelo = argv[++i];
    } else if (a == "--empty" && hasValue) {
      o.empty = argv[++i];
    } else if (a == "--no-ready") {
      o.ready = false;
    } else if (!a.empty() && a[0] != '-' && std::atoi(a.c_str()) > 0) {
      o.runs = std::atoi(a.c_str());
    } else {
      std::fprintf(stderr,
                   "usage: app_startup_bench [RUNS] [--runs N] [--platforms offscreen,xcb] "
                   "[--display :N] [--qelo PATH] [--empty PATH] [--no-ready]\n");
      return false;
    }
  }
  return !o.platforms.empty();
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  const size_t n = v.size();
  return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

// "M ms (min A, max B; in main() C, CPU D)": medians of the starts, with the spread of the whole
// figure.
std::string Describe(const std::vector<Start>& starts) {
  std::vector<double> shown;
  std::vector<double> inMain;
  std::vector<double> cpu;
  for (const Start& s : starts) {
    shown.push_back(s.shownMs);
    inMain.push_back(s.inMainMs);
    cpu.push_back(s.cpuMs);
  }
  char buf[200];
  std::snprintf(buf, sizeof buf, "%7.1f ms (min %.1f, max %.1f; in main() %.1f, CPU %.1f ms)",
                Median(shown), *std::min_element(shown.begin(), shown.end()),
                *std::max_element(shown.begin(), shown.end()), Median(inMain), Median(cpu));
  return buf;
}

void PrintSummary(const std::string& where, const std::vector<Start>& qelo,
                  const std::vector<Start>& empty) {
  auto median = [](const std::vector<Start>& starts, double Start::*field) {
    std::vector<double> v;
    for (const Start& s : starts)
      v.push_back(s.*field);
    return Median(v);
  };
  const double mq = median(qelo, &Start::shownMs);
  const double me = median(empty, &Start::shownMs);
  const double cpuRatio = median(qelo, &Start::cpuMs) / median(empty, &Start::cpuMs);
  std::printf(
      "start to window shown, %s, median of %zu starts:\n"
      "  qelo            %s\n"
      "  empty Qt window %s\n"
      "  ratio qelo/empty: time %.2f, CPU %.2f; goal within %.1fx: %s\n",
      where.c_str(), qelo.size(), Describe(qelo).c_str(), Describe(empty).c_str(), mq / me,
      cpuRatio, kGoalRatio, mq <= kGoalRatio * me ? "met" : "NOT met");
  const double ready = median(qelo, &Start::readyMs);
  if (ready > 0) std::printf("  qelo engine ready %7.1f ms (median)\n", ready);
}

}  // namespace

int main(int argc, char** argv) {
  Options o;
  if (!ParseArgs(argc, argv, o)) return 2;
  const bool wantsX = std::find(o.platforms.begin(), o.platforms.end(), "xcb") != o.platforms.end();
  Xvfb xvfb;
  std::string display = o.display;
  if (wantsX && display.empty() && std::getenv("DISPLAY")) display = std::getenv("DISPLAY");
  if (wantsX && display.empty()) {
    if (!xvfb.Start()) return 1;
    display = Xvfb::Display();
  }

  const std::vector<std::pair<std::string, std::string>> programs = {{"qelo", o.qelo},
                                                                     {"empty", o.empty}};
  std::map<std::pair<std::string, std::string>, std::vector<Start>> starts;  // platform, program
  std::printf("%-9s %-5s %4s %10s %11s %9s %9s\n", "platform", "prog", "run", "shown_ms",
              "in_main_ms", "cpu_ms", "ready_ms");
  for (int run = 0; run <= o.runs; ++run) {  // run 0 warms the caches and is not counted
    for (const std::string& platform : o.platforms) {
      for (size_t k = 0; k < programs.size(); ++k) {
        // The order alternates, so neither program always starts right after the other.
        const auto& [name, path] = programs[(k + static_cast<size_t>(run)) % programs.size()];
        const bool waitReady = o.ready && name == "qelo";
        const std::vector<std::string> env =
            ChildEnv(platform, platform == "xcb" ? display : "", waitReady ? "ready" : "1");
        const std::optional<Start> t = OneStart(path, env, waitReady);
        if (!t) return 1;
        if (run == 0) continue;
        starts[{platform, name}].push_back(*t);
        std::printf("%-9s %-5s %4d %10.3f %11.3f %9.3f %9.3f\n", platform.c_str(), name.c_str(),
                    run, t->shownMs, t->inMainMs, t->cpuMs, t->readyMs);
      }
    }
  }
  for (const std::string& platform : o.platforms) {
    PrintSummary(platform == "xcb" ? "xcb on " + display : platform, starts[{platform, "qelo"}],
                 starts[{platform, "empty"}]);
  }
  return 0;
}
