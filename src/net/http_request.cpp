#include "net/http_request.h"

#include <cstdio>
#include <ctime>

namespace qelo::net {

namespace {

bool HasBody(const std::string& method) {
  return method == "POST" || method == "PUT";
}

void AddIf(std::vector<std::string>& lines, const char* name, const std::string& value) {
  if (!value.empty()) lines.push_back(name + value);
}

}  // namespace

std::string HttpDate(int64_t secondsSinceEpoch) {
  static constexpr char kDays[] = "SunMonTueWedThuFriSat";
  static constexpr char kMonths[] = "JanFebMarAprMayJunJulAugSepOctNovDec";
  const std::time_t t = static_cast<std::time_t>(secondsSinceEpoch);
  std::tm tm{};
  gmtime_r(&t, &tm);
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.3s, %2.2d %.3s %4.4d %2.2d:%2.2d:%2.2d GMT",
                kDays + 3 * tm.tm_wday, tm.tm_mday, kMonths + 3 * tm.tm_mon, tm.tm_year + 1900,
                tm.tm_hour, tm.tm_min, tm.tm_sec);
  return buf;
}

std::vector<std::string> ComposeRequestHeader(const THttpRequestHead& h) {
  std::vector<std::string> lines;
  lines.push_back(h.Method + " " + h.Path + " HTTP/" + h.Version);
  AddIf(lines, "From: ", h.Sender);
  AddIf(lines, "Accept: ", h.Accept);
  AddIf(lines, "Referer: ", h.Reference);
  AddIf(lines, "Connection: ", h.Connection);
  AddIf(lines, "Accept-Language: ", h.AcceptLanguage);
  if (HasBody(h.Method)) AddIf(lines, "Content-Type: ", h.ContentType);
  AddIf(lines, "User-Agent: ", h.Agent);
  std::string host = "Host: " + h.TargetHost;
  if (!h.TargetPort.empty() && h.TargetPort != "80") host += ":" + h.TargetPort;
  lines.push_back(host);
  if (h.NoCache) lines.push_back("Pragma: no-cache");
  AddIf(lines, "Proxy-Connection: ", h.ProxyConnection);
  if (HasBody(h.Method)) lines.push_back("Content-Length: " + std::to_string(h.ContentLength));
  if (h.ModifiedSince != 0) lines.push_back("If-Modified-Since: " + HttpDate(h.ModifiedSince));
  AddIf(lines, "Cookie: ", h.Cookie);
  if (!h.RangeBegin.empty() || !h.RangeEnd.empty())
    lines.push_back("Range: bytes=" + h.RangeBegin + "-" + h.RangeEnd);
  return lines;
}

}  // namespace qelo::net
