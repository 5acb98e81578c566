#include "demo_data.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <span>
#include <string>
#include <string_view>
#include <utility>

namespace qelo::service {
namespace {

// splitmix64: a small, well-mixed generator whose sequence depends only on its seed.
class Rng {
 public:
  explicit Rng(uint64_t seed) : state_(seed) {}
  uint64_t Next() {
    uint64_t z = (state_ += 0x9E3779B97F4A7C15ULL);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return z ^ (z >> 31);
  }
  uint64_t Below(uint64_t n) { return Next() % n; }
  double Unit() { return static_cast<double>(Next() >> 11) / 9007199254740992.0; }
  template <typename T>
  const T& Pick(std::span<const T> items) {
    return items[Below(items.size())];
  }

 private:
  uint64_t state_;
};

using Words = std::span<const std::string_view>;

constexpr std::string_view kExamSubjects[] = {
    "会计从业资格", "公务员考试", "英语四级",   "英语六级", "考研数学",   "高中物理",
    "初中化学",     "小学语文",   "计算机二级", "司法考试", "注册会计师", "日语能力考试",
    "雅思",         "托福",       "教师资格证", "高考英语", "考研政治",   "人力资源管理师"};
constexpr std::string_view kDocKinds[] = {"真题",   "复习资料", "教程",   "讲义", "笔记",
                                          "模拟题", "答案解析", "习题集", "课件", "大纲"};
constexpr std::string_view kDocExts[] = {"pdf", "pdf", "doc", "docx", "ppt", "xls", "txt"};

constexpr std::string_view kSoftware[] = {
    "Photoshop", "AutoCAD", "Office",     "Visual Studio", "MATLAB",       "WinRAR",
    "Firefox",   "Python",  "Eclipse",    "Dreamweaver",   "Premiere Pro", "3ds Max",
    "QQ影音",    "迅雷",    "搜狗输入法", "美图秀秀"};
constexpr std::string_view kVersions[] = {"2010", "2013", "CS6", "v5.2", "2013 SP1", "8.0", "X7"};
constexpr std::string_view kSoftwareKinds[] = {"中文版", "绿色版", "安装包",
                                               "便携版", "官方版", "64位"};
constexpr std::string_view kSoftwareExts[] = {"exe", "exe", "zip", "rar", "iso", "apk"};

constexpr std::string_view kMovies[] = {
    "速度与激情", "星际穿越",  "大话西游",        "西游降魔篇", "让子弹飞",
    "人在囧途",   "致青春",    "中国合伙人",      "钢铁侠",     "少年派的奇幻漂流",
    "霍比特人",   "Inception", "The Dark Knight", "Avatar"};
constexpr std::string_view kVideoTags[] = {"HD720P.国语中字", "BD1080P.中英双字", "TS清晰版",
                                           "HD1280超清",      "DVD国粤双语",      "BluRay.x264"};
constexpr std::string_view kVideoExts[] = {"mp4", "mkv", "rmvb", "avi"};

constexpr std::string_view kSingers[] = {"周杰伦",       "王菲",   "陈奕迅", "邓紫棋", "Adele",
                                         "Taylor Swift", "Beyond", "五月天", "林俊杰"};
constexpr std::string_view kAlbums[] = {"精选集",        "新歌+精选", "演唱会",  "无损音乐合集",
                                        "Greatest Hits", "Live",      "经典老歌"};
constexpr std::string_view kAudioExts[] = {"mp3", "mp3", "flac", "ape"};

constexpr std::string_view kBooks[] = {"三体",   "盗墓笔记",     "明朝那些事儿",
                                       "鬼吹灯", "Harry Potter", "平凡的世界",
                                       "围城",   "Steve Jobs传"};
constexpr std::string_view kBookKinds[] = {"全集", "txt版", "epub精校版", "完整版", "第一部"};
constexpr std::string_view kBookExts[] = {"txt", "epub", "pdf", "rar"};

constexpr std::string_view kPictures[] = {"桌面壁纸",  "风景摄影", "高清图片",
                                          "Wallpaper", "动漫壁纸", "婚纱照模板"};
constexpr std::string_view kPictureExts[] = {"jpg", "png", "zip"};

constexpr std::string_view kGames[] = {"仙剑奇侠传", "植物大战僵尸", "Minecraft",  "英雄联盟",
                                       "魔兽世界",   "红色警戒2",    "Angry Birds"};
constexpr std::string_view kGameKinds[] = {"硬盘版", "安装包", "存档", "MOD合集", "高清补丁"};
constexpr std::string_view kGameExts[] = {"rar", "zip", "iso", "exe", "7z"};

constexpr std::string_view kShareHosts[] = {"pan.example.com", "yun.example.com",
                                            "disk.example.com"};

struct SizeRange {
  int64_t lo;
  int64_t hi;
};

constexpr int64_t KB = 1024;
constexpr int64_t MB = 1024 * KB;

// Log-uniform, so that every unit from bytes to gigabytes turns up.
int64_t SizeIn(Rng& rng, SizeRange r) {
  const double lo = std::log(static_cast<double>(r.lo));
  const double hi = std::log(static_cast<double>(r.hi));
  const auto size = static_cast<int64_t>(std::exp(lo + rng.Unit() * (hi - lo)));
  return std::clamp<int64_t>(size, r.lo, std::min(r.hi, kMaxDemoFileSize));
}

SizeRange SizeFor(std::string_view ext) {
  if (ext == "txt") return {120, 3 * MB};
  if (ext == "jpg" || ext == "png") return {300, 12 * MB};
  if (ext == "mp3") return {2 * MB, 15 * MB};
  if (ext == "flac" || ext == "ape") return {20 * MB, 1100 * MB};
  if (ext == "mp4" || ext == "mkv" || ext == "rmvb" || ext == "avi")
    return {60 * MB, kMaxDemoFileSize};
  if (ext == "iso") return {300 * MB, kMaxDemoFileSize};
  if (ext == "exe" || ext == "apk") return {400 * KB, 350 * MB};
  if (ext == "epub") return {100 * KB, 8 * MB};
  if (ext == "rar" || ext == "zip" || ext == "7z") return {8 * KB, kMaxDemoFileSize};
  return {20 * KB, 90 * MB};  // documents
}

std::string Cat(std::initializer_list<std::string_view> parts) {
  std::string s;
  for (std::string_view p : parts)
    s.append(p);
  return s;
}

// Base name and extension of one file, from one of seven kinds of share.
std::pair<std::string, std::string_view> NameAndExt(Rng& rng) {
  const std::string year = std::to_string(2008 + rng.Below(6));
  const std::string part = std::to_string(1 + rng.Below(12));
  switch (rng.Below(7)) {
    case 0:
      return {Cat({year, "年", rng.Pick(Words(kExamSubjects)), rng.Pick(Words(kDocKinds))}),
              rng.Pick(Words(kDocExts))};
    case 1:
      return {Cat({rng.Pick(Words(kSoftware)), " ", rng.Pick(Words(kVersions)), " ",
                   rng.Pick(Words(kSoftwareKinds))}),
              rng.Pick(Words(kSoftwareExts))};
    case 2:
      return {Cat({rng.Pick(Words(kMovies)), ".", year, ".", rng.Pick(Words(kVideoTags))}),
              rng.Pick(Words(kVideoExts))};
    case 3:
      return {Cat({rng.Pick(Words(kSingers)), " - ", rng.Pick(Words(kAlbums))}),
              rng.Pick(Words(kAudioExts))};
    case 4:
      return {Cat({rng.Pick(Words(kBooks)), rng.Pick(Words(kBookKinds))}),
              rng.Pick(Words(kBookExts))};
    case 5:
      return {Cat({rng.Pick(Words(kPictures)), "_", part}), rng.Pick(Words(kPictureExts))};
    default:
      return {Cat({rng.Pick(Words(kGames)), rng.Pick(Words(kGameKinds)), "(第", part, "部分)"}),
              rng.Pick(Words(kGameExts))};
  }
}

// Indexing dates run from 2011-01-01 up to the client's build date, 2013-09-11.
std::string IndexTime(Rng& rng) {
  using namespace std::chrono;
  const sys_days first = year{2011} / January / 1;
  const sys_days last = year{2013} / September / 11;
  const sys_days day = first + days{static_cast<int>(rng.Below((last - first).count() + 1))};
  const year_month_day ymd{day};
  const auto secs = rng.Below(86400);
  char buf[32];
  std::snprintf(buf, sizeof buf, "%04d-%02u-%02u %02u:%02u:%02u", static_cast<int>(ymd.year()),
                static_cast<unsigned>(ymd.month()), static_cast<unsigned>(ymd.day()),
                static_cast<unsigned>(secs / 3600), static_cast<unsigned>(secs / 60 % 60),
                static_cast<unsigned>(secs % 60));
  return buf;
}

std::string ShareLink(Rng& rng) {
  static constexpr std::string_view kAlphabet =
      "0123456789abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ";
  std::string code;
  for (int i = 0; i < 8; ++i)
    code.push_back(kAlphabet[rng.Below(kAlphabet.size())]);
  return Cat({"http://", rng.Pick(Words(kShareHosts)), "/s/", code});
}

// Popularity: mostly modest, a few files very popular.
int64_t Views(Rng& rng) {
  const double u = rng.Unit();
  return static_cast<int64_t>(std::pow(u, 4.0) * 250000.0) + static_cast<int64_t>(rng.Below(50));
}

}  // namespace

FileRow MakeDemoRow(uint64_t index) {
  Rng rng(0x51E10DA7AULL ^ (index * 0x2545F4914F6CDD1DULL));
  FileRow row;
  row.file_id = kFirstDemoFileId + static_cast<int64_t>(index);
  auto [base, ext] = NameAndExt(rng);
  row.file_name = base + "." + std::string(ext);
  row.file_extension = std::string(ext);
  row.file_size = SizeIn(rng, SizeFor(ext));
  row.file_value = static_cast<int64_t>(rng.Below(101));
  row.file_views = Views(rng);
  row.file_time = IndexTime(rng);
  row.s_url = ShareLink(rng);
  return row;
}

}  // namespace qelo::service
