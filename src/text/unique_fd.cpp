#include "text/unique_fd.h"

#include <unistd.h>

#include <cerrno>
#include <utility>

namespace qelo::text {

TUniqueFd::~TUniqueFd() {
  Reset();
}

TUniqueFd::TUniqueFd(TUniqueFd&& other) noexcept : fd_(other.release()) {}

TUniqueFd& TUniqueFd::operator=(TUniqueFd&& other) noexcept {
  if (this != &other) Reset(other.release());
  return *this;
}

int TUniqueFd::release() {
  return std::exchange(fd_, -1);
}

void TUniqueFd::Reset(int fd) {
  const int old = std::exchange(fd_, fd < 0 ? -1 : fd);
  if (old >= 0) ::close(old);
}

int TUniqueFd::Close() {
  const int old = release();
  if (old < 0) return 0;
  return ::close(old) == 0 ? 0 : errno;
}

}  // namespace qelo::text
