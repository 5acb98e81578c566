#include "result_page.h"

#include <cstdio>

namespace qelo::service {
namespace {

constexpr std::string_view kHead =
    "<!DOCTYPE html>\n<html>\n<head>\n<meta charset=\"utf-8\">\n"
    "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=utf-8\">\n";

// The pop-up the page opens on load, and the target of its new-window link: an address of this
// service (relative to the page), so every attempt to fetch it shows in the request log.
std::string PopupUrl(int64_t file_id) {
  return "promo?from=zelk-" + std::to_string(file_id);
}

}  // namespace

std::string HtmlEscape(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      case '\'':
        out += "&#39;";
        break;
      default:
        out.push_back(c);
    }
  }
  return out;
}

std::string HumanSize(int64_t bytes) {
  constexpr struct {
    int64_t scale;
    const char* unit;
  } kUnits[] = {{1LL << 30, "GB"}, {1LL << 20, "MB"}, {1LL << 10, "KB"}};
  for (const auto& u : kUnits) {
    if (bytes / u.scale > 0) {
      char buf[48];
      std::snprintf(buf, sizeof buf, "%.2f%s", static_cast<double>(bytes) / u.scale, u.unit);
      return buf;
    }
  }
  return std::to_string(bytes) + "B";
}

std::string ResultPageHtml(const FileRow& row) {
  const std::string name = HtmlEscape(row.file_name);
  const std::string link = HtmlEscape(row.s_url);
  std::string html(kHead);
  html += "<title>" + name + " - 网盘文件</title>\n</head>\n<body>\n";
  html += "<h1 id=\"file-name\">" + name + "</h1>\n<table>\n";
  html += "<tr><th>文件类型</th><td>" + HtmlEscape(row.file_extension) + "文件</td></tr>\n";
  html += "<tr><th>文件大小</th><td>" + HumanSize(row.file_size) + "</td></tr>\n";
  html += "<tr><th>价值指数</th><td>" + std::to_string(row.file_value) + "</td></tr>\n";
  html += "<tr><th>人气指数</th><td>" + std::to_string(row.file_views) + "</td></tr>\n";
  html += "<tr><th>收录时间</th><td>" + HtmlEscape(row.file_time) + "</td></tr>\n";
  html += "<tr><th>文件ID</th><td>" + std::to_string(row.file_id) + "</td></tr>\n</table>\n";
  html += "<p><a id=\"share-link\" href=\"" + link + "\" target=\"_blank\">前往网盘下载</a></p>\n";
  html += "<p><a id=\"promo-link\" href=\"" + PopupUrl(row.file_id) +
          "&amp;via=link\" target=\"_blank\">热门推荐</a></p>\n";
  html += "<script>\nwindow.addEventListener('load', function () {\n  window.open('" +
          PopupUrl(row.file_id) + "', '_blank');\n});\n</script>\n";
  html += "</body>\n</html>\n";
  return html;
}

std::string NotFoundPageHtml(std::string_view what) {
  std::string html(kHead);
  html += "<title>文件不存在</title>\n</head>\n<body>\n<h1>404 文件不存在</h1>\n<p>" +
          HtmlEscape(what) + "</p>\n</body>\n</html>\n";
  return html;
}

std::string ForumPageHtml(const std::vector<Feedback>& entries) {
  std::string html(kHead);
  html += "<title>用户反馈</title>\n</head>\n<body>\n<h1>用户反馈</h1>\n";
  if (entries.empty()) {
    html += "<p id=\"no-feedback\">还没有评分或举报。</p>\n";
  } else {
    html +=
        "<table id=\"feedback\">\n<tr><th>时间</th><th>类型</th><th>文件</th><th>内容</th></tr>\n";
    for (const Feedback& f : entries) {
      const std::string id = std::to_string(f.file_id);
      html += "<tr><td>" + HtmlEscape(f.created) + "</td><td>" + (f.is_report ? "举报" : "评分") +
              "</td><td><a href=\"../zelk-" + id + "\">" + HtmlEscape(f.file_name) +
              "</a></td><td>" + HtmlEscape(f.text) + "</td></tr>\n";
    }
    html += "</table>\n";
  }
  html += "</body>\n</html>\n";
  return html;
}

}  // namespace qelo::service
