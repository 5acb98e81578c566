// The connection-free pieces of the HTTP client: streams, URL splitting, document names,
// location resolution, request header composition and the response parsers.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "net/http_request.h"
#include "net/http_response.h"
#include "net/http_url.h"
#include "net/stream.h"

namespace qelo::net {
namespace {

// --- streams -------------------------------------------------------------------------------

void ExerciseStream(TStream& s) {
  s.WriteBuffer("hello world", 11);
  EXPECT_EQ(s.Size(), 11);
  EXPECT_EQ(s.Position(), 11);
  s.SetPosition(6);
  char buf[16] = {};
  EXPECT_EQ(s.Read(buf, sizeof buf), 5);
  EXPECT_EQ(std::string(buf, 5), "world");
  EXPECT_EQ(s.Read(buf, sizeof buf), 0);
  // Cutting back keeps the position inside the stream.
  s.SetSize(5);
  EXPECT_EQ(s.Size(), 5);
  EXPECT_EQ(s.Position(), 5);
  s.WriteBuffer("!", 1);
  s.Seek(-6, TSeekOrigin::End);
  EXPECT_EQ(s.Read(buf, sizeof buf), 6);
  EXPECT_EQ(std::string(buf, 6), "hello!");
  EXPECT_THROW(s.Seek(-1, TSeekOrigin::Begin), EStreamError);
}

TEST(Stream, MemoryStreamReadsWritesSeeksAndCuts) {
  TMemoryStream m;
  ExerciseStream(m);
  EXPECT_EQ(m.Text(), "hello!");
}

TEST(Stream, FileStreamReadsWritesSeeksAndCuts) {
  char path[] = "/tmp/qelo_stream_XXXXXX";
  const int fd = mkstemp(path);
  ASSERT_GE(fd, 0);
  close(fd);
  {
    TFileStream f(path, TFileStream::Mode::Create);
    ExerciseStream(f);
  }
  TFileStream again(path, TFileStream::Mode::OpenRead);
  EXPECT_EQ(again.Size(), 6);
  unlink(path);
  EXPECT_THROW(TFileStream(path, TFileStream::Mode::OpenRead), EStreamError);
}

TEST(Stream, MemoryStreamWriteBeyondEndFillsWithZeros) {
  TMemoryStream m("ab");
  m.SetPosition(4);
  m.WriteBuffer("c", 1);
  EXPECT_EQ(m.Text(), std::string("ab\0\0c", 5));
}

// --- URL splitting -------------------------------------------------------------------------

TEST(HttpUrl, SplitsUrls) {
  struct Case {
    const char* url;
    TUrlParts want;
  };
  const Case cases[] = {
      {"", {}},
      {"http://example.com", {"http", "", "", "example.com", "", ""}},
      {"HTTP://Example.com:8080/a/b?x=1#f", {"http", "", "", "Example.com", "8080", "/a/b?x=1#f"}},
      {"https://u:p@h:81/x", {"https", "u", "p", "h", "81", "/x"}},
      {"http://user@h/x", {"http", "user", "", "h", "", "/x"}},
      {"http://a@b:c@h:1/x", {"http", "a@b", "c", "h", "1", "/x"}},
      {"http://h?q=1", {"http", "", "", "h", "", "?q=1"}},
      {"/only/path", {"http", "", "", "", "", "/only/path"}},
      {"example.com/x", {"", "", "", "example.com", "", "/x"}},
      {"ht tp://h/x", {"http", "", "", "ht tp", "", "//h/x"}},
  };
  for (const Case& c : cases) {
    const TUrlParts got = ParseURL(c.url);
    SCOPED_TRACE(c.url);
    EXPECT_EQ(got.Proto, c.want.Proto);
    EXPECT_EQ(got.User, c.want.User);
    EXPECT_EQ(got.Pass, c.want.Pass);
    EXPECT_EQ(got.Host, c.want.Host);
    EXPECT_EQ(got.Port, c.want.Port);
    EXPECT_EQ(got.Path, c.want.Path);
  }
}

TEST(HttpUrl, DocumentNames) {
  const std::pair<const char*, const char*> cases[] = {
      {"/", "document.htm"},
      {"", "document.htm"},
      {"/dir/", "document.htm"},
      {"/dir/?a=b/c", "document.htm"},
      {"/dir/page.php?a=1", "page.php"},
      {"/dir/page.php?a=/x", "page.php"},
      {"/file.bin", "file.bin"},
  };
  for (const auto& [path, want] : cases)
    EXPECT_EQ(DocNameOf(path), want) << path;
  EXPECT_EQ(DocNameOf("/" + std::string(300, 'a')).size(), 255u);

  EXPECT_EQ(HtmlDocName("setup.exe"), "setup.htm");
  EXPECT_EQ(HtmlDocName("SETUP.EXE"), "SETUP.htm");
  EXPECT_EQ(HtmlDocName("page"), "page.htm");
  EXPECT_EQ(HtmlDocName("page.php"), "page.php");
}

TEST(HttpUrl, ResolvesLocationForms) {
  const THttpTarget current{"http", "svc", "8090", "/dir/page.php?x=/y"};
  struct Case {
    const char* value;
    THttpTarget want;
    const char* location;
  };
  const Case cases[] = {
      {"/other", {"http", "svc", "8090", "/other"}, "http://svc:8090/other"},
      {"next.php?a=1",
       {"http", "svc", "8090", "/dir/next.php?a=1"},
       "http://svc:8090/dir/next.php?a=1"},
      {"HTTP://new.host/p", {"http", "new.host", "80", "/p"}, "http://new.host/p"},
      {"http://new.host:81", {"http", "new.host", "81", "/"}, "http://new.host:81/"},
      {"https://secure/x", {"https", "secure", "80", "/x"}, "https://secure/x"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.value);
    const TLocationTarget got = ResolveLocation(c.value, current, "http");
    EXPECT_EQ(got.Target.Proto, c.want.Proto);
    EXPECT_EQ(got.Target.Host, c.want.Host);
    EXPECT_EQ(got.Target.Port, c.want.Port);
    EXPECT_EQ(got.Target.Path, c.want.Path);
    EXPECT_EQ(got.Location, c.location);
  }
  const TLocationTarget creds = ResolveLocation("http://u:p@h/", current, "http");
  EXPECT_EQ(creds.User, "u");
  EXPECT_EQ(creds.Pass, "p");
  EXPECT_TRUE(ResolveLocation("http://u@h/", current, "http").User.empty());
}

// --- request header ------------------------------------------------------------------------

THttpRequestHead ServiceHead() {
  THttpRequestHead h;
  h.Method = "POST";
  h.Path = "/zelk_client.php";
  h.Version = "1.0";
  h.Accept = "image/gif, image/x-xbitmap, image/jpeg, image/pjpeg, */*";
  h.ContentType = "application/x-www-form-urlencoded";
  h.Agent = "zelk-client-http";
  h.TargetHost = "svc";
  h.TargetPort = "80";
  h.ContentLength = 12;
  return h;
}

TEST(HttpRequest, ServicePostHasExactlySixLines) {
  EXPECT_EQ(ComposeRequestHeader(ServiceHead()),
            (std::vector<std::string>{
                "POST /zelk_client.php HTTP/1.0",
                "Accept: image/gif, image/x-xbitmap, image/jpeg, image/pjpeg, */*",
                "Content-Type: application/x-www-form-urlencoded",
                "User-Agent: zelk-client-http",
                "Host: svc",
                "Content-Length: 12",
            }));
}

TEST(HttpRequest, RangedGetHasNoBodyLines) {
  THttpRequestHead h = ServiceHead();
  h.Method = "GET";
  h.Agent = "Mozilla/4.0 (compatible; QeloNet)";
  h.TargetPort = "8090";
  h.RangeBegin = "100";
  EXPECT_EQ(ComposeRequestHeader(h),
            (std::vector<std::string>{
                "GET /zelk_client.php HTTP/1.0",
                "Accept: image/gif, image/x-xbitmap, image/jpeg, image/pjpeg, */*",
                "User-Agent: Mozilla/4.0 (compatible; QeloNet)",
                "Host: svc:8090",
                "Range: bytes=100-",
            }));
}

TEST(HttpRequest, EveryOptionalLineInItsPlace) {
  THttpRequestHead h;
  h.Method = "PUT";
  h.Path = "/p";
  h.Version = "1.1";
  h.Sender = "me@x";
  h.Accept = "*/*";
  h.Reference = "http://r/";
  h.Connection = "keep-alive";
  h.AcceptLanguage = "zh-cn";
  h.ContentType = "text/plain";
  h.Agent = "A";
  h.TargetHost = "h";
  h.NoCache = true;
  h.ProxyConnection = "close";
  h.ContentLength = 0;
  h.ModifiedSince = 1767607442;  // 2026-01-05 10:04:02 UTC, a Monday
  h.Cookie = "a=b";
  h.RangeEnd = "99";
  EXPECT_EQ(ComposeRequestHeader(h), (std::vector<std::string>{
                                         "PUT /p HTTP/1.1",
                                         "From: me@x",
                                         "Accept: */*",
                                         "Referer: http://r/",
                                         "Connection: keep-alive",
                                         "Accept-Language: zh-cn",
                                         "Content-Type: text/plain",
                                         "User-Agent: A",
                                         "Host: h",
                                         "Pragma: no-cache",
                                         "Proxy-Connection: close",
                                         "Content-Length: 0",
                                         "If-Modified-Since: Mon, 05 Jan 2026 10:04:02 GMT",
                                         "Cookie: a=b",
                                         "Range: bytes=-99",
                                     }));
}

// --- response parsing ----------------------------------------------------------------------

TEST(HttpResponse, StatusLines) {
  struct Case {
    const char* line;
    bool isStatus;
    bool codeValid;
    const char* version;
    int code;
    const char* reason;
  };
  const Case cases[] = {
      {"HTTP/1.1 404 Not Found", true, true, "1.1", 404, "Not Found"},
      {"HTTP/1.0 200", true, true, "1.0", 200, ""},
      {"HTTP/1.0 200 ", true, true, "1.0", 200, ""},
      {"HTTP/1.0   302 Moved", true, true, "1.0", 302, "Moved"},
      {"HTTP/1.1 abc OK", true, false, "1.1", 0, ""},
      {"HTTP/1.1 20", true, false, "1.1", 0, ""},
      {"HTTP/1.1", true, false, "1.1", 0, ""},
      {"HTTP/2 200 OK", false, false, "", 0, ""},
      {"http/1.1 200 OK", false, false, "", 0, ""},
      {"garbage", false, false, "", 0, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    const TStatusLine s = ParseStatusLine(c.line);
    EXPECT_EQ(s.IsStatus, c.isStatus);
    EXPECT_EQ(s.CodeValid, c.codeValid);
    EXPECT_EQ(s.Version, c.version);
    EXPECT_EQ(s.Code, c.code);
    EXPECT_EQ(s.Reason, c.reason);
  }
}

TEST(HttpResponse, HeaderFields) {
  auto f = SplitHeaderField("CONTENT-LENGTH:   42");
  ASSERT_TRUE(f);
  EXPECT_EQ(f->Name, "content-length");
  EXPECT_EQ(f->Value, "42");
  // A space before the colon is part of the name.
  EXPECT_EQ(SplitHeaderField("Content-Length : 5")->Name, "content-length ");
  EXPECT_EQ(SplitHeaderField("Location: http://h:1/x")->Value, "http://h:1/x");
  EXPECT_EQ(SplitHeaderField("X:")->Value, "");
  EXPECT_FALSE(SplitHeaderField("no colon here"));

  const std::pair<const char*, int64_t> lengths[] = {
      {"0", 0},   {" 31 ", 31}, {"12345678901", 12345678901},   {"", -1},
      {"1x", -1}, {"-5", -1},   {"9999999999999999999999", -1},
  };
  for (const auto& [text, want] : lengths)
    EXPECT_EQ(ParseContentLength(text), want) << text;

  std::string b, e;
  ParseContentRange("bytes 0-99/1234", b, e);
  EXPECT_EQ(b, "0");
  EXPECT_EQ(e, "99");
  ParseContentRange("bytes 100-/*", b, e);
  EXPECT_EQ(b, "100");
  EXPECT_EQ(e, "");
}

TEST(HttpResponse, ConnectionCloseRule) {
  EXPECT_TRUE(CloseAfterResponse("1.0", "1.1"));
  EXPECT_TRUE(CloseAfterResponse("1.1", "1.0"));
  EXPECT_FALSE(CloseAfterResponse("1.1", "1.1"));
  EXPECT_EQ(CloseFromConnectionField(" Close "), std::optional<bool>(true));
  EXPECT_EQ(CloseFromConnectionField("Keep-Alive"), std::optional<bool>(false));
  EXPECT_EQ(CloseFromConnectionField("upgrade"), std::nullopt);
}

// Feeds a chunked body split into the given piece sizes; returns the decoded data.
std::string Dechunk(const std::string& wire, size_t piece, TChunkDecoder::State& endState,
                    size_t& consumed) {
  TChunkDecoder d;
  std::string out;
  consumed = 0;
  for (size_t at = 0; at < wire.size() && !d.Done(); at += piece) {
    const size_t n = std::min(piece, wire.size() - at);
    consumed += d.Feed(wire.data() + at, n, [&](const char* p, size_t len) {
      out.append(p, len);
      return true;
    });
  }
  endState = d.state();
  return out;
}

TEST(HttpResponse, ChunkDecoderAnyPieceSize) {
  const std::string body = "hello" + std::string("abcdefghijklmnopqrstuvwxyz");
  const std::string wire = "5\r\nhello\r\n1A;name=x\r\nabcdefghijklmnopqrstuvwxyz\r\n0\r\n";
  for (size_t piece : {1u, 2u, 3u, 7u, 64u}) {
    SCOPED_TRACE(piece);
    TChunkDecoder::State st;
    size_t consumed = 0;
    EXPECT_EQ(Dechunk(wire + "\r\n", piece, st, consumed), body);
    EXPECT_EQ(st, TChunkDecoder::State::Done);
    // Lower-case size and a trailer after the last chunk.
    EXPECT_EQ(
        Dechunk("1a\r\nabcdefghijklmnopqrstuvwxyz\r\n0\r\nX-T: 1\r\n\r\n", piece, st, consumed),
        body.substr(5));
    EXPECT_EQ(st, TChunkDecoder::State::Done);
  }
}

TEST(HttpResponse, ChunkDecoderStopsWhenTheSinkSaysSo) {
  TChunkDecoder d;
  int calls = 0;
  const std::string wire = "3\r\nabc\r\n3\r\ndef\r\n0\r\n\r\n";
  const size_t used = d.Feed(wire.data(), wire.size(), [&](const char*, size_t) {
    ++calls;
    return false;
  });
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(used, 6u);
  EXPECT_FALSE(d.Done());
}

TEST(HttpResponse, ChunkDecoderRejectsHugeSize) {
  TChunkDecoder::State st;
  size_t consumed = 0;
  EXPECT_EQ(Dechunk("ffffffffffffffffffff\r\nx", 4, st, consumed), "");
  EXPECT_EQ(st, TChunkDecoder::State::Error);
}

TEST(HttpResponse, ReceiveBufferKeepsUnconsumedBytes) {
  TRcvBuffer b;
  char* p = b.Reserve(16);
  std::memcpy(p, "line1\nrest", 10);
  b.Commit(10);
  b.Consume(6);
  const size_t want = b.Capacity();
  b.Reserve(want);  // forces the move to the front
  EXPECT_EQ(std::string(b.Data(), b.Count()), "rest");
  EXPECT_GE(b.FreeSpace(), want);
}

TEST(HttpResponse, ReceiveBufferFindsLineEndsAcrossReads) {
  TRcvBuffer b;
  auto add = [&](std::string_view s) {
    std::memcpy(b.Reserve(s.size()), s.data(), s.size());
    b.Commit(s.size());
  };
  add("HTTP/1.0 2");
  EXPECT_EQ(b.FindLineEnd(), std::string::npos);
  add("00 OK\r");
  EXPECT_EQ(b.FindLineEnd(), std::string::npos);
  add("\nNext: 1\n");
  ASSERT_EQ(b.FindLineEnd(), 16u);
  b.Consume(17);
  EXPECT_EQ(b.FindLineEnd(), 7u);
  b.Clear();
  EXPECT_EQ(b.FindLineEnd(), std::string::npos);
}

}  // namespace
}  // namespace qelo::net
