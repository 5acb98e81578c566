#include "index_db.h"

#include <algorithm>
#include <utility>

#include "demo_data.h"

namespace qelo::service {
namespace {

struct DbClose {
  void operator()(sqlite3* db) const { sqlite3_close_v2(db); }
};
struct StmtFinalize {
  void operator()(sqlite3_stmt* s) const { sqlite3_finalize(s); }
};
using DbPtr = std::unique_ptr<sqlite3, DbClose>;
using StmtPtr = std::unique_ptr<sqlite3_stmt, StmtFinalize>;

constexpr std::string_view kRowColumns =
    "f.file_id, f.file_name, f.file_extension, f.file_size, f.file_value, f.file_views, "
    "f.file_time, f.s_url";

// Files are stored in ranking order (value index, then popularity, then id): rank_pos is the
// row's place in that order and the full-text index's rowid, so every search walks candidates
// best first and stops after the limit instead of sorting.
constexpr const char* kSchema = R"sql(
CREATE TABLE files(
  rank_pos INTEGER PRIMARY KEY,
  file_id INTEGER NOT NULL UNIQUE,
  file_name TEXT NOT NULL,
  file_extension TEXT NOT NULL,
  file_size INTEGER NOT NULL,
  file_value INTEGER NOT NULL,
  file_views INTEGER NOT NULL,
  file_time TEXT NOT NULL,
  s_url TEXT NOT NULL);
CREATE VIRTUAL TABLE files_fts USING fts5(
  file_name, content='files', content_rowid='rank_pos', tokenize='trigram');
CREATE TABLE ratings(
  rating_id INTEGER PRIMARY KEY,
  file_id INTEGER NOT NULL REFERENCES files(file_id),
  score TEXT NOT NULL,
  points INTEGER NOT NULL,
  created TEXT NOT NULL DEFAULT (datetime('now')));
CREATE TABLE reports(
  report_id INTEGER PRIMARY KEY,
  file_id INTEGER NOT NULL REFERENCES files(file_id),
  content TEXT NOT NULL,
  created TEXT NOT NULL DEFAULT (datetime('now')));
CREATE TEMP TABLE seed(
  file_id INTEGER PRIMARY KEY, file_name TEXT, file_extension TEXT, file_size INTEGER,
  file_value INTEGER, file_views INTEGER, file_time TEXT, s_url TEXT);
)sql";

constexpr int kSchemaVersion = 1;  // PRAGMA user_version of the layout below
constexpr const char* kFillFromSeed = R"sql(
INSERT INTO files(file_id, file_name, file_extension, file_size, file_value, file_views,
                  file_time, s_url)
  SELECT file_id, file_name, file_extension, file_size, file_value, file_views, file_time, s_url
  FROM temp.seed ORDER BY file_value DESC, file_views DESC, file_id;
DROP TABLE temp.seed;
INSERT INTO files_fts(files_fts) VALUES('rebuild');
)sql";

// The word as one FTS5 string: in double quotes, inner quotes doubled.
std::string FtsPhrase(std::string_view word) {
  std::string q = "\"";
  for (char c : word) {
    if (c == '"') q.push_back('"');
    q.push_back(c);
  }
  q.push_back('"');
  return q;
}

// SQL function contains_nocase(hay, needle), so the exact matching rule applies inside queries.
void ContainsFunction(sqlite3_context* ctx, int, sqlite3_value** argv) {
  const auto* hay = reinterpret_cast<const char*>(sqlite3_value_text(argv[0]));
  const int hay_len = sqlite3_value_bytes(argv[0]);
  const auto* needle = reinterpret_cast<const char*>(sqlite3_value_text(argv[1]));
  const int needle_len = sqlite3_value_bytes(argv[1]);
  if (!hay || !needle) return sqlite3_result_int(ctx, 0);
  sqlite3_result_int(ctx, ContainsAsciiNoCase({hay, static_cast<size_t>(hay_len)},
                                              {needle, static_cast<size_t>(needle_len)}));
}

std::string Text(sqlite3_stmt* s, int col) {
  const auto* p = reinterpret_cast<const char*>(sqlite3_column_text(s, col));
  return p ? std::string(p, static_cast<size_t>(sqlite3_column_bytes(s, col))) : std::string();
}

FileRow ReadRow(sqlite3_stmt* s) {
  FileRow r;
  r.file_id = sqlite3_column_int64(s, 0);
  r.file_name = Text(s, 1);
  r.file_extension = Text(s, 2);
  r.file_size = sqlite3_column_int64(s, 3);
  r.file_value = sqlite3_column_int64(s, 4);
  r.file_views = sqlite3_column_int64(s, 5);
  r.file_time = Text(s, 6);
  r.s_url = Text(s, 7);
  return r;
}

// Resets a statement when the scope ends, so the connection holds no open read.
class StmtUse {
 public:
  explicit StmtUse(sqlite3_stmt* s) : s_(s) {}
  ~StmtUse() {
    sqlite3_reset(s_);
    sqlite3_clear_bindings(s_);
  }
  StmtUse(const StmtUse&) = delete;
  StmtUse& operator=(const StmtUse&) = delete;
  sqlite3_stmt* get() const { return s_; }

 private:
  sqlite3_stmt* s_;
};

void BindText(sqlite3_stmt* s, int i, std::string_view v) {
  sqlite3_bind_text(s, i, v.data(), static_cast<int>(v.size()), SQLITE_TRANSIENT);
}

}  // namespace

bool ContainsAsciiNoCase(std::string_view hay, std::string_view needle) {
  if (needle.size() > hay.size()) return false;
  auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; };
  const auto it = std::search(hay.begin(), hay.end(), needle.begin(), needle.end(),
                              [&](char a, char b) { return lower(a) == lower(b); });
  return it != hay.end() || needle.empty();
}

struct IndexDb::Connection {
  DbPtr db;
  StmtPtr search_fts;
  StmtPtr by_ranks;
  StmtPtr find;
  StmtPtr exists;
  StmtPtr add_rating;
  StmtPtr add_report;

  void Exec(const char* sql) const {
    char* err = nullptr;
    if (sqlite3_exec(db.get(), sql, nullptr, nullptr, &err) != SQLITE_OK) {
      std::string msg = err ? err : "unknown error";
      sqlite3_free(err);
      throw IndexDbError("database: " + msg);
    }
  }
  StmtPtr Prepare(std::string_view sql) const {
    sqlite3_stmt* s = nullptr;
    if (sqlite3_prepare_v3(db.get(), sql.data(), static_cast<int>(sql.size()),
                           SQLITE_PREPARE_PERSISTENT, &s, nullptr) != SQLITE_OK) {
      throw IndexDbError(std::string("database: ") + sqlite3_errmsg(db.get()));
    }
    return StmtPtr(s);
  }
  void Step(sqlite3_stmt* s) const {
    const int rc = sqlite3_step(s);
    if (rc != SQLITE_DONE && rc != SQLITE_ROW) {
      throw IndexDbError(std::string("database: ") + sqlite3_errmsg(db.get()));
    }
  }
  int SchemaVersion() const {
    StmtPtr s = Prepare("PRAGMA user_version");
    return sqlite3_step(s.get()) == SQLITE_ROW ? sqlite3_column_int(s.get(), 0) : -1;
  }
  bool HasFilesTable() const {
    StmtPtr s = Prepare("SELECT 1 FROM sqlite_master WHERE type='table' AND name='files'");
    return sqlite3_step(s.get()) == SQLITE_ROW;
  }
  void PrepareQueries() {
    const std::string cols(kRowColumns);
    search_fts = Prepare("SELECT " + cols +
                         " FROM files_fts JOIN files f ON f.rank_pos = files_fts.rowid"
                         " WHERE files_fts MATCH ?1 AND contains_nocase(f.file_name, ?2)"
                         " ORDER BY files_fts.rowid LIMIT ?3");
    by_ranks = Prepare("SELECT " + cols +
                       " FROM files f WHERE f.rank_pos IN (SELECT value FROM json_each(?1))"
                       " ORDER BY f.rank_pos");
    find = Prepare("SELECT " + cols + " FROM files f WHERE f.file_id = ?1");
    exists = Prepare("SELECT 1 FROM files WHERE file_id = ?1");
    add_rating = Prepare("INSERT INTO ratings(file_id, score, points) VALUES(?1, ?2, ?3)");
    add_report = Prepare("INSERT INTO reports(file_id, content) VALUES(?1, ?2)");
  }
  bool Exists(int64_t file_id) const {
    StmtUse use(exists.get());
    sqlite3_bind_int64(use.get(), 1, file_id);
    return sqlite3_step(use.get()) == SQLITE_ROW;
  }
};

// A borrowed connection, given back to the pool when the lease ends.
class IndexDb::Lease {
 public:
  Lease(IndexDb& owner, std::unique_ptr<Connection> c) : owner_(owner), c_(std::move(c)) {}
  ~Lease() {
    if (!c_) return;
    std::lock_guard lock(owner_.mutex_);
    owner_.idle_.push_back(std::move(c_));
  }
  Lease(Lease&&) = default;
  Connection* operator->() const { return c_.get(); }

 private:
  IndexDb& owner_;
  std::unique_ptr<Connection> c_;
};

IndexDb::IndexDb(const std::string& path, uint64_t seed_rows) : path_(path) {
  auto c = Open();
  c->Exec("PRAGMA journal_mode=WAL");
  if (!c->HasFilesTable()) {
    CreateAndSeed(*c, seed_rows);
    created_ = true;
  } else if (c->SchemaVersion() != kSchemaVersion) {
    throw IndexDbError("database " + path_ + " holds an index of another layout; remove it");
  }
  c->PrepareQueries();
  LoadNames(*c);
  idle_.push_back(std::move(c));
}

IndexDb::~IndexDb() = default;

std::unique_ptr<IndexDb::Connection> IndexDb::Open() const {
  sqlite3* raw = nullptr;
  const int rc =
      sqlite3_open_v2(path_.c_str(), &raw,
                      SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, nullptr);
  auto c = std::make_unique<Connection>();
  c->db.reset(raw);
  if (rc != SQLITE_OK) {
    throw IndexDbError("cannot open database " + path_ + ": " +
                       (raw ? sqlite3_errmsg(raw) : "out of memory"));
  }
  sqlite3_busy_timeout(raw, 5000);
  sqlite3_create_function(raw, "contains_nocase", 2, SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr,
                          ContainsFunction, nullptr, nullptr);
  c->Exec("PRAGMA synchronous=NORMAL; PRAGMA foreign_keys=ON");
  return c;
}

void IndexDb::CreateAndSeed(Connection& c, uint64_t seed_rows) {
  c.Exec("BEGIN IMMEDIATE");
  try {
    c.Exec(kSchema);
    StmtPtr insert = c.Prepare(
        "INSERT INTO temp.seed(file_id, file_name, file_extension, file_size, file_value, "
        "file_views, file_time, s_url) VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8)");
    for (uint64_t i = 0; i < seed_rows; ++i) {
      const FileRow r = MakeDemoRow(i);
      sqlite3_stmt* s = insert.get();
      sqlite3_bind_int64(s, 1, r.file_id);
      BindText(s, 2, r.file_name);
      BindText(s, 3, r.file_extension);
      sqlite3_bind_int64(s, 4, r.file_size);
      sqlite3_bind_int64(s, 5, r.file_value);
      sqlite3_bind_int64(s, 6, r.file_views);
      BindText(s, 7, r.file_time);
      BindText(s, 8, r.s_url);
      c.Step(s);
      sqlite3_reset(s);
    }
    insert.reset();
    c.Exec(kFillFromSeed);
    c.Exec(("PRAGMA user_version = " + std::to_string(kSchemaVersion)).c_str());
    c.Exec("COMMIT");
  } catch (...) {
    sqlite3_exec(c.db.get(), "ROLLBACK", nullptr, nullptr, nullptr);
    throw;
  }
}

void IndexDb::LoadNames(Connection& c) {
  StmtPtr s = c.Prepare("SELECT rank_pos, file_name FROM files ORDER BY rank_pos");
  int rc;
  while ((rc = sqlite3_step(s.get())) == SQLITE_ROW) {
    const auto* name = reinterpret_cast<const char*>(sqlite3_column_text(s.get(), 1));
    short_words_.Add(
        sqlite3_column_int64(s.get(), 0),
        name ? std::string_view(name, static_cast<size_t>(sqlite3_column_bytes(s.get(), 1)))
             : std::string_view());
  }
  if (rc != SQLITE_DONE) throw IndexDbError(std::string("database: ") + sqlite3_errmsg(c.db.get()));
}

IndexDb::Lease IndexDb::Borrow() {
  {
    std::lock_guard lock(mutex_);
    if (!idle_.empty()) {
      auto c = std::move(idle_.back());
      idle_.pop_back();
      return Lease(*this, std::move(c));
    }
  }
  auto c = Open();
  c->PrepareQueries();
  return Lease(*this, std::move(c));
}

int64_t IndexDb::FileCount() {
  Lease c = Borrow();
  StmtPtr s = c->Prepare("SELECT count(*) FROM files");
  c->Step(s.get());
  return sqlite3_column_int64(s.get(), 0);
}

std::vector<FileRow> IndexDb::Search(std::string_view word, size_t limit) {
  std::vector<FileRow> rows;
  // The word is a byte string; no stored name holds a byte 0, so such a word matches nothing
  // (and would end the full-text query's string early).
  if (word.empty() || limit == 0 || word.find('\0') != std::string_view::npos) return rows;
  Lease c = Borrow();
  if (ShortWordIndex::Handles(word)) {
    // One or two characters: the in-memory index gives the files, one query fetches them.
    const auto found = short_words_.Find(word, limit);
    if (found.empty()) return rows;
    std::string list = "[";
    for (int64_t rank_pos : found)
      list.append(std::to_string(rank_pos)).push_back(',');
    list.back() = ']';
    StmtUse use(c->by_ranks.get());
    BindText(use.get(), 1, list);
    int rc;
    while ((rc = sqlite3_step(use.get())) == SQLITE_ROW)
      rows.push_back(ReadRow(use.get()));
    if (rc != SQLITE_DONE)
      throw IndexDbError(std::string("search: ") + sqlite3_errmsg(c->db.get()));
    return rows;
  }
  // Three or more characters: the trigram index finds the candidates in ranking order, and the
  // exact rule (ASCII letters without case, other characters as they are) confirms each.
  StmtUse use(c->search_fts.get());
  sqlite3_stmt* s = use.get();
  BindText(s, 1, FtsPhrase(word));
  BindText(s, 2, word);
  sqlite3_bind_int64(s, 3, static_cast<int64_t>(limit));
  int rc;
  while ((rc = sqlite3_step(s)) == SQLITE_ROW)
    rows.push_back(ReadRow(s));
  if (rc != SQLITE_DONE) throw IndexDbError(std::string("search: ") + sqlite3_errmsg(c->db.get()));
  return rows;
}

std::optional<FileRow> IndexDb::Find(int64_t file_id) {
  Lease c = Borrow();
  StmtUse use(c->find.get());
  sqlite3_bind_int64(use.get(), 1, file_id);
  if (sqlite3_step(use.get()) != SQLITE_ROW) return std::nullopt;
  return ReadRow(use.get());
}

bool IndexDb::AddRating(int64_t file_id, std::string_view score, int points) {
  Lease c = Borrow();
  if (!c->Exists(file_id)) return false;
  StmtUse use(c->add_rating.get());
  sqlite3_bind_int64(use.get(), 1, file_id);
  BindText(use.get(), 2, score);
  sqlite3_bind_int(use.get(), 3, points);
  c->Step(use.get());
  return true;
}

std::vector<Feedback> IndexDb::RecentFeedback(size_t limit) {
  std::vector<Feedback> out;
  if (limit == 0) return out;
  Lease c = Borrow();
  StmtPtr s = c->Prepare(
      "SELECT kind, file_id, file_name, text, created FROM ("
      " SELECT 'rating' AS kind, r.file_id, f.file_name, r.score AS text, r.created,"
      "        r.rating_id AS seq FROM ratings r JOIN files f ON f.file_id = r.file_id"
      " UNION ALL"
      " SELECT 'report', p.file_id, f.file_name, p.content, p.created, p.report_id"
      "        FROM reports p JOIN files f ON f.file_id = p.file_id)"
      " ORDER BY created DESC, seq DESC LIMIT ?1");
  sqlite3_bind_int64(s.get(), 1, static_cast<int64_t>(limit));
  int rc;
  while ((rc = sqlite3_step(s.get())) == SQLITE_ROW) {
    Feedback f;
    f.is_report = Text(s.get(), 0) == "report";
    f.file_id = sqlite3_column_int64(s.get(), 1);
    f.file_name = Text(s.get(), 2);
    f.text = Text(s.get(), 3);
    f.created = Text(s.get(), 4);
    out.push_back(std::move(f));
  }
  if (rc != SQLITE_DONE)
    throw IndexDbError(std::string("feedback: ") + sqlite3_errmsg(c->db.get()));
  return out;
}

bool IndexDb::AddReport(int64_t file_id, std::string_view content) {
  Lease c = Borrow();
  if (!c->Exists(file_id)) return false;
  StmtUse use(c->add_report.get());
  sqlite3_bind_int64(use.get(), 1, file_id);
  BindText(use.get(), 2, content);
  c->Step(use.get());
  return true;
}

}  // namespace qelo::service
