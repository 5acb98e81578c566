#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "client_actions.h"
#include "demo_data.h"
#include "form_body.h"
#include "front_end.h"
#include "index_db.h"
#include "reply_stream.h"
#include "request_head.h"
#include "result_page.h"
#include "search_reply.h"
#include "short_word_index.h"
#include "skin_files.h"
#include "text/gbk.h"

namespace qelo::service {
namespace {

TEST(FormBody, SplitsAtAmpersandThenFirstEqualsWithoutDecoding) {
  using F = std::vector<FormField>;
  const struct {
    std::string body;
    F fields;
  } cases[] = {
      {"", {}},
      {"action=search&word=abc", {{"action", "search"}, {"word", "abc"}}},
      {"word=a=b", {{"word", "a=b"}}},
      {"word=%41+b", {{"word", "%41+b"}}},
      {"flag", {{"flag", ""}}},
      {"a=&=b", {{"a", ""}, {"", "b"}}},
      {"&&", {{"", ""}, {"", ""}, {"", ""}}},
      {"content=x\r\ny&file_id=7", {{"content", "x\r\ny"}, {"file_id", "7"}}},
  };
  for (const auto& c : cases)
    EXPECT_EQ(FormBody(c.body).Fields(), c.fields) << c.body;

  const FormBody form("word=first&word=second&empty=");
  EXPECT_EQ(form.Value("word"), "first");
  EXPECT_EQ(form.Value("empty"), "");
  EXPECT_FALSE(form.Value("missing").has_value());
}

TEST(ByteRanges, ResolveAgainstTheFileSize) {
  using K = ByteRange::Kind;
  const struct {
    std::string header;
    int64_t size;
    K kind;
    int64_t first, last;
  } cases[] = {
      {"", 100, K::kWhole, 0, 99},
      {"bytes=0-50", 100, K::kPartial, 0, 50},
      {"bytes=51-100", 100, K::kPartial, 51, 99},
      {"bytes=51-99999999999999999999999", 100, K::kPartial, 51, 99},
      {"bytes=90-", 100, K::kPartial, 90, 99},
      {"bytes=-10", 100, K::kPartial, 90, 99},
      {"bytes=-500", 100, K::kPartial, 0, 99},
      {"Bytes= 5 - 6 ", 100, K::kPartial, 5, 6},
      {"bytes=99-99", 100, K::kPartial, 99, 99},
      {"bytes=100-150", 100, K::kUnsatisfiable, 0, 0},
      {"bytes=1-1", 1, K::kUnsatisfiable, 0, 0},
      {"bytes=0-0", 0, K::kUnsatisfiable, 0, 0},
      {"bytes=-0", 100, K::kUnsatisfiable, 0, 0},
      {"bytes=9-3", 100, K::kWhole, 0, 99},
      {"bytes=0-1,5-6", 100, K::kWhole, 0, 99},
      {"items=0-1", 100, K::kWhole, 0, 99},
      {"bytes=a-b", 100, K::kWhole, 0, 99},
      {"bytes=-", 100, K::kWhole, 0, 99},
  };
  for (const auto& c : cases) {
    const ByteRange r = ResolveRange(c.header, c.size);
    EXPECT_EQ(r.kind, c.kind) << c.header;
    if (c.kind != K::kUnsatisfiable) {
      EXPECT_EQ(r.first, c.first) << c.header;
      EXPECT_EQ(r.last, c.last) << c.header;
    }
  }
}

TEST(SkinNames, OnlyPlainNamesAreAccepted) {
  for (const char* ok : {"Charm", "Blue-2", "深蓝", "a.b"})
    EXPECT_TRUE(IsSafeSkinName(ok)) << ok;
  for (const char* bad :
       {"", "..", "../x", "a/b", "a\\b", ".hidden", "a b", "a,b", "a|b", "a\"b", "a\tb", "x..y"}) {
    EXPECT_FALSE(IsSafeSkinName(bad)) << bad;
  }
  // A GBK name whose trail byte is 0x5C is one character, not a backslash.
  const std::string gbk = text::Utf8ToGbk("乗");
  ASSERT_EQ(gbk.size(), 2u);
  ASSERT_EQ(gbk[1], '\\');
  EXPECT_TRUE(SkinStore::AcceptsName(gbk));
  EXPECT_FALSE(SkinStore::AcceptsName("\xFF\xFF"));
}

TEST(SearchMatching, AsciiLettersIgnoreCaseOtherBytesMatchExactly) {
  const struct {
    std::string hay, needle;
    bool match;
  } cases[] = {
      {"Photoshop CS6.rar", "PHOTO", true},
      {"Photoshop CS6.rar", "cs6.RAR", true},
      {"Photoshop", "photoshopx", false},
      {"考研数学教程.pdf", "数学", true},
      {"考研数学教程.pdf", "数教", false},
      {"ÀB", "àb", false},
      {"abc", "", true},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ContainsAsciiNoCase(c.hay, c.needle), c.match) << c.hay << " / " << c.needle;
  }
}

TEST(ShortWordIndex, FindsOneAndTwoCharacterWordsInRankOrder) {
  ShortWordIndex index;
  const char* names[] = {"QQ影音 2013.exe", "考研数学.pdf", "Qt教程.rar", "数学qq.txt", "学数.doc"};
  for (int i = 0; i < 5; ++i)
    index.Add(i + 1, names[i]);
  using V = std::vector<int64_t>;
  const struct {
    std::string word;
    V found;
  } cases[] = {
      {"qq", {1, 4}},    {"Qq", {1, 4}}, {"q", {1, 3, 4}}, {"数学", {2, 4}},
      {"学", {2, 4, 5}}, {"t教", {3}},   {"音 ", {1}},     {"x", {1, 4}},
      {"zz", {}},        {"数q", {}},    {"", {}},         {"考研数", {}},
  };
  for (const auto& c : cases)
    EXPECT_EQ(index.Find(c.word, 10), c.found) << c.word;
  EXPECT_EQ(index.Find("q", 2), (V{1, 3}));
}

TEST(SearchReply, EscapesTextAndMixesValueForms) {
  EXPECT_EQ(JsonString("a\"b\\c\n\x01"), R"("a\"b\\c\u000a\u0001")");
  FileRow row{10004, "名\"字.rar", "rar", 1234, 56, 78, "2013-09-11 10:00:00", "http://x/s/1"};
  EXPECT_EQ(SearchReplyJson({row}),
            R"([{"file_id":10004,"file_name":"名\"字.rar","file_extension":"rar",)"
            R"("file_size":1234,"file_value":56,"file_views":78,)"
            R"("file_time":"2013-09-11 10:00:00","s_url":"http://x/s/1"}])");
  row.file_id = 10005;
  EXPECT_NE(SearchReplyJson({row}).find(R"("file_id":"10005")"), std::string::npos);
  EXPECT_NE(SearchReplyJson({row}).find(R"("file_size":"1234")"), std::string::npos);
  EXPECT_EQ(SearchReplyJson({}), "[]");
}

TEST(ClientActions, ScoresAndFileIds) {
  const char* scores[] = {"10分满意", "9分满意", "8分优秀", "7分一般", "6分及格",
                          "5分中等",  "4分中下", "3分差劲", "2分不行", "1分不值"};
  for (int i = 0; i < 10; ++i)
    EXPECT_EQ(ScorePoints(text::Utf8ToGbk(scores[i])), 10 - i);
  EXPECT_FALSE(ScorePoints("10分满意").has_value());  // UTF-8 bytes, not GBK
  EXPECT_FALSE(ScorePoints(text::Utf8ToGbk("- 请选择 -")).has_value());
  EXPECT_EQ(ParseFileId("10001"), 10001);
  for (const char* bad : {"", "-1", "+1", " 1", "1 ", "1e3", "9999999999999999999"}) {
    EXPECT_FALSE(ParseFileId(bad).has_value()) << bad;
  }
}

TEST(DemoData, RowsAreStableAndCoverEveryUnit) {
  EXPECT_EQ(MakeDemoRow(42), MakeDemoRow(42));
  EXPECT_NE(MakeDemoRow(42), MakeDemoRow(43));
  // "9" stands for any digit, every other character for itself.
  auto shaped = [](const std::string& s, std::string_view shape) {
    return s.size() == shape.size() &&
           std::equal(s.begin(), s.end(), shape.begin(),
                      [](char c, char p) { return p == '9' ? (c >= '0' && c <= '9') : c == p; });
  };
  std::set<std::string> units;
  bool chinese = false, ascii_only = false;
  for (uint64_t i = 0; i < 5000; ++i) {
    const FileRow r = MakeDemoRow(i);
    ASSERT_EQ(r.file_id, kFirstDemoFileId + static_cast<int64_t>(i));
    ASSERT_TRUE(r.file_name.ends_with("." + r.file_extension)) << r.file_name;
    ASSERT_GE(r.file_size, 1);
    ASSERT_LE(r.file_size, kMaxDemoFileSize);
    ASSERT_TRUE(r.file_value >= 0 && r.file_value <= 100);
    ASSERT_TRUE(shaped(r.file_time, "9999-99-99 99:99:99")) << r.file_time;
    ASSERT_GE(r.file_time, "2011-01-01");
    ASSERT_LE(r.file_time, "2013-09-12");
    ASSERT_TRUE(r.s_url.starts_with("http://") &&
                r.s_url.find(".example.com/s/") != std::string::npos)
        << r.s_url;
    ASSERT_EQ(r.s_url.size() - r.s_url.rfind('/') - 1, 8u) << r.s_url;
    // Every name must survive the trip to GBK.
    ASSERT_EQ(text::GbkToUtf8(text::Utf8ToGbk(r.file_name)), r.file_name);
    const std::string size = HumanSize(r.file_size);
    units.insert(size.substr(size.size() - 2) == "KB" || size.ends_with("MB") ||
                         size.ends_with("GB")
                     ? size.substr(size.size() - 2)
                     : "B");
    const bool has_high = std::any_of(r.file_name.begin(), r.file_name.end(),
                                      [](char c) { return static_cast<unsigned char>(c) >= 0x80; });
    (has_high ? chinese : ascii_only) = true;
  }
  EXPECT_EQ(units, (std::set<std::string>{"B", "KB", "MB", "GB"}));
  EXPECT_TRUE(chinese && ascii_only);
}

TEST(IndexDb, CreatesOnceAndKeepsRatingsForExistingFilesOnly) {
  const auto path = std::filesystem::temp_directory_path() /
                    ("qelo-index-test-" + std::to_string(::getpid()) + ".db");
  std::filesystem::remove(path);
  {
    IndexDb db(path.string(), 200);
    EXPECT_TRUE(db.Created());
    EXPECT_EQ(db.FileCount(), 200);
    EXPECT_EQ(db.Find(kFirstDemoFileId + 7), MakeDemoRow(7));
    EXPECT_FALSE(db.Find(kFirstDemoFileId + 200).has_value());
    EXPECT_TRUE(db.AddRating(kFirstDemoFileId, "10分满意", 10));
    EXPECT_FALSE(db.AddRating(kFirstDemoFileId - 1, "10分满意", 10));
    EXPECT_FALSE(db.AddReport(kFirstDemoFileId + 200, "x"));
    EXPECT_TRUE(db.Search("", 10).empty());
    // A word with a double quote must not break the full-text query.
    EXPECT_TRUE(db.Search("ab\"c", 10).empty());
  }
  IndexDb again(path.string(), 999);
  EXPECT_FALSE(again.Created());
  EXPECT_EQ(again.FileCount(), 200);
  for (const char* suffix : {"", "-wal", "-shm"}) {
    std::filesystem::remove(path.string() + suffix);
  }
}

TEST(IndexDb, RefusesAFilesTableOfAnotherLayout) {
  const auto path = std::filesystem::temp_directory_path() /
                    ("qelo-index-foreign-" + std::to_string(::getpid()) + ".db");
  std::filesystem::remove(path);
  sqlite3* raw = nullptr;
  ASSERT_EQ(sqlite3_open(path.c_str(), &raw), SQLITE_OK);
  sqlite3_exec(raw, "CREATE TABLE files(file_id INTEGER PRIMARY KEY, file_name TEXT)", nullptr,
               nullptr, nullptr);
  sqlite3_close(raw);
  EXPECT_THROW(IndexDb(path.string(), 10), IndexDbError);
  std::filesystem::remove(path);
}

TEST(ResultPage, EscapesTheFileName) {
  FileRow row{10001, "<b>&\"x\".rar", "rar", 1536, 1, 2, "2013-01-01 00:00:00", "http://a/s/\"q"};
  const std::string html = ResultPageHtml(row);
  EXPECT_EQ(html.find("<b>"), std::string::npos);
  EXPECT_NE(html.find("&lt;b&gt;&amp;&quot;x&quot;.rar"), std::string::npos);
  EXPECT_NE(html.find("href=\"http://a/s/&quot;q\""), std::string::npos);
  EXPECT_NE(html.find("1.50KB"), std::string::npos);
}

}  // namespace
}  // namespace qelo::service

namespace qelo::service {
namespace {

TEST(RequestHead, FramingDecidedFromTheHeadAlone) {
  using K = RequestFraming::Kind;
  const std::string get = "GET / HTTP/1.1\r\nHost: h\r\n\r\n";
  const struct {
    const char* name;
    std::string bytes;
    K kind;
    size_t head_bytes, body_bytes;
    int status;
  } cases[] = {
      {"nothing yet", "", K::kIncomplete, 0, 0, 0},
      {"half a head", "GET / HTTP/1.1\r\nHost: h\r\n", K::kIncomplete, 0, 0, 0},
      {"whole GET", get, K::kComplete, get.size(), 0, 0},
      {"LF only lines", "GET / HTTP/1.0\nHost: h\n\n", K::kComplete, 24, 0, 0},
      {"blank lines first", "\r\n" + get, K::kComplete, get.size() + 2, 0, 0},
      {"body still coming", "POST / HTTP/1.0\r\nContent-Length: 5\r\n\r\nab", K::kIncomplete, 0, 0,
       0},
      {"body whole, next request behind", "POST / HTTP/1.0\r\nContent-Length: 2\r\n\r\nab" + get,
       K::kComplete, 38, 2, 0},
      {"length with blanks", "POST / HTTP/1.0\r\ncontent-length:  2 \r\n\r\nab", K::kComplete, 40,
       2, 0},
      {"same length twice", "POST / HTTP/1.0\r\nContent-Length: 2\r\nContent-Length: 2\r\n\r\nab",
       K::kComplete, 57, 2, 0},
      {"chunked", "POST / HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n", K::kRefuse, 0, 0, 411},
      {"any coding", "POST / HTTP/1.1\r\nTRANSFER-ENCODING: gzip\r\n\r\n", K::kRefuse, 0, 0, 411},
      {"negative length", "POST / HTTP/1.1\r\nContent-Length: -1\r\n\r\n", K::kRefuse, 0, 0, 400},
      {"empty length", "POST / HTTP/1.1\r\nContent-Length:\r\n\r\n", K::kRefuse, 0, 0, 400},
      {"lengths differ", "POST / HTTP/1.1\r\nContent-Length: 1\r\nContent-Length: 2\r\n\r\n",
       K::kRefuse, 0, 0, 400},
      {"10^20", "POST / HTTP/1.1\r\nContent-Length: 100000000000000000000\r\n\r\n", K::kRefuse, 0,
       0, 413},
      {"past the body limit", "POST / HTTP/1.1\r\nContent-Length: 1025\r\n\r\n", K::kRefuse, 0, 0,
       413},
      {"head past its limit, unfinished", "GET / HTTP/1.1\r\nX: " + std::string(300, 'a'),
       K::kRefuse, 0, 0, 431},
      {"head past its limit, finished",
       "GET / HTTP/1.1\r\nX: " + std::string(300, 'a') + "\r\n\r\n", K::kRefuse, 0, 0, 431},
  };
  const RequestLimits limits{.max_head_bytes = 256, .max_body_bytes = 1024};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const RequestFraming f = InspectRequest(c.bytes, limits);
    EXPECT_EQ(f.kind, c.kind);
    EXPECT_EQ(f.status, c.status);
    if (c.kind == K::kComplete) {
      EXPECT_EQ(f.head_bytes, c.head_bytes);
      EXPECT_EQ(f.body_bytes, c.body_bytes);
    }
  }
}

TEST(RequestHead, RangeAndExpectAreTakenOutOfTheHead) {
  const RequestFraming f = InspectRequest(
      "POST /x HTTP/1.1\r\nHost: h\r\nRange: bytes=9-3\r\nExpect: 100-continue\r\n"
      "Content-Length: 1\r\n\r\n",
      RequestLimits{});
  EXPECT_EQ(f.kind, RequestFraming::Kind::kIncomplete);
  EXPECT_TRUE(f.head_complete);
  EXPECT_TRUE(f.expects_continue);
  EXPECT_EQ(f.range, "bytes=9-3");
  EXPECT_EQ(f.head, "POST /x HTTP/1.1\r\nHost: h\r\nContent-Length: 1\r\n\r\n");
}

// Over a packet socket pair every send arrives as one packet, so the number of packets read
// is the number of sends the reply took.
std::vector<std::string> Packets(int fd) {
  std::vector<std::string> out;
  char buf[1 << 17];
  for (;;) {
    const ssize_t n = recv(fd, buf, sizeof buf, MSG_DONTWAIT);
    if (n <= 0) return out;
    out.emplace_back(buf, static_cast<size_t>(n));
  }
}

TEST(ReplyStream, ASmallReplyLeavesInOneSendAndALargeOneInGatheredBlocks) {
  int pair[2];
  ASSERT_EQ(socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, pair), 0);
  {
    ReplyStream s(pair[0], "GET / HTTP/1.1\r\n\r\n", std::chrono::milliseconds(1000));
    char line[64];
    EXPECT_EQ(s.read(line, sizeof line), 18);
    EXPECT_EQ(s.read(line, sizeof line), 0);
    EXPECT_FALSE(s.is_readable());
    EXPECT_EQ(s.write("HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\n", 38), 38);
    EXPECT_EQ(s.write("ok", 2), 2);
    EXPECT_TRUE(s.Flush());
  }
  const auto small = Packets(pair[1]);
  ASSERT_EQ(small.size(), 1u);
  EXPECT_EQ(small[0], "HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok");

  {
    ReplyStream s(pair[0], "", std::chrono::milliseconds(1000));
    const std::string block(1000, 'b');
    for (int i = 0; i < 70; ++i)
      ASSERT_EQ(s.write(block.data(), block.size()), 1000);
    EXPECT_TRUE(s.Flush());
  }
  const auto large = Packets(pair[1]);
  ASSERT_EQ(large.size(), 2u);  // sent once 64 KiB had gathered, then the rest
  EXPECT_EQ(large[0].size(), 66000u);
  EXPECT_EQ(large[1].size(), 4000u);
  close(pair[0]);
  close(pair[1]);
}

TEST(ReplyStream, AConnectionThatTakesNothingFailsTheReplyAfterTheStall) {
  int pair[2];
  ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair), 0);
  const int small = 4096;
  setsockopt(pair[0], SOL_SOCKET, SO_SNDBUF, &small, sizeof small);
  fcntl(pair[0], F_SETFL, O_NONBLOCK);
  ReplyStream s(pair[0], "", std::chrono::milliseconds(50));
  const std::string block(ReplyStream::kGatherBytes, 'x');
  ssize_t last = 0;
  for (int i = 0; i < 64 && last >= 0; ++i)
    last = s.write(block.data(), block.size());
  EXPECT_EQ(last, -1);
  EXPECT_FALSE(s.is_writable());
  close(pair[0]);
  close(pair[1]);
}

}  // namespace
}  // namespace qelo::service

namespace qelo::service {
namespace {

// A front end on a free loopback port whose every request gets "ok" and a close.
class RunningFrontEnd {
 public:
  explicit RunningFrontEnd(FrontEndOptions options)
      : front_(
            options,
            [this](ReplyStream& s, bool, bool& closed, const std::string&) {
              ++served_;
              closed = true;
              const std::string reply = "HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok";
              return s.write(reply.data(), reply.size()) > 0;
            },
            nullptr) {
    port_ = front_.Bind("127.0.0.1", 0);
    thread_ = std::thread([this] { front_.Run(); });
  }
  ~RunningFrontEnd() {
    front_.Stop();
    thread_.join();
  }
  int Port() const { return port_; }
  int Served() const { return served_; }

 private:
  FrontEnd front_;
  std::atomic<int> served_{0};
  int port_ = -1;
  std::thread thread_;
};

int ConnectTo(int port) {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(static_cast<uint16_t>(port));
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
    close(fd);
    return -1;
  }
  timeval tv{10, 0};  // every read below is bounded
  setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
  return fd;
}

void SendText(int fd, std::string_view text) {
  ASSERT_EQ(send(fd, text.data(), text.size(), MSG_NOSIGNAL), static_cast<ssize_t>(text.size()));
}

// Reads until the connection ends or `until` has been seen.
std::string ReadFrom(int fd, std::string_view until = {}) {
  std::string got;
  char buf[4096];
  while (until.empty() || got.find(until) == std::string::npos) {
    const ssize_t n = recv(fd, buf, sizeof buf, 0);
    if (n <= 0) break;
    got.append(buf, static_cast<size_t>(n));
  }
  return got;
}

TEST(FrontEnd, ABodyThatDoesNotArriveInTimeEndsTheConnectionWith408) {
  FrontEndOptions options;
  options.head_timeout = options.body_timeout = std::chrono::milliseconds(300);
  RunningFrontEnd front(options);
  const int fd = ConnectTo(front.Port());
  ASSERT_GE(fd, 0);
  SendText(fd, "POST / HTTP/1.1\r\nContent-Length: 10\r\n\r\nab");
  EXPECT_TRUE(ReadFrom(fd).starts_with("HTTP/1.1 408 "));
  EXPECT_EQ(front.Served(), 0);
  close(fd);
}

TEST(FrontEnd, AnExpectedContinueIsAnsweredBeforeTheBodyIsRead) {
  RunningFrontEnd front(FrontEndOptions{});
  const int fd = ConnectTo(front.Port());
  ASSERT_GE(fd, 0);
  SendText(fd, "POST / HTTP/1.1\r\nExpect: 100-continue\r\nContent-Length: 2\r\n\r\n");
  EXPECT_EQ(ReadFrom(fd, "\r\n\r\n"), "HTTP/1.1 100 Continue\r\n\r\n");
  SendText(fd, "ab");
  EXPECT_TRUE(ReadFrom(fd).ends_with("\r\n\r\nok"));
  EXPECT_EQ(front.Served(), 1);
  close(fd);
}

TEST(FrontEnd, ConnectionsPastTheLimitAreClosedUnserved) {
  FrontEndOptions options;
  options.max_connections = 2;
  RunningFrontEnd front(options);
  const int held[2] = {ConnectTo(front.Port()), ConnectTo(front.Port())};
  ASSERT_GE(held[0], 0);
  ASSERT_GE(held[1], 0);
  // The two held connections are accepted first: the next one is one too many.
  SendText(held[0], "GET");
  SendText(held[1], "GET");
  const int extra = ConnectTo(front.Port());
  ASSERT_GE(extra, 0);
  SendText(extra, "GET / HTTP/1.1\r\n\r\n");
  EXPECT_EQ(ReadFrom(extra), "");
  // A held connection is still served.
  SendText(held[0], " / HTTP/1.1\r\n\r\n");
  EXPECT_TRUE(ReadFrom(held[0]).ends_with("ok"));
  EXPECT_EQ(front.Served(), 1);
  for (int fd : {held[0], held[1], extra})
    close(fd);
}

}  // namespace
}  // namespace qelo::service
