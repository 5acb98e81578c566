#include "net/http_url.h"

#include <algorithm>

#include "text/ascii_text.h"

namespace qelo::net {

namespace {

using text::AsciiLower;
using text::StartsWithNoCase;

bool IsSchemeChar(char c) {
  const char l = AsciiLower(c);
  return (l >= 'a' && l <= 'z') || (l >= '0' && l <= '9') || l == '+' || l == '-' || l == '.';
}

// Splits "user:pass@host:port" into its parts.
void SplitAuthority(std::string_view auth, TUrlParts& out) {
  const size_t at = auth.rfind('@');
  if (at != std::string_view::npos) {
    const std::string_view userInfo = auth.substr(0, at);
    const size_t colon = userInfo.find(':');
    out.User = std::string(userInfo.substr(0, colon));
    if (colon != std::string_view::npos) out.Pass = std::string(userInfo.substr(colon + 1));
    auth.remove_prefix(at + 1);
  }
  const size_t colon = auth.rfind(':');
  out.Host = std::string(auth.substr(0, colon));
  if (colon != std::string_view::npos) out.Port = std::string(auth.substr(colon + 1));
}

std::string_view CutAt(std::string_view s, char c) {
  return s.substr(0, s.find(c));
}

}  // namespace

TUrlParts ParseURL(std::string_view url) {
  TUrlParts out;
  if (url.empty()) return out;

  std::string_view rest = url;
  const size_t sep = url.find("://");
  if (sep != std::string_view::npos) {
    const std::string_view scheme = url.substr(0, sep);
    if (std::all_of(scheme.begin(), scheme.end(), IsSchemeChar)) {
      out.Proto = AsciiLower(scheme);
      rest = url.substr(sep + 3);
    } else {
      out.Proto = "http";
    }
  } else {
    if (url.front() == '/' || StartsWithNoCase(url, "http:")) {
      out.Proto = "http";
    } else if (StartsWithNoCase(url, "mailto:")) {
      out.Proto = "mailto";
    }
    if (url.front() == '/' && (url.size() < 2 || url[1] != '/')) {
      out.Path = std::string(url);
      return out;
    }
  }

  const size_t cut = rest.find_first_of("/?");
  if (cut != std::string_view::npos) out.Path = std::string(rest.substr(cut));
  SplitAuthority(rest.substr(0, cut), out);
  return out;
}

std::string DocNameOf(std::string_view path) {
  const std::string_view noQuery = CutAt(path, '?');
  if (noQuery.empty() || noQuery.back() == '/') return "document.htm";
  std::string_view name = noQuery.substr(noQuery.rfind('/') + 1);
  name = CutAt(name.substr(0, 255), '?');
  return std::string(name);
}

std::string HtmlDocName(std::string_view docName) {
  const size_t dot = docName.rfind('.');
  if (dot == std::string_view::npos) return std::string(docName) + ".htm";
  if (AsciiLower(docName.substr(dot)) == ".exe")
    return std::string(docName.substr(0, dot)) + ".htm";
  return std::string(docName);
}

std::string AbsoluteUrl(const THttpTarget& target) {
  std::string url =
      (target.Proto.empty() ? std::string("http") : target.Proto) + "://" + target.Host;
  if (!target.Port.empty() && target.Port != "80") url += ":" + target.Port;
  return url + target.Path;
}

TLocationTarget ResolveLocation(std::string_view value, const THttpTarget& current,
                                std::string_view urlProto) {
  TLocationTarget out;
  out.Target = current;
  if (StartsWithNoCase(value, "http://") || StartsWithNoCase(value, "https://")) {
    const TUrlParts parts = ParseURL(value);
    out.Target.Proto = parts.Proto;
    out.Target.Host = parts.Host;
    out.Target.Port = parts.Port.empty() ? "80" : parts.Port;
    out.Target.Path = parts.Path.empty() ? "/" : parts.Path;
    if (!parts.User.empty() && !parts.Pass.empty()) {
      out.User = parts.User;
      out.Pass = parts.Pass;
    }
    out.Location = AbsoluteUrl(out.Target);
    return out;
  }

  if (!value.empty() && value.front() == '/') {
    out.Target.Path = std::string(value);
  } else {
    // Relative: keep the current path up to its last "/" or ":" before any query.
    const std::string_view base = CutAt(current.Path, '?');
    const size_t slash = base.find_last_of("/:");
    const std::string_view dir =
        slash == std::string_view::npos ? std::string_view() : base.substr(0, slash + 1);
    out.Target.Path = std::string(dir) + std::string(value);
  }
  THttpTarget shown = out.Target;
  shown.Proto = urlProto.empty() ? "http" : std::string(urlProto);
  out.Location = AbsoluteUrl(shown);
  return out;
}

}  // namespace qelo::net
