// URL splitting, document names and the resolution of a "location" value against the
// request in progress.
#pragma once

#include <string>
#include <string_view>

namespace qelo::net {

struct TUrlParts {
  std::string Proto;  // lower-cased; empty when the URL names none
  std::string User;
  std::string Pass;
  std::string Host;
  std::string Port;
  std::string Path;  // from the first "/" or "?" after the authority; query and fragment kept
};

// Splits an absolute URL (or a bare "/path") into its parts.
TUrlParts ParseURL(std::string_view url);

// The document name of a request path: its last segment without the query, at most 255
// characters; "document.htm" for an empty path or one that ends in "/".
std::string DocNameOf(std::string_view path);

// The name given to an HTML body: ".exe" or a missing extension becomes ".htm".
std::string HtmlDocName(std::string_view docName);

// Where a request goes: protocol, host, port (never empty) and path.
struct THttpTarget {
  std::string Proto;
  std::string Host;
  std::string Port;
  std::string Path;
};

struct TLocationTarget {
  THttpTarget Target;
  std::string User;  // both set only when the value carried a user name and a password
  std::string Pass;
  std::string Location;  // the absolute form of the target
};

// Resolves a non-empty "location" value against the current target: an absolute path, an
// "http://" or "https://" URL, or a path relative to the current one. urlProto is the
// protocol of the request's URL, used for the absolute form of the first and last cases.
TLocationTarget ResolveLocation(std::string_view value, const THttpTarget& current,
                                std::string_view urlProto);

// protocol "://" host [":" port when not 80] path
std::string AbsoluteUrl(const THttpTarget& target);

}  // namespace qelo::net
