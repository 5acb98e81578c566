// Composition of the request header lines: which lines, in which order, under which
// conditions.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

namespace qelo::net {

// Everything the request header depends on.
struct THttpRequestHead {
  std::string Method;  // "GET", "POST", "PUT" or "HEAD"
  std::string Path;
  std::string Version;  // "1.0" or "1.1"
  std::string Sender;
  std::string Accept;
  std::string Reference;
  std::string Connection;
  std::string AcceptLanguage;
  std::string ContentType;  // sent for POST and PUT only
  std::string Agent;
  std::string TargetHost;
  std::string TargetPort;
  bool NoCache = false;
  std::string ProxyConnection;
  int64_t ContentLength = 0;  // sent for POST and PUT only
  // Seconds since the epoch, formatted as it is (no time-zone conversion); 0 sends nothing.
  int64_t ModifiedSince = 0;
  std::string Cookie;
  std::string RangeBegin;
  std::string RangeEnd;
};

// The header lines without their CR LF, the request line first.
std::vector<std::string> ComposeRequestHeader(const THttpRequestHead& head);

// "Mon, 05 Jan 2026 10:04:02 GMT" for a time given as seconds since the epoch.
std::string HttpDate(int64_t secondsSinceEpoch);

}  // namespace qelo::net
