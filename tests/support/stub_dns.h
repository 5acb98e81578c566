// A loopback DNS responder for lookup tests: a UDP socket on 127.0.0.1 at a free port, answered
// on its own thread. Names in its table get their IPv4 addresses (in table order); every other
// name gets "no such name". Tests point the resolver at Address() instead of the machine's
// servers, so a lookup never leaves the machine nor depends on a network.
#pragma once

#include <atomic>
#include <map>
#include <string>
#include <thread>
#include <vector>

namespace qelo::test {

class StubDnsServer {
 public:
  // Lower-case host name -> dotted IPv4 addresses.
  using Names = std::map<std::string, std::vector<std::string>>;
  explicit StubDnsServer(Names names = {});
  ~StubDnsServer();
  StubDnsServer(const StubDnsServer&) = delete;
  StubDnsServer& operator=(const StubDnsServer&) = delete;

  // "127.0.0.1:port", the form the resolver's server option takes.
  const std::string& Address() const { return address_; }
  // Queries answered so far (any name, any type).
  int QueryCount() const { return queries_.load(); }

 private:
  void Serve();
  std::string Answer(const unsigned char* query, size_t len) const;

  Names names_;
  int fd_ = -1;
  std::string address_;
  std::atomic<bool> stop_{false};
  std::atomic<int> queries_{0};
  std::thread thread_;
};

}  // namespace qelo::test
