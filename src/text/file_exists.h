// Whether a path names something on disk. Callers differ in whether a directory in the place of
// the file counts: the skin cache asks whether the name is taken at all, the settings reader
// whether there is a file to read. Qt-free.
#pragma once

#include <string>

namespace qelo::text {

enum class TDirectories {
  Count,    // any entry, a directory included, makes the path exist
  Exclude,  // a directory in the file's place does not exist as a file
};

// False when stat() fails (no such entry, no permission on the way).
bool FileExists(const std::string& path, TDirectories directories);

}  // namespace qelo::text
