#include "skin_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <system_error>

#include "text/ascii_text.h"
#include "text/gbk.h"

namespace qelo::service {
namespace {

constexpr std::string_view kContainerExt = ".skn";
constexpr std::string_view kPictureExt = ".jpg";
constexpr size_t kMaxNameBytes = 200;
// More digits than this would overflow; such a number is larger than any file.
constexpr int64_t kHuge = INT64_MAX / 16;

// Decimal digits only; saturates at kHuge. Nothing for an empty or non-digit text.
std::optional<int64_t> Digits(std::string_view s) {
  if (s.empty()) return std::nullopt;
  int64_t v = 0;
  for (char c : s) {
    if (c < '0' || c > '9') return std::nullopt;
    v = std::min(kHuge, v * 10 + (c - '0'));
  }
  return v;
}

bool StartsWithNoCase(std::string_view s, std::string_view prefix) {
  if (s.size() < prefix.size()) return false;
  for (size_t i = 0; i < prefix.size(); ++i) {
    const char a = (s[i] >= 'A' && s[i] <= 'Z') ? static_cast<char>(s[i] + 32) : s[i];
    if (a != prefix[i]) return false;
  }
  return true;
}

}  // namespace

UniqueFd::~UniqueFd() {
  if (fd_ >= 0) ::close(fd_);
}

UniqueFd& UniqueFd::operator=(UniqueFd&& o) noexcept {
  if (this != &o) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = std::exchange(o.fd_, -1);
  }
  return *this;
}

ByteRange ResolveRange(std::string_view header, int64_t size) {
  const ByteRange whole{ByteRange::Kind::kWhole, 0, size > 0 ? size - 1 : 0};
  header = text::Trim(header, text::TBlanks::SpaceAndTab);
  if (!StartsWithNoCase(header, "bytes=")) return whole;
  const std::string_view range_set = text::Trim(header.substr(6), text::TBlanks::SpaceAndTab);
  const size_t dash = range_set.find('-');
  if (dash == std::string_view::npos || range_set.find(',') != std::string_view::npos) return whole;
  const auto first = Digits(text::Trim(range_set.substr(0, dash), text::TBlanks::SpaceAndTab));
  const std::string_view last_text =
      text::Trim(range_set.substr(dash + 1), text::TBlanks::SpaceAndTab);
  const auto last = Digits(last_text);
  if (!last_text.empty() && !last) return whole;
  const ByteRange unsatisfiable{ByteRange::Kind::kUnsatisfiable, 0, 0};
  if (!first) {
    // "-N": the last N bytes.
    if (!last) return whole;
    if (*last == 0 || size == 0) return unsatisfiable;
    return {ByteRange::Kind::kPartial, std::max<int64_t>(0, size - *last), size - 1};
  }
  if (last && *last < *first) return whole;
  if (*first >= size) return unsatisfiable;
  return {ByteRange::Kind::kPartial, *first, last ? std::min(*last, size - 1) : size - 1};
}

bool IsSafeSkinName(std::string_view name) {
  if (name.empty() || name.size() > kMaxNameBytes || name.front() == '.') return false;
  if (name.find("..") != std::string_view::npos) return false;
  return std::none_of(name.begin(), name.end(), [](char ch) {
    const auto c = static_cast<unsigned char>(ch);
    return c <= 0x20 || c == 0x7F || ch == '"' || ch == ',' || ch == '|' || ch == '/' || ch == '\\';
  });
}

SkinStore::SkinStore(std::string dir) : dir_(std::move(dir)) {}

std::vector<std::string> SkinStore::Names() const {
  std::vector<std::string> names;
  std::error_code ec;
  for (std::filesystem::directory_iterator it(dir_, ec), end; !ec && it != end; it.increment(ec)) {
    const std::string file = it->path().filename().string();
    if (file.size() <= kContainerExt.size() || !file.ends_with(kContainerExt)) continue;
    if (!it->is_regular_file(ec)) continue;
    std::string name = file.substr(0, file.size() - kContainerExt.size());
    // A name that does not survive the trip to GBK and back could not be asked for.
    if (IsSafeSkinName(name) && text::GbkToUtf8(text::Utf8ToGbk(name)) == name) {
      names.push_back(std::move(name));
    }
  }
  std::sort(names.begin(), names.end());
  return names;
}

std::string SkinStore::ListReply() const {
  std::string reply;
  for (const std::string& name : Names()) {
    if (!reply.empty()) reply.push_back(',');
    reply.append(text::Utf8ToGbk(name));
  }
  return reply;
}

bool SkinStore::AcceptsName(std::string_view gbk_name) {
  // Checked on the UTF-8 form: a GBK trail byte may equal "\" without being one.
  const std::string name = text::GbkToUtf8(gbk_name);
  return IsSafeSkinName(name) && text::Utf8ToGbk(name) == gbk_name;
}

std::optional<SkinFile> SkinStore::Open(std::string_view gbk_name, SkinPart part) const {
  if (!AcceptsName(gbk_name)) return std::nullopt;
  const std::string name = text::GbkToUtf8(gbk_name);
  const std::string path =
      dir_ + "/" + name + std::string(part == SkinPart::kPicture ? kPictureExt : kContainerExt);
  UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (!fd) return std::nullopt;
  struct stat st {};
  if (::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
  return SkinFile{std::move(fd), static_cast<int64_t>(st.st_size)};
}

int64_t ReadAt(int fd, int64_t offset, char* buf, size_t n) {
  while (true) {
    const ssize_t got = ::pread(fd, buf, n, offset);
    if (got >= 0) return got;
    if (errno != EINTR) return -1;
  }
}

}  // namespace qelo::service
