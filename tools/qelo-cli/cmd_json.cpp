// qelo-cli json [--gbk | --utf8] FILE [--member KEY]...: parses FILE (GBK unless --utf8) as the
// client parses a reply and prints the JSON text of the value, or the text of each member, as
// UTF-8. An absent result prints "absent" on stderr and the exit status is 1.
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "commands.h"
#include "json/json.h"
#include "text/gbk.h"

namespace qelo::cli {
namespace {

// Far above any reply the service sends; parsing takes several times the text in memory.
constexpr std::streamsize kMaxFileSize = std::streamsize{64} << 20;
constexpr char16_t kReplacement = 0xFFFD;

void AppendUtf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out.push_back(static_cast<char>(c));
  } else if (c < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (c >> 6)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else if (c < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (c >> 12)));
    out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (c >> 18)));
    out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  }
}

// Surrogate pairs join; a lone surrogate becomes U+FFFD.
std::string Utf16ToUtf8(std::u16string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char16_t u = text[i];
    if (u >= 0xD800 && u <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
        text[i + 1] <= 0xDFFF) {
      AppendUtf8(out, 0x10000 + ((char32_t{u} - 0xD800) << 10) + (text[i + 1] - 0xDC00));
      ++i;
    } else {
      AppendUtf8(out, (u >= 0xD800 && u <= 0xDFFF) ? kReplacement : u);
    }
  }
  return out;
}

// Length of the sequence a lead byte starts (1 to 4), or 0 for a byte that cannot lead.
int SequenceLength(unsigned char b) {
  if (b < 0x80) return 1;
  if (b >= 0xC2 && b <= 0xDF) return 2;
  if (b >= 0xE0 && b <= 0xEF) return 3;
  if (b >= 0xF0 && b <= 0xF4) return 4;
  return 0;
}

// Each byte of an invalid, overlong or truncated sequence becomes U+FFFD.
std::u16string Utf8ToUtf16(std::string_view text) {
  static constexpr char32_t kLowest[] = {0, 0, 0x80, 0x800, 0x10000};
  std::u16string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    const auto b = static_cast<unsigned char>(text[i]);
    const int length = SequenceLength(b);
    bool valid = length > 0 && text.size() - i >= static_cast<std::size_t>(length);
    char32_t c = length == 1 ? b : b & (0x7F >> length);
    for (int k = 1; valid && k < length; ++k) {
      const auto t = static_cast<unsigned char>(text[i + static_cast<std::size_t>(k)]);
      valid = (t & 0xC0) == 0x80;
      c = (c << 6) | (t & 0x3F);
    }
    valid = valid && c >= kLowest[length] && c <= 0x10FFFF && (c < 0xD800 || c > 0xDFFF);
    if (!valid) {
      out.push_back(kReplacement);
      ++i;
      continue;
    }
    if (c >= 0x10000) {
      out.push_back(static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(c));
    }
    i += static_cast<std::size_t>(length);
  }
  return out;
}

bool ReadFile(const std::string& path, std::string& content) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    std::fprintf(stderr, "qelo-cli json: cannot read %s\n", path.c_str());
    return false;
  }
  content.assign(static_cast<std::size_t>(kMaxFileSize) + 1, '\0');
  in.read(content.data(), kMaxFileSize + 1);
  if (in.bad()) {
    std::fprintf(stderr, "qelo-cli json: cannot read %s\n", path.c_str());
    return false;
  }
  if (in.gcount() > kMaxFileSize) {
    std::fprintf(stderr, "qelo-cli json: %s is larger than 64 MiB\n", path.c_str());
    return false;
  }
  content.resize(static_cast<std::size_t>(in.gcount()));
  return true;
}

void PrintLine(std::u16string_view text) {
  const std::string line = Utf16ToUtf8(text) + "\n";
  std::fwrite(line.data(), 1, line.size(), stdout);
}

int Usage() {
  std::fprintf(stderr, "usage: qelo-cli json [--gbk | --utf8] FILE [--member KEY]...\n");
  return 2;
}

}  // namespace

int RunJson(const Args& args) {
  bool utf8 = false;
  std::string path;
  std::vector<std::string> keys;
  for (std::size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--gbk" || args[i] == "--utf8") {
      utf8 = args[i] == "--utf8";
    } else if (args[i] == "--member" && i + 1 < args.size()) {
      keys.push_back(args[++i]);
    } else if (path.empty() && !args[i].starts_with("--")) {
      path = args[i];
    } else {
      return Usage();
    }
  }
  if (path.empty()) return Usage();

  std::string content;
  if (!ReadFile(path, content)) return 1;
  const json::IJsonValue value =
      json::ParseJsonText(utf8 ? Utf8ToUtf16(content) : text::GbkToUtf16(content));
  if (value.Absent()) {
    std::fprintf(stderr, "absent\n");
    return 1;
  }
  if (keys.empty()) {
    PrintLine(json::JsonText(value));
    return 0;
  }
  int status = 0;
  for (const std::string& key : keys) {
    const json::IJsonValue member = json::MemberValue(value, Utf8ToUtf16(key));
    // Every key keeps its line on stdout, so the output lines up with the keys.
    PrintLine(json::ValueText(member));
    if (member.Absent()) {
      std::fflush(stdout);
      std::fprintf(stderr, "absent\n");
      status = 1;
    }
  }
  return status;
}

}  // namespace qelo::cli
