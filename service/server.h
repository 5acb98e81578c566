// The HTTP side of the service: routes for the service script, the skin script, the result
// pages and the forum page, over HttpDaemon (which bounds and logs every request). Answers
// HTTP/1.0 and 1.1.
#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace qelo::service {

class HttpDaemon;
class IndexDb;
class SkinStore;

struct ServerOptions {
  // Workers answering requests; 0 picks DefaultWorkers().
  size_t threads = 0;
  size_t max_body_bytes = 1 << 20;  // larger request bodies get 413
  size_t max_connections = 768;
  // A connection has this long for each request head and then for its body, and a reply may
  // stall this long; see HttpDaemon.
  std::chrono::milliseconds head_timeout{5000};
  std::chrono::milliseconds body_timeout{10000};
  std::chrono::milliseconds write_stall{5000};
};

// One worker per processor, at least two and at most 32. The handlers spend their time
// computing (search) or in the index, so more workers than processors only add switching: on
// two processors eight workers doubled the p99 latency of searches at saturation and gained no
// throughput. Each busy worker holds an index connection with its own page cache, hence the cap.
size_t DefaultWorkers();

class ServiceServer {
 public:
  using LogSink = std::function<void(std::string_view line)>;

  ServiceServer(IndexDb& db, const SkinStore& skins, ServerOptions options, LogSink log);
  ~ServiceServer();
  ServiceServer(const ServiceServer&) = delete;
  ServiceServer& operator=(const ServiceServer&) = delete;

  // Binds the listening socket; `port` 0 picks a free one. The bound port, or -1.
  int Bind(const std::string& host, int port);
  // Serves until Stop; false when serving could not start.
  bool Run();
  // Ends Run from any thread, also when called just before Run starts listening.
  void Stop();
  bool Finished() const { return finished_; }

 private:
  IndexDb& db_;
  const SkinStore& skins_;
  std::unique_ptr<HttpDaemon> http_;
  std::atomic<bool> finished_{false};
};

}  // namespace qelo::service
