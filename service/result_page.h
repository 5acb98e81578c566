// The service's page for one indexed file (GET /zelk-ID), UTF-8 HTML with its charset declared.
// Like the netdisk pages it stands in for, it opens a pop-up window once it has loaded and holds a
// link that targets a new window, so a client's pop-up suppression can be seen and tested.
#pragma once

#include <string>
#include <string_view>

#include <vector>

#include "file_row.h"
#include "index_db.h"

namespace qelo::service {

inline constexpr std::string_view kHtmlContentType = "text/html; charset=utf-8";

std::string HtmlEscape(std::string_view text);
// Size with the largest binary unit that keeps the number at least 1, two decimals: "1.50MB".
std::string HumanSize(int64_t bytes);
std::string ResultPageHtml(const FileRow& row);
std::string NotFoundPageHtml(std::string_view what);
// The feedback forum (GET /bbs/): the latest ratings and reports, each linked to its file page.
std::string ForumPageHtml(const std::vector<Feedback>& entries);

}  // namespace qelo::service
