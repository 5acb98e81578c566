// TMultipartDownloader against a real qelo-service: ranged skin downloads of several sizes and
// part counts, a large file, and a missing skin.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "net/dispatcher.h"
#include "net/multipart_downloader.h"
#include "service/service_process.h"

namespace qelo::service::testing {
namespace {

using net::TMultipartDownloader;

std::string Noise(size_t n) {
  std::string s(n, '\0');
  uint32_t x = 2463534242u;
  for (char& c : s) {
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    c = static_cast<char>(x);
  }
  return s;
}

// A memory stream whose bytes outlive the downloader closing it.
class SharedStream : public net::TMemoryStream {
 public:
  explicit SharedStream(std::shared_ptr<std::string> out) : out_(std::move(out)) {}
  ~SharedStream() override { *out_ = std::string(Text()); }

 private:
  std::shared_ptr<std::string> out_;
};

struct Result {
  int done = 0;
  int code = -1;
  std::string reason;
  std::shared_ptr<std::string> bytes = std::make_shared<std::string>();
  std::vector<int> positionIndexes;  // part index of every progress event, in order
  int64_t total = 0;
};

Result Download(const std::string& url, int parts) {
  Result r;
  TMultipartDownloader dl;
  dl.URL = url;
  dl.PartCount = parts;
  dl.FileStream = std::make_unique<SharedStream>(r.bytes);
  dl.OnRequestDone = [&](TMultipartDownloader*, int code, const std::string& why) {
    ++r.done;
    r.code = code;
    r.reason = why;
  };
  dl.OnProgressSetPosition = [&](TMultipartDownloader*, int index, int64_t) {
    r.positionIndexes.push_back(index);
  };
  dl.Start();
  net::Dispatcher& loop = net::Dispatcher::current();
  loop.runUntil([&] { return r.done > 0; }, 30000);
  loop.runUntil([] { return false; }, 200);
  r.total = dl.TotalDataCount();
  dl.FileStream.reset();
  return r;
}

class DownloaderService : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    service_ = std::make_unique<ServiceProcess>();
    service_->WriteFile("skins/Big.skn", Noise(8 << 20));
    service_->WriteFile("skins/Mid.skn", Noise(100001));
    service_->WriteFile("skins/One.skn", "1");
    service_->WriteFile("skins/Two.jpg", "22");
    service_->WriteFile("skins/Two.skn", "2");
    ASSERT_TRUE(service_->Start(50));
  }
  static void TearDownTestSuite() { service_.reset(); }
  static std::string SkinUrl(const std::string& action, const std::string& name) {
    return service_->BaseUrl() + "plugins/getskin.php?action=" + action + "&skin_id=" + name;
  }
  static inline std::unique_ptr<ServiceProcess> service_;
};

TEST_F(DownloaderService, SkinFilesArriveWhole) {
  struct Case {
    std::string action, name;
    int parts;
    std::string content;
  };
  const Case cases[] = {
      {"downskin", "Mid", 2, Noise(100001)}, {"downskin", "Mid", 7, Noise(100001)},
      {"downskin", "One", 2, "1"},           {"downimg", "Two", 2, "22"},
      {"downskin", "Two", 3, "2"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.action + " " + c.name + " " + std::to_string(c.parts));
    const Result r = Download(SkinUrl(c.action, c.name), c.parts);
    EXPECT_EQ(r.done, 1);
    EXPECT_EQ(r.code, 200);
    EXPECT_EQ(r.reason, "OK");
    EXPECT_EQ(*r.bytes, c.content);
    EXPECT_EQ(r.total, static_cast<int64_t>(c.content.size()));
  }
}

TEST_F(DownloaderService, LargeFileInTwoParts) {
  const Result r = Download(SkinUrl("downskin", "Big"), 2);
  ASSERT_EQ(r.code, 200);
  EXPECT_EQ(*r.bytes, Noise(8 << 20));
  EXPECT_EQ(r.total, 8 << 20);
  // Both parts delivered data.
  EXPECT_NE(std::find(r.positionIndexes.begin(), r.positionIndexes.end(), 0),
            r.positionIndexes.end());
  EXPECT_NE(std::find(r.positionIndexes.begin(), r.positionIndexes.end(), 1),
            r.positionIndexes.end());
}

TEST_F(DownloaderService, MissingSkinEndsAtTheFirstRequest) {
  const Result r = Download(SkinUrl("downskin", "Nope"), 2);
  EXPECT_EQ(r.done, 1);
  EXPECT_EQ(r.code, 404);
  EXPECT_EQ(r.reason, "Not Found");
  EXPECT_EQ(r.total, 0);
  EXPECT_TRUE(r.bytes->empty());
}

}  // namespace
}  // namespace qelo::service::testing
