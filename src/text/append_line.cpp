#include "text/append_line.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "text/unique_fd.h"

namespace qelo::text {
namespace {

[[noreturn]] void ThrowIo(int err, const std::string& what, const std::string& path) {
  throw EInOutError(err, "I/O error " + std::to_string(err) + ": cannot " + what + " \"" + path +
                             "\": " + std::strerror(err));
}

TUniqueFd OpenFile(const std::string& path, int flags) {
  return TUniqueFd(::open(path.c_str(), flags | O_CLOEXEC, 0666));
}

void CreateEmpty(const std::string& path) {
  TUniqueFd f = OpenFile(path, O_WRONLY | O_CREAT | O_TRUNC);
  if (!f.IsOpen()) ThrowIo(errno, "create", path);
  if (const int err = f.Close()) ThrowIo(err, "close", path);
}

void WriteAll(int fd, std::string_view data, const std::string& path) {
  while (!data.empty()) {
    const ssize_t n = ::write(fd, data.data(), data.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      ThrowIo(errno, "write", path);
    }
    data.remove_prefix(static_cast<size_t>(n));
  }
}

}  // namespace

EInOutError::EInOutError(int errorCode, const std::string& message)
    : std::runtime_error(message), errorCode_(errorCode) {}

void AppendLine(const std::string& path, std::string_view text, bool truncateFirst) {
  if (truncateFirst || ::access(path.c_str(), F_OK) != 0) CreateEmpty(path);
  TUniqueFd f = OpenFile(path, O_WRONLY | O_APPEND);
  if (!f.IsOpen()) ThrowIo(errno, "open", path);
  std::string line(text);
  line += "\r\n";
  WriteAll(f.get(), line, path);
  if (const int err = f.Close()) ThrowIo(err, "close", path);
}

}  // namespace qelo::text
