#include "search_reply.h"

#include <random>

namespace qelo::bench {

std::string MakeReplyUtf8(std::size_t bytes) {
  static const char* const kWords[] = {"电影", "合集", "高清", "教程", "资料", "音乐",
                                       "软件", "学习", "经典", "全集", "中文", "字幕"};
  static const char* const kExtensions[] = {"rar", "zip", "mp4", "pdf", "exe", "mkv"};
  std::mt19937 random(20130911);
  std::string out = "[";
  for (int n = 0; out.size() < bytes; ++n) {
    if (n) out += ",";
    std::string name;
    for (int w = 0; w < 4; ++w)
      name += kWords[random() % 12];
    const char* extension = kExtensions[random() % 6];
    out += "{\"file_id\":\"" + std::to_string(100000 + n) + "\",\"file_name\":\"" + name + "_" +
           std::to_string(n) + "." + extension + "\",\"file_extension\":\"" + extension +
           "\",\"file_size\":" + std::to_string(random() % 2000000000) + ",\"file_value\":\"" +
           std::to_string(random() % 10) + "." + std::to_string(random() % 10) +
           "\",\"file_views\":" + std::to_string(random() % 100000) +
           ",\"file_time\":\"2013-09-11 12:" + std::to_string(10 + random() % 50) +
           ":00\",\"s_url\":\"http:\\/\\/pan.example.com\\/s\\/" + std::to_string(random()) + "\"}";
  }
  return out + "]";
}

}  // namespace qelo::bench
