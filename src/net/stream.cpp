#include "net/stream.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>

namespace qelo::net {

void TStream::WriteBuffer(const void* buffer, int64_t count) {
  const char* p = static_cast<const char*>(buffer);
  while (count > 0) {
    const int64_t n = Write(p, count);
    if (n <= 0) throw EStreamError("Stream write error");
    p += n;
    count -= n;
  }
}

// --- TMemoryStream ---------------------------------------------------------------------------

TMemoryStream::TMemoryStream(std::string_view initial) : data_(initial.begin(), initial.end()) {}

int64_t TMemoryStream::Read(void* buffer, int64_t count) {
  if (count <= 0 || pos_ >= Size()) return 0;
  const int64_t n = std::min(count, Size() - pos_);
  std::memcpy(buffer, data_.data() + pos_, static_cast<size_t>(n));
  pos_ += n;
  return n;
}

int64_t TMemoryStream::Write(const void* buffer, int64_t count) {
  if (count <= 0) return 0;
  const int64_t end = pos_ + count;
  if (end > Size()) {
    // Geometric growth keeps a long series of small writes linear.
    if (static_cast<size_t>(end) > data_.capacity())
      data_.reserve(std::max(static_cast<size_t>(end), data_.capacity() * 2));
    data_.resize(static_cast<size_t>(end));
  }
  std::memcpy(data_.data() + pos_, buffer, static_cast<size_t>(count));
  pos_ = end;
  return count;
}

int64_t TMemoryStream::Seek(int64_t offset, TSeekOrigin origin) {
  int64_t base = 0;
  if (origin == TSeekOrigin::Current) base = pos_;
  if (origin == TSeekOrigin::End) base = Size();
  const int64_t target = base + offset;
  if (target < 0) throw EStreamError("Invalid stream position");
  pos_ = target;
  return pos_;
}

void TMemoryStream::SetSize(int64_t size) {
  if (size < 0) throw EStreamError("Invalid stream size");
  data_.resize(static_cast<size_t>(size));
  pos_ = std::min(pos_, size);
}

void TMemoryStream::Clear() {
  data_.clear();
  pos_ = 0;
}

// --- TFileStream -----------------------------------------------------------------------------

namespace {

int OpenFlags(TFileStream::Mode mode) {
  switch (mode) {
    case TFileStream::Mode::Create:
      return O_RDWR | O_CREAT | O_TRUNC;
    case TFileStream::Mode::OpenRead:
      return O_RDONLY;
    case TFileStream::Mode::OpenWrite:
      return O_RDWR;
  }
  return O_RDONLY;
}

}  // namespace

TFileStream::TFileStream(const std::string& path, Mode mode) : path_(path) {
  fd_ = ::open(path.c_str(), OpenFlags(mode) | O_CLOEXEC, 0644);
  if (fd_ < 0) {
    const char* verb = mode == Mode::Create ? "Cannot create file \"" : "Cannot open file \"";
    throw EStreamError(verb + path + "\". " + std::strerror(errno));
  }
}

TFileStream::TFileStream(int fd, bool owned, std::string path)
    : fd_(fd), owned_(owned), path_(std::move(path)) {}

TFileStream TFileStream::FromDescriptor(int fd) {
  return TFileStream(fd, false, "<fd " + std::to_string(fd) + ">");
}

TFileStream::TFileStream(TFileStream&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)), owned_(other.owned_), path_(std::move(other.path_)) {}

TFileStream::~TFileStream() {
  if (fd_ >= 0 && owned_) ::close(fd_);
}

void TFileStream::Fail(const char* what) const {
  throw EStreamError(std::string(what) + " \"" + path_ + "\": " + std::strerror(errno));
}

int64_t TFileStream::Read(void* buffer, int64_t count) {
  if (count <= 0) return 0;
  for (;;) {
    const ssize_t n = ::read(fd_, buffer, static_cast<size_t>(count));
    if (n >= 0) return n;
    if (errno != EINTR) Fail("Read error on");
  }
}

int64_t TFileStream::Write(const void* buffer, int64_t count) {
  const char* p = static_cast<const char*>(buffer);
  int64_t done = 0;
  while (done < count) {
    const ssize_t n = ::write(fd_, p + done, static_cast<size_t>(count - done));
    if (n < 0) {
      if (errno == EINTR) continue;
      Fail("Write error on");
    }
    if (n == 0) break;
    done += n;
  }
  return done;
}

int64_t TFileStream::Seek(int64_t offset, TSeekOrigin origin) {
  int whence = SEEK_SET;
  if (origin == TSeekOrigin::Current) whence = SEEK_CUR;
  if (origin == TSeekOrigin::End) whence = SEEK_END;
  const off_t r = ::lseek(fd_, static_cast<off_t>(offset), whence);
  if (r < 0) Fail("Seek error on");
  return r;
}

int64_t TFileStream::Size() const {
  struct stat st {};
  if (::fstat(fd_, &st) != 0) Fail("Cannot get the size of");
  return st.st_size;
}

void TFileStream::SetSize(int64_t size) {
  if (size < 0) throw EStreamError("Invalid stream size");
  const int64_t pos = Position();
  if (::ftruncate(fd_, static_cast<off_t>(size)) != 0) Fail("Cannot set the size of");
  if (pos > size) Seek(size, TSeekOrigin::Begin);
}

}  // namespace qelo::net
