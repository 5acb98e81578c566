// A scripted TCP peer for loopback tests: listens on 127.0.0.1 at a free port and plays one
// script per accepted connection (expect bytes, send bytes in pieces, wait, close or reset) on
// its own thread. Every blocking step has a time limit, so a peer never outlives its test by
// much even when the code under test misbehaves.
//
//   ScriptedPeer peer({{Expect("GET / HTTP/1.0\r\n"), Send("HTTP/1.0 200 OK\r\n\r\nhi"),
//   Close()}});
//   ... connect to 127.0.0.1:peer.Port() and run the dispatcher ...
//   EXPECT_TRUE(peer.Finish()) << peer.Failure();
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace qelo::test {

struct PeerStep {
  enum Kind {
    kExpect,         // read exactly data.size() bytes; they must equal data
    kExpectUntil,    // read until data (a terminator such as "\r\n\r\n") has been seen
    kExpectCount,    // read exactly count bytes, any content
    kReadToEof,      // read until the other side closes (a reset also ends it)
    kSend,           // send data, split into pieces (sizes; the rest goes last), gapMs apart
    kDelay,          // sleep gapMs
    kShutdownWrite,  // half-close: send FIN, keep reading possible
    kClose,          // orderly close
    kReset,          // close with linger 0: the other side sees a reset
    kGate,           // wait until the test calls ReleaseGate() (one release per gate)
  };
  Kind kind = kDelay;
  std::string data;
  std::vector<size_t> pieces;
  size_t count = 0;
  int gapMs = 0;
};

// Step builders, for table-like scripts.
PeerStep Expect(std::string bytes);
PeerStep ExpectUntil(std::string terminator);
PeerStep ExpectCount(size_t count);
PeerStep ReadToEof();
PeerStep Send(std::string bytes, std::vector<size_t> pieces = {}, int gapMs = 0);
PeerStep Delay(int ms);
PeerStep ShutdownWrite();
PeerStep Close();
PeerStep Reset();
PeerStep Gate();

using PeerScript = std::vector<PeerStep>;

class ScriptedPeer {
 public:
  // One script per connection, in accept order. The peer stops after the last script (or when
  // a step fails or times out). stepTimeoutMs limits each accept, read and write. Destroying
  // the peer stops a script that is still waiting.
  explicit ScriptedPeer(std::vector<PeerScript> scripts, int stepTimeoutMs = 5000);
  ~ScriptedPeer();  // stops a waiting script, closes the listener and joins the thread
  ScriptedPeer(const ScriptedPeer&) = delete;
  ScriptedPeer& operator=(const ScriptedPeer&) = delete;

  uint16_t Port() const { return port_; }
  std::string PortText() const { return std::to_string(port_); }

  // Waits for the peer thread to end; true when every step of every script succeeded.
  bool Finish();
  bool Done() const { return done_.load(); }
  // First failure ("connection 1 step 2: expected ... got ..."); empty when none.
  std::string Failure() const;
  // Everything read on connection index (0-based), whatever the steps matched.
  std::string Received(size_t connection = 0) const;
  int AcceptedCount() const { return accepted_.load(); }
  // Lets the script pass its next Gate() step: the test decides when the peer goes on.
  void ReleaseGate();

 private:
  void Run();
  bool RunScript(int fd, size_t index);
  bool RunStep(int fd, size_t index, size_t stepNo, const PeerStep& step);
  bool ReadSome(int fd, size_t index, std::string& into, size_t want);
  bool WriteAll(int fd, const char* data, size_t len);
  void Fail(const std::string& text);

  std::vector<PeerScript> scripts_;
  int stepTimeoutMs_;
  int listenFd_ = -1;
  int stopPipe_[2] = {-1, -1};
  uint16_t port_ = 0;
  std::atomic<bool> done_{false};
  std::atomic<int> accepted_{0};
  mutable std::mutex mutex_;
  std::string failure_;
  std::vector<std::string> received_;
  std::condition_variable gateCv_;
  int gatesReleased_ = 0;
  int gatesPassed_ = 0;
  bool stopping_ = false;
  std::thread thread_;
};

// A loopback port with nothing listening on it (bound once, then released).
uint16_t UnusedLoopbackPort();

}  // namespace qelo::test
