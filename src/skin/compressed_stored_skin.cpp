#include "skin/compressed_stored_skin.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>

#include "skin/byte_reader.h"
#include "skin/skin_errors.h"
#include "text/unique_fd.h"

namespace qelo::skin {

namespace {

[[noreturn]] void CannotOpen(const std::string& path, int err) {
  throw EFOpenError("Cannot open file \"" + path + "\". " + std::strerror(err));
}

std::string ReadAll(int fd, int64_t size) {
  std::string bytes(static_cast<size_t>(size), '\0');
  size_t got = 0;
  while (got < bytes.size()) {
    const ssize_t n = ::read(fd, bytes.data() + got, bytes.size() - got);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) throw EReadError();
    got += static_cast<size_t>(n);
  }
  return bytes;
}

}  // namespace

void TskCompressedStoredSkin::ReadContainerFile(const std::string& path) {
  CompressedData.clear();
  text::TUniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
  if (fd.get() < 0) CannotOpen(path, errno);
  struct stat st {};
  if (::fstat(fd.get(), &st) != 0) CannotOpen(path, errno);
  // A directory or a pipe in the file's place is not a container; never block on one.
  if (!S_ISREG(st.st_mode)) CannotOpen(path, S_ISDIR(st.st_mode) ? EISDIR : EINVAL);
  const int64_t size = st.st_size;
  if (size > kMaxContainerFile) throw EReadError();

  // The file is small enough to hold; the header is then read from memory with checked reads.
  std::string file = ReadAll(fd.get(), size);
  TByteReader in(file);
  const int32_t version = in.I32();
  if (version > 3) throw EReadError();
  const int32_t length = in.I32();
  if (length < 0) throw EReadError();
  if (length == 0) {
    CompressedData = std::move(file);
    return;
  }
  CompressedData = std::string(in.Take(static_cast<uint64_t>(length)));
}

std::string ContainerFileBytes(const std::string& compressedData, int32_t version) {
  std::string out;
  const auto put = [&out](uint32_t v) {
    for (int i = 0; i < 4; ++i)
      out.push_back(static_cast<char>(v >> (8 * i) & 0xFF));
  };
  put(static_cast<uint32_t>(version));
  put(static_cast<uint32_t>(compressedData.size()));
  out += compressedData;
  return out;
}

}  // namespace qelo::skin
