// Pieces of response reception that need no connection: the receive buffer, the status line,
// header fields, the connection-close rule and the chunked-body decoder.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qelo::net {

// A byte buffer filled at its end and consumed from its front. Unconsumed bytes move to the
// front only when room is needed, so a long body streams through a buffer of fixed size.
class TRcvBuffer {
 public:
  // Makes at least minFree bytes writable behind the data and returns where they start.
  char* Reserve(size_t minFree);
  size_t FreeSpace() const { return data_.size() - end_; }
  void Commit(size_t n) { end_ += n; }
  void Consume(size_t n) {
    begin_ += n;
    scanned_ = 0;
  }
  // Gives back the last n consumed bytes (they are still in place until the next Reserve).
  void Unconsume(size_t n) {
    begin_ -= n;
    scanned_ = 0;
  }
  void Clear() { begin_ = end_ = scanned_ = 0; }
  // Offset of the first LF from the front, or npos. Bytes already searched are not searched
  // again when the line arrives in many reads.
  size_t FindLineEnd();

  const char* Data() const { return data_.data() + begin_; }
  size_t Count() const { return end_ - begin_; }
  bool Empty() const { return begin_ == end_; }
  size_t Capacity() const { return data_.size(); }

 private:
  std::vector<char> data_;
  size_t begin_ = 0;
  size_t end_ = 0;
  size_t scanned_ = 0;  // bytes from the front known to hold no LF
};

struct TStatusLine {
  bool IsStatus = false;   // the line begins with "HTTP/1.0" or "HTTP/1.1"
  bool CodeValid = false;  // three decimal digits were found where the code belongs
  std::string Version;     // "1.0" or "1.1"
  int Code = 0;
  std::string Reason;
};

TStatusLine ParseStatusLine(std::string_view line);

struct THeaderField {
  std::string Name;   // lower-cased, exactly as it stood before the first ":"
  std::string Value;  // leading spaces skipped
};

// A header line with a ":" splits into name and value; any other line gives nothing.
std::optional<THeaderField> SplitHeaderField(std::string_view line);

// A decimal length with surrounding spaces allowed; -1 for anything else.
int64_t ParseContentLength(std::string_view value);

// Whether the connection ends with the response, from the versions of the request and of the
// status line.
bool CloseAfterResponse(std::string_view requestVer, std::string_view responseVer);
// The effect of a "connection" or "proxy-connection" value: true for "close", false for
// "keep-alive", nothing for other values.
std::optional<bool> CloseFromConnectionField(std::string_view value);

// "bytes 0-99/1234" gives begin "0" and end "99".
void ParseContentRange(std::string_view value, std::string& begin, std::string& end);

// Decodes a chunked body window by window. Chunk data goes to the sink, which returns false
// to stop at once (the decoder then keeps its place).
class TChunkDecoder {
 public:
  enum class State { Size, Extension, Data, DataEnd, Done, Error };
  using Sink = std::function<bool(const char* data, size_t len)>;

  // Largest chunk size accepted; a longer size line is a protocol error.
  static constexpr uint64_t kMaxChunkSize = uint64_t{1} << 48;

  void Reset();
  // Consumes bytes of [data, data + len) and returns how many were taken. Stops at Done,
  // Error, the end of the window or a sink that returned false.
  size_t Feed(const char* data, size_t len, const Sink& sink);

  State state() const { return state_; }
  bool Done() const { return state_ == State::Done; }

 private:
  State state_ = State::Size;
  bool sizeDigits_ = false;  // the size line being read has a digit
  uint64_t size_ = 0;
  uint64_t received_ = 0;
};

}  // namespace qelo::net
