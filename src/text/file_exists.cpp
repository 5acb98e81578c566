#include "text/file_exists.h"

#include <sys/stat.h>

namespace qelo::text {

bool FileExists(const std::string& path, TDirectories directories) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return false;
  return directories == TDirectories::Count || !S_ISDIR(st.st_mode);
}

}  // namespace qelo::text
