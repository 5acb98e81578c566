#include "text/chain_codec.h"

#include <chrono>
#include <random>

#include "text/ascii_text.h"

namespace qelo::text {
namespace {

constexpr char kHex[] = "0123456789ABCDEF";

std::string_view KeyInUse(std::string_view key) {
  return key.empty() ? kChainDefaultKey : key;
}

void AppendHex(std::string& out, uint8_t v) {
  out += kHex[v >> 4];
  out += kHex[v & 15];
}

// Printable form of a piece of text for an error message: bytes outside ASCII as \xNN.
std::string Printable(std::string_view text) {
  std::string out;
  for (unsigned char c : text) {
    if (c >= 32 && c < 127) {
      out += static_cast<char>(c);
    } else {
      out += "\\x";
      AppendHex(out, c);
    }
  }
  return out;
}

// Value of the two characters at pos (0-based).
uint8_t PairAt(std::string_view text, size_t pos) {
  const int hi = HexDigitValue(text[pos]);
  const int lo = HexDigitValue(text[pos + 1]);
  if (hi < 0 || lo < 0) {
    throw EConvertError("not a hexadecimal pair at position " + std::to_string(pos + 1) + ": '" +
                        Printable(text.substr(pos, 2)) + "'");
  }
  return static_cast<uint8_t>(hi << 4 | lo);
}

uint8_t RandomStart() {
  const auto seed = std::chrono::high_resolution_clock::now().time_since_epoch().count();
  std::seed_seq seq{static_cast<uint32_t>(seed), static_cast<uint32_t>(seed >> 32)};
  std::mt19937 gen(seq);
  return static_cast<uint8_t>(std::uniform_int_distribution<int>(0, 255)(gen));
}

}  // namespace

std::string ChainEncodeFrom(uint8_t start, std::string_view data, std::string_view key) {
  key = KeyInUse(key);
  std::string out;
  out.reserve(2 + 2 * data.size());
  unsigned a = start;
  AppendHex(out, static_cast<uint8_t>(a));
  for (size_t i = 0; i < data.size(); ++i) {
    const unsigned b = static_cast<unsigned char>(data[i]);
    a = ((a + b) % 255) ^ static_cast<unsigned char>(key[i % key.size()]);
    AppendHex(out, static_cast<uint8_t>(a));
  }
  return out;
}

std::string ChainEncode(std::string_view data, std::string_view key) {
  return ChainEncodeFrom(RandomStart(), data, key);
}

std::string ChainDecode(std::string_view text, std::string_view key) {
  key = KeyInUse(key);
  // The start value and at least one pair: a text of the start value alone is refused too,
  // although ChainEncode makes it of empty data.
  if (text.size() < 4) throw EConvertError("text too short to decode: '" + Printable(text) + "'");
  unsigned a = PairAt(text, 0);
  std::string out;
  out.reserve(text.size() / 2);
  size_t k = 0;
  for (size_t pos = 2; pos + 1 < text.size(); pos += 2, ++k) {
    const unsigned v = PairAt(text, pos);
    const unsigned d = v ^ static_cast<unsigned char>(key[k % key.size()]);
    // Encoding works modulo 255, so bytes 0 and 255 meet; the result is always taken as 1..255.
    // (After a start or pair value of 255 the plain formula would give 0 for a byte 255.)
    const unsigned byte = a < d ? d - a : d + 255 - a;
    out += static_cast<char>(byte == 0 ? 255 : byte);
    a = v;
  }
  return out;
}

}  // namespace qelo::text
