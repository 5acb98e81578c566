// qelo-cli search KEYWORD [--base URL]
// Sends the client's search request for KEYWORD (UTF-8, sent as GBK) to the service and prints
// the result list as the main window fills it: one line per row, the eight cells separated by
// tabs, in UTF-8. Exit status 0 when the reply was listed to the end, 1 when the request failed
// or the reply is not a result list (or its listing stopped early), 2 for a usage error.
#include <cstdio>
#include <optional>
#include <string>

#include "appcore/protocol.h"
#include "appcore/search_rows.h"
#include "commands.h"
#include "config.h"
#include "net/dispatcher.h"
#include "net/http_client.h"
#include "text/ascii_text.h"
#include "text/gbk.h"

namespace qelo::cli {
namespace {

constexpr char kUsage[] = "usage: qelo-cli search KEYWORD [--base URL]\n";
// The request has no overall time limit of its own; the command gives up after this long.
constexpr int kRequestLimitMs = 120000;

int UsageError(const char* why) {
  std::fprintf(stderr, "qelo-cli search: %s\n%s", why, kUsage);
  return 2;
}

void PrintRow(const app::ResultRow& row) {
  std::string line = text::GbkToUtf8(row.caption);
  for (const std::string& cell : row.cells)
    line += '\t' + text::GbkToUtf8(cell);
  std::printf("%s\n", line.c_str());
}

}  // namespace

int RunSearch(const Args& args) {
  std::string keyword;
  bool haveKeyword = false;
  std::string base = config::kBaseUrl;
  for (size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--base") {
      if (i + 1 >= args.size()) return UsageError("--base needs a URL");
      base = args[++i];
    } else if (!haveKeyword) {
      keyword = args[i];
      haveKeyword = true;
    } else {
      return UsageError("one keyword only");
    }
  }
  if (!haveKeyword) return UsageError("missing KEYWORD");
  if (base.empty() || base.back() != '/') base += '/';
  const std::string word = std::string(text::Trim(text::Utf8ToGbk(keyword)));
  if (word.empty()) {
    std::fprintf(stderr, "qelo-cli search: %s\n", "请输入搜索关键词");
    return 1;
  }

  net::THttpClient client;
  client.Name = "HttpClient1";
  app::ConfigureServiceClient(client);
  app::TFormStreams streams;
  bool done = false;
  std::optional<std::string> body;
  std::string why;
  client.OnRequestDone = [&](net::THttpClient*, net::THttpRequest, uint16_t code) {
    body = app::FinishPostForm(client, streams, code, &why);
    done = true;
  };
  try {
    app::PostForm(client, streams, base + app::kServiceScript, "action=search&word=" + word);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "qelo-cli search: %s\n", e.what());
    return 1;
  }
  if (!net::Dispatcher::current().runUntil([&] { return done; }, kRequestLimitMs)) {
    client.Abort();
    net::Dispatcher::current().runUntil([&] { return done; }, 5000);
    std::fprintf(stderr, "qelo-cli search: no reply within %d s\n", kRequestLimitMs / 1000);
    return 1;
  }
  if (!body) {
    std::fprintf(stderr, "qelo-cli search: request failed: %s\n", why.c_str());
    return 1;
  }
  const app::SearchListing listing = app::ListSearchReply(*body);
  if (!listing.isArray) {
    std::fprintf(stderr, "qelo-cli search: the reply is not a result list\n");
    return 1;
  }
  for (const app::ResultRow& row : listing.rows)
    PrintRow(row);
  if (!listing.complete) {
    std::fprintf(stderr, "qelo-cli search: listing stopped at an invalid file_size\n");
    return 1;
  }
  return 0;
}

}  // namespace qelo::cli
