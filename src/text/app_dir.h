// The directory that holds the running executable; every local file is found relative to it.
#pragma once

#include <string>

namespace qelo::text {

// The executable's full path up to and including its last "/", worked out afresh at each call.
// Throws EInOutError when the executable's path cannot be read.
std::string AppDir();

}  // namespace qelo::text
