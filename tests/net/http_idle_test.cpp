// THttpClient's idle timeout against the scripted loopback peer: a silent server ends the
// request with 10060 and one OnRequestDone; a slow server that keeps sending is not cut.
#include <gtest/gtest.h>

#include <string>

#include "net/dispatcher.h"
#include "net/http_client.h"
#include "net/stream.h"
#include "support/scripted_peer.h"

namespace qelo::net {
namespace {

using test::Close;
using test::Delay;
using test::ExpectUntil;
using test::ReadToEof;
using test::ScriptedPeer;
using test::Send;

struct Outcome {
  int done = 0;
  uint16_t err = 0xffff;
};

Outcome RunRequest(THttpClient& http, TMemoryStream& rcvd, const ScriptedPeer& peer, int waitMs) {
  Outcome out;
  http.RcvdStream = &rcvd;
  http.URL = "http://127.0.0.1:" + peer.PortText() + "/";
  http.OnRequestDone = [&out](THttpClient*, THttpRequest, uint16_t err) {
    ++out.done;
    out.err = err;
  };
  http.GetASync();
  Dispatcher::current().runUntil([&] { return out.done > 0; }, waitMs);
  // A second report would come within the next turns.
  Dispatcher::current().runUntil([] { return false; }, 300);
  return out;
}

TEST(HttpIdleTimeout, IsOffByDefault) {
  THttpClient http;
  EXPECT_EQ(http.IdleTimeout, 0u);
  // The request outlives what a 1 s timeout would allow and still ends normally.
  ScriptedPeer peer({{ExpectUntil("\r\n\r\n"), Delay(1600),
                      Send("HTTP/1.0 200 OK\r\nContent-Length: 2\r\n\r\nok"), Close()}});
  TMemoryStream rcvd;
  const Outcome out = RunRequest(http, rcvd, peer, 10000);
  EXPECT_EQ(out.done, 1);
  EXPECT_EQ(out.err, 0);
  EXPECT_EQ(rcvd.Text(), "ok");
}

TEST(HttpIdleTimeout, SilentServerEndsTheRequestOnce) {
  struct Case {
    const char* name;
    std::string before;  // what the server says before it falls silent
  };
  const Case cases[] = {
      {"nothing at all", ""},
      {"half a header", "HTTP/1.0 200 OK\r\nContent-Le"},
      {"part of the body", "HTTP/1.0 200 OK\r\nContent-Length: 100\r\n\r\n0123456789"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ScriptedPeer peer({{ExpectUntil("\r\n\r\n"), Send(c.before), ReadToEof()}}, 8000);
    THttpClient http;
    http.IdleTimeout = 1;
    TMemoryStream rcvd;
    const Outcome out = RunRequest(http, rcvd, peer, 8000);
    EXPECT_EQ(out.done, 1);
    EXPECT_EQ(out.err, kSockTimedOut);
    EXPECT_EQ(http.State(), httpReady);
    EXPECT_TRUE(peer.Finish()) << peer.Failure();  // the client dropped the connection
  }
}

TEST(HttpIdleTimeout, SlowButSteadyServerIsNotCut) {
  const std::string body(10, 'b');
  ScriptedPeer peer(
      {{ExpectUntil("\r\n\r\n"),
        Send("HTTP/1.0 200 OK\r\nContent-Length: 10\r\n\r\n" + body, {40, 2, 2, 2, 2}, 700),
        Close()}},
      8000);
  THttpClient http;
  http.IdleTimeout = 2;
  TMemoryStream rcvd;
  const Outcome out = RunRequest(http, rcvd, peer, 15000);
  EXPECT_EQ(out.done, 1);
  EXPECT_EQ(out.err, 0);
  EXPECT_EQ(rcvd.Text(), body);
}

}  // namespace
}  // namespace qelo::net
