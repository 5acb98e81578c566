#include "skin/skin_inflate.h"

#include <zlib.h>

#include <climits>

#include "skin/skin_errors.h"

namespace qelo::skin {

namespace {

constexpr size_t kChunk = 4096;

// The inflate state, ended whatever way the read leaves.
class TInflater {
 public:
  TInflater() {
    if (inflateInit(&z_) != Z_OK) throw ECompressionError();
  }
  ~TInflater() { inflateEnd(&z_); }
  TInflater(const TInflater&) = delete;
  TInflater& operator=(const TInflater&) = delete;
  z_stream& Stream() { return z_; }

 private:
  z_stream z_{};
};

}  // namespace

std::string InflateBody(std::string_view compressed, size_t cap) {
  std::string out;
  if (compressed.empty()) return out;
  TInflater inflater;
  z_stream& z = inflater.Stream();
  size_t fed = 0;
  unsigned char chunk[kChunk];
  for (;;) {
    if (z.avail_in == 0) {
      if (fed == compressed.size()) return out;  // input ended before the stream did
      const size_t n = std::min<size_t>(compressed.size() - fed, UINT_MAX / 2);
      z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(compressed.data() + fed));
      z.avail_in = static_cast<uInt>(n);
      fed += n;
    }
    z.next_out = chunk;
    z.avail_out = kChunk;
    const int rc = inflate(&z, Z_NO_FLUSH);
    const size_t produced = kChunk - z.avail_out;
    if (produced > cap - out.size())
      throw ECompressionError("compression error: the body inflates past " + std::to_string(cap) +
                              " bytes");
    out.append(reinterpret_cast<const char*>(chunk), produced);
    if (rc == Z_STREAM_END) return out;
    if (rc == Z_BUF_ERROR && z.avail_in == 0) continue;  // wants more input
    if (rc != Z_OK) throw ECompressionError();
  }
}

}  // namespace qelo::skin
