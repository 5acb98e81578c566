// Writing one line to a text file.
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>

namespace qelo::text {

// A file could not be created, opened, written or closed; carries the system's error number.
class EInOutError : public std::runtime_error {
 public:
  EInOutError(int errorCode, const std::string& message);
  int ErrorCode() const { return errorCode_; }

 private:
  int errorCode_;
};

// Writes text + CR LF at the end of the file at path. With truncateFirst, or when the file does
// not exist, the file is created empty first. Throws EInOutError on failure (the file may then
// be left empty).
void AppendLine(const std::string& path, std::string_view text, bool truncateFirst);

}  // namespace qelo::text
