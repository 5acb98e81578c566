// THttpClient against the scripted loopback peer: exact request bytes, response handling,
// failures and misuse. Relocation and kept connections are in http_relocation_test.cpp.
#include "net/http_test_client.h"

namespace qelo::net {
namespace {

using namespace http_test;

// --- request text and body -----------------------------------------------------------------

TEST(HttpClient, PostSendsExactHeaderAndBodyInBlocks) {
  struct Case {
    std::string content;
    int64_t startAt;
    int expectedBlocks;
  };
  const Case cases[] = {
      {"", 0, 0},
      {"action=search&word=abc", 0, 1},
      {"skip-me|sent", 5, 1},
      {std::string(20000, 'x'), 0, 3},
      {"abc", 7, 0},  // positioned past its end: nothing to send, not a negative length
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.content.size());
    const std::string sent =
        c.content.substr(std::min(static_cast<size_t>(c.startAt), c.content.size()));
    ScriptedPeer peer({{ExpectUntil("\r\n\r\n"), test::ExpectCount(sent.size()),
                        Send("HTTP/1.0 200 OK\r\nContent-Length: 2\r\n\r\nok"), ReadToEof()}});
    Client cl;
    cl.body.WriteBuffer(c.content.data(), static_cast<int64_t>(c.content.size()));
    cl.body.SetPosition(c.startAt);
    cl.http.SendStream = &cl.body;
    cl.http.Agent = "zelk-client-http";
    cl.http.URL = Url(peer, "/zelk_client.php");
    cl.http.PostASync();
    ASSERT_TRUE(cl.Wait());
    ASSERT_TRUE(peer.Finish()) << peer.Failure();
    EXPECT_EQ(peer.Received(), "POST /zelk_client.php HTTP/1.0\r\n" + std::string(kAccept) +
                                   "Content-Type: application/x-www-form-urlencoded\r\n"
                                   "User-Agent: zelk-client-http\r\nHost: 127.0.0.1:" +
                                   peer.PortText() + "\r\nContent-Length: " +
                                   std::to_string(sent.size()) + "\r\n\r\n" + sent);
    EXPECT_EQ(cl.http.SentCount(), static_cast<int64_t>(sent.size()));
    const auto events = cl.Events();
    EXPECT_EQ(std::count_if(events.begin(), events.end(),
                            [](const std::string& e) { return e.rfind("SendData", 0) == 0; }),
              c.expectedBlocks);
    EXPECT_EQ(std::count(events.begin(), events.end(), "SendBegin"), 1);
    EXPECT_EQ(std::count(events.begin(), events.end(), "SendEnd"), 1);
    EXPECT_EQ(cl.errCode, 0);
    EXPECT_EQ(cl.rcvd.Text(), "ok");
  }
}

TEST(HttpClient, GetPathsDocNamesRangesAndQuery) {
  ScriptedPeer real({{ExpectUntil("\r\n\r\n"), Send("HTTP/1.0 200 OK\r\n\r\n"), Close()},
                     {ExpectUntil("\r\n\r\n"), Send("HTTP/1.0 200 OK\r\n\r\n"), Close()}});
  Client cl;
  cl.http.URL = "http://127.0.0.1:" + real.PortText() + "/dir/page.php?a=1";
  cl.http.ContentRangeBegin = "100";
  cl.http.GetASync();
  EXPECT_EQ(cl.http.DocName(), "page.php");
  ASSERT_TRUE(cl.Wait());
  // The range applied to that request only.
  EXPECT_TRUE(cl.http.ContentRangeBegin.empty());
  EXPECT_TRUE(cl.http.ContentRangeEnd.empty());

  cl.done = 0;
  cl.http.URL = "http://127.0.0.1:" + real.PortText();
  cl.http.GetASync();
  EXPECT_EQ(cl.http.DocName(), "document.htm");
  ASSERT_TRUE(cl.Wait());
  ASSERT_TRUE(real.Finish()) << real.Failure();
  const std::string host = "Host: 127.0.0.1:" + real.PortText() + "\r\n";
  EXPECT_EQ(real.Received(0), "GET /dir/page.php?a=1 HTTP/1.0\r\n" + std::string(kAccept) + kAgent +
                                  host + "Range: bytes=100-\r\n\r\n");
  EXPECT_EQ(real.Received(1), "GET / HTTP/1.0\r\n" + std::string(kAccept) + kAgent + host + "\r\n");
}

// --- responses -----------------------------------------------------------------------------

struct ResponseCase {
  const char* name;
  std::vector<test::PeerStep> reply;  // after the request has been read
  uint16_t err;
  int status;
  const char* reason;
  std::string body;
  int64_t contentLength;
  std::vector<std::string> events;  // empty: not checked
};

TEST(HttpClient, ResponseForms) {
  const std::string chunked =
      "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n5\r\nhello\r\n1A;name=x\r\n"
      "abcdefghijklmnopqrstuvwxyz\r\n0\r\nX-Trailer: 1\r\n\r\n";
  const std::vector<ResponseCase> cases = {
      {"one read",
       {Send("HTTP/1.0 200 OK\r\nContent-Length: 5\r\nContent-Type: text/plain\r\n\r\nhello")},
       0,
       200,
       "OK",
       "hello",
       5,
       {"Connected", "HeaderBegin", "HeaderEnd", "DocBegin", "DocData 5", "DocEnd", "Closed",
        "Done 0"}},
      {"close delimited",
       {Send("HTTP/1.0 200 OK\r\n\r\nabc"), Close()},
       0,
       200,
       "OK",
       "abc",
       -1,
       {"Connected", "HeaderBegin", "HeaderEnd", "DocBegin", "DocData 3", "DocEnd", "Closed",
        "Done 0"}},
      {"header and body in small pieces",
       {Send("HTTP/1.0 200 OK\r\nContent-Length: 6\r\n\r\nabcdef", {1, 2, 3, 5, 8, 13, 1}, 2)},
       0,
       200,
       "OK",
       "abcdef",
       6,
       {}},
      {"short content length",
       {Send("HTTP/1.0 200 OK\r\nContent-Length: 10\r\n\r\n123456"), Close()},
       0,
       200,
       "OK",
       "123456",
       10,
       {}},
      {"chunked in pieces",
       {Send(chunked, {3, 40, 1, 7, 2}, 5)},
       0,
       200,
       "OK",
       "helloabcdefghijklmnopqrstuvwxyz",
       -1,
       {}},
      {"404 phrase",
       {Send("HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\n\r\n")},
       0,
       404,
       "Not Found",
       "",
       0,
       {}},
      {"no phrase", {Send("HTTP/1.0 200\r\nContent-Length: 2\r\n\r\nok")}, 0, 200, "", "ok", 2, {}},
      {"interim 100",
       {Send("HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok")},
       0,
       200,
       "OK",
       "ok",
       2,
       {"Connected", "HeaderBegin", "HeaderEnd", "DocBegin", "DocData 2", "DocEnd", "Closed",
        "Done 0"}},
      {"1.0 status 100 has no body",
       {Send("HTTP/1.0 100 Continue\r\n\r\n")},
       0,
       100,
       "Continue",
       "",
       -1,
       {}},
      {"204 ends at empty line",
       {Send("HTTP/1.1 204 No Content\r\n\r\n")},
       0,
       204,
       "No Content",
       "",
       -1,
       {}},
      {"304 ends at empty line",
       {Send("HTTP/1.0 304 Not Modified\r\n\r\n")},
       0,
       304,
       "Not Modified",
       "",
       -1,
       {}},
      {"field name in capitals",
       {Send("HTTP/1.0 200 OK\r\nCONTENT-LENGTH: 3\r\n\r\nabcdef")},
       0,
       200,
       "OK",
       "abc",
       3,
       {}},
      {"space before colon is another name",
       {Send("HTTP/1.0 200 OK\r\nContent-Length : 3\r\n\r\nabcdef"), Close()},
       0,
       200,
       "OK",
       "abcdef",
       -1,
       {}},
      {"reset in the body",
       {Send("HTTP/1.0 200 OK\r\nContent-Length: 10\r\n\r\n1234"), test::Delay(50), Reset()},
       10054,
       200,
       "OK",
       "1234",
       10,
       {}},
      {"close before anything", {Close()}, 0, 0, "", "", -1, {"Connected", "Closed", "Done 0"}},
      {"not a status line",
       {Send("ICY 200 OK\r\nContent-Length: 2\r\n\r\nok")},
       0,
       0,
       "",
       "ok",
       2,
       {"Connected", "HeaderBegin", "DataPush2", "HeaderEnd", "DocBegin", "DocData 2", "DocEnd",
        "Closed", "Done 0"}},
      {"status code not a number",
       {Send("HTTP/1.0 abc Broken\r\nContent-Length: 2\r\n\r\nok")},
       0,
       0,
       "",
       "ok",
       2,
       {}},
      {"header-less html keeps every byte",
       {Send("<html><body>hi\r\nthere</body>\n"), Close()},
       0,
       0,
       "",
       "<html><body>hi\r\nthere</body>\n",
       -1,
       {}},
      {"close in the middle of the header",
       {Send("HTTP/1.0 200 OK\r\nContent-Le"), Close()},
       0,
       200,
       "OK",
       "",
       -1,
       {"Connected", "HeaderBegin", "HeaderEnd", "Closed", "Done 0"}},
      {"endless header line",
       {Send("HTTP/1.0 200 OK\r\nX: " + std::string(70000, 'a'))},
       THttpClient::kProtocolErrorCode,
       200,
       "OK",
       "",
       -1,
       {}},
      {"too many header lines",
       {Send("HTTP/1.0 200 OK\r\n" +
             [] {
               std::string s;
               for (int i = 0; i < 1200; ++i)
                 s += "X-N: " + std::to_string(i) + "\r\n";
               return s;
             }())},
       THttpClient::kProtocolErrorCode,
       200,
       "OK",
       "",
       -1,
       {}},
      {"header larger than its limit",
       {Send("HTTP/1.0 200 OK\r\n" +
             [] {
               std::string s;
               for (int i = 0; i < 10; ++i)
                 s += "X-Big: " + std::string(30000, 'b') + "\r\n";
               return s;
             }())},
       THttpClient::kProtocolErrorCode,
       200,
       "OK",
       "",
       -1,
       {}},
      {"bad chunk size",
       {Send("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\nffffffffffffffffff\r\n")},
       THttpClient::kProtocolErrorCode,
       200,
       "OK",
       "",
       -1,
       {}},
  };
  for (const ResponseCase& c : cases) {
    SCOPED_TRACE(c.name);
    PeerScript script{ExpectUntil("\r\n\r\n")};
    script.insert(script.end(), c.reply.begin(), c.reply.end());
    script.push_back(ReadToEof());
    ScriptedPeer peer({script});
    Client cl;
    cl.http.URL = Url(peer);
    cl.http.GetASync();
    ASSERT_TRUE(cl.Wait());
    peer.Finish();
    Drain();
    EXPECT_EQ(cl.done, 1);
    EXPECT_EQ(cl.errCode, c.err);
    EXPECT_EQ(cl.http.StatusCode(), c.status);
    EXPECT_EQ(cl.http.ReasonPhrase(), c.reason);
    EXPECT_EQ(cl.rcvd.Text(), c.body);
    EXPECT_EQ(cl.http.RcvdCount(), static_cast<int64_t>(c.body.size()));
    EXPECT_EQ(cl.http.ContentLength(), c.contentLength);
    EXPECT_EQ(cl.http.State(), httpReady);
    if (!c.events.empty()) {
      EXPECT_EQ(cl.Events(), c.events);
    }
  }
}

TEST(HttpClient, StateOrderOfALengthDelimitedReply) {
  ScriptedPeer peer({{ExpectUntil("\r\n\r\n"),
                      Send("HTTP/1.0 200 OK\r\nContent-Length: 2\r\n\r\nok"), ReadToEof()}});
  Client cl;
  cl.http.URL = Url(peer);
  cl.http.GetASync();
  ASSERT_TRUE(cl.Wait());
  EXPECT_TRUE(peer.Finish()) << peer.Failure();
  EXPECT_EQ(cl.log, (std::vector<std::string>{
                        "httpNotConnected", "httpDnsLookup", "httpDnsLookupDone", "httpConnected",
                        "Connected", "httpWaitingHeader", "HeaderBegin", "HeaderEnd",
                        "httpWaitingBody", "DocBegin", "DocData 2", "httpBodyReceived", "DocEnd",
                        "Closed", "httpReady", "Done 0"}));
  EXPECT_EQ(cl.docDataCalls, 1);
}

TEST(HttpClient, InterimResponseLeavesOnlyTheFinalHeader) {
  ScriptedPeer peer(
      {{ExpectUntil("\r\n\r\n"),
        Send("HTTP/1.1 100 Continue\r\nX-A: 1\r\n\r\nHTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n"),
        ReadToEof()}});
  Client cl;
  cl.http.URL = Url(peer);
  cl.http.GetASync();
  ASSERT_TRUE(cl.Wait());
  EXPECT_EQ(cl.http.RcvdHeader(),
            (std::vector<std::string>{"HTTP/1.1 200 OK", "Content-Length: 0"}));
  EXPECT_TRUE(peer.Finish()) << peer.Failure();
}

TEST(HttpClient, ContentRangeAndAcceptRangesAreTaken) {
  ScriptedPeer peer({{ExpectUntil("\r\n\r\n"),
                      Send("HTTP/1.0 206 Partial\r\nAccept-Ranges: bytes\r\n"
                           "Content-Range: bytes 0-1/10\r\nContent-Length: 2\r\n\r\nab"),
                      ReadToEof()}});
  Client cl;
  cl.http.URL = Url(peer);
  cl.http.ContentRangeEnd = "1";
  cl.http.GetASync();
  ASSERT_TRUE(cl.Wait());
  EXPECT_EQ(cl.http.ContentRangeBegin, "0");
  EXPECT_EQ(cl.http.ContentRangeEnd, "1");
  EXPECT_EQ(cl.http.AcceptRanges(), "bytes");
  EXPECT_TRUE(peer.Finish()) << peer.Failure();
}

// A receive stream whose writes fail, as on a full disk.
class FailingStream : public TMemoryStream {
 public:
  int64_t Write(const void*, int64_t) override { throw EStreamError("disk full"); }
};

TEST(HttpClient, FailingReceiveStreamEndsTheRequestOnce) {
  ScriptedPeer peer({{ExpectUntil("\r\n\r\n"),
                      Send("HTTP/1.0 200 OK\r\nContent-Length: 4\r\n\r\ndata"), ReadToEof()}});
  Client cl;
  FailingStream failing;
  cl.http.RcvdStream = &failing;
  cl.http.URL = Url(peer);
  cl.http.GetASync();
  ASSERT_TRUE(cl.Wait());
  EXPECT_TRUE(peer.Finish()) << peer.Failure();
  EXPECT_EQ(cl.done, 1);
  EXPECT_EQ(cl.errCode, THttpClient::kDataErrorCode);
  EXPECT_EQ(cl.http.State(), httpReady);
}

// --- relocation ----------------------------------------------------------------------------

TEST(HttpClient, TransportFailures) {
  struct Case {
    std::string url;
    uint16_t err;
    int status;
    std::string reason;
  };
  const std::string refusedPort = std::to_string(test::UnusedLoopbackPort());
  const Case cases[] = {
      {"http://127.0.0.1:" + refusedPort + "/", 10061, 404, "Connection refused (Error #10061)"},
      {"http:///nohost", 10022, 404, "can't resolve hostname to IP address"},
      {"https://127.0.0.1:" + refusedPort + "/", 0, 501, "Protocol \"https\" not implemented"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.url);
    Client cl;
    cl.http.URL = c.url;
    cl.http.GetASync();
    EXPECT_EQ(cl.done, 0);  // never inside the call
    ASSERT_TRUE(cl.Wait());
    EXPECT_EQ(cl.done, 1);
    EXPECT_EQ(cl.errCode, c.err);
    EXPECT_EQ(cl.http.StatusCode(), c.status);
    EXPECT_EQ(cl.http.ReasonPhrase(), c.reason);
  }
}

TEST(HttpClient, MisuseRaisesAndChangesNothing) {
  ScriptedPeer peer({{ExpectUntil("\r\n\r\n"), Send("HTTP/1.0 200 OK\r\n\r\nfirst"), Close()}});
  Client cl;
  cl.http.URL = Url(peer);
  auto codeOf = [](auto&& call, std::string& text) {
    try {
      call();
    } catch (const EHttpException& e) {
      text = e.what();
      return e.ErrorCode();
    }
    return 0;
  };
  std::string text;
  EXPECT_EQ(codeOf([&] { cl.http.PostASync(); }, text), 2);
  EXPECT_EQ(text, "HTTP component has nothing to post or put");
  EXPECT_EQ(cl.http.State(), httpReady);
  EXPECT_EQ(codeOf([&] { cl.http.SetRequestVer("2.0"); }, text), 5);
  EXPECT_EQ(text, "Insupported HTTP version");
  EXPECT_EQ(cl.http.RequestVer(), "1.0");

  cl.http.GetASync();
  EXPECT_EQ(codeOf([&] { cl.http.GetASync(); }, text), 1);
  EXPECT_EQ(text, "HTTP component HttpClient1 is busy");
  ASSERT_TRUE(cl.Wait());
  EXPECT_TRUE(peer.Finish()) << peer.Failure();
  EXPECT_EQ(cl.done, 1);
  EXPECT_EQ(cl.rcvd.Text(), "first");
}

TEST(HttpClient, DetachAndAttachTakeTheConnectionAlong) {
  ScriptedPeer peer({{ExpectUntil("\r\n\r\n"), Send("HTTP/1.0 200 OK\r\n\r\nmoved"), Close()}});
  Client cl;
  cl.http.ThreadDetach();
  EXPECT_FALSE(cl.http.Attached());
  EXPECT_FALSE(cl.http.CtrlSocket().Attached());
  cl.http.ThreadAttach();
  EXPECT_TRUE(cl.http.Attached());
  EXPECT_TRUE(cl.http.CtrlSocket().Attached());
  // Both hold working slots again: a request runs to its end.
  cl.http.URL = Url(peer);
  cl.http.GetASync();
  ASSERT_TRUE(cl.Wait());
  EXPECT_TRUE(peer.Finish()) << peer.Failure();
  EXPECT_EQ(cl.done, 1);
  EXPECT_EQ(cl.rcvd.Text(), "moved");
}

TEST(HttpClient, AbortForms) {
  // Idle: done at once with 0 and 200.
  {
    Client cl;
    cl.http.Abort();
    EXPECT_EQ(cl.done, 1);
    EXPECT_EQ(cl.errCode, 0);
    EXPECT_EQ(cl.http.StatusCode(), 200);
    EXPECT_EQ(cl.http.ReasonPhrase(), "OK");
  }
  // During the name lookup: ends once with 3; the cancelled lookup's report is ignored.
  {
    Client cl;
    cl.http.URL = "http://localhost:1/";
    cl.http.GetASync();
    ASSERT_EQ(cl.http.State(), httpDnsLookup);
    cl.http.Abort();
    EXPECT_EQ(cl.http.State(), httpReady);
    ASSERT_TRUE(cl.Wait());
    Drain();
    EXPECT_EQ(cl.done, 1);
    EXPECT_EQ(cl.errCode, 3);
    EXPECT_EQ(cl.http.StatusCode(), 404);
    EXPECT_EQ(cl.http.ReasonPhrase(), "Connection aborted on request");
  }
  // Inside OnHeaderEnd once the length is known.
  {
    ScriptedPeer peer(
        {{ExpectUntil("\r\n\r\n"), Send("HTTP/1.0 200 OK\r\nContent-Length: 100\r\n\r\npartial"),
          ReadToEof()}});
    Client cl;
    int64_t seenLength = 0;
    cl.http.OnHeaderEnd = [&](THttpClient* s) {
      seenLength = s->ContentLength();
      s->Abort();
    };
    cl.http.URL = Url(peer);
    cl.http.GetASync();
    ASSERT_TRUE(cl.Wait());
    EXPECT_TRUE(peer.Finish()) << peer.Failure();
    EXPECT_EQ(seenLength, 100);
    EXPECT_EQ(cl.done, 1);
    EXPECT_EQ(cl.errCode, 3);
    EXPECT_EQ(cl.rcvd.Text(), "");
  }
}

// --- handlers that tear things down ---------------------------------------------------------

TEST(HttpClient, HandlerMayDestroyTheClient) {
  using Hook = void (*)(THttpClient&, std::function<void()>);
  struct Case {
    const char* event;
    Hook hook;
  };
  const Case cases[] = {
      {"OnHeaderBegin",
       [](THttpClient& h, std::function<void()> kill) {
         h.OnHeaderBegin = [kill](THttpClient*) { kill(); };
       }},
      {"OnHeaderEnd",
       [](THttpClient& h, std::function<void()> kill) {
         h.OnHeaderEnd = [kill](THttpClient*) { kill(); };
       }},
      {"OnDocBegin",
       [](THttpClient& h, std::function<void()> kill) {
         h.OnDocBegin = [kill](THttpClient*) { kill(); };
       }},
      {"OnDocData",
       [](THttpClient& h, std::function<void()> kill) {
         h.OnDocData = [kill](THttpClient*, const char*, int64_t) { kill(); };
       }},
      {"OnStateChange",
       [](THttpClient& h, std::function<void()> kill) {
         h.OnStateChange = [kill](THttpClient* s) {
           if (s->State() == httpWaitingBody) kill();
         };
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.event);
    ScriptedPeer peer(
        {{ExpectUntil("\r\n\r\n"), Send("HTTP/1.0 200 OK\r\nContent-Length: 8\r\n\r\nabcdefgh"),
          ReadToEof()}});
    auto http = std::make_unique<THttpClient>();
    int done = 0;
    http->OnRequestDone = [&](THttpClient*, THttpRequest, uint16_t) { ++done; };
    bool killed = false;
    c.hook(*http, [&] {
      killed = true;
      http.reset();
    });
    http->URL = Url(peer);
    http->GetASync();
    ASSERT_TRUE(Dispatcher::current().runUntil([&] { return killed; }, 10000));
    Drain();
    EXPECT_EQ(http, nullptr);
    EXPECT_EQ(done, 0);
    // The destroyed client's connection was closed: the peer's read ends.
    EXPECT_TRUE(peer.Finish()) << peer.Failure();
  }
}

TEST(HttpClient, HandlerMayReplaceItsOwnEvent) {
  // The second half leaves the peer only after the first has been handled.
  ScriptedPeer peer(
      {{ExpectUntil("\r\n\r\n"), Send("HTTP/1.0 200 OK\r\nContent-Length: 6\r\n\r\nabc"),
        test::Gate(), Send("def"), ReadToEof()}});
  Client cl;
  std::vector<std::string> seen;
  const std::string firstTag(64, 'f');  // long enough to live outside the small-string buffer
  cl.http.OnDocData = [&, tag = firstTag](THttpClient* s, const char* d, int64_t n) {
    // The function object running here is replaced; its captures must stay usable.
    s->OnDocData = [&](THttpClient*, const char* d2, int64_t n2) {
      seen.push_back("second:" + std::string(d2, static_cast<size_t>(n2)));
    };
    seen.push_back(tag.substr(0, 5) + ":" + std::string(d, static_cast<size_t>(n)));
    peer.ReleaseGate();
  };
  cl.http.URL = Url(peer);
  cl.http.GetASync();
  ASSERT_TRUE(cl.Wait());
  EXPECT_TRUE(peer.Finish()) << peer.Failure();
  EXPECT_EQ(seen, (std::vector<std::string>{"fffff:abc", "second:def"}));
  EXPECT_EQ(cl.errCode, 0);
}

}  // namespace
}  // namespace qelo::net
