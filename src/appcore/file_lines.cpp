#include "appcore/file_lines.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>

#include "text/unique_fd.h"

namespace qelo::app {

std::string ReadWholeFile(const std::string& path) {
  const text::TUniqueFd f(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (f.get() < 0)
    throw std::runtime_error("Cannot open file \"" + path + "\". " + std::strerror(errno));
  // A read error (a directory in the file's place, a device error) is reported, never taken
  // for the end of an empty file.
  std::string out;
  char chunk[64 * 1024];
  for (;;) {
    const ssize_t n = ::read(f.get(), chunk, sizeof chunk);
    if (n == 0) break;
    if (n < 0) {
      if (errno == EINTR) continue;
      throw std::runtime_error("Cannot read file \"" + path + "\". " + std::strerror(errno));
    }
    out.append(chunk, static_cast<size_t>(n));
  }
  return out;
}

std::vector<std::string> SplitLines(std::string_view text) {
  std::vector<std::string> lines;
  size_t start = 0;
  size_t i = 0;
  while (i < text.size()) {
    const char c = text[i];
    if (c != '\r' && c != '\n') {
      ++i;
      continue;
    }
    lines.emplace_back(text.substr(start, i - start));
    i += (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ? 2 : 1;
    start = i;
  }
  if (start < text.size()) lines.emplace_back(text.substr(start));
  return lines;
}

}  // namespace qelo::app
