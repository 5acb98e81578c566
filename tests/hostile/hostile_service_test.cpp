// qelo-service against hostile clients over loopback: connections that send half a header and
// stop, headers dripped a line at a time, chunked and huge bodies, a half-close after the
// request, odd ranges, a byte 0 in a search word. Each case has a bound of its own; none relies
// on timing beyond generous limits.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "service/service_process.h"

namespace qelo::service::testing {
namespace {

using Clock = std::chrono::steady_clock;

std::string Pattern(size_t n) {
  std::string s;
  for (size_t i = 0; i < n; ++i)
    s.push_back(static_cast<char>('A' + i % 26));
  return s;
}

// A raw loopback connection with bounded reads.
class RawConnection {
 public:
  explicit RawConnection(int port) {
    fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<uint16_t>(port));
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    connected_ = fd_ >= 0 && connect(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
  }
  ~RawConnection() {
    if (fd_ >= 0) close(fd_);
  }
  RawConnection(const RawConnection&) = delete;
  RawConnection& operator=(const RawConnection&) = delete;

  bool Connected() const { return connected_; }
  bool Send(std::string_view bytes) {
    size_t sent = 0;
    while (sent < bytes.size()) {
      const ssize_t n = send(fd_, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
      if (n <= 0) return false;
      sent += static_cast<size_t>(n);
    }
    return true;
  }
  void ShutdownWrite() { shutdown(fd_, SHUT_WR); }
  // Reads until the server ends the connection (true) or `limit` passes (false).
  bool ReadToClose(std::string& into, std::chrono::milliseconds limit) {
    const auto end = Clock::now() + limit;
    for (;;) {
      const auto left =
          std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now()).count();
      if (left <= 0) return false;
      pollfd p{fd_, POLLIN, 0};
      if (poll(&p, 1, static_cast<int>(left)) <= 0) continue;
      char buf[16384];
      const ssize_t n = recv(fd_, buf, sizeof buf, 0);
      if (n <= 0) return true;  // an orderly close or a reset both end it
      into.append(buf, static_cast<size_t>(n));
    }
  }
  // Reads until `into` holds `replies` whole replies (each framed by its Content-Length), or
  // `limit` passes.
  bool ReadReplies(std::string& into, size_t replies, std::chrono::milliseconds limit) {
    const auto end = Clock::now() + limit;
    while (Clock::now() < end) {
      if (CountReplies(into) >= replies) return true;
      pollfd p{fd_, POLLIN, 0};
      if (poll(&p, 1, 100) <= 0) continue;
      char buf[16384];
      const ssize_t n = recv(fd_, buf, sizeof buf, 0);
      if (n <= 0) return false;
      into.append(buf, static_cast<size_t>(n));
    }
    return false;
  }
  static size_t CountReplies(std::string_view bytes) {
    size_t count = 0;
    for (;;) {
      const size_t head = bytes.find("\r\n\r\n");
      if (head == std::string_view::npos) return count;
      const HttpReply r = ParseReply(std::string(bytes.substr(0, head + 4)));
      const size_t want = std::stoul("0" + r.Header("content-length"));
      if (bytes.size() < head + 4 + want) return count;
      ++count;
      bytes.remove_prefix(head + 4 + want);
    }
  }

 private:
  int fd_ = -1;
  bool connected_ = false;
};

constexpr auto kCloseBound = std::chrono::seconds(20);

class HostileService : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    service_ = std::make_unique<ServiceProcess>();
    service_->WriteFile("skins/Charm.skn", Pattern(100));
    ASSERT_TRUE(service_->Start(2000));
  }
  static void TearDownTestSuite() { service_.reset(); }
  static std::string SearchRequest(std::string_view word, std::string_view version = "1.0") {
    const std::string body = "action=search&word=" + std::string(word);
    return "POST /zelk_client.php HTTP/" + std::string(version) +
           "\r\nHost: 127.0.0.1\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" +
           body;
  }

  static std::unique_ptr<ServiceProcess> service_;
};
std::unique_ptr<ServiceProcess> HostileService::service_;

TEST_F(HostileService, IdleAndTricklingConnectionsLeaveSearchesAnsweredAndAreClosed) {
  std::vector<std::unique_ptr<RawConnection>> idle;
  for (int i = 0; i < 200; ++i) {
    idle.push_back(std::make_unique<RawConnection>(service_->Port()));
    ASSERT_TRUE(idle.back()->Connected());
    ASSERT_TRUE(idle.back()->Send("GET /bbs/ HTTP/1.1\r\nHost: 127.0.0.1\r\n"));
  }
  // Eight clients that send one header line every half second, for longer than the service
  // allows a request head.
  std::atomic<bool> stop{false};
  std::atomic<int> cut_off{0};
  std::vector<std::thread> tricklers;
  for (int i = 0; i < 8; ++i) {
    tricklers.emplace_back([&] {
      RawConnection c(service_->Port());
      if (!c.Send("GET /bbs/ HTTP/1.1\r\n")) return;
      for (int line = 0; line < 60 && !stop; ++line) {
        if (!c.Send("X-Line: " + std::to_string(line) + "\r\n")) {
          ++cut_off;
          return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
      }
    });
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(300));

  const HttpReply r = service_->Exchange(SearchRequest("mp3"));
  EXPECT_EQ(r.status, 200);
  EXPECT_TRUE(r.body.starts_with("[{")) << r.body.substr(0, 80);

  // Every half header is closed by the service, told why.
  // One bound for all of them, so a service that never closes them fails in that time.
  const auto end = Clock::now() + kCloseBound;
  int closed = 0;
  for (auto& c : idle) {
    std::string got;
    const auto left =
        std::max(std::chrono::milliseconds(1),
                 std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now()));
    if (c->ReadToClose(got, left)) ++closed;
    EXPECT_EQ(ParseReply(got).status, got.empty() ? 0 : 408);
  }
  EXPECT_EQ(closed, 200);
  for (std::thread& t : tricklers)
    t.join();
  EXPECT_EQ(cut_off.load(), 8);  // each trickler found its connection closed
}

TEST_F(HostileService, BodiesItWillNotTakeAreRefusedUnread) {
  const struct {
    const char* name;
    std::string head;
    int status;
  } cases[] = {
      {"chunked", "Transfer-Encoding: chunked\r\n", 411},
      {"chunked, odd case", "transfer-encoding: Chunked\r\n", 411},
      {"length 10^20", "Content-Length: 100000000000000000000\r\n", 413},
      {"length past the limit", "Content-Length: 2000000\r\n", 413},
      {"length -1", "Content-Length: -1\r\n", 400},
      {"length not a number", "Content-Length: 12ab\r\n", 400},
      {"two lengths", "Content-Length: 3\r\nContent-Length: 4\r\n", 400},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    RawConnection conn(service_->Port());
    ASSERT_TRUE(conn.Connected());
    // The head only: a refusal must not wait for a body that is never sent.
    ASSERT_TRUE(
        conn.Send("POST /zelk_client.php HTTP/1.1\r\nHost: 127.0.0.1\r\n" + c.head + "\r\n"));
    std::string got;
    EXPECT_TRUE(conn.ReadToClose(got, kCloseBound));
    EXPECT_EQ(ParseReply(got).status, c.status) << got;
  }
}

TEST_F(HostileService, ALargeChunkedUploadIsCutOffAfterTheRefusal) {
  RawConnection conn(service_->Port());
  ASSERT_TRUE(conn.Connected());
  ASSERT_TRUE(conn.Send(
      "POST /zelk_client.php HTTP/1.1\r\nHost: 127.0.0.1\r\nTransfer-Encoding: chunked\r\n\r\n"));
  const std::string chunk = "10000\r\n" + std::string(0x10000, 'x') + "\r\n";
  size_t sent = 0;
  // 100 MB offered; the service stops taking it soon after its refusal.
  while (sent < 100'000'000 && conn.Send(chunk))
    sent += chunk.size();
  EXPECT_LT(sent, 100'000'000u);
  std::string got;
  conn.ReadToClose(got, kCloseBound);
  if (!got.empty()) {
    EXPECT_EQ(ParseReply(got).status, 411);
  }
}

TEST_F(HostileService, AHalfCloseAfterTheRequestStillGetsTheReply) {
  RawConnection conn(service_->Port());
  ASSERT_TRUE(conn.Connected());
  ASSERT_TRUE(conn.Send(SearchRequest("mp3")));
  conn.ShutdownWrite();
  std::string got;
  EXPECT_TRUE(conn.ReadToClose(got, kCloseBound));
  const HttpReply r = ParseReply(got);
  EXPECT_EQ(r.status, 200);
  EXPECT_TRUE(r.body.starts_with("[{"));
}

TEST_F(HostileService, OddRangesFollowTheServiceRulesOverTheWire) {
  const std::string whole = Pattern(100);
  const struct {
    std::string range;
    int status;
    std::string body;
  } cases[] = {
      {"bytes=9-3", 200, whole},     {"Bytes= 5 - 6 ", 206, whole.substr(5, 2)},
      {"bytes=a-b", 200, whole},     {"items=0-1", 200, whole},
      {"bytes=0-1,5-6", 200, whole}, {"bytes=-3", 206, whole.substr(97)},
      {"bytes=100-", 416, ""},       {"bytes=", 200, whole},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.range);
    const HttpReply r = service_->Get("/plugins/getskin.php?action=downskin&skin_id=Charm",
                                      "Range: " + c.range + "\r\n");
    EXPECT_EQ(r.status, c.status);
    EXPECT_EQ(r.body, c.body);
  }
}

TEST_F(HostileService, ASearchWordWithAByteZeroFindsNothing) {
  for (const std::string& word :
       {std::string("mp\0"
                    "3",
                    4),
        std::string("\0", 1), std::string("a\0", 2), std::string("\0mp3\0", 5)}) {
    SCOPED_TRACE(word.size());
    const HttpReply r = service_->Exchange(SearchRequest(word));
    EXPECT_EQ(r.status, 200);
    EXPECT_EQ(r.body, "[]");
  }
}

TEST_F(HostileService, KeptConnectionsServeRequestsInTurnAndPipelined) {
  RawConnection conn(service_->Port());
  ASSERT_TRUE(conn.Connected());
  for (int i = 0; i < 3; ++i) {
    SCOPED_TRACE(i);
    ASSERT_TRUE(conn.Send(SearchRequest("mp3", "1.1")));
    std::string got;
    ASSERT_TRUE(conn.ReadReplies(got, 1, kCloseBound));
    EXPECT_EQ(ParseReply(got).status, 200);
  }
  // Two requests in one send: both answered, in order, on the same connection.
  ASSERT_TRUE(conn.Send(SearchRequest("mp3", "1.1") + SearchRequest(std::string("\0", 1), "1.1")));
  std::string got;
  ASSERT_TRUE(conn.ReadReplies(got, 2, kCloseBound));
  EXPECT_EQ(got.find("HTTP/1.1 200"), 0u);
  EXPECT_NE(got.find("HTTP/1.1 200", 10), std::string::npos);
  EXPECT_TRUE(got.ends_with("[]"));
}

TEST_F(HostileService, ForumPageListsRecentRatingsAndReports) {
  const HttpReply found = service_->Exchange(SearchRequest("mp3"));
  const size_t at = found.body.find("\"file_id\":");
  ASSERT_NE(at, std::string::npos);
  std::string id;
  for (size_t i = at + 10;
       i < found.body.size() && (isdigit(found.body[i]) || found.body[i] == '"'); ++i)
    if (found.body[i] != '"') id.push_back(found.body[i]);
  ASSERT_FALSE(id.empty());
  const HttpReply report =
      service_->Post("/zelk_client.php", "action=report&file_id=" + id + "&content=<dead link>");
  EXPECT_EQ(report.body, "true");

  for (const char* target : {"/bbs/", "/bbs"}) {
    SCOPED_TRACE(target);
    const HttpReply page = service_->Get(target);
    EXPECT_EQ(page.status, 200);
    EXPECT_NE(page.Header("content-type").find("text/html"), std::string::npos);
    EXPECT_NE(page.body.find("href=\"../zelk-" + id + "\""), std::string::npos);
    EXPECT_NE(page.body.find("&lt;dead link&gt;"), std::string::npos);  // escaped
  }
}

}  // namespace
}  // namespace qelo::service::testing
