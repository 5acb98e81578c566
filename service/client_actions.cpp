#include "client_actions.h"

#include <array>
#include <utility>

#include "form_body.h"
#include "search_reply.h"
#include "text/gbk.h"

namespace qelo::service {
namespace {

constexpr std::string_view kTrue = "true";
constexpr std::string_view kFalse = "false";
// No file name is this long; a longer word cannot match and is not worth a query.
constexpr size_t kMaxWordBytes = 1024;

struct Score {
  std::string gbk;
  int points;
};

const std::array<Score, 10>& Scores() {
  static const std::array<Score, 10> scores = [] {
    constexpr std::pair<std::string_view, int> kTexts[] = {
        {"10分满意", 10}, {"9分满意", 9}, {"8分优秀", 8}, {"7分一般", 7}, {"6分及格", 6},
        {"5分中等", 5},   {"4分中下", 4}, {"3分差劲", 3}, {"2分不行", 2}, {"1分不值", 1}};
    std::array<Score, 10> out;
    for (size_t i = 0; i < out.size(); ++i) {
      out[i] = {text::Utf8ToGbk(kTexts[i].first), kTexts[i].second};
    }
    return out;
  }();
  return scores;
}

std::string Search(IndexDb& db, const FormBody& form) {
  const std::string_view word = form.Value("word").value_or("");
  if (word.empty() || word.size() > kMaxWordBytes) return "[]";
  const auto rows = db.Search(text::GbkToUtf8(word), kMaxSearchResults);
  return text::Utf8ToGbk(SearchReplyJson(rows));
}

std::string_view Review(IndexDb& db, const FormBody& form) {
  const auto id = ParseFileId(form.Value("file_id").value_or(""));
  const std::string_view score = form.Value("score").value_or("");
  const auto points = ScorePoints(score);
  if (!id || !points) return kFalse;
  return db.AddRating(*id, text::GbkToUtf8(score), *points) ? kTrue : kFalse;
}

std::string_view Report(IndexDb& db, const FormBody& form) {
  const auto id = ParseFileId(form.Value("file_id").value_or(""));
  const std::string_view content = form.Value("content").value_or("");
  if (!id || content.empty()) return kFalse;
  return db.AddReport(*id, text::GbkToUtf8(content)) ? kTrue : kFalse;
}

}  // namespace

std::optional<int> ScorePoints(std::string_view gbk_score) {
  for (const Score& s : Scores()) {
    if (s.gbk == gbk_score) return s.points;
  }
  return std::nullopt;
}

std::optional<int64_t> ParseFileId(std::string_view text) {
  if (text.empty() || text.size() > 18) return std::nullopt;
  int64_t id = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    id = id * 10 + (c - '0');
  }
  return id;
}

std::string HandleClientForm(IndexDb& db, std::string_view gbk_body) {
  const FormBody form(gbk_body);
  const std::string_view action = form.Value("action").value_or("");
  if (action == "search") return Search(db, form);
  if (action == "review") return std::string(Review(db, form));
  if (action == "report") return std::string(Report(db, form));
  return std::string(kFalse);
}

}  // namespace qelo::service
