// Errors raised while reading a skin container or its body. Each carries the message the caller
// shows or passes on; the holder itself catches none of them.
#pragma once

#include <stdexcept>
#include <string>

namespace qelo::skin {

// A container file that cannot be opened: "Cannot open file "<path>". <system message>".
class EFOpenError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Fewer bytes than an item needs: "Stream read error".
class EReadError : public std::runtime_error {
 public:
  EReadError() : std::runtime_error("Stream read error") {}
  using std::runtime_error::runtime_error;
};

// Compressed data that inflate rejects, or a body larger than the inflate cap.
class ECompressionError : public std::runtime_error {
 public:
  ECompressionError() : std::runtime_error("compression error") {}
  using std::runtime_error::runtime_error;
};

// A bitmap that is not a plain device-independent bitmap image we can decode safely.
class EInvalidGraphic : public std::runtime_error {
 public:
  EInvalidGraphic() : std::runtime_error("Bitmap image is not valid") {}
};

}  // namespace qelo::skin
