// THttpClient against the scripted loopback peer: relocation and kept connections.
#include "net/http_test_client.h"

namespace qelo::net {
namespace {

using namespace http_test;

TEST(HttpClient, PostRelocatedBecomesGetWithFinalBodyOnly) {
  ScriptedPeer peer(
      {{ExpectUntil("\r\n\r\n"), test::ExpectCount(4),
        Send("HTTP/1.0 302 Found\r\nLocation: /other\r\nContent-Length: 5\r\n\r\nmoved"),
        ReadToEof()},
       {ExpectUntil("\r\n\r\n"), Send("HTTP/1.0 200 OK\r\n\r\nfinal"), Close()}});
  Client cl;
  cl.rcvd.WriteBuffer("pre|", 4);  // the client appends; it never rewinds the stream
  cl.body.WriteBuffer("a=1&", 4);
  cl.body.SetPosition(0);
  cl.http.SendStream = &cl.body;
  cl.http.URL = Url(peer, "/form");
  cl.http.PostASync();
  ASSERT_TRUE(cl.Wait());
  ASSERT_TRUE(peer.Finish()) << peer.Failure();
  EXPECT_EQ(peer.Received(1), GetRequest(peer, "/other"));
  EXPECT_EQ(cl.rcvd.Text(), "pre|final");
  EXPECT_EQ(cl.rqType, httpGET);
  EXPECT_EQ(cl.http.StatusCode(), 200);
  EXPECT_EQ(cl.http.Location(), Url(peer, "/other"));
  EXPECT_EQ(cl.http.LocationChangeCurCount(), 1);
  EXPECT_EQ(cl.errCode, 0);
}

TEST(HttpClient, RelocationVariants) {
  struct Case {
    const char* name;
    std::string firstReply;
    bool follow;
    int expectedConnections;
    int status;
    std::string body;
  };
  const Case cases[] = {
      {"200 with location is followed",
       "HTTP/1.0 200 OK\r\nLocation: next\r\nContent-Length: 1\r\n\r\nx", true, 2, 200, "final"},
      {"no-follow keeps the 302",
       "HTTP/1.0 302 Found\r\nLocation: /b\r\nContent-Length: 7\r\n\r\nbody302", false, 1, 302,
       "body302"},
      {"empty location is ignored", "HTTP/1.0 302 Found\r\nLocation:\r\nContent-Length: 1\r\n\r\nz",
       true, 1, 302, "z"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<PeerScript> scripts{{ExpectUntil("\r\n\r\n"), Send(c.firstReply), Close()}};
    if (c.expectedConnections == 2)
      scripts.push_back({ExpectUntil("\r\n\r\n"), Send("HTTP/1.0 200 OK\r\n\r\nfinal"), Close()});
    ScriptedPeer peer(scripts);
    Client cl;
    cl.http.FollowRelocation = c.follow;
    cl.http.URL = Url(peer, "/dir/page");
    cl.http.GetASync();
    ASSERT_TRUE(cl.Wait());
    peer.Finish();
    EXPECT_EQ(peer.AcceptedCount(), c.expectedConnections);
    EXPECT_EQ(cl.http.StatusCode(), c.status);
    EXPECT_EQ(cl.rcvd.Text(), c.body);
    EXPECT_EQ(cl.done, 1);
    if (c.expectedConnections == 2) {
      EXPECT_EQ(peer.Received(1), GetRequest(peer, "/dir/next"));
    }
  }
}

TEST(HttpClient, HttpsLocationEndsWith501AfterTheLookup) {
  ScriptedPeer peer(
      {{ExpectUntil("\r\n\r\n"),
        Send("HTTP/1.0 302 Found\r\nLocation: https://127.0.0.1/x\r\n\r\n"), ReadToEof()}});
  Client cl;
  cl.http.URL = Url(peer);
  cl.http.GetASync();
  ASSERT_TRUE(cl.Wait());
  EXPECT_TRUE(peer.Finish()) << peer.Failure();
  EXPECT_EQ(cl.http.StatusCode(), 501);
  EXPECT_EQ(cl.http.ReasonPhrase(), "Protocol \"https\" not implemented");
  EXPECT_EQ(peer.AcceptedCount(), 1);
  EXPECT_EQ(cl.done, 1);
}

TEST(HttpClient, RelocationLimitFollowsFiveAndRefusesTheSixth) {
  std::vector<PeerScript> scripts;
  for (int i = 0; i < 6; ++i)
    scripts.push_back({ExpectUntil("\r\n\r\n"),
                       Send("HTTP/1.0 302 Found\r\nLocation: /r" + std::to_string(i + 1) +
                            "\r\nContent-Length: 2\r\n\r\nr" + std::to_string(i)),
                       ReadToEof()});
  ScriptedPeer peer(scripts);
  Client cl;
  std::vector<int> exceeded;
  cl.http.OnLocationChangeExceeded = [&](THttpClient*, int count, bool& allow) {
    exceeded.push_back(count);
    EXPECT_FALSE(allow);
  };
  cl.http.URL = Url(peer, "/r0");
  cl.http.GetASync();
  ASSERT_TRUE(cl.Wait());
  EXPECT_TRUE(peer.Finish()) << peer.Failure();
  EXPECT_EQ(peer.AcceptedCount(), 6);
  EXPECT_EQ(exceeded, std::vector<int>{6});
  EXPECT_EQ(cl.http.StatusCode(), 302);
  EXPECT_EQ(cl.rcvd.Text(), "r5");
  EXPECT_EQ(cl.errCode, 0);
  EXPECT_EQ(cl.done, 1);
  const auto events = cl.Events();
  EXPECT_EQ(std::count(events.begin(), events.end(), "LocationChange"), 5);
}

// --- kept connections ----------------------------------------------------------------------

TEST(HttpClient, KeepAliveConnectionIsReusedAndLeftoversDropped) {
  ScriptedPeer peer({{ExpectUntil("\r\n\r\n"),
                      Send("HTTP/1.0 200 OK\r\nConnection: Keep-Alive\r\nContent-Length: 2\r\n\r\n"
                           "okjunk\r\nHTTP/1.0 500 X\r\n\r\n"),
                      ExpectUntil("\r\n\r\n"),
                      Send("HTTP/1.0 200 OK\r\nConnection: keep-alive\r\nContent-Length: 6\r\n\r\n"
                           "second"),
                      ReadToEof()}});
  Client cl;
  cl.http.URL = Url(peer, "/one");
  int starts = 0;
  cl.onDone = [&] {
    if (starts++ == 0) {
      cl.http.URL = Url(peer, "/two");
      cl.http.GetASync();  // from inside OnRequestDone, on the kept connection
    }
  };
  cl.http.GetASync();
  ASSERT_TRUE(Dispatcher::current().runUntil([&] { return cl.done >= 2; }, 10000));
  Drain();
  EXPECT_EQ(cl.rcvd.Text(), "oksecond");
  EXPECT_EQ(cl.http.StatusCode(), 200);
  EXPECT_EQ(peer.AcceptedCount(), 1);
  // The second request went out without a new lookup.
  EXPECT_EQ(std::count(cl.log.begin(), cl.log.end(), "httpDnsLookup"), 1);
  cl.http.Abort();  // idle: closes the kept connection and reports done at once
  EXPECT_EQ(cl.done, 3);
  EXPECT_TRUE(peer.Finish()) << peer.Failure();
}

TEST(HttpClient, DroppingAKeptConnectionReportsItsClose) {
  struct Case {
    const char* name;
    bool otherEndpoint;  // false: Abort while idle; true: a request to another server
    std::vector<std::string> eventsAfterFirst;
  };
  const Case cases[] = {
      {"idle abort", false, {"Closed", "Done 0"}},
      {"request to another server",
       true,
       {"Closed", "Connected", "HeaderBegin", "HeaderEnd", "DocBegin", "DocData 1", "DocEnd",
        "Closed", "Done 0"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ScriptedPeer kept({{ExpectUntil("\r\n\r\n"),
                        Send("HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok"), ReadToEof()}});
    ScriptedPeer other({{ExpectUntil("\r\n\r\n"),
                         Send("HTTP/1.0 200 OK\r\nContent-Length: 1\r\n\r\nx"), ReadToEof()}});
    Client cl;
    cl.http.SetRequestVer("1.1");
    cl.http.URL = Url(kept);
    cl.http.GetASync();
    ASSERT_TRUE(cl.Wait());
    ASSERT_EQ(cl.http.CtrlSocket().State(), wsConnected);
    const size_t first = cl.Events().size();
    if (c.otherEndpoint) {
      cl.http.URL = Url(other);
      cl.http.GetASync();
      ASSERT_TRUE(Dispatcher::current().runUntil([&] { return cl.done >= 2; }, 10000));
      Drain();
    } else {
      cl.http.Abort();
    }
    EXPECT_EQ(cl.done, 2);
    const auto events = cl.Events();
    EXPECT_EQ(std::vector<std::string>(events.begin() + static_cast<long>(first), events.end()),
              c.eventsAfterFirst);
    EXPECT_TRUE(kept.Finish()) << kept.Failure();
  }
}

TEST(HttpClient, BodilessRelocationOnKeptConnectionIsFollowedOnIt) {
  ScriptedPeer peer({{ExpectUntil("\r\n\r\n"),
                      Send("HTTP/1.1 302 Found\r\nLocation: /b\r\nContent-Length: 0\r\n\r\n"),
                      ExpectUntil("\r\n\r\n"),
                      Send("HTTP/1.1 200 OK\r\nContent-Length: 1\r\n\r\nB"), ReadToEof()}});
  Client cl;
  cl.http.SetRequestVer("1.1");
  cl.http.URL = Url(peer, "/a");
  cl.http.GetASync();
  ASSERT_TRUE(cl.Wait());
  EXPECT_EQ(cl.rcvd.Text(), "B");
  EXPECT_EQ(cl.http.LocationChangeCurCount(), 1);
  cl.http.Abort();
  EXPECT_TRUE(peer.Finish()) << peer.Failure();
  EXPECT_EQ(peer.AcceptedCount(), 1);
  EXPECT_NE(peer.Received().find("GET /b HTTP/1.1\r\n"), std::string::npos);
}

// The server closes right after a bodiless relocation on a kept connection, before the client
// has sent the relocated request on it: the relocation goes on over a new connection instead of
// ending the request with status 0 while a connection attempt is still under way.
TEST(HttpClient, CloseBeforeRelocationOnKeptConnectionOpensANewOne) {
  ScriptedPeer peer(
      {{ExpectUntil("\r\n\r\n"),
        Send("HTTP/1.1 302 Found\r\nLocation: /b\r\nContent-Length: 0\r\n\r\n"), Close()},
       {ExpectUntil("\r\n\r\n"),
        Send("HTTP/1.1 200 OK\r\nConnection: close\r\nContent-Length: 1\r\n\r\nB"), ReadToEof()}});
  Client cl;
  cl.http.SetRequestVer("1.1");
  cl.http.URL = Url(peer, "/a");
  cl.http.GetASync();
  ASSERT_TRUE(
      Dispatcher::current().runUntil([&] { return cl.http.State() == httpWaitingHeader; }, 10000));
  // Reply and close reach the client together: wait for the close without running the loop.
  pollfd p{cl.http.CtrlSocket().HSocket(), POLLRDHUP, 0};
  ASSERT_EQ(poll(&p, 1, 10000), 1);
  ASSERT_TRUE(cl.Wait());
  EXPECT_EQ(cl.done, 1);
  EXPECT_EQ(cl.errCode, 0);
  EXPECT_EQ(cl.http.StatusCode(), 200);
  EXPECT_EQ(cl.rcvd.Text(), "B");
  EXPECT_EQ(cl.http.CtrlSocket().State(), wsClosed);
  EXPECT_TRUE(peer.Finish()) << peer.Failure();
  EXPECT_EQ(peer.AcceptedCount(), 2);
  EXPECT_NE(peer.Received(1).find("GET /b HTTP/1.1\r\n"), std::string::npos);
}

// --- failures and misuse -------------------------------------------------------------------

}  // namespace
}  // namespace qelo::net
