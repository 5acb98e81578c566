// qelo-service: the reference netdisk-index service. Holds a demo index in SQLite, answers the
// client's search, rating, report and skin requests, and serves one page per indexed file.
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <optional>
#include <string>
#include <string_view>
#include <thread>

#include "index_db.h"
#include "server.h"
#include "skin_files.h"
#include "text/state_dirs.h"

namespace {

using namespace qelo::service;

constexpr std::string_view kUsage =
    "usage: qelo-service [options]\n"
    "\n"
    "The reference netdisk-index service for the Qelo client.\n"
    "\n"
    "  --listen HOST:PORT  address to serve on (default 127.0.0.1:8090; port 0 picks a free\n"
    "                      port); the base URL is printed on standard output once bound\n"
    "  --db FILE           SQLite index, created and filled on first start (default:\n"
    "                      qelo-service.db in $STATE_DIRECTORY when set, as under its\n"
    "                      systemd unit; else, installed, in $XDG_STATE_HOME/qelo-service\n"
    "                      or ~/.local/state/qelo-service; else beside the executable)\n"
    "  --seed-rows N       demo files put into a new index (default 50000, at most\n"
    "                      1000000)\n"
    "  --skins DIR         directory of NAME.skn and NAME.jpg skin files (default,\n"
    "                      installed: the demo skins in PREFIX/share/qelo-service/skins;\n"
    "                      else service-skins beside the executable)\n"
    "  --threads N         worker threads (default one per processor, 2 to 32)\n"
    "  --print-url         print the base URL for the --listen address and exit\n"
    "  --help              show this text\n"
    "\n"
    "One line per request goes to standard error. SIGINT or SIGTERM stops the service.\n";

struct Options {
  std::string host = "127.0.0.1";
  int port = 8090;
  std::string db;
  std::string skins;
  uint64_t seed_rows = 50000;
  size_t threads = 0;  // the server's default
  bool print_url = false;
  bool help = false;
};

std::string ExeDir() {
  std::error_code ec;
  const auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
  return ec ? std::string(".") : exe.parent_path().string();
}

// An absolute directory from the environment, or empty. STATE_DIRECTORY may list several
// directories separated by ":"; the first is ours.
std::string EnvDir(const char* name) {
  const char* value = std::getenv(name);
  if (!value || value[0] != '/') return {};
  const std::string_view dirs(value);
  return std::string(dirs.substr(0, dirs.find(':')));
}

// Defaults for --db and --skins. An installed service (its package put the demo skins in
// PREFIX/share/qelo-service beside PREFIX/sbin) never writes beside its executable: its index
// goes to the unit's state directory, or to the user's when started by hand (that folder is made
// when the index is about to be created there).
void SetDefaultPaths(Options& o) {
  const std::string dir = ExeDir();
  const std::string shared =
      (std::filesystem::path(dir) / "../share/qelo-service").lexically_normal().string();
  std::error_code ec;
  const bool installed = std::filesystem::is_directory(shared, ec);
  o.skins = installed ? shared + "/skins" : dir + "/service-skins";
  std::string stateDir = EnvDir("STATE_DIRECTORY");
  if (stateDir.empty() && installed) {
    const std::string xdg = EnvDir("XDG_STATE_HOME");
    const std::string home = EnvDir("HOME");
    stateDir = (xdg.empty() ? home + "/.local/state" : xdg) + "/qelo-service";
  }
  o.db = (stateDir.empty() ? dir : stateDir) + "/qelo-service.db";
}

std::optional<uint64_t> ParseCount(std::string_view s, uint64_t max) {
  if (s.empty() || s.size() > 12) return std::nullopt;
  uint64_t v = 0;
  for (char c : s) {
    if (c < '0' || c > '9') return std::nullopt;
    v = v * 10 + static_cast<uint64_t>(c - '0');
  }
  if (v > max) return std::nullopt;
  return v;
}

// "HOST:PORT", "[v6]:PORT" or ":PORT".
bool ParseListen(std::string_view s, Options& o) {
  const size_t colon = s.rfind(':');
  if (colon == std::string_view::npos) return false;
  const auto port = ParseCount(s.substr(colon + 1), 65535);
  if (!port) return false;
  std::string_view host = s.substr(0, colon);
  if (host.size() >= 2 && host.front() == '[' && host.back() == ']') {
    host = host.substr(1, host.size() - 2);
  }
  o.host = host.empty() ? "127.0.0.1" : std::string(host);
  o.port = static_cast<int>(*port);
  return true;
}

std::string BaseUrl(const Options& o, int port) {
  const bool v6 = o.host.find(':') != std::string::npos;
  return "http://" + (v6 ? "[" + o.host + "]" : o.host) + ":" + std::to_string(port) + "/";
}

// Fills `o` from the arguments; an error text, or empty on success.
std::string ParseArgs(int argc, char** argv, Options& o) {
  for (int i = 1; i < argc; ++i) {
    std::string_view arg = argv[i];
    std::string_view value;
    bool has_value = false;
    if (const size_t eq = arg.find('='); arg.starts_with("--") && eq != std::string_view::npos) {
      value = arg.substr(eq + 1);
      arg = arg.substr(0, eq);
      has_value = true;
    }
    auto need = [&]() -> bool {
      if (has_value) return true;
      if (i + 1 >= argc) return false;
      value = argv[++i];
      return true;
    };
    if (arg == "--help" || arg == "-h") {
      o.help = true;
    } else if (arg == "--print-url") {
      o.print_url = true;
    } else if (arg == "--listen") {
      if (!need() || !ParseListen(value, o)) return "--listen needs HOST:PORT";
    } else if (arg == "--db") {
      if (!need() || value.empty()) return "--db needs a file name";
      o.db = std::string(value);
    } else if (arg == "--skins") {
      if (!need() || value.empty()) return "--skins needs a directory";
      o.skins = std::string(value);
    } else if (arg == "--seed-rows") {
      const auto n = need() ? ParseCount(value, 1'000'000) : std::nullopt;
      if (!n) return "--seed-rows needs a count up to 1000000";
      o.seed_rows = *n;
    } else if (arg == "--threads") {
      const auto n = need() ? ParseCount(value, 256) : std::nullopt;
      if (!n || *n == 0) return "--threads needs a count from 1 to 256";
      o.threads = *n;
    } else {
      return "unknown option " + std::string(arg);
    }
  }
  return {};
}

void LogLine(std::string_view line) {
  std::string out(line);
  out.push_back('\n');
  // One write per line, so lines from different workers do not interleave.
  [[maybe_unused]] const ssize_t n = ::write(STDERR_FILENO, out.data(), out.size());
}

int Serve(const Options& o) {
  const auto t0 = std::chrono::steady_clock::now();
  IndexDb db(o.db, o.seed_rows);
  const auto ms =
      std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - t0)
          .count();
  const int64_t files = db.FileCount();
  LogLine("qelo-service: index " + o.db + " holds " + std::to_string(files) + " files" +
          (db.Created() ? " (created in " + std::to_string(ms) + " ms)" : ""));

  SkinStore skins(o.skins);
  ServiceServer server(db, skins, ServerOptions{.threads = o.threads}, LogLine);
  const int port = server.Bind(o.host, o.port);
  if (port < 0) {
    std::cerr << "qelo-service: cannot listen on " << o.host << ":" << o.port << "\n";
    return 1;
  }
  std::cout << BaseUrl(o, port) << std::endl;
  LogLine("qelo-service: serving " + BaseUrl(o, port) + ", skins from " + o.skins);

  // SIGINT/SIGTERM are blocked in every thread and taken here, outside any signal handler.
  std::thread signals([&server] {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    int sig = 0;
    sigwait(&set, &sig);
    while (!server.Finished()) {
      server.Stop();
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
  });
  const bool ok = server.Run();
  pthread_kill(signals.native_handle(), SIGTERM);  // wakes the waiter if no signal came
  signals.join();
  LogLine("qelo-service: stopped");
  return ok ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  Options o;
  SetDefaultPaths(o);
  const std::string defaultDb = o.db;
  if (const std::string err = ParseArgs(argc, argv, o); !err.empty()) {
    std::cerr << "qelo-service: " << err << "\n" << kUsage;
    return 2;
  }
  if (o.help) {
    std::cout << kUsage;
    return 0;
  }
  if (o.print_url) {
    std::cout << BaseUrl(o, o.port) << std::endl;
    return 0;
  }
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGINT);
  sigaddset(&set, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &set, nullptr);
  signal(SIGPIPE, SIG_IGN);
  if (o.db == defaultDb) {  // a failure shows when the index is opened
    qelo::text::MakeStateDir(std::filesystem::path(o.db).parent_path().string() + "/");
  }
  try {
    return Serve(o);
  } catch (const std::exception& e) {
    std::cerr << "qelo-service: " << e.what() << "\n";
    return 1;
  }
}
