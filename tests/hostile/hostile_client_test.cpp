// The client core against hostile servers over loopback: a server that never answers, drips
// its header, sends a 10 MB header line, endless small chunks, a length it never reaches,
// unreadable chunk sizes, noise, a relocation loop. Each request must end exactly once, within
// its bound, and a reply that is not whole must not pass as a good one.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <fstream>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "appcore/protocol.h"
#include "net/dispatcher.h"
#include "net/http_client.h"
#include "net/stream.h"
#include "support/scripted_peer.h"

namespace qelo {
namespace {

using net::Dispatcher;
using net::THttpClient;
using test::Close;
using test::Delay;
using test::ExpectUntil;
using test::PeerScript;
using test::ScriptedPeer;
using test::Send;

constexpr int kRequestBoundMs = 20000;

std::string Url(const ScriptedPeer& peer, const std::string& path = "/") {
  return "http://127.0.0.1:" + peer.PortText() + path;
}

struct Outcome {
  int done = 0;
  uint16_t errCode = 0xffff;
  int status = 0;
  bool bodyComplete = false;
  std::string body;
  int relocations = 0;
};

// One GET through a plain client; Abort after `abortAfterMs` when given.
Outcome Get(ScriptedPeer& peer, std::optional<int> abortAfterMs = std::nullopt,
            uint32_t idleTimeout = 0) {
  THttpClient http;
  http.IdleTimeout = idleTimeout;
  net::TMemoryStream rcvd;
  http.RcvdStream = &rcvd;
  http.URL = Url(peer);
  Outcome o;
  http.OnRequestDone = [&](THttpClient*, net::THttpRequest, uint16_t err) {
    ++o.done;
    o.errCode = err;
  };
  http.GetASync();
  const int bound = abortAfterMs.value_or(kRequestBoundMs);
  if (!Dispatcher::current().runUntil([&] { return o.done > 0; }, bound)) {
    http.Abort();
    Dispatcher::current().runUntil([&] { return o.done > 0; }, 5000);
  }
  // Anything still queued would show as a second completion.
  Dispatcher::current().runUntil([] { return Dispatcher::current().pendingCount() == 0; }, 1000);
  o.status = http.StatusCode();
  o.bodyComplete = http.BodyComplete();
  o.body = std::string(rcvd.Text());
  o.relocations = http.LocationChangeCurCount();
  return o;
}

// Random bytes without line ends.
std::string Noise(size_t n) {
  std::mt19937 gen(17);
  std::string s(n, '\0');
  for (char& c : s) {
    c = static_cast<char>(gen() % 256);
    if (c == '\n' || c == '\r') c = 'x';
  }
  return s;
}

TEST(HostileServer, EveryReplyEndsOnceAndOnlyWholeBodiesCountAsComplete) {
  const uint16_t kProtocol = THttpClient::kProtocolErrorCode;
  const struct {
    const char* name;
    PeerScript script;
    uint16_t errCode;
    bool complete;
    std::string body;
  } cases[] = {
      {"whole by length",
       {ExpectUntil("\r\n\r\n"), Send("HTTP/1.0 200 OK\r\nContent-Length: 3\r\n\r\nabc"), Close()},
       0,
       true,
       "abc"},
      {"whole by close",
       {ExpectUntil("\r\n\r\n"), Send("HTTP/1.0 200 OK\r\n\r\nabc"), Close()},
       0,
       true,
       "abc"},
      {"whole chunked",
       {ExpectUntil("\r\n\r\n"),
        Send("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n3\r\nabc\r\n0\r\n\r\n"),
        Close()},
       0,
       true,
       "abc"},
      {"no body due",
       {ExpectUntil("\r\n\r\n"), Send("HTTP/1.0 204 No Content\r\n\r\n"), Close()},
       0,
       true,
       ""},
      {"header dripped a byte at a time",
       {ExpectUntil("\r\n\r\n"),
        Send("HTTP/1.0 200 OK\r\nContent-Length: 2\r\n\r\nok", std::vector<size_t>(40, 1), 10),
        Close()},
       0,
       true,
       "ok"},
      {"a length it never reaches",
       {ExpectUntil("\r\n\r\n"), Send("HTTP/1.0 200 OK\r\nContent-Length: 1000000\r\n\r\nabc"),
        Delay(100), Close()},
       0,
       false,
       "abc"},
      {"chunked without the last chunk",
       {ExpectUntil("\r\n\r\n"),
        Send("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n3\r\nabc\r\n"), Close()},
       0,
       false,
       "abc"},
      {"header that never ends",
       {ExpectUntil("\r\n\r\n"), Send("HTTP/1.0 200 OK\r\nContent-Type: text/plain\r\n"), Close()},
       0,
       false,
       ""},
      {"chunk size zz",
       {ExpectUntil("\r\n\r\n"),
        Send("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\nzz\r\nabc\r\n0\r\n\r\n"),
        Delay(500), Close()},
       kProtocol,
       false,
       ""},
      {"chunk size -1",
       {ExpectUntil("\r\n\r\n"),
        Send("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n-1\r\nabc\r\n0\r\n\r\n"),
        Delay(500), Close()},
       kProtocol,
       false,
       ""},
      {"chunk size with trailing junk",
       {ExpectUntil("\r\n\r\n"),
        Send("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n3x\r\nabc\r\n0\r\n\r\n"),
        Delay(500), Close()},
       kProtocol,
       false,
       ""},
      {"10 MB header line",
       {ExpectUntil("\r\n\r\n"), Send("HTTP/1.0 200 OK\r\nX-Long: " + std::string(10'000'000, 'a')),
        Close()},
       kProtocol,
       false,
       ""},
      {"noise without a line end",
       {ExpectUntil("\r\n\r\n"), Send(Noise(200'000)), Close()},
       kProtocol,
       false,
       ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ScriptedPeer peer({c.script});
    const Outcome o = Get(peer);
    EXPECT_EQ(o.done, 1);
    EXPECT_EQ(o.errCode, c.errCode);
    EXPECT_EQ(o.bodyComplete, c.complete);
    if (c.errCode == 0) {
      EXPECT_EQ(o.body, c.body);
    }
  }
}

TEST(HostileServer, ShortNoiseThatClosesLeavesTheReplyIncomplete) {
  // Bytes with line ends but no header end: the close comes first.
  std::string noise = Noise(4000);
  for (size_t i = 50; i < noise.size(); i += 100)
    noise[i] = '\n';
  ScriptedPeer peer({{ExpectUntil("\r\n\r\n"), Send(noise), Close()}});
  const Outcome o = Get(peer);
  EXPECT_EQ(o.done, 1);
  EXPECT_FALSE(o.bodyComplete);
  EXPECT_NE(o.status, 200);
}

TEST(HostileServer, ARelocationLoopEndsAfterTheLimit) {
  std::vector<PeerScript> scripts;
  for (int i = 0; i < 7; ++i)
    scripts.push_back({ExpectUntil("\r\n\r\n"),
                       Send("HTTP/1.0 302 Found\r\nLocation: /again\r\nContent-Length: 0\r\n\r\n"),
                       Close()});
  ScriptedPeer peer(scripts);
  const Outcome o = Get(peer);
  EXPECT_EQ(o.done, 1);
  EXPECT_EQ(o.status, 302);
  EXPECT_EQ(o.relocations, 6);  // five followed, the sixth refused
  EXPECT_LE(peer.AcceptedCount(), 7);
}

TEST(HostileServer, AServerThatNeverAnswersIsEndedByTheCallersAbort) {
  ScriptedPeer peer({{ExpectUntil("\r\n\r\n"), Delay(1500), Close()}});
  const Outcome o = Get(peer, 300);
  EXPECT_EQ(o.done, 1);
  EXPECT_EQ(o.errCode, 3);
  EXPECT_FALSE(o.bodyComplete);
}

TEST(HostileServer, AServerThatFallsSilentIsEndedByTheIdleTimeout) {
  const struct {
    const char* name;
    PeerScript script;
  } cases[] = {
      {"never answers", {ExpectUntil("\r\n\r\n"), test::Gate()}},
      {"stops inside the header",
       {ExpectUntil("\r\n\r\n"), Send("HTTP/1.0 200 OK\r\n"), test::Gate()}},
      {"stops short of its length",
       {ExpectUntil("\r\n\r\n"), Send("HTTP/1.0 200 OK\r\nContent-Length: 100\r\n\r\nabc"),
        test::Gate()}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ScriptedPeer peer({c.script});
    const Outcome o = Get(peer, std::nullopt, 1);
    EXPECT_EQ(o.done, 1);
    EXPECT_EQ(o.errCode, net::kSockTimedOut);
    EXPECT_FALSE(o.bodyComplete);
  }
}

// --- the service request pattern ----------------------------------------------------------

struct FormOutcome {
  int done = 0;
  std::optional<std::string> body;
  std::string why;
};

FormOutcome Form(ScriptedPeer& peer, size_t maxReplyBytes) {
  THttpClient http;
  app::ConfigureServiceClient(http);
  app::TFormStreams streams;
  FormOutcome o;
  http.OnRequestDone = [&](THttpClient*, net::THttpRequest, uint16_t err) {
    ++o.done;
    o.body = app::FinishPostForm(http, streams, err, &o.why);
  };
  app::PostForm(http, streams, Url(peer, "/zelk_client.php"), "action=search&word=x",
                maxReplyBytes);
  if (!Dispatcher::current().runUntil([&] { return o.done > 0; }, kRequestBoundMs)) http.Abort();
  Dispatcher::current().runUntil([&] { return o.done > 0; }, 5000);
  EXPECT_FALSE(streams.UnderWay());
  return o;
}

TEST(HostileServer, FormRepliesThatAreCutOffOrTooLargeFail) {
  std::string endless;
  for (int i = 0; i < 20000; ++i)
    endless += "1\r\nx\r\n";
  const struct {
    const char* name;
    std::string reply;
    size_t cap;
    bool ok;
    std::string why;
  } cases[] = {
      {"whole", "HTTP/1.0 200 OK\r\nContent-Length: 2\r\n\r\n[]", 1024, true, ""},
      {"exactly at the cap", "HTTP/1.0 200 OK\r\nContent-Length: 4\r\n\r\n[{}]", 4, true, ""},
      {"one byte past the cap", "HTTP/1.0 200 OK\r\nContent-Length: 5\r\n\r\n[{},]", 4, false,
       "reply larger than 4 bytes"},
      {"endless small chunks", "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n" + endless,
       4096, false, "reply larger than 4096 bytes"},
      {"short of its length", "HTTP/1.0 200 OK\r\nContent-Length: 10\r\n\r\n[]", 1024, false,
       "reply cut short"},
      {"chunks without the last",
       "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n2\r\n[]\r\n", 1024, false,
       "reply cut short"},
      {"header unfinished", "HTTP/1.0 200 OK\r\nContent-Type: text/plain\r\n", 1024, false,
       "reply cut short"},
      {"not found", "HTTP/1.0 404 Not Found\r\nContent-Length: 2\r\n\r\n[]", 1024, false,
       "StatusCode 404"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ScriptedPeer peer({{ExpectUntil("word=x"), Send(c.reply), Close()}});
    const FormOutcome o = Form(peer, c.cap);
    EXPECT_EQ(o.done, 1);
    EXPECT_EQ(o.body.has_value(), c.ok);
    EXPECT_EQ(o.why, c.why);
  }
}

TEST(HostileServer, TheServiceReplyCapIs64MiB) {
  EXPECT_EQ(app::kMaxReplyBytes, size_t{64} * 1024 * 1024);
}

// --- qelo-cli http ----------------------------------------------------------------------------

struct CliRun {
  int exitCode = -1;
  std::string err;
};

CliRun RunCliHttp(const std::string& url) {
  const std::string dir = ::testing::TempDir();
  const std::string out = dir + "/hostile-cli.out";
  const std::string err = dir + "/hostile-cli.err";
  const std::string cmd =
      "timeout 30 " + std::string(QELO_CLI_EXE) + " http -o " + out + " " + url + " 2>" + err;
  CliRun r;
  const int status = std::system(cmd.c_str());
  r.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  std::ifstream in(err);
  r.err.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return r;
}

TEST(HostileServer, CliHttpExitsNonZeroForACutOffReplyAndSaysWhy) {
  const struct {
    const char* name;
    std::string reply;
    int exitCode;
    std::string says;
  } cases[] = {
      {"whole", "HTTP/1.0 200 OK\r\nContent-Length: 2\r\n\r\nok", 0, "ErrCode: 0"},
      {"short", "HTTP/1.0 200 OK\r\nContent-Length: 10\r\n\r\nok", 1, "body has 2 of 10 bytes"},
      {"chunked", "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n2\r\nok\r\n", 1,
       "chunked body without its last chunk"},
      {"header", "HTTP/1.0 200 OK\r\n", 1, "the header never ended"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ScriptedPeer peer({{ExpectUntil("\r\n\r\n"), Send(c.reply), Close()}});
    const CliRun r = RunCliHttp(Url(peer));
    EXPECT_EQ(r.exitCode, c.exitCode) << r.err;
    EXPECT_NE(r.err.find(c.says), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("ErrCode: 0\n"), std::string::npos) << r.err;  // closing lines stay
  }
}

}  // namespace
}  // namespace qelo
