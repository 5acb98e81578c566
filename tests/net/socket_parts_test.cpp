// The pieces under the connection: error numbers and texts, errno / resolver mapping, the send
// buffer, and lookups through the resolver on the dispatcher.
#include <ares.h>
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <memory>
#include <string>
#include <vector>

#include "net/dispatcher.h"
#include "net/dns_lookup.h"
#include "net/life_guard.h"
#include "net/net_buffer.h"
#include "net/net_exception.h"
#include "net/socket_errors.h"
#include "support/stub_dns.h"

namespace qelo::net {
namespace {

TEST(SocketErrors, TextsInBothForms) {
  struct Case {
    int code;
    const char* text;
  };
  const Case cases[] = {
      {0, "No Error"},
      {10004, "Interrupted system call"},
      {10035, "Operation would block"},
      {10047, "Address family not supported by protocol family"},
      {10054, "Connection reset by peer"},
      {10059, "Too many references: can't splice"},
      {10061, "Connection refused"},
      {10093, "WinSock not initialized"},
      {11001, "Host not found"},
      {11004, "No Data"},
      {10000, "Not a WinSock error"},
      {10072, "Not a WinSock error"},
      {-1, "Not a WinSock error"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(SocketErrorDesc(c.code), c.text) << c.code;
    EXPECT_EQ(SocketErrorDescWithCode(c.code),
              std::string(c.text) + " (#" + std::to_string(c.code) + ")");
  }
}

TEST(SocketErrors, ErrnoAndResolverMapping) {
  const std::pair<int, int> fromErrno[] = {
      {0, 0},
      {ECONNREFUSED, 10061},
      {ECONNRESET, 10054},
      {EPIPE, 10054},
      {ETIMEDOUT, 10060},
      {EHOSTUNREACH, 10065},
      {ENETUNREACH, 10051},
      {ENOTCONN, 10057},
      {EAGAIN, 10035},
      {EINPROGRESS, 10036},
      {EADDRINUSE, 10048},
      {EMFILE, 10024},
  };
  for (auto [err, code] : fromErrno)
    EXPECT_EQ(SocketErrorFromErrno(err), code) << err;

  const std::pair<int, int> fromAres[] = {
      {ARES_SUCCESS, 0},          {ARES_ENOTFOUND, 11001}, {ARES_ETIMEOUT, 11001},
      {ARES_ECONNREFUSED, 11001}, {ARES_ENODATA, 11004},   {ARES_ESERVFAIL, 11002},
      {ARES_ECANCELLED, 10004},   {ARES_EREFUSED, 11003},
  };
  for (auto [status, code] : fromAres)
    EXPECT_EQ(SocketErrorFromAres(status), code) << status;
}

std::string Pattern(size_t n) {
  std::string s(n, '\0');
  for (size_t i = 0; i < n; ++i)
    s[i] = static_cast<char>('a' + (i * 7 + i / 13) % 26);
  return s;
}

TEST(NetBuffer, FiveThousandBytesMakeFourChunksReadBackInOrder) {
  TNetBufferHandler buf;
  const std::string data = Pattern(5000);
  buf.Write(data.data(), 3000);
  buf.Write(data.data() + 3000, 2000);
  EXPECT_EQ(buf.ChunkSizes(), (std::list<int>{1460, 1460, 1460, 620}));
  EXPECT_EQ(buf.Size(), 5000);

  std::string out;
  // Partial removes, as a short send would do.
  for (int step = 0; !buf.Empty(); ++step) {
    const std::string_view chunk = buf.Peek();
    ASSERT_FALSE(chunk.empty());
    const int take = step % 2 == 0 ? static_cast<int>(chunk.size()) : 1000;
    const int n = std::min(take, static_cast<int>(chunk.size()));
    out.append(chunk.substr(0, static_cast<size_t>(n)));
    buf.Remove(n);
  }
  EXPECT_EQ(out, data);
  EXPECT_TRUE(buf.Peek().empty());
  EXPECT_EQ(buf.FreeCount(), 4u);
}

TEST(NetBuffer, FreeChunksAreReused) {
  TNetBufferHandler buf;
  const std::string data = Pattern(4000);
  buf.Write(data.data(), 4000);
  buf.Clear();
  EXPECT_EQ(buf.ChunkCount(), 0u);
  EXPECT_EQ(buf.FreeCount(), 3u);
  EXPECT_EQ(buf.Size(), 0);
  buf.Write(data.data(), 4000);
  EXPECT_EQ(buf.ChunkCount(), 3u);
  EXPECT_EQ(buf.FreeCount(), 0u);  // taken from the free list, none allocated
  EXPECT_EQ(std::string(buf.Peek()), data.substr(0, 1460));
}

TEST(NetBuffer, RemoveRefusals) {
  TNetBufferHandler buf;
  try {
    buf.Remove(1);
    FAIL() << "no exception";
  } catch (const ENetException& e) {
    EXPECT_STREQ(e.what(), "TNetBufferHandler.Remove: nothing to remove");
  }
  buf.Write("abc", 3);
  try {
    buf.Remove(-2);
    FAIL() << "no exception";
  } catch (const ENetException& e) {
    EXPECT_STREQ(e.what(), "TNetBufferHandler.Remove: Invalid Len -2");
  }
  EXPECT_EQ(buf.Size(), 3);
}

TEST(LifeGuard, ChecksEndWithStartOverAndWithTheOwner) {
  auto owner = std::make_unique<TLifeGuard>();
  const TLifeGuard::TCheck before = owner->Check();
  EXPECT_TRUE(before.Holds());
  owner->StartOver();
  const TLifeGuard::TCheck after = owner->Check();
  EXPECT_FALSE(before.Holds());
  EXPECT_TRUE(before.OwnerAlive());
  EXPECT_TRUE(after.Holds());
  owner.reset();
  for (const TLifeGuard::TCheck* c : {&before, &after}) {
    EXPECT_FALSE(c->Holds());
    EXPECT_FALSE(c->OwnerAlive());
  }
}

TDnsLookup::Options Opts(int timeoutMs, int tries, int limitMs, std::string servers = "") {
  TDnsLookup::Options o;
  o.timeoutMs = timeoutMs;
  o.tries = tries;
  o.overallLimitMs = limitMs;
  o.servers = std::move(servers);
  return o;
}

struct LookupResult {
  int calls = 0;
  int err = -1;
  std::vector<std::string> addrs;
};

TDnsLookup::Callback Record(LookupResult& r) {
  return [&r](int err, std::vector<std::string> addrs) {
    ++r.calls;
    r.err = err;
    r.addrs = std::move(addrs);
  };
}

TEST(DnsLookupOnDispatcher, HostsFileNameResolves) {
  Dispatcher& d = Dispatcher::current();
  TDnsLookup dns(d);
  LookupResult r;
  dns.Start("localhost", Record(r));
  ASSERT_TRUE(d.runUntil([&] { return r.calls > 0; }, 10000));
  EXPECT_EQ(r.err, 0);
  ASSERT_FALSE(r.addrs.empty());
  EXPECT_EQ(r.addrs.front(), "127.0.0.1");
  EXPECT_EQ(dns.PendingCount(), 0u);
}

TEST(DnsLookupOnDispatcher, UnknownNameEndsWithHostNotFound) {
  Dispatcher& d = Dispatcher::current();
  test::StubDnsServer server;
  TDnsLookup dns(d, Opts(2000, 2, 9000, server.Address()));
  LookupResult r;
  dns.Start("qelo-no-such-host.invalid", Record(r));
  ASSERT_TRUE(d.runUntil([&] { return r.calls > 0; }, 15000));
  EXPECT_EQ(r.err, 11001);
  EXPECT_TRUE(r.addrs.empty());
  EXPECT_EQ(r.calls, 1);
  EXPECT_GE(server.QueryCount(), 1);
}

TEST(DnsLookupOnDispatcher, ServerAnswersCarryEveryAddress) {
  Dispatcher& d = Dispatcher::current();
  test::StubDnsServer server(
      test::StubDnsServer::Names{{"one.qelo.test", {"10.0.0.1"}},
                                 {"three.qelo.test", {"10.0.0.3", "10.0.0.2", "192.168.7.9"}}});
  TDnsLookup dns(d, Opts(2000, 2, 9000, server.Address()));
  struct Case {
    const char* name;
    int err;
    std::vector<std::string> addrs;
  };
  const Case cases[] = {
      {"one.qelo.test", 0, {"10.0.0.1"}},
      {"three.qelo.test", 0, {"10.0.0.3", "10.0.0.2", "192.168.7.9"}},
      {"none.qelo.test", 11001, {}},
  };
  // All at once on one resolver: each callback gets its own answer.
  std::vector<LookupResult> results(std::size(cases));
  for (size_t i = 0; i < std::size(cases); ++i)
    dns.Start(cases[i].name, Record(results[i]));
  ASSERT_TRUE(d.runUntil(
      [&] {
        for (const auto& r : results)
          if (r.calls == 0) return false;
        return true;
      },
      15000));
  for (size_t i = 0; i < std::size(cases); ++i) {
    SCOPED_TRACE(cases[i].name);
    EXPECT_EQ(results[i].calls, 1);
    EXPECT_EQ(results[i].err, cases[i].err);
    EXPECT_EQ(results[i].addrs, cases[i].addrs);
  }
  EXPECT_EQ(dns.PendingCount(), 0u);
}

// A UDP socket on loopback that takes queries and never answers: a DNS server that is gone.
class SilentServer {
 public:
  SilentServer() {
    fd_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    ::bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a);
    ::getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &len);
    address_ = "127.0.0.1:" + std::to_string(ntohs(a.sin_port));
  }
  ~SilentServer() { ::close(fd_); }
  const std::string& Address() const { return address_; }

 private:
  int fd_ = -1;
  std::string address_;
};

TEST(DnsLookupOnDispatcher, SilentServerEndsWithHostNotFound) {
  struct Case {
    const char* what;
    TDnsLookup::Options options;
  };
  SilentServer server;
  const Case cases[] = {
      {"resolver timeouts", Opts(100, 2, 20000, server.Address())},
      {"overall limit", Opts(20000, 3, 200, server.Address())},
  };
  Dispatcher& d = Dispatcher::current();
  for (const auto& c : cases) {
    TDnsLookup dns(d, c.options);
    LookupResult r;
    dns.Start("qelo-silent.example", Record(r));
    ASSERT_TRUE(d.runUntil([&] { return r.calls > 0; }, 15000)) << c.what;
    EXPECT_EQ(r.err, 11001) << c.what;
    EXPECT_EQ(dns.PendingCount(), 0u) << c.what;
    d.runUntil([] { return false; }, 50);
    EXPECT_EQ(r.calls, 1) << c.what;
  }
}

TEST(DnsLookupOnDispatcher, CancelledLookupNeverCallsBack) {
  Dispatcher& d = Dispatcher::current();
  test::StubDnsServer server;
  TDnsLookup dns(d, Opts(300, 1, 3000, server.Address()));
  LookupResult cancelled;
  LookupResult kept;
  const uint64_t id = dns.Start("qelo-cancelled.invalid", Record(cancelled));
  dns.Start("localhost", Record(kept));
  dns.Cancel(id);
  ASSERT_TRUE(d.runUntil([&] { return kept.calls > 0; }, 10000));
  // Let the cancelled query's own deadline pass as well.
  d.runUntil([] { return false; }, 400);
  EXPECT_EQ(cancelled.calls, 0);
  EXPECT_EQ(kept.err, 0);
}

}  // namespace
}  // namespace qelo::net
