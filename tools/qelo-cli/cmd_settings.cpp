// qelo-cli settings encode TEXT | decode FILE: the settings file's codec from the shell.
// TEXT is taken as UTF-8 and stored as GBK; a decoded text is printed as UTF-8.
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

#include "commands.h"
#include "text/chain_codec.h"
#include "text/gbk.h"
#include "text/settings_codec.h"

namespace qelo::cli {
namespace {

// A settings file holds one short line; anything far bigger is not one.
constexpr std::streamsize kMaxFileSize = 1 << 20;

void Write(FILE* out, const std::string& text) {
  std::fwrite(text.data(), 1, text.size(), out);
}

int Encode(const std::string& utf8) {
  Write(stdout, text::SettingsCodec(text::Utf8ToGbk(utf8), true) + "\r\n");
  return 0;
}

int Decode(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    std::fprintf(stderr, "qelo-cli settings: cannot read %s\n", path.c_str());
    return 1;
  }
  std::string content(kMaxFileSize + 1, '\0');
  in.read(content.data(), kMaxFileSize + 1);
  if (in.bad()) {
    std::fprintf(stderr, "qelo-cli settings: cannot read %s\n", path.c_str());
    return 1;
  }
  if (in.gcount() > kMaxFileSize) {
    std::fprintf(stderr, "qelo-cli settings: %s is too large for a settings file\n", path.c_str());
    return 1;
  }
  content.resize(static_cast<size_t>(in.gcount()));
  try {
    const std::string plain = text::SettingsCodec(text::JoinLinesCrLf(content), false);
    Write(stdout, text::GbkToUtf8(plain) + "\n");
    return 0;
  } catch (const text::EConvertError& e) {
    std::fprintf(stderr, "qelo-cli settings: %s\n", e.what());
    return 1;
  }
}

}  // namespace

int RunSettings(const Args& args) {
  if (args.size() == 2 && args[0] == "encode") return Encode(args[1]);
  if (args.size() == 2 && args[0] == "decode") return Decode(args[1]);
  std::fprintf(stderr,
               "usage: qelo-cli settings encode TEXT   (TEXT in UTF-8, stored as GBK; prints the "
               "line with CR LF)\n"
               "       qelo-cli settings decode FILE   (prints the stored text as UTF-8)\n");
  return 2;
}

}  // namespace qelo::cli
