// Load generator for qelo-service: search requests exactly as the client sends them (HTTP/1.0
// POST, raw GBK body, one connection per request). Open-loop at a fixed rate, latency measured
// from each request's scheduled start, so a slow service cannot hide its queueing delay; or, with
// --saturate, as fast as a fixed number of connections allow.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "text/gbk.h"

namespace {

using Clock = std::chrono::steady_clock;

// Long and short words, ASCII and Chinese, frequent, rare and absent.
constexpr std::string_view kWords[] = {
    "photoshop",    "rar",      "2013",     "HD720P",     "Adele",
    "Python",       "The Dark", "考研数学", "速度与激情", "明朝那些事儿",
    "植物大战僵尸", "精选集",   "教程",     "壁纸",       "mp3",
    "qq",           "囧",       "a",        "CS",         "不存在的文件xyz"};

struct Config {
  int port = 0;
  double rate = 200;
  double seconds = 10;
  int workers = 32;
  bool saturate = false;
  int connections = 8;
};

struct Outcome {
  double latency_ms = 0;
  bool ok = false;
};

// One request on its own connection; true when the reply is a 200 and arrived whole.
bool Exchange(int port, const std::string& request) {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  timeval tv{10, 0};
  setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(static_cast<uint16_t>(port));
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  bool ok = connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 &&
            send(fd, request.data(), request.size(), MSG_NOSIGNAL) ==
                static_cast<ssize_t>(request.size());
  std::string reply;
  char buf[65536];
  ssize_t n = 0;
  while (ok && (n = recv(fd, buf, sizeof buf, 0)) > 0)
    reply.append(buf, static_cast<size_t>(n));
  close(fd);
  return ok && n == 0 && reply.compare(9, 3, "200") == 0 && reply.back() == ']';
}

std::vector<std::string> Requests() {
  std::vector<std::string> out;
  for (std::string_view w : kWords) {
    const std::string body = "action=search&word=" + qelo::text::Utf8ToGbk(w);
    out.push_back(
        "POST /zelk_client.php HTTP/1.0\r\nAccept: image/gif, image/x-xbitmap, image/jpeg, "
        "image/pjpeg, */*\r\nContent-Type: application/x-www-form-urlencoded\r\nUser-Agent: "
        "zelk-client-http\r\nHost: 127.0.0.1\r\nContent-Length: " +
        std::to_string(body.size()) + "\r\n\r\n" + body);
  }
  return out;
}

void Report(const char* title, std::vector<Outcome> outcomes, double elapsed_s) {
  std::vector<double> ms;
  size_t errors = 0;
  for (const Outcome& o : outcomes) {
    if (o.ok)
      ms.push_back(o.latency_ms);
    else
      ++errors;
  }
  std::sort(ms.begin(), ms.end());
  auto pct = [&](double p) {
    return ms.empty() ? 0.0 : ms[std::min(ms.size() - 1, static_cast<size_t>(p * ms.size()))];
  };
  std::printf("%s: %zu requests in %.2f s = %.1f req/s, errors %zu\n", title, outcomes.size(),
              elapsed_s, outcomes.size() / elapsed_s, errors);
  std::printf("  latency ms: p50 %.2f  p90 %.2f  p99 %.2f  max %.2f\n", pct(0.50), pct(0.90),
              pct(0.99), ms.empty() ? 0.0 : ms.back());
}

void OpenLoop(const Config& c, const std::vector<std::string>& requests) {
  const auto total = static_cast<size_t>(c.rate * c.seconds);
  std::vector<Outcome> outcomes(total);
  std::atomic<size_t> next{0};
  const auto start = Clock::now() + std::chrono::milliseconds(50);
  const auto interval = std::chrono::duration<double>(1.0 / c.rate);
  std::vector<std::thread> workers;
  for (int w = 0; w < c.workers; ++w) {
    workers.emplace_back([&] {
      for (size_t k; (k = next++) < total;) {
        const auto due = start + std::chrono::duration_cast<Clock::duration>(interval * k);
        std::this_thread::sleep_until(due);
        const bool ok = Exchange(c.port, requests[k % requests.size()]);
        outcomes[k] = {std::chrono::duration<double, std::milli>(Clock::now() - due).count(), ok};
      }
    });
  }
  for (auto& t : workers)
    t.join();
  const double elapsed = std::chrono::duration<double>(Clock::now() - start).count();
  char title[96];
  std::snprintf(title, sizeof title, "open loop at %.0f req/s", c.rate);
  Report(title, std::move(outcomes), elapsed);
}

void Saturate(const Config& c, const std::vector<std::string>& requests) {
  const auto start = Clock::now();
  const auto stop =
      start + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(c.seconds));
  std::vector<std::vector<Outcome>> per(c.connections);
  std::vector<std::thread> workers;
  for (int w = 0; w < c.connections; ++w) {
    workers.emplace_back([&, w] {
      for (size_t k = w; Clock::now() < stop; k += c.connections) {
        const auto t0 = Clock::now();
        const bool ok = Exchange(c.port, requests[k % requests.size()]);
        per[w].push_back(
            {std::chrono::duration<double, std::milli>(Clock::now() - t0).count(), ok});
      }
    });
  }
  for (auto& t : workers)
    t.join();
  std::vector<Outcome> all;
  for (auto& v : per)
    all.insert(all.end(), v.begin(), v.end());
  char title[96];
  std::snprintf(title, sizeof title, "saturation with %d connections", c.connections);
  Report(title, std::move(all), std::chrono::duration<double>(Clock::now() - start).count());
}

}  // namespace

int main(int argc, char** argv) {
  Config c;
  for (int i = 1; i + 1 < argc || (i < argc && std::strcmp(argv[i], "--saturate") == 0); ++i) {
    const std::string_view a = argv[i];
    if (a == "--saturate") {
      c.saturate = true;
      continue;
    }
    const double v = std::atof(argv[++i]);
    if (a == "--port")
      c.port = static_cast<int>(v);
    else if (a == "--rate")
      c.rate = v;
    else if (a == "--seconds")
      c.seconds = v;
    else if (a == "--workers")
      c.workers = static_cast<int>(v);
    else if (a == "--connections")
      c.connections = static_cast<int>(v);
  }
  if (c.port <= 0 || c.rate <= 0 || c.seconds <= 0 || c.workers <= 0 || c.connections <= 0) {
    std::fprintf(stderr,
                 "usage: service_load --port P [--rate 200] [--seconds 10] [--workers 32]\n"
                 "       service_load --port P --saturate [--connections 8] [--seconds 10]\n");
    return 2;
  }
  const auto requests = Requests();
  if (c.saturate)
    Saturate(c, requests);
  else
    OpenLoop(c, requests);
  return 0;
}
