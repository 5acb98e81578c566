#include "text/app_dir.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "text/append_line.h"

namespace qelo::text {

std::string AppDir() {
  std::vector<char> buf(256);
  for (;;) {
    const ssize_t n = ::readlink("/proc/self/exe", buf.data(), buf.size());
    if (n < 0) {
      const int err = errno;
      throw EInOutError(err,
                        std::string("cannot read the executable's path: ") + std::strerror(err));
    }
    if (static_cast<size_t>(n) < buf.size()) {
      std::string path(buf.data(), static_cast<size_t>(n));
      return path.substr(0, path.rfind('/') + 1);
    }
    buf.resize(buf.size() * 2);  // possibly truncated: try again with more room
  }
}

}  // namespace qelo::text
