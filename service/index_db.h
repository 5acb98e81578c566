// The service's index: an SQLite 3 database holding the files, a trigram full-text index over
// their names, and the ratings and reports that clients send. Safe to use from many threads:
// each call borrows one connection from a small pool.
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "file_row.h"
#include "short_word_index.h"

namespace qelo::service {

class IndexDbError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// One rating or report as the forum page lists it (UTF-8 texts).
struct Feedback {
  bool is_report = false;
  int64_t file_id = 0;
  std::string file_name;
  std::string text;  // the score text or the report
  std::string created;
};

class IndexDb {
 public:
  // Opens (creating when missing) the database at `path`. A database without the files table is
  // given its schema and `seed_rows` demo rows in one transaction. Throws IndexDbError.
  IndexDb(const std::string& path, uint64_t seed_rows);
  ~IndexDb();
  IndexDb(const IndexDb&) = delete;
  IndexDb& operator=(const IndexDb&) = delete;

  // True when this object created and seeded the database.
  bool Created() const { return created_; }
  int64_t FileCount();

  // Files whose name holds `word` (UTF-8), ASCII letters compared without case, best first
  // (value index, then popularity, then id), at most `limit`. An empty word matches nothing.
  std::vector<FileRow> Search(std::string_view word, size_t limit);
  std::optional<FileRow> Find(int64_t file_id);
  // Store a rating or report for an existing file; false when there is no such file.
  bool AddRating(int64_t file_id, std::string_view score, int points);
  bool AddReport(int64_t file_id, std::string_view content);
  // The latest ratings and reports together, newest first, at most `limit`.
  std::vector<Feedback> RecentFeedback(size_t limit);

  struct Connection;

 private:
  class Lease;
  Lease Borrow();
  std::unique_ptr<Connection> Open() const;
  void CreateAndSeed(Connection& c, uint64_t seed_rows);
  void LoadNames(Connection& c);

  std::string path_;
  bool created_ = false;
  std::mutex mutex_;
  std::vector<std::unique_ptr<Connection>> idle_;
  ShortWordIndex short_words_;  // words shorter than a trigram; read-only after construction
};

// True when `hay` contains `needle` with ASCII letters compared without case; other bytes must
// match exactly, so a UTF-8 needle matches only whole characters of a UTF-8 hay.
bool ContainsAsciiNoCase(std::string_view hay, std::string_view needle);

}  // namespace qelo::service
