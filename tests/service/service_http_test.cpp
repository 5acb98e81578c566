#include <gtest/gtest.h>
#include <signal.h>
#include <sqlite3.h>
#include <sys/wait.h>

#include <algorithm>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "service/service_process.h"
#include "text/gbk.h"

namespace qelo::service::testing {
namespace {

using text::GbkToUtf8;
using text::Utf8ToGbk;

constexpr int kSeedRows = 3000;
constexpr size_t kMaxResults = 500;

std::string Pattern(size_t n) {
  std::string s;
  for (size_t i = 0; i < n; ++i)
    s.push_back(static_cast<char>('A' + i % 26));
  return s;
}

struct DbFile {
  long long id, value, views;
  std::string name;
};

class ServiceHttp : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    service_ = std::make_unique<ServiceProcess>();
    service_->WriteFile("skins/Charm.skn", Pattern(100));
    service_->WriteFile("skins/Charm.jpg", Pattern(37));
    service_->WriteFile("skins/Blue.skn", "b");
    service_->WriteFile("skins/Big.skn", Pattern(200000));  // several read chunks
    service_->WriteFile("skins/bad name.skn", "x");         // a blank: the client could not list it
    service_->WriteFile("skins/Only.jpg", "x");             // no container: not a skin
    service_->WriteFile("secret.skn", "outside the skins folder");
    ASSERT_TRUE(service_->Start(kSeedRows));
  }
  static void TearDownTestSuite() { service_.reset(); }

  static std::string Search(const std::string& utf8_word) {
    const HttpReply r =
        service_->Post("/zelk_client.php", "action=search&word=" + Utf8ToGbk(utf8_word));
    EXPECT_EQ(r.status, 200);
    return GbkToUtf8(r.body);
  }
  static std::string Action(const std::string& utf8_body) {
    const HttpReply r = service_->Post("/zelk_client.php", Utf8ToGbk(utf8_body));
    EXPECT_EQ(r.status, 200);
    return r.body;
  }

  // Reads the whole index straight from the database file.
  static std::vector<DbFile> AllFiles() {
    sqlite3* db = nullptr;
    sqlite3_open_v2(service_->DbPath().c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
    std::unique_ptr<sqlite3, decltype(&sqlite3_close)> hold(db, sqlite3_close);
    sqlite3_stmt* s = nullptr;
    sqlite3_prepare_v2(db, "SELECT file_id, file_value, file_views, file_name FROM files", -1, &s,
                       nullptr);
    std::vector<DbFile> files;
    while (s && sqlite3_step(s) == SQLITE_ROW) {
      files.push_back({sqlite3_column_int64(s, 0), sqlite3_column_int64(s, 1),
                       sqlite3_column_int64(s, 2),
                       reinterpret_cast<const char*>(sqlite3_column_text(s, 3))});
    }
    sqlite3_finalize(s);
    return files;
  }

  static long long CountRows(const std::string& sql) {
    sqlite3* db = nullptr;
    sqlite3_open_v2(service_->DbPath().c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
    std::unique_ptr<sqlite3, decltype(&sqlite3_close)> hold(db, sqlite3_close);
    sqlite3_stmt* s = nullptr;
    sqlite3_prepare_v2(db, sql.c_str(), -1, &s, nullptr);
    const long long n = s && sqlite3_step(s) == SQLITE_ROW ? sqlite3_column_int64(s, 0) : -1;
    sqlite3_finalize(s);
    return n;
  }

  static std::unique_ptr<ServiceProcess> service_;
};
std::unique_ptr<ServiceProcess> ServiceHttp::service_;

std::string AsciiLower(std::string s) {
  for (char& c : s) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
  }
  return s;
}

// The raw text after each "key": up to the next "," or "}" (enough for the numeric keys).
std::vector<std::string> ValuesOf(const std::string& json, const std::string& key) {
  const std::string tag = "\"" + key + "\":";
  std::vector<std::string> values;
  for (size_t at = json.find(tag); at != std::string::npos; at = json.find(tag, at + 1)) {
    const size_t start = at + tag.size();
    values.push_back(json.substr(start, json.find_first_of(",}", start) - start));
  }
  return values;
}

bool AllDigits(const std::string& s) {
  return !s.empty() && std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// The value without the quotes when it is a quoted text.
std::string Unquoted(const std::string& v) {
  return v.size() >= 2 && v.front() == '"' && v.back() == '"' ? v.substr(1, v.size() - 2) : v;
}

std::vector<long long> IdsIn(const std::string& json) {
  std::vector<long long> ids;
  for (const std::string& v : ValuesOf(json, "file_id")) {
    ids.push_back(AllDigits(Unquoted(v)) ? std::stoll(Unquoted(v)) : -1);
  }
  return ids;
}

TEST_F(ServiceHttp, SearchFindsEverySubstringMatchBestFirst) {
  auto files = AllFiles();
  ASSERT_EQ(files.size(), static_cast<size_t>(kSeedRows));
  std::sort(files.begin(), files.end(), [](const DbFile& a, const DbFile& b) {
    if (a.value != b.value) return a.value > b.value;
    if (a.views != b.views) return a.views > b.views;
    return a.id < b.id;
  });
  // Words of three or more characters and shorter ones, ASCII in other case, Chinese, and one
  // frequent enough to reach the limit.
  for (const std::string word : {"PHOTOSHOP", "pHoToShop", "ph", "教程", "考研数学", "rar", "1"}) {
    std::vector<long long> expected;
    for (const DbFile& f : files) {
      if (expected.size() < kMaxResults &&
          AsciiLower(f.name).find(AsciiLower(word)) != std::string::npos) {
        expected.push_back(f.id);
      }
    }
    ASSERT_FALSE(expected.empty()) << word;
    EXPECT_EQ(IdsIn(Search(word)), expected) << word;
  }
  EXPECT_EQ(IdsIn(Search("1")).size(), kMaxResults);
}

TEST_F(ServiceHttp, SearchReplyHoldsTheEightKeysWithMixedValueForms) {
  const std::string json = Search("a");
  ASSERT_EQ(json.front(), '[');
  ASSERT_EQ(json.back(), ']');
  const size_t objects = IdsIn(json).size();
  ASSERT_GT(objects, 20u);
  for (const char* key : {"file_id", "file_name", "file_extension", "file_size", "file_value",
                          "file_views", "file_time", "s_url"}) {
    EXPECT_EQ(ValuesOf(json, key).size(), objects) << key;
  }
  // file_size is always an integer or a string of decimal digits, and both forms occur.
  size_t numbers = 0, texts = 0;
  for (const std::string& v : ValuesOf(json, "file_size")) {
    ASSERT_TRUE(AllDigits(Unquoted(v))) << v;
    ++(v.front() == '"' ? texts : numbers);
  }
  EXPECT_GT(numbers, 0u);
  EXPECT_GT(texts, 0u);
  EXPECT_NE(json.find("\"s_url\":\"http://"), std::string::npos);
}

TEST_F(ServiceHttp, FormBodyIsSplitRawWithoutDecoding) {
  EXPECT_EQ(Search("zzqqzz"), "[]");
  EXPECT_EQ(Search(""), "[]");
  // "&" ends the word: the rest arrives as a field of its own.
  EXPECT_EQ(Search("Photo&shop"), Search("Photo"));
  EXPECT_NE(IdsIn(Search("Photo")).size(), 0u);
  // Percent escapes and "+" are taken literally.
  EXPECT_NE(Search("The Dark"), "[]");
  EXPECT_EQ(Search("The+Dark"), "[]");
  EXPECT_EQ(Search("The%20Dark"), "[]");
}

TEST_F(ServiceHttp, RatingAcceptsOnlyTheTenScoresForAnExistingFile) {
  const std::string id = std::to_string(IdsIn(Search("a")).front());
  const struct {
    std::string body;
    std::string reply;
  } cases[] = {
      {"action=review&file_id=" + id + "&score=10分满意", "true"},
      {"action=review&file_id=" + id + "&score=1分不值", "true"},
      {"action=review&file_id=" + id + "&score=- 请选择 -", "false"},
      {"action=review&file_id=" + id + "&score=11分满意", "false"},
      {"action=review&file_id=" + id + "&score=10分满意\r\n", "false"},
      {"action=review&file_id=999999999&score=9分满意", "false"},
      {"action=review&file_id=" + id + "x&score=9分满意", "false"},
      {"action=review&file_id=&score=9分满意", "false"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(Action(c.body), c.reply) << c.body;
  EXPECT_EQ(CountRows("SELECT count(*) FROM ratings WHERE file_id=" + id), 2);
  EXPECT_EQ(CountRows("SELECT sum(points) FROM ratings WHERE file_id=" + id), 11);
}

TEST_F(ServiceHttp, ReportStoresNonEmptyContentForAnExistingFile) {
  const std::string id = std::to_string(IdsIn(Search("a")).back());
  EXPECT_EQ(Action("action=report&content=文件不能下载&file_id=" + id), "true");
  // Line breaks and "=" stay inside the content field.
  EXPECT_EQ(Action("action=report&content=第一行\r\n第二行 a=b&file_id=" + id), "true");
  EXPECT_EQ(Action("action=report&content=&file_id=" + id), "false");
  EXPECT_EQ(Action("action=report&content=病毒文件&file_id=1"), "false");
  EXPECT_EQ(Action("action=delete&file_id=" + id), "false");
  EXPECT_EQ(Action("word=abc"), "false");
  EXPECT_EQ(CountRows("SELECT count(*) FROM reports WHERE file_id=" + id), 2);
  EXPECT_EQ(CountRows("SELECT count(*) FROM reports WHERE content='第一行\r\n第二行 a=b'"), 1);
}

TEST_F(ServiceHttp, SkinListNamesEveryListableContainer) {
  const HttpReply r = service_->Post("/plugins/getskin.php", "action=list");
  EXPECT_EQ(r.status, 200);
  EXPECT_EQ(r.body, "Big,Blue,Charm");
}

TEST_F(ServiceHttp, SkinDownloadsServeWholeFilesAndRanges) {
  const std::string base = "/plugins/getskin.php?action=";
  const struct {
    std::string target;
    std::string range;
    int status;
    std::string content_range;
    std::string body;
  } cases[] = {
      {base + "downskin&skin_id=Charm", "", 200, "", Pattern(100)},
      {base + "downimg&skin_id=Charm", "", 200, "", Pattern(37)},
      {base + "downskin&skin_id=Charm", "bytes=0-50", 206, "bytes 0-50/100", Pattern(51)},
      // The last part of a two-part download asks one byte past the end.
      {base + "downskin&skin_id=Charm", "bytes=51-100", 206, "bytes 51-99/100",
       Pattern(100).substr(51)},
      {base + "downskin&skin_id=Charm", "bytes=90-", 206, "bytes 90-99/100",
       Pattern(100).substr(90)},
      {base + "downskin&skin_id=Charm", "bytes=100-150", 416, "bytes */100", ""},
      {base + "downskin&skin_id=Blue", "bytes=1-1", 416, "bytes */1", ""},
      {base + "downskin&skin_id=Big", "", 200, "", Pattern(200000)},
      {base + "downskin&skin_id=Big", "bytes=70000-170000", 206, "bytes 70000-170000/200000",
       Pattern(200000).substr(70000, 100001)},
      {base + "downimg&skin_id=Blue", "", 404, "", "no such skin"},
      {base + "downskin&skin_id=Nope", "bytes=0-1", 404, "", "no such skin"},
  };
  for (const auto& c : cases) {
    const HttpReply r =
        service_->Get(c.target, c.range.empty() ? "" : "Range: " + c.range + "\r\n");
    EXPECT_EQ(r.status, c.status) << c.target << " " << c.range;
    EXPECT_EQ(r.body, c.body) << c.target << " " << c.range;
    EXPECT_EQ(r.Header("content-range"), c.content_range) << c.target << " " << c.range;
    if (c.status == 200 || c.status == 206) {
      EXPECT_EQ(r.Header("content-length"), std::to_string(c.body.size()));
    }
  }
}

TEST_F(ServiceHttp, SkinNamesThatLeaveTheFolderAreRefused) {
  for (const std::string name :
       {"../secret", "..%2Fsecret", "..", "a/b", "sub\\..\\secret", "%2E%2E/secret", ""}) {
    const HttpReply r = service_->Get("/plugins/getskin.php?action=downskin&skin_id=" + name);
    EXPECT_EQ(r.status, 400) << name;
    EXPECT_EQ(r.body.find("outside"), std::string::npos) << name;
  }
}

TEST_F(ServiceHttp, ResultPageOpensAPopUpOnLoad) {
  const long long id = IdsIn(Search("教程")).front();
  const HttpReply r = service_->Get("/zelk-" + std::to_string(id));
  EXPECT_EQ(r.status, 200);
  EXPECT_NE(r.Header("content-type").find("charset=utf-8"), std::string::npos);
  EXPECT_NE(r.body.find("<meta charset=\"utf-8\">"), std::string::npos);
  EXPECT_NE(r.body.find("教程"), std::string::npos);
  const size_t on_load = r.body.find("addEventListener('load'");
  ASSERT_NE(on_load, std::string::npos);
  EXPECT_NE(r.body.find("window.open(", on_load), std::string::npos);
  EXPECT_NE(r.body.find("target=\"_blank\""), std::string::npos);
  // The pop-up and the new-window link point back at the service, relative to the page.
  const std::string promo = "promo?from=zelk-" + std::to_string(id);
  EXPECT_NE(r.body.find("window.open('" + promo + "'"), std::string::npos);
  EXPECT_NE(r.body.find("href=\"" + promo + "&amp;via=link\" target=\"_blank\""),
            std::string::npos);
  EXPECT_TRUE(r.closed_by_server);

  EXPECT_EQ(service_->Get("/zelk-999999999").status, 404);
  EXPECT_EQ(service_->Get("/zelk-abc").status, 404);
}

TEST_F(ServiceHttp, OversizedBodyIsRefused) {
  const HttpReply r =
      service_->Post("/zelk_client.php", "action=search&word=" + std::string(1 << 20, 'a'));
  EXPECT_EQ(r.status, 413);
}

TEST(ServiceLifecycle, LogsEachRequestAndStopsCleanlyOnSigterm) {
  ServiceProcess service;
  ASSERT_TRUE(service.Start(50));
  EXPECT_EQ(service.Post("/zelk_client.php", "action=list").body, "false");
  EXPECT_EQ(service.Get("/nowhere").status, 404);
  const int status = service.Stop();
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);

  std::ifstream log(service.Dir() + "/service.log");
  std::vector<std::string> requests;
  for (std::string line; std::getline(log, line);) {
    if (!line.starts_with("qelo-service:")) requests.push_back(line);
  }
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_TRUE(requests[0].starts_with("POST /zelk_client.php 200 ")) << requests[0];
  EXPECT_TRUE(requests[1].starts_with("GET /nowhere 404 ")) << requests[1];
  for (const std::string& line : requests)
    EXPECT_TRUE(line.ends_with("ms")) << line;
}

}  // namespace
}  // namespace qelo::service::testing
