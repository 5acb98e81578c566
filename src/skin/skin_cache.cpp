#include "skin/skin_cache.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cassert>
#include <cerrno>
#include <cstring>
#include <string>
#include <utility>

#include "text/unique_fd.h"

namespace qelo::skin {

namespace {

[[noreturn]] void CannotCreate(const std::string& path, int error) {
  throw EFCreateError("Cannot create file \"" + path + "\". " + std::strerror(error));
}

using FdGuard = text::TUniqueFd;

bool LockExclusive(int fd) {
  int r;
  do {
    r = ::flock(fd, LOCK_EX | LOCK_NB);
  } while (r != 0 && errno == EINTR);
  return r == 0;
}

// A file stream that refuses to grow past a limit.
class TCappedStream : public net::TStream {
 public:
  TCappedStream(net::TStream& target, int64_t limit) : target_(target), limit_(limit) {}
  int64_t Read(void* buffer, int64_t count) override { return target_.Read(buffer, count); }
  int64_t Write(const void* buffer, int64_t count) override {
    const int64_t at = target_.Seek(0, net::TSeekOrigin::Current);
    if (count > 0 && at + count > limit_) Refuse();
    return target_.Write(buffer, count);
  }
  int64_t Seek(int64_t offset, net::TSeekOrigin origin) override {
    return target_.Seek(offset, origin);
  }
  int64_t Size() const override { return target_.Size(); }
  void SetSize(int64_t size) override {
    if (size > limit_) Refuse();
    target_.SetSize(size);
  }

 private:
  [[noreturn]] void Refuse() const {
    throw net::EStreamError("download larger than " + std::to_string(limit_) + " bytes");
  }
  net::TStream& target_;
  int64_t limit_;
};

}  // namespace

std::optional<int64_t> FileSize(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
  return static_cast<int64_t>(st.st_size);
}

THeldFile::THeldFile(TSkinCache& cache, std::string path, int fd, int64_t maxBytes)
    : cache_(cache), path_(std::move(path)), fd_(fd) {
  stream_.emplace(net::TFileStream::FromDescriptor(fd_));
  capped_ = std::make_unique<TCappedStream>(*stream_, maxBytes);
}

THeldFile::~THeldFile() {
  capped_.reset();
  stream_.reset();
  // Closing the descriptor drops the lock.
  ::close(fd_);
  cache_.Release(path_);
}

TSkinCache::~TSkinCache() {
  // Every held file must be closed before the cache goes; they refer back to it.
  assert(held_.empty());
}

std::string TSkinCache::PathOf(const TSkinName& name, std::string_view ending) const {
  std::string path = dir_;
  path.append(name.FileName());
  path.append(ending);
  return path;
}

std::unique_ptr<THeldFile> TSkinCache::CreateHeld(const std::string& path, int64_t maxBytes) {
  if (IsHeld(path)) CannotCreate(path, EBUSY);
  // Opened without O_TRUNC: the file is emptied only once the lock shows nobody else holds it.
  FdGuard fd(::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644));
  if (fd.get() < 0) CannotCreate(path, errno);
  if (!LockExclusive(fd.get())) CannotCreate(path, errno == EWOULDBLOCK ? EBUSY : errno);
  struct stat st {};
  if (::fstat(fd.get(), &st) != 0) CannotCreate(path, errno);
  if (!S_ISREG(st.st_mode)) CannotCreate(path, EISDIR);
  if (::ftruncate(fd.get(), 0) != 0) CannotCreate(path, errno);
  held_.insert(path);
  return std::unique_ptr<THeldFile>(new THeldFile(*this, path, fd.release(), maxBytes));
}

bool TSkinCache::IsFileLocked(const std::string& path) const {
  if (IsHeld(path)) return true;
  FdGuard fd(::open(path.c_str(), O_RDWR | O_CLOEXEC));
  if (fd.get() < 0) return errno != ENOENT && errno != ENOTDIR;
  // The descriptor's close, at scope exit, releases a lock taken here.
  return !LockExclusive(fd.get());
}

}  // namespace qelo::skin
