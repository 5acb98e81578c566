// The service's HTTP server: GNU libmicrohttpd (its public interface only) on a listening socket
// of ours, with a few threads that wait on the connections with epoll and read and write them,
// and a WorkQueue of `threads` workers that answer the requests, oldest first. Every request
// reaches the handler whole: head and body read, the body at most `max_body_bytes`; meanwhile the
// library holds its connection suspended.
//
// The library frames requests, answers "100-continue", keeps connections alive, limits their
// number and memory (which bounds a request head), drops a reply the client stops taking for
// `write_stall`, and refuses heads it cannot parse. This layer adds what it leaves to its user:
//  - refusals from the head alone before any body byte is read (see head_checks.h), each reply
//    closing the connection;
//  - deadlines for a request head and a body (see connection_watch.h);
//  - one log line per answered request: method, raw target, status, milliseconds.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "skin_files.h"

namespace qelo::service {

class ConnectionWatch;
class WorkQueue;
struct RequestState;

struct HttpOptions {
  size_t threads = 8;                 // workers running the handler
  size_t io_threads = 2;              // library threads reading and writing connections
  size_t max_body_bytes = 1 << 20;    // larger request bodies get 413 unread
  size_t max_head_bytes = 64 * 1024;  // request line and header lines
  size_t max_connections = 768;       // more are closed as soon as they are accepted
  std::chrono::milliseconds head_timeout{5000};
  std::chrono::milliseconds body_timeout{10000};
  std::chrono::milliseconds write_stall{5000};  // whole seconds, at least one
};

// One request as the handler sees it. Views live as long as the handler call.
struct HttpRequest {
  std::string_view method;
  std::string_view path;    // percent-decoded, without the query
  std::string_view target;  // exactly as sent: path and query, nothing decoded
  std::string_view body;    // raw bytes
  // The value of the first header line called `name` (any case), or nothing.
  std::function<std::optional<std::string_view>(const char* name)> header;
};

struct HttpReply {
  int status = 200;
  std::string content_type = "text/plain";
  std::string body;
  std::vector<std::pair<std::string, std::string>> headers;
  // When set, `file_length` bytes of this file from `file_offset` on are sent instead of `body`.
  UniqueFd file;
  uint64_t file_offset = 0;
  uint64_t file_length = 0;
};

class HttpDaemon {
 public:
  using Handler = std::function<HttpReply(const HttpRequest& request)>;
  using LogSink = std::function<void(std::string_view line)>;

  HttpDaemon(HttpOptions options, Handler handler, LogSink log);
  ~HttpDaemon();
  HttpDaemon(const HttpDaemon&) = delete;
  HttpDaemon& operator=(const HttpDaemon&) = delete;

  // Binds and listens; `port` 0 picks a free one. The bound port, or -1.
  int Bind(const std::string& host, int port);
  // Serves until Stop; false when nothing is bound or the library would not start.
  bool Run();
  // Ends Run from any thread, also when called before Run.
  void Stop();

  // Called back by the library (through the functions in http_daemon.cpp).
  struct Callbacks;

 private:
  HttpReply Handle(const RequestState& request);

  HttpOptions options_;
  Handler handler_;
  LogSink log_;
  std::unique_ptr<ConnectionWatch> watch_;
  std::unique_ptr<WorkQueue> workers_;
  std::atomic<bool> stopping_{false};
  std::atomic<size_t> in_flight_{0};  // requests handed to the workers and not yet given back
  UniqueFd listen_;
  std::mutex mutex_;
  std::condition_variable stop_cv_;
  bool stop_ = false;
};

}  // namespace qelo::service
