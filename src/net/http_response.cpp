#include "net/http_response.h"

#include <algorithm>
#include <cstring>

#include "text/ascii_text.h"

namespace qelo::net {

namespace {

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

}  // namespace

// --- TRcvBuffer -------------------------------------------------------------------------------

char* TRcvBuffer::Reserve(size_t minFree) {
  if (FreeSpace() < minFree && begin_ > 0) {
    const size_t count = Count();
    if (count > 0) std::memmove(data_.data(), data_.data() + begin_, count);
    begin_ = 0;
    end_ = count;
  }
  if (FreeSpace() < minFree) data_.resize(end_ + minFree);
  return data_.data() + end_;
}

size_t TRcvBuffer::FindLineEnd() {
  const char* from = data_.data() + begin_ + scanned_;
  const void* lf = std::memchr(from, '\n', Count() - scanned_);
  if (lf == nullptr) {
    scanned_ = Count();
    return std::string::npos;
  }
  return static_cast<size_t>(static_cast<const char*>(lf) - Data());
}

// --- status line and fields -------------------------------------------------------------------

TStatusLine ParseStatusLine(std::string_view line) {
  TStatusLine out;
  if (line.size() < 8) return out;
  const std::string_view tag = line.substr(0, 8);
  if (tag != "HTTP/1.0" && tag != "HTTP/1.1") return out;
  out.IsStatus = true;
  out.Version = std::string(line.substr(5, 3));
  // The code: the first digit from the tenth character on, and the two after it.
  size_t i = 9;
  while (i + 1 < line.size() && !IsDigit(line[i]))
    ++i;
  if (i + 3 > line.size() || !IsDigit(line[i]) || !IsDigit(line[i + 1]) || !IsDigit(line[i + 2]))
    return out;
  out.CodeValid = true;
  out.Code = (line[i] - '0') * 100 + (line[i + 1] - '0') * 10 + (line[i + 2] - '0');
  if (i + 4 < line.size()) out.Reason = std::string(line.substr(i + 4));
  return out;
}

std::optional<THeaderField> SplitHeaderField(std::string_view line) {
  const size_t colon = line.find(':');
  if (colon == std::string_view::npos) return std::nullopt;
  THeaderField f;
  f.Name = text::AsciiLower(line.substr(0, colon));
  std::string_view value = line.substr(colon + 1);
  while (value.size() > 1 && value.front() == ' ')
    value.remove_prefix(1);
  f.Value = std::string(value);
  return f;
}

int64_t ParseContentLength(std::string_view value) {
  value = text::Trim(value, text::TBlanks::SpaceAndTab);
  if (value.empty() || value.size() > 18) return -1;
  int64_t n = 0;
  for (char c : value) {
    if (!IsDigit(c)) return -1;
    n = n * 10 + (c - '0');
  }
  return n;
}

bool CloseAfterResponse(std::string_view requestVer, std::string_view responseVer) {
  return requestVer == "1.0" || responseVer != "1.1";
}

std::optional<bool> CloseFromConnectionField(std::string_view value) {
  const std::string v = text::AsciiLower(text::Trim(value, text::TBlanks::SpaceAndTab));
  if (v == "close") return true;
  if (v == "keep-alive") return false;
  return std::nullopt;
}

void ParseContentRange(std::string_view value, std::string& begin, std::string& end) {
  // The begin starts after "bytes " (the seventh character).
  const std::string_view rest = value.size() > 6 ? value.substr(6) : std::string_view();
  const size_t dash = rest.find('-');
  begin = std::string(rest.substr(0, dash));
  if (dash == std::string_view::npos) {
    end.clear();
    return;
  }
  const std::string_view tail = rest.substr(dash + 1);
  end = std::string(tail.substr(0, tail.find('/')));
}

// --- TChunkDecoder ----------------------------------------------------------------------------

void TChunkDecoder::Reset() {
  state_ = State::Size;
  sizeDigits_ = false;
  size_ = 0;
  received_ = 0;
}

size_t TChunkDecoder::Feed(const char* data, size_t len, const Sink& sink) {
  size_t i = 0;
  while (state_ != State::Done && state_ != State::Error) {
    switch (state_) {
      case State::Size: {
        if (i >= len) return i;
        const int digit = text::HexDigitValue(data[i]);
        if (digit < 0) {
          // A size is at least one hex digit, ended by an extension, blank or line end;
          // anything else ("zz", "-1") is not a chunk size.
          const char c = data[i];
          const bool separator = c == ';' || c == ' ' || c == '\t' || c == '\r' || c == '\n';
          if (!sizeDigits_ || !separator) {
            state_ = State::Error;
            return i;
          }
          state_ = State::Extension;  // not consumed here
          break;
        }
        sizeDigits_ = true;
        size_ = size_ * 16 + static_cast<uint64_t>(digit);
        if (size_ > kMaxChunkSize) {
          state_ = State::Error;
          return i;
        }
        ++i;
        break;
      }
      case State::Extension: {
        const void* lf = i < len ? std::memchr(data + i, '\n', len - i) : nullptr;
        if (lf == nullptr) return len;
        i = static_cast<size_t>(static_cast<const char*>(lf) - data) + 1;
        state_ = State::Data;
        break;
      }
      case State::Data: {
        const uint64_t want = size_ - received_;
        if (want > 0) {
          if (i >= len) return i;
          const size_t n = static_cast<size_t>(std::min<uint64_t>(want, len - i));
          received_ += n;
          i += n;
          if (received_ == size_) state_ = State::DataEnd;
          if (!sink(data + i - n, n)) return i;
        } else {
          state_ = State::DataEnd;
        }
        break;
      }
      case State::DataEnd: {
        const void* lf = i < len ? std::memchr(data + i, '\n', len - i) : nullptr;
        if (lf == nullptr) return len;
        i = static_cast<size_t>(static_cast<const char*>(lf) - data) + 1;
        if (size_ == 0) {
          state_ = State::Done;
        } else {
          state_ = State::Size;
          sizeDigits_ = false;
          size_ = 0;
          received_ = 0;
        }
        break;
      }
      case State::Done:
      case State::Error:
        break;
    }
  }
  return i;
}

}  // namespace qelo::net
