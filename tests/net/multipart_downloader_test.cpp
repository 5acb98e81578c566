// TMultipartDownloader against the scripted loopback peer. The peer serves one connection at a
// time in accept order: the first request, then the parts in part order, then retries.
#include "net/multipart_downloader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "net/dispatcher.h"
#include "support/scripted_peer.h"

namespace qelo::net {
namespace {

using test::Close;
using test::Delay;
using test::ExpectUntil;
using test::PeerScript;
using test::ReadToEof;
using test::Reset;
using test::ScriptedPeer;
using test::Send;

std::string Pattern(size_t n) {
  std::string s(n, '\0');
  for (size_t i = 0; i < n; ++i)
    s[i] = static_cast<char>('a' + (i * 7 + i / 26) % 26);
  return s;
}

// Every write the downloader makes, kept by position; survives the stream being closed.
struct WriteLog {
  std::map<int64_t, std::string> writes;  // position -> bytes of one write
  bool closed = false;

  // The content from 0 to n, holes as '\0'.
  std::string Flat(int64_t n) const {
    std::string out(static_cast<size_t>(n), '\0');
    for (const auto& [pos, bytes] : writes)
      for (size_t i = 0; i < bytes.size() && pos + static_cast<int64_t>(i) < n; ++i)
        out[static_cast<size_t>(pos) + i] = bytes[i];
    return out;
  }
  bool AnyWriteHolds(char c) const {
    return std::any_of(writes.begin(), writes.end(),
                       [c](const auto& w) { return w.second.find(c) != std::string::npos; });
  }
};

class LoggingStream : public TStream {
 public:
  explicit LoggingStream(std::shared_ptr<WriteLog> log) : log_(std::move(log)) {}
  ~LoggingStream() override { log_->closed = true; }
  int64_t Read(void*, int64_t) override { return 0; }
  int64_t Write(const void* buffer, int64_t count) override {
    std::string& slot = log_->writes[pos_];
    slot.assign(static_cast<const char*>(buffer), static_cast<size_t>(count));
    pos_ += count;
    size_ = std::max(size_, pos_);
    return count;
  }
  int64_t Seek(int64_t offset, TSeekOrigin origin) override {
    const int64_t base = origin == TSeekOrigin::Begin ? 0
                         : origin == TSeekOrigin::End ? size_
                                                      : pos_;
    if (base + offset < 0) throw EStreamError("negative position");
    pos_ = base + offset;
    return pos_;
  }
  int64_t Size() const override { return size_; }
  void SetSize(int64_t size) override { size_ = size; }

 private:
  std::shared_ptr<WriteLog> log_;
  int64_t pos_ = 0;
  int64_t size_ = 0;
};

struct Harness {
  Harness() {
    dl.PartCount = 2;
    dl.RetryPauseMs = 10;
    dl.FileStream = std::make_unique<LoggingStream>(log);
    dl.OnDisplay = [this](TMultipartDownloader*, const std::string& m) { display.push_back(m); };
    dl.OnRequestDone = [this](TMultipartDownloader*, int code, const std::string& why) {
      ++done;
      errorCode = code;
      reason = why;
      displayAtDone = display.size();
    };
    dl.OnProgressAddSegment = [this](TMultipartDownloader*, int64_t s, int64_t span, int64_t init) {
      segments.push_back({s, span, init});
    };
    dl.OnProgressSetPosition = [this](TMultipartDownloader*, int index, int64_t) {
      positionIndexes.push_back(index);
    };
  }
  // Runs until the transfer reported, then a little longer to catch a second report.
  bool Wait(int ms = 15000) {
    const bool ok = Dispatcher::current().runUntil([this] { return done > 0; }, ms);
    Dispatcher::current().runUntil([] { return false; }, 300);
    return ok;
  }
  bool Shown(const std::string& m) const {
    return std::find(display.begin(), display.end(), m) != display.end();
  }

  std::shared_ptr<WriteLog> log = std::make_shared<WriteLog>();
  TMultipartDownloader dl;
  std::vector<std::string> display;
  std::vector<std::vector<int64_t>> segments;
  std::vector<int> positionIndexes;  // part index of every progress event, in order
  size_t displayAtDone = 0;
  int done = 0;
  int errorCode = -1;
  std::string reason;
};

std::string Url(const ScriptedPeer& peer, const std::string& path = "/f.skn") {
  return "http://127.0.0.1:" + peer.PortText() + path;
}

// The first request: a header with the length, then the client drops the connection.
PeerScript Head(int64_t length) {
  return {ExpectUntil("\r\n\r\n"),
          Send("HTTP/1.0 200 OK\r\nContent-Length: " + std::to_string(length) +
               "\r\nAccept-Ranges: bytes\r\n\r\n"),
          ReadToEof()};
}

std::string Partial(const std::string& range, const std::string& body) {
  return "HTTP/1.0 206 Partial Content\r\nContent-Range: bytes " + range +
         "\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
}

PeerScript Reply(const std::string& bytes) {
  return {ExpectUntil("\r\n\r\n"), Send(bytes), Close()};
}

bool Asked(const ScriptedPeer& peer, size_t conn, const std::string& range) {
  return peer.Received(conn).find("\r\nRange: bytes=" + range + "\r\n") != std::string::npos;
}

const std::string kData = Pattern(100);

TEST(MultipartDownloader, HundredBytesInTwoRanges) {
  ScriptedPeer peer({Head(100), Reply(Partial("0-50/100", kData.substr(0, 51))),
                     Reply(Partial("51-99/100", kData.substr(51)))});
  Harness h;
  h.dl.URL = Url(peer);
  h.dl.Start();
  ASSERT_TRUE(h.Wait());
  ASSERT_TRUE(peer.Finish()) << peer.Failure();
  EXPECT_EQ(peer.Received(0).find("Range:"), std::string::npos);
  EXPECT_TRUE(Asked(peer, 1, "0-50"));
  EXPECT_TRUE(Asked(peer, 2, "51-100"));
  EXPECT_EQ(h.done, 1);
  EXPECT_EQ(h.errorCode, 200);
  EXPECT_EQ(h.reason, "OK");
  EXPECT_EQ(h.log->Flat(100), kData);
  EXPECT_TRUE(h.log->closed);
  EXPECT_EQ(h.dl.FileStream, nullptr);
  EXPECT_EQ(h.dl.ContentLength(), 100);
  EXPECT_EQ(h.dl.TotalDataCount(), 100);
  EXPECT_DOUBLE_EQ(h.dl.PercentComplete(), 100.0);
  EXPECT_EQ(h.segments, (std::vector<std::vector<int64_t>>{{0, 50, 0}, {51, 49, 51}}));
  const std::vector<std::string> head = {"GetASync",
                                         "HeaderEnd ContentLength = 100",
                                         "HeaderEnd AcceptRanges = bytes",
                                         "HeaderEnd DocName = f.skn",
                                         "HeaderEnd StatusCode = 200 OK",
                                         "GetASyncRequestDone",
                                         "GetASync"};
  ASSERT_GE(h.display.size(), head.size() + 4);
  EXPECT_EQ(std::vector<std::string>(h.display.begin(), h.display.begin() + 7), head);
  EXPECT_TRUE(h.Shown("Download done index = 0 OK"));
  EXPECT_TRUE(h.Shown("Download done index = 1 OK"));
  // "Done" and "All done" come last, before the report.
  EXPECT_EQ(h.displayAtDone, h.display.size());
  EXPECT_EQ(h.display[h.display.size() - 2], "Done");
  EXPECT_EQ(h.display.back(), "All done");
}

TEST(MultipartDownloader, FirstRequestOutcomes) {
  struct Case {
    const char* name;
    std::string reply;
    int code;
    std::string reason;
    std::string lastText;
  };
  const Case cases[] = {
      {"200 without length", "HTTP/1.0 200 OK\r\n\r\nbody", 3, "Download failed", "ErrorCode = 3"},
      {"404 page", "HTTP/1.0 404 Not Found\r\nContent-Length: 9\r\n\r\nnot here!", 404, "Not Found",
       "StatusCode = 404 Not Found"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ScriptedPeer peer({{ExpectUntil("\r\n\r\n"), Send(c.reply), ReadToEof()}});
    Harness h;
    h.dl.URL = Url(peer);
    h.dl.Start();
    ASSERT_TRUE(h.Wait());
    EXPECT_EQ(h.done, 1);
    EXPECT_EQ(h.errorCode, c.code);
    EXPECT_EQ(h.reason, c.reason);
    EXPECT_EQ(h.display.back(), c.lastText);
    EXPECT_EQ(h.dl.TotalDataCount(), 0);
    EXPECT_EQ(peer.AcceptedCount(), 1);   // no part was started
    EXPECT_NE(h.dl.FileStream, nullptr);  // left to the caller
    EXPECT_TRUE(h.log->writes.empty());
  }
  // A port nobody listens on: the socket's error number.
  Harness h;
  h.dl.URL = "http://127.0.0.1:" + std::to_string(test::UnusedLoopbackPort()) + "/";
  h.dl.Start();
  ASSERT_TRUE(h.Wait());
  EXPECT_EQ(h.errorCode, kSockConnectionRefused);
  EXPECT_EQ(h.reason, "Download failed");
}

TEST(MultipartDownloader, PartCountBelowTwoIsRefusedAndSendsNothing) {
  ScriptedPeer peer({Head(100)}, 500);
  for (int count : {1, 0, -3}) {
    SCOPED_TRACE(count);
    Harness h;
    h.dl.URL = Url(peer);
    h.dl.PartCount = count;
    try {
      h.dl.Start();
      ADD_FAILURE() << "Start accepted the part count";
    } catch (const ERangeError& e) {
      EXPECT_STREQ(e.what(), "PartCount must be positive");
    }
    EXPECT_FALSE(h.dl.Busy());
    EXPECT_TRUE(h.dl.Parts().empty());
    Dispatcher::current().runUntil([] { return false; }, 100);
    EXPECT_EQ(h.done, 0);
  }
  EXPECT_EQ(peer.AcceptedCount(), 0);
}

TEST(MultipartDownloader, StateFileNameGetsADirectoryWhenBare) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"Charm.skn.stat", ".\\Charm.skn.stat"},
      {"skins/Charm.skn.stat", "skins/Charm.skn.stat"},
      {"C:\\x\\a.stat", "C:\\x\\a.stat"},
      {"", ""},
  };
  for (const auto& [in, out] : cases) {
    SCOPED_TRACE(in);
    TMultipartDownloader dl;
    dl.SetStateFileName(in);
    EXPECT_EQ(dl.StateFileName(), out);
    if (!out.empty()) {
      EXPECT_FALSE(std::filesystem::exists(out));  // never written
    }
  }
}

TEST(MultipartDownloader, DroppedPartIsSentAgainFromItsStart) {
  ScriptedPeer peer({Head(100),
                     Reply(Partial("0-50/100", kData.substr(0, 51))),
                     // The connection breaks after 20 of the 49 bytes.
                     {ExpectUntil("\r\n\r\n"),
                      Send(Partial("51-99/100", kData.substr(51)).substr(0, 90)), Reset()},
                     Reply(Partial("51-99/100", kData.substr(51)))});
  Harness h;
  h.dl.URL = Url(peer);
  h.dl.Start();
  ASSERT_TRUE(h.Wait());
  ASSERT_TRUE(peer.Finish()) << peer.Failure();
  EXPECT_TRUE(Asked(peer, 3, "51-100"));
  EXPECT_EQ(h.done, 1);
  EXPECT_EQ(h.errorCode, 200);
  EXPECT_EQ(h.log->Flat(100), kData);
  EXPECT_GT(h.dl.TotalDataCount(), 100);  // both attempts count
  EXPECT_GT(h.dl.PercentComplete(), 100.0);
  EXPECT_TRUE(h.Shown("Restarting 1"));
  EXPECT_EQ(h.dl.Parts().at(1)->Attempts, 2);
}

// Replies whose bytes must not reach the file (they are all 'X'), followed by a good one.
TEST(MultipartDownloader, OnlyTheRightBytesReachTheFile) {
  const std::string xs(49, 'X');
  struct Case {
    const char* name;
    PeerScript bad;
    const char* shown;
  };
  const Case cases[] = {
      {"range starts elsewhere", Reply(Partial("50-98/100", xs)),
       "Download done index = 1  ErrorCode = 3"},
      {"total disagrees", Reply(Partial("51-99/120", xs)),
       "Download done index = 1  ErrorCode = 3"},
      {"no content range", Reply("HTTP/1.0 206 Partial Content\r\nContent-Length: 49\r\n\r\n" + xs),
       "Download done index = 1  ErrorCode = 3"},
      {"error page", Reply("HTTP/1.0 416 Range Not Satisfiable\r\nContent-Length: 49\r\n\r\n" + xs),
       "Download done index = 1  Status = 416"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ScriptedPeer peer({Head(100), Reply(Partial("0-50/100", kData.substr(0, 51))), c.bad,
                       Reply(Partial("51-99/100", kData.substr(51)))});
    Harness h;
    h.dl.URL = Url(peer);
    h.dl.Start();
    ASSERT_TRUE(h.Wait());
    EXPECT_EQ(h.errorCode, 200);
    EXPECT_EQ(h.log->Flat(100), kData);
    EXPECT_FALSE(h.log->AnyWriteHolds('X'));
    EXPECT_TRUE(h.Shown(c.shown));
    EXPECT_EQ(h.dl.TotalDataCount(), 100);
  }
}

TEST(MultipartDownloader, BodyLongerThanItsRangeIsCut) {
  // Part 0 is sent the whole resource with 'X' behind its range.
  const std::string longBody = kData.substr(0, 51) + std::string(49, 'X');
  ScriptedPeer peer({Head(100),
                     {ExpectUntil("\r\n\r\n"), Send(Partial("0-99/100", longBody)), ReadToEof()},
                     Reply(Partial("51-99/100", kData.substr(51)))});
  Harness h;
  h.dl.URL = Url(peer);
  h.dl.Start();
  ASSERT_TRUE(h.Wait());
  EXPECT_EQ(h.errorCode, 200);
  EXPECT_EQ(h.log->Flat(100), kData);
  EXPECT_FALSE(h.log->AnyWriteHolds('X'));
  EXPECT_TRUE(h.Shown("Download done index = 0 OK"));
}

TEST(MultipartDownloader, RelocatedPartAsksForTheRestAtTheNewPlace) {
  ScriptedPeer peer(
      {Head(100), Reply(Partial("0-50/100", kData.substr(0, 51))),
       Reply("HTTP/1.0 302 Found\r\nLocation: /moved.skn\r\nContent-Length: 10\r\n\r\nXXXXXXXXXX"),
       Reply(Partial("51-99/100", kData.substr(51)))});
  Harness h;
  h.dl.URL = Url(peer);
  h.dl.Start();
  ASSERT_TRUE(h.Wait());
  ASSERT_TRUE(peer.Finish()) << peer.Failure();
  EXPECT_EQ(peer.Received(3).rfind("GET /moved.skn HTTP/1.0\r\n", 0), 0u);
  EXPECT_TRUE(Asked(peer, 3, "51-100"));
  EXPECT_TRUE(h.Shown("LocationChange = " + Url(peer, "/moved.skn")));
  EXPECT_EQ(h.errorCode, 200);
  EXPECT_EQ(h.log->Flat(100), kData);
  EXPECT_FALSE(h.log->AnyWriteHolds('X'));
}

TEST(MultipartDownloader, ServerThatIgnoresRangesGivesOneWholeStream) {
  const std::string whole = "HTTP/1.0 200 OK\r\nContent-Length: 100\r\n\r\n" + kData;
  struct Case {
    const char* name;
    std::vector<PeerScript> parts;
  };
  const Case cases[] = {
      {"first part answered whole", {Reply(whole), {ReadToEof()}}},
      {"second part answered whole",
       {Reply(Partial("0-50/100", kData.substr(0, 51))), Reply(whole)}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<PeerScript> scripts = {Head(100)};
    scripts.insert(scripts.end(), c.parts.begin(), c.parts.end());
    ScriptedPeer peer(scripts);
    Harness h;
    h.dl.URL = Url(peer);
    h.dl.Start();
    ASSERT_TRUE(h.Wait());
    EXPECT_EQ(h.done, 1);
    EXPECT_EQ(h.errorCode, 200);
    EXPECT_EQ(h.reason, "OK");
    EXPECT_EQ(h.log->Flat(100), kData);
    EXPECT_EQ(h.dl.Parts().size(), 1u);
    EXPECT_EQ(h.dl.FileStream, nullptr);
  }
}

TEST(MultipartDownloader, PartThatNeverSucceedsIsGivenUpOnce) {
  // A failure never reports a success status: a short 206 gives up as 3, as 0 and 200 do.
  struct Case {
    const char* name;
    std::string reply;
    int code;
  };
  const Case cases[] = {
      {"server error", "HTTP/1.0 500 Internal Server Error\r\nContent-Length: 1\r\n\r\nX", 500},
      {"short 206",
       "HTTP/1.0 206 Partial Content\r\nContent-Range: bytes 1-50/100\r\nContent-Length: "
       "50\r\n\r\nX",
       3},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<PeerScript> scripts = {Head(100)};
    for (int i = 0; i < 8; ++i)
      scripts.push_back(Reply(c.reply));
    ScriptedPeer peer(scripts, 1000);
    Harness h;
    h.dl.MaxAttempts = 3;
    h.dl.URL = Url(peer);
    h.dl.Start();
    ASSERT_TRUE(h.Wait());
    Dispatcher::current().runUntil([] { return false; }, 500);
    EXPECT_EQ(h.done, 1);
    EXPECT_EQ(h.errorCode, c.code);
    EXPECT_NE(h.reason.find("failed 3 times"), std::string::npos) << h.reason;
    EXPECT_FALSE(h.dl.Busy());
    EXPECT_LE(peer.AcceptedCount(), 1 + 2 * 3);
    EXPECT_FALSE(h.log->AnyWriteHolds('X'));
    EXPECT_NE(h.dl.FileStream, nullptr);  // an incomplete file stays with the caller
  }
}

// The completion handler may destroy the downloader, after a whole transfer as after a given-up
// one; nothing of it is touched afterwards (a sanitizer build sees any use of freed memory).
TEST(MultipartDownloader, DestroyedFromItsOwnCompletionHandler) {
  const std::string failure = "HTTP/1.0 500 Internal Server Error\r\nContent-Length: 0\r\n\r\n";
  struct Case {
    const char* name;
    std::vector<PeerScript> scripts;
    int code;
  };
  const Case cases[] = {
      {"whole",
       {Head(100), Reply(Partial("0-50/100", kData.substr(0, 51))),
        Reply(Partial("51-99/100", kData.substr(51)))},
       200},
      {"given up", {Head(100), Reply(failure), Reply(failure)}, 500},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ScriptedPeer peer(c.scripts);
    auto dl = std::make_unique<TMultipartDownloader>();
    dl->PartCount = 2;
    dl->MaxAttempts = 1;
    dl->URL = Url(peer);
    dl->FileStream = std::make_unique<LoggingStream>(std::make_shared<WriteLog>());
    int code = -1;
    std::string reason;
    dl->OnRequestDone = [&](TMultipartDownloader*, int errorCode, const std::string& why) {
      dl.reset();
      code = errorCode;
      reason = why;
    };
    dl->Start();
    ASSERT_TRUE(Dispatcher::current().runUntil([&] { return dl == nullptr; }, 15000));
    Dispatcher::current().runUntil([] { return false; }, 300);
    EXPECT_EQ(code, c.code);
    EXPECT_FALSE(reason.empty());
  }
}

TEST(MultipartDownloader, TinyResourcesUseFewerParts) {
  struct Case {
    int64_t length;
    std::vector<std::pair<std::string, std::string>> parts;  // asked range, Content-Range
  };
  const Case cases[] = {
      {1, {{"0-1", "0-0/1"}}},
      {2, {{"0-2", "0-1/2"}}},
      {3, {{"0-1", "0-1/3"}, {"2-3", "2-2/3"}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.length);
    const std::string data = kData.substr(0, static_cast<size_t>(c.length));
    std::vector<PeerScript> scripts = {Head(c.length)};
    size_t at = 0;
    for (const auto& [asked, range] : c.parts) {
      const size_t len = range == "0-0/1" ? 1 : range == "2-2/3" ? 1 : 2;
      scripts.push_back(Reply(Partial(range, data.substr(at, len))));
      at += len;
    }
    ScriptedPeer peer(scripts);
    Harness h;
    h.dl.URL = Url(peer);
    h.dl.Start();
    ASSERT_TRUE(h.Wait());
    ASSERT_TRUE(peer.Finish()) << peer.Failure();
    for (size_t i = 0; i < c.parts.size(); ++i)
      EXPECT_TRUE(Asked(peer, i + 1, c.parts[i].first));
    EXPECT_EQ(h.dl.Parts().size(), c.parts.size());
    EXPECT_EQ(h.errorCode, 200);
    EXPECT_EQ(h.log->Flat(c.length), data);
  }
}

TEST(MultipartDownloader, SplitArithmetic) {
  struct Case {
    int64_t length;
    int wanted;
    std::vector<TPartRange> ranges;
  };
  const int64_t big = int64_t{5} << 30;  // 5 GiB
  const Case cases[] = {
      {100, 2, {{0, 50}, {51, 100}}},
      {100, 3, {{0, 33}, {34, 67}, {68, 100}}},
      {1, 2, {{0, 1}}},
      {2, 2, {{0, 2}}},
      {3, 3, {{0, 1}, {2, 3}}},
      {big, 2, {{0, big / 2}, {big / 2 + 1, big}}},
      {INT64_MAX, 2, {{0, INT64_MAX / 2}, {INT64_MAX / 2 + 1, INT64_MAX}}},
      {1000, 1000, {}},  // checked below: capped, every part inside
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.length);
    const int n = EffectivePartCount(c.length, c.wanted);
    const std::vector<TPartRange> got = SplitRanges(c.length, n);
    if (!c.ranges.empty()) {
      ASSERT_EQ(got.size(), c.ranges.size());
      for (size_t i = 0; i < got.size(); ++i) {
        EXPECT_EQ(got[i].Start, c.ranges[i].Start) << i;
        EXPECT_EQ(got[i].End, c.ranges[i].End) << i;
      }
    }
    ASSERT_LE(n, TMultipartDownloader::kMaxParts);
    // No gap, no overlap, every part starts inside the resource.
    for (size_t i = 0; i < got.size(); ++i) {
      EXPECT_LT(got[i].Start, c.length);
      if (i > 0) {
        EXPECT_EQ(got[i].Start, got[i - 1].End + 1);
      }
    }
    EXPECT_EQ(got.back().End, c.length);
  }
}

TEST(MultipartDownloader, OffsetsPastTwoGibibytes) {
  const int64_t length = int64_t{5} << 30;
  const int64_t second = length / 2 + 1;
  const std::string range1 =
      std::to_string(second) + "-" + std::to_string(length - 1) + "/" + std::to_string(length);
  const auto shortPart = [](const std::string& range, const std::string& bytes) {
    // A length far beyond what is sent: the close leaves the part short.
    return PeerScript{ExpectUntil("\r\n\r\n"),
                      Send("HTTP/1.0 206 Partial Content\r\nContent-Range: bytes " + range +
                           "\r\nContent-Length: 1000\r\n\r\n" + bytes),
                      Close()};
  };
  ScriptedPeer peer(
      {Head(length),
       shortPart("0-" + std::to_string(length / 2) + "/" + std::to_string(length), "head"),
       shortPart(range1, "tail")});
  Harness h;
  h.dl.RetryPauseMs = 60000;  // no retry within the test
  h.dl.URL = Url(peer);
  h.dl.Start();
  ASSERT_TRUE(Dispatcher::current().runUntil([&] { return h.log->writes.size() == 2; }, 15000));
  ASSERT_TRUE(peer.Finish()) << peer.Failure();
  EXPECT_TRUE(Asked(peer, 2, std::to_string(second) + "-" + std::to_string(length)));
  EXPECT_EQ(h.log->writes.at(0), "head");
  EXPECT_EQ(h.log->writes.at(second), "tail");
  EXPECT_EQ(h.segments.at(1), (std::vector<int64_t>{second, length - second, second}));
  h.dl.Abandon();
  Dispatcher::current().runUntil([] { return false; }, 200);
  EXPECT_EQ(h.done, 0);
  EXPECT_FALSE(h.dl.Busy());
}

TEST(MultipartDownloader, StartDuringATransferSilencesTheOldOne) {
  // The old transfer's first reply comes late; by then it has been replaced.
  ScriptedPeer old({{ExpectUntil("\r\n\r\n"), Delay(800),
                     Send("HTTP/1.0 404 Not Found\r\nContent-Length: 0\r\n\r\n"), ReadToEof()}});
  ScriptedPeer fresh({Head(100), Reply(Partial("0-50/100", kData.substr(0, 51))),
                      Reply(Partial("51-99/100", kData.substr(51)))});
  Harness h;
  h.dl.URL = Url(old);
  h.dl.Start();
  Dispatcher::current().runUntil([&] { return old.AcceptedCount() == 1; }, 5000);
  h.dl.URL = Url(fresh);
  h.dl.Start();
  ASSERT_TRUE(h.Wait());
  Dispatcher::current().runUntil([] { return false; }, 1200);
  EXPECT_EQ(h.done, 1);
  EXPECT_EQ(h.errorCode, 200);
  EXPECT_EQ(h.log->Flat(100), kData);
}

// An owner that starts the next transfer from its completion handler, as the skin window does.
TEST(MultipartDownloader, StartFromTheCompletionHandler) {
  ScriptedPeer first({Head(100), Reply(Partial("0-50/100", kData.substr(0, 51))),
                      Reply(Partial("51-99/100", kData.substr(51)))});
  ScriptedPeer second({{ExpectUntil("\r\n\r\n"),
                        Send("HTTP/1.0 404 Not Found\r\nContent-Length: 0\r\n\r\n"), ReadToEof()}});
  Harness h;
  std::vector<int> codes;
  h.dl.OnRequestDone = [&](TMultipartDownloader* d, int code, const std::string&) {
    codes.push_back(code);
    if (codes.size() == 1) {
      d->URL = Url(second);
      d->FileStream = std::make_unique<LoggingStream>(std::make_shared<WriteLog>());
      d->Start();
    }
  };
  h.dl.URL = Url(first);
  h.dl.Start();
  ASSERT_TRUE(Dispatcher::current().runUntil([&] { return codes.size() == 2; }, 15000));
  Dispatcher::current().runUntil([] { return false; }, 300);
  EXPECT_EQ(codes, (std::vector<int>{200, 404}));
  EXPECT_EQ(h.log->Flat(100), kData);
  EXPECT_FALSE(h.dl.Busy());
}

// Part 0 is sent to a second peer, so both parts are served at the same time, each body in
// pieces: their data events alternate and each part's bytes still land in its own range.
TEST(MultipartDownloader, InterleavedPartsKeepToTheirRanges) {
  const auto slow = [](const std::string& range, const std::string& body) {
    return PeerScript{ExpectUntil("\r\n\r\n"),
                      Send(Partial(range, body), {80, 10, 10, 10, 10}, 150), Close()};
  };
  ScriptedPeer other({slow("0-50/100", kData.substr(0, 51))}, 8000);
  ScriptedPeer peer(
      {Head(100),
       Reply("HTTP/1.0 302 Found\r\nLocation: " + Url(other) + "\r\nContent-Length: 0\r\n\r\n"),
       slow("51-99/100", kData.substr(51))},
      8000);
  Harness h;
  h.dl.URL = Url(peer);
  h.dl.Start();
  ASSERT_TRUE(h.Wait());
  ASSERT_TRUE(peer.Finish()) << peer.Failure();
  ASSERT_TRUE(other.Finish()) << other.Failure();
  EXPECT_TRUE(Asked(other, 0, "0-50"));
  EXPECT_EQ(h.errorCode, 200);
  EXPECT_EQ(h.log->Flat(100), kData);
  int switches = 0;
  for (size_t i = 1; i < h.positionIndexes.size(); ++i)
    switches += h.positionIndexes[i] != h.positionIndexes[i - 1] ? 1 : 0;
  EXPECT_GE(switches, 2);
}

TEST(MultipartDownloader, StalledPartTimesOutAndIsSentAgain) {
  ScriptedPeer peer({Head(100),
                     Reply(Partial("0-50/100", kData.substr(0, 51))),
                     {ExpectUntil("\r\n\r\n"), Delay(3500), Close()},
                     Reply(Partial("51-99/100", kData.substr(51)))},
                    8000);
  Harness h;
  h.dl.IdleTimeout = 1;
  h.dl.URL = Url(peer);
  h.dl.Start();
  ASSERT_TRUE(h.Wait(20000));
  EXPECT_TRUE(h.Shown("Download done index = 1  ErrorCode = 10060"));
  EXPECT_EQ(h.errorCode, 200);
  EXPECT_EQ(h.log->Flat(100), kData);
}

}  // namespace
}  // namespace qelo::net
