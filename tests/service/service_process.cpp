#include "service_process.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <thread>

namespace qelo::service::testing {
namespace {

constexpr int kStartTimeoutMs = 30000;
constexpr int kIoTimeoutSec = 10;

std::string Lower(std::string s) {
  for (char& c : s)
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

}  // namespace

HttpReply ParseReply(const std::string& raw) {
  HttpReply r;
  const size_t head_end = raw.find("\r\n\r\n");
  if (head_end == std::string::npos) return r;
  const std::string head = raw.substr(0, head_end);
  r.body = raw.substr(head_end + 4);
  const size_t sp = head.find(' ');
  if (sp != std::string::npos) r.status = std::atoi(head.c_str() + sp + 1);
  size_t pos = head.find("\r\n");
  while (pos != std::string::npos) {
    const size_t next = head.find("\r\n", pos + 2);
    const std::string line =
        head.substr(pos + 2, next == std::string::npos ? next : next - pos - 2);
    const size_t colon = line.find(':');
    if (colon != std::string::npos) {
      size_t v = colon + 1;
      while (v < line.size() && line[v] == ' ')
        ++v;
      r.headers[Lower(line.substr(0, colon))] = line.substr(v);
    }
    pos = next;
  }
  return r;
}

ServiceProcess::ServiceProcess() {
  std::string tmpl = (std::filesystem::temp_directory_path() / "qelo-service-test-XXXXXX").string();
  if (!mkdtemp(tmpl.data())) throw std::runtime_error("mkdtemp failed");
  dir_ = tmpl;
  std::filesystem::create_directory(SkinsDir());
}

ServiceProcess::~ServiceProcess() {
  Stop();
  std::error_code ec;
  std::filesystem::remove_all(dir_, ec);
}

void ServiceProcess::WriteFile(const std::string& relative, std::string_view bytes) const {
  std::ofstream(dir_ + "/" + relative, std::ios::binary).write(bytes.data(), bytes.size());
}

bool ServiceProcess::Start(int seed_rows) {
  int out[2];
  if (pipe2(out, O_CLOEXEC) != 0) return false;
  const std::string rows = std::to_string(seed_rows);
  const std::string db = DbPath();
  const std::string skins = SkinsDir();
  const std::string log = dir_ + "/service.log";
  pid_ = fork();
  if (pid_ == 0) {
    dup2(out[1], STDOUT_FILENO);
    const int err = open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (err >= 0) dup2(err, STDERR_FILENO);
    execl(QELO_SERVICE_EXE, QELO_SERVICE_EXE, "--listen", "127.0.0.1:0", "--db", db.c_str(),
          "--seed-rows", rows.c_str(), "--skins", skins.c_str(), "--threads", "4",
          static_cast<char*>(nullptr));
    _exit(127);
  }
  close(out[1]);
  // The first line on standard output is the base URL with the bound port.
  std::string line;
  pollfd pfd{out[0], POLLIN, 0};
  while (line.find('\n') == std::string::npos && poll(&pfd, 1, kStartTimeoutMs) > 0) {
    char buf[256];
    const ssize_t n = read(out[0], buf, sizeof buf);
    if (n <= 0) break;
    line.append(buf, static_cast<size_t>(n));
  }
  close(out[0]);
  const size_t colon = line.rfind(':');
  if (pid_ < 0 || colon == std::string::npos) return false;
  port_ = std::atoi(line.c_str() + colon + 1);
  return port_ > 0;
}

int ServiceProcess::Stop() {
  if (pid_ <= 0) return -1;
  kill(pid_, SIGTERM);
  int status = 0;
  for (int i = 0; i < 1000; ++i) {  // up to ten seconds
    if (waitpid(pid_, &status, WNOHANG) == pid_) {
      pid_ = -1;
      return status;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  kill(pid_, SIGKILL);
  waitpid(pid_, &status, 0);
  pid_ = -1;
  return -1;
}

HttpReply ServiceProcess::Exchange(std::string_view request) const {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return {};
  timeval tv{kIoTimeoutSec, 0};
  setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
  setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(static_cast<uint16_t>(port_));
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  std::string raw;
  bool eof = false;
  if (connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0) {
    size_t sent = 0;
    while (sent < request.size()) {
      const ssize_t n = send(fd, request.data() + sent, request.size() - sent, MSG_NOSIGNAL);
      if (n <= 0) break;
      sent += static_cast<size_t>(n);
    }
    char buf[16384];
    while (true) {
      const ssize_t n = recv(fd, buf, sizeof buf, 0);
      if (n <= 0) {
        eof = n == 0;
        break;
      }
      raw.append(buf, static_cast<size_t>(n));
    }
  }
  close(fd);
  HttpReply r = ParseReply(raw);
  r.closed_by_server = eof;
  return r;
}

HttpReply ServiceProcess::Post(std::string_view path, std::string_view body) const {
  // The header lines the client sends, in its order.
  std::string req = "POST " + std::string(path) +
                    " HTTP/1.0\r\nAccept: image/gif, image/x-xbitmap, image/jpeg, image/pjpeg, "
                    "*/*\r\nContent-Type: application/x-www-form-urlencoded\r\nUser-Agent: "
                    "zelk-client-http\r\nHost: 127.0.0.1\r\nContent-Length: " +
                    std::to_string(body.size()) + "\r\n\r\n";
  req.append(body);
  return Exchange(req);
}

HttpReply ServiceProcess::Get(std::string_view target, std::string_view extra_headers) const {
  return Exchange("GET " + std::string(target) + " HTTP/1.0\r\nHost: 127.0.0.1\r\n" +
                  std::string(extra_headers) + "\r\n");
}

}  // namespace qelo::service::testing
