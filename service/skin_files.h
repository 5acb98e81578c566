// The skins the service offers: NAME.skn (container) and NAME.jpg (preview picture) files in one
// directory. Names come from the client as raw GBK bytes; a name that could step outside the
// directory ("/", "\", "..") or that the client cannot list is refused before any file access.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace qelo::service {

// An owned file descriptor, closed on destruction.
class UniqueFd {
 public:
  UniqueFd() = default;
  explicit UniqueFd(int fd) : fd_(fd) {}
  ~UniqueFd();
  UniqueFd(UniqueFd&& o) noexcept : fd_(std::exchange(o.fd_, -1)) {}
  UniqueFd& operator=(UniqueFd&& o) noexcept;
  int get() const { return fd_; }
  // Gives the descriptor up without closing it.
  int release() { return std::exchange(fd_, -1); }
  explicit operator bool() const { return fd_ >= 0; }

 private:
  int fd_ = -1;
};

enum class SkinPart { kPicture, kContainer };

struct SkinFile {
  UniqueFd fd;
  int64_t size = 0;
};

// A byte range of a file, as a "Range" request header asks for it.
struct ByteRange {
  enum class Kind { kWhole, kPartial, kUnsatisfiable };
  Kind kind = Kind::kWhole;
  int64_t first = 0;  // inclusive
  int64_t last = 0;   // inclusive, never past the end of the file
};

// Resolves a "Range" header against a file of `size` bytes: "bytes=A-B" (an end past the file is
// shortened to its last byte), "bytes=A-" and "bytes=-N". A start at or past the end is
// unsatisfiable. Anything else (no header, other units, several ranges, malformed) means the
// whole file, as a server may ignore a range it does not serve.
ByteRange ResolveRange(std::string_view header, int64_t size);

// True for a name (UTF-8) that may be used as a skin file name and listed to the client.
bool IsSafeSkinName(std::string_view name);

class SkinStore {
 public:
  explicit SkinStore(std::string dir);
  const std::string& Dir() const { return dir_; }

  // Names (UTF-8) of the NAME.skn files in the directory, sorted; unsafe names are left out.
  std::vector<std::string> Names() const;
  // The skin list reply: the names as GBK joined by ",".
  std::string ListReply() const;
  // True for a name (GBK, as a request carries it) that Open would try on the file system.
  static bool AcceptsName(std::string_view gbk_name);
  // Opens NAME.jpg or NAME.skn for a GBK name from a request; nothing when the name is refused or
  // the file is missing or not a regular file.
  std::optional<SkinFile> Open(std::string_view gbk_name, SkinPart part) const;

 private:
  std::string dir_;
};

// Reads up to `n` bytes at `offset`; the count read, 0 at end of file, -1 on error.
int64_t ReadAt(int fd, int64_t offset, char* buf, size_t n);

}  // namespace qelo::service
