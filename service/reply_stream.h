// The stream one request is served over: reads come from the request bytes the front end has
// already taken in (the whole head and body), writes go to the connection. Small writes are
// gathered and sent together, so a reply's header and a short body leave in one send and a
// kept-alive connection never waits on the peer's delayed acknowledgement between them.
#pragma once

#include <httplib.h>

#include <chrono>
#include <string>

namespace qelo::service {

class ReplyStream : public httplib::Stream {
 public:
  // Writes wait at most `stall` for the connection to take more bytes; then the reply is given
  // up and every further write fails.
  ReplyStream(int fd, std::string request, std::chrono::milliseconds stall);

  bool is_readable() const override { return read_pos_ < request_.size(); }
  bool is_writable() const override { return !failed_; }
  ssize_t read(char* ptr, size_t size) override;
  ssize_t write(const char* ptr, size_t size) override;
  void get_remote_ip_and_port(std::string& ip, int& port) const override;
  void get_local_ip_and_port(std::string& ip, int& port) const override;
  socket_t socket() const override { return fd_; }

  // Sends what is gathered; false when the connection did not take it.
  bool Flush();
  // Gathered bytes are sent once this many are waiting.
  static constexpr size_t kGatherBytes = 64 * 1024;

 private:
  int fd_;
  std::string request_;
  size_t read_pos_ = 0;
  std::string out_;
  std::chrono::milliseconds stall_;
  bool failed_ = false;
};

}  // namespace qelo::service
