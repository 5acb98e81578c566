#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "client_actions.h"
#include "demo_data.h"
#include "form_body.h"
#include "head_checks.h"
#include "index_db.h"
#include "result_page.h"
#include "search_reply.h"
#include "server.h"
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

TEST(HeadChecks, RefusalsDecidedBeforeTheBody) {
  const struct {
    const char* name;
    bool coding;
    std::vector<std::string_view> lengths;
    std::optional<int> status;
  } cases[] = {
      {"no body", false, {}, std::nullopt},
      {"plain length", false, {"1024"}, std::nullopt},
      {"length with blanks", false, {"  2 "}, std::nullopt},
      {"same length twice", false, {"2", "002"}, std::nullopt},
      {"any transfer coding", true, {}, 411},
      {"coding and a length", true, {"2"}, 411},
      {"negative length", false, {"-1"}, 400},
      {"empty length", false, {""}, 400},
      {"not a number", false, {"12ab"}, 400},
      {"lengths differ", false, {"1", "2"}, 400},
      {"past the body limit", false, {"1025"}, 413},
      {"10^20", false, {"100000000000000000000"}, 413},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const auto refusal = RefuseBeforeBody(c.coding, c.lengths, 1024);
    EXPECT_EQ(refusal ? std::optional(refusal->status) : std::nullopt, c.status);
  }
}

// `path` with any file of that name removed.
std::string Fresh(const std::filesystem::path& path) {
  std::filesystem::remove(path);
  return path.string();
}

// The service on a free loopback port of this process, with short deadlines and few connections.
class RunningService {
 public:
  explicit RunningService(ServerOptions options)
      : path_(std::filesystem::temp_directory_path() /
              ("qelo-server-test-" + std::to_string(::getpid()) + ".db")),
        db_(Fresh(path_), 20),
        skins_(path_.parent_path().string()),
        server_(db_, skins_, options, [this](std::string_view line) {
          std::lock_guard lock(log_mutex_);
          log_.emplace_back(line);
        }) {
    port_ = server_.Bind("127.0.0.1", 0);
    thread_ = std::thread([this] { server_.Run(); });
  }
  ~RunningService() {
    server_.Stop();
    thread_.join();
    for (const char* suffix : {"", "-wal", "-shm"})
      std::filesystem::remove(path_.string() + suffix);
  }
  int Port() const { return port_; }
  size_t Served() {
    std::lock_guard lock(log_mutex_);
    return static_cast<size_t>(std::count_if(log_.begin(), log_.end(), [](const std::string& l) {
      return l.find(" 200 ") != std::string::npos;
    }));
  }

 private:
  std::filesystem::path path_;
  IndexDb db_;
  SkinStore skins_;
  std::mutex log_mutex_;
  std::vector<std::string> log_;
  ServiceServer server_;
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
  size_t sent = 0;
  while (sent < text.size()) {
    const ssize_t n = send(fd, text.data() + sent, text.size() - sent, MSG_NOSIGNAL);
    ASSERT_GT(n, 0);
    sent += static_cast<size_t>(n);
  }
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

constexpr std::string_view kListRequest =
    "POST /zelk_client.php HTTP/1.1\r\nHost: h\r\nContent-Length: 11\r\n\r\naction=list";

ServerOptions ShortDeadlines() {
  ServerOptions options;
  options.threads = 2;
  options.head_timeout = options.body_timeout = std::chrono::milliseconds(300);
  return options;
}

TEST(ServiceServer, ARequestNotCompleteInTimeEndsTheConnectionWith408) {
  RunningService service(ShortDeadlines());
  const struct {
    const char* name;
    std::string sent;
  } cases[] = {
      {"body short of its length",
       "POST /zelk_client.php HTTP/1.1\r\nContent-Length: 10\r\n\r\nab"},
      {"head unfinished", "GET /bbs/ HTTP/1.1\r\nHost: h\r\n"},
      // The second head on a kept connection has its own deadline.
      {"second head unfinished", std::string(kListRequest) + "GET /bbs/ HTTP/1.1\r\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const int fd = ConnectTo(service.Port());
    ASSERT_GE(fd, 0);
    SendText(fd, c.sent);
    // A client that keeps dripping bytes is cut all the same.
    for (int i = 0; i < 6; ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
      send(fd, "a", 1, MSG_NOSIGNAL);
    }
    const std::string got = ReadFrom(fd);
    EXPECT_NE(got.find("HTTP/1.1 408 "), std::string::npos) << got;
    close(fd);
  }
  EXPECT_EQ(service.Served(), 1u);  // the first request of the kept connection only
}

TEST(ServiceServer, AnExpectedContinueIsAnsweredBeforeTheBodyIsRead) {
  RunningService service(ServerOptions{});
  const int fd = ConnectTo(service.Port());
  ASSERT_GE(fd, 0);
  SendText(fd,
           "POST /zelk_client.php HTTP/1.1\r\nExpect: 100-continue\r\nContent-Length: 11\r\n"
           "Connection: close\r\n\r\n");
  EXPECT_EQ(ReadFrom(fd, "\r\n\r\n"), "HTTP/1.1 100 Continue\r\n\r\n");
  SendText(fd, "action=list");
  EXPECT_TRUE(ReadFrom(fd).ends_with("\r\n\r\nfalse"));
  close(fd);
}

TEST(ServiceServer, AHeadPastItsLimitIsRefused) {
  RunningService service(ServerOptions{});
  const int fd = ConnectTo(service.Port());
  ASSERT_GE(fd, 0);
  SendText(fd, "GET /bbs/ HTTP/1.1\r\nHost: h\r\nX-Pad: " + std::string(70000, 'a') + "\r\n\r\n");
  EXPECT_TRUE(ReadFrom(fd).starts_with("HTTP/1.1 431 "));
  close(fd);
}

TEST(ServiceServer, ConnectionsPastTheLimitWaitUnservedUntilOneEnds) {
  ServerOptions options;
  options.max_connections = 2;
  options.threads = 1;
  RunningService service(options);
  const int held[2] = {ConnectTo(service.Port()), ConnectTo(service.Port())};
  ASSERT_GE(held[0], 0);
  ASSERT_GE(held[1], 0);
  // The two held connections are taken first: the next one is one too many and is not read.
  SendText(held[0], "POST");
  SendText(held[1], "POST");
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  const int extra = ConnectTo(service.Port());
  ASSERT_GE(extra, 0);
  SendText(extra, kListRequest);
  pollfd p{extra, POLLIN, 0};
  EXPECT_EQ(poll(&p, 1, 500), 0);
  // A held connection is still served; once the other ends, the waiting one is taken.
  SendText(held[0], kListRequest.substr(4));
  EXPECT_TRUE(ReadFrom(held[0], "false").ends_with("false"));
  close(held[1]);
  EXPECT_TRUE(ReadFrom(extra, "false").ends_with("false"));
  close(held[0]);
  close(extra);
}

}  // namespace
}  // namespace qelo::service
