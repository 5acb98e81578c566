// The skin cache in skins/: file names built from a skin name and an ending, and the ".tmp" files
// that the downloaders write into. Linux has no sharing modes, so a file held by a transfer is
// recorded here and also locked with flock: IsFileLocked answers yes for it, and creating it again
// fails instead of emptying it under the running transfer. Qt-free.
#pragma once

#include <memory>
#include <optional>
#include <set>
#include <stdexcept>
#include <string>
#include <string_view>

#include "net/stream.h"
#include "skin/skin_errors.h"
#include "skin/skin_names.h"
#include "text/file_exists.h"

namespace qelo::skin {

// "Cannot create file "<path>". <system message>"
class EFCreateError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

inline constexpr std::string_view kContainerEnding = ".skn";
inline constexpr std::string_view kContainerTmpEnding = ".skn.tmp";
inline constexpr std::string_view kContainerStatEnding = ".skn.stat";
inline constexpr std::string_view kPictureEnding = ".jpg";
inline constexpr std::string_view kPictureTmpEnding = ".jpg.tmp";
inline constexpr std::string_view kPictureStatEnding = ".jpg.stat";

// The most a transfer may write into its ".tmp" file: what the readers accept of a container,
// and a generous size for a preview picture. A transfer past it ends as failed, so a hostile
// service cannot fill the disk.
inline constexpr int64_t kMaxContainerTransfer = int64_t{64} << 20;
inline constexpr int64_t kMaxPictureTransfer = int64_t{4} << 20;

// Whether the name is taken in the cache: a directory in its place counts.
inline bool FileExists(const std::string& path) {
  return text::FileExists(path, text::TDirectories::Count);
}
// Size in bytes of a regular file; nothing when it is missing or not a regular file.
std::optional<int64_t> FileSize(const std::string& path);

class TSkinCache;

// A file created for a transfer, held open and locked until this object goes. The stream is what
// a downloader writes into; a write or size past the file's limit raises EStreamError and
// leaves the file as it was.
class THeldFile {
 public:
  ~THeldFile();
  THeldFile(const THeldFile&) = delete;
  THeldFile& operator=(const THeldFile&) = delete;

  net::TStream& Stream() { return *capped_; }
  const std::string& Path() const { return path_; }

 private:
  friend class TSkinCache;
  THeldFile(TSkinCache& cache, std::string path, int fd, int64_t maxBytes);

  TSkinCache& cache_;
  std::string path_;
  int fd_;
  std::optional<net::TFileStream> stream_;
  std::unique_ptr<net::TStream> capped_;
};

class TSkinCache {
 public:
  // dir: the cache directory with its trailing "/" (AppDir + "skins/"); never created here.
  explicit TSkinCache(std::string dir) : dir_(std::move(dir)) {}
  ~TSkinCache();
  TSkinCache(const TSkinCache&) = delete;
  TSkinCache& operator=(const TSkinCache&) = delete;

  const std::string& Dir() const { return dir_; }
  // The cache file of a checked skin name with one of the endings above; the name is written in
  // UTF-8, as every file name on this platform.
  std::string PathOf(const TSkinName& name, std::string_view ending) const;

  // Creates the file for writing, emptying an existing one, and holds it; its stream takes at
  // most maxBytes. Throws EFCreateError when it cannot be created, or when a transfer holds it
  // already (the file is then untouched).
  std::unique_ptr<THeldFile> CreateHeld(const std::string& path, int64_t maxBytes);

  // True when the file exists and cannot be opened for reading and writing exclusively: held by a
  // transfer of this process, locked by another, or not openable. A missing file gives false.
  bool IsFileLocked(const std::string& path) const;

  bool IsHeld(const std::string& path) const { return held_.count(path) != 0; }
  size_t HeldCount() const { return held_.size(); }

 private:
  friend class THeldFile;
  void Release(const std::string& path) { held_.erase(path); }

  std::string dir_;
  std::set<std::string> held_;
};

}  // namespace qelo::skin
