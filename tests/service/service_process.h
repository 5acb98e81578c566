// Runs the qelo-service executable for a test: a temp directory with a small seeded index and a
// skins folder, a free loopback port, raw HTTP/1.0 exchanges, and a SIGTERM stop at the end.
#pragma once

#include <sys/types.h>

#include <map>
#include <string>
#include <string_view>

namespace qelo::service::testing {

struct HttpReply {
  int status = 0;
  std::map<std::string, std::string> headers;  // names lower-cased
  std::string body;
  bool closed_by_server = false;  // the read ended at EOF, not at a time limit

  std::string Header(const std::string& lower_name) const {
    const auto it = headers.find(lower_name);
    return it == headers.end() ? std::string() : it->second;
  }
};

// Splits raw reply bytes into status, headers and body.
HttpReply ParseReply(const std::string& raw);

class ServiceProcess {
 public:
  // Creates the temp directory; call WriteFile for skins, then Start.
  ServiceProcess();
  ~ServiceProcess();
  ServiceProcess(const ServiceProcess&) = delete;
  ServiceProcess& operator=(const ServiceProcess&) = delete;

  const std::string& Dir() const { return dir_; }
  // "http://127.0.0.1:PORT/" once started.
  std::string BaseUrl() const { return "http://127.0.0.1:" + std::to_string(port_) + "/"; }
  std::string DbPath() const { return dir_ + "/index.db"; }
  std::string SkinsDir() const { return dir_ + "/skins"; }
  void WriteFile(const std::string& relative, std::string_view bytes) const;

  // Starts the service with `seed_rows` demo rows; false when it did not report its URL in time.
  bool Start(int seed_rows);
  // SIGTERM and wait; the exit status as waitpid reports it, or -1 if it had to be killed.
  int Stop();

  // Sends `request` as it stands and reads the reply until the server closes the connection.
  HttpReply Exchange(std::string_view request) const;
  HttpReply Post(std::string_view path, std::string_view body) const;
  HttpReply Get(std::string_view target, std::string_view extra_headers = {}) const;
  int Port() const { return port_; }

 private:
  std::string dir_;
  pid_t pid_ = -1;
  int port_ = 0;
};

}  // namespace qelo::service::testing
