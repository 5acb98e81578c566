#include "net/address_resolve.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <algorithm>

#include "net/socket_errors.h"
#include "text/ascii_text.h"

namespace qelo::net {

namespace {

bool AllDigits(std::string_view s) {
  return !s.empty() && std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

int GaiToSocketError(int gai) {
  switch (gai) {
    case EAI_NONAME:
      return kSockHostNotFound;
    case EAI_AGAIN:
      return kSockTryAgain;
    case EAI_NODATA:
    case EAI_ADDRFAMILY:
      return kSockNoData;
    case EAI_MEMORY:
      return kSockNoBufferSpace;
    default:
      return kSockNoRecovery;
  }
}

}  // namespace

bool ParseDottedIPv4(std::string_view text, uint32_t& addr, std::string& dotted) {
  const std::string_view t = text::Trim(text);
  if (t.empty() || t.front() == '.') return false;
  uint32_t value = 0;
  int parts = 0;
  size_t pos = 0;
  while (true) {
    const size_t dot = t.find('.', pos);
    const std::string_view part =
        t.substr(pos, dot == std::string_view::npos ? std::string_view::npos : dot - pos);
    if (!AllDigits(part) || part.size() > 3) return false;
    const int n = std::stoi(std::string(part));
    if (n > 255) return false;
    value = (value << 8) | static_cast<uint32_t>(n);
    ++parts;
    if (dot == std::string_view::npos) break;
    pos = dot + 1;
  }
  if (parts != 4) return false;
  addr = htonl(value);
  dotted = DottedText(addr);
  return true;
}

std::string DottedText(uint32_t netAddr) {
  char text[INET_ADDRSTRLEN] = {};
  in_addr a{};
  a.s_addr = netAddr;
  inet_ntop(AF_INET, &a, text, sizeof text);
  return text;
}

bool ResolveHost(const std::string& host, uint32_t& addr, TResolveError& err) {
  if (host.empty()) {
    err = {"Winsock Resolve Host: '" + host + "' Invalid Hostname.", kSockInvalidArgument};
    return false;
  }
  if (std::all_of(host.begin(), host.end(),
                  [](char c) { return c == '.' || (c >= '0' && c <= '9'); })) {
    std::string dotted;
    if (!ParseDottedIPv4(host, addr, dotted)) {
      err = {"Winsock Resolve Host: '" + host + "' Invalid IP address.", kSockInvalidArgument};
      return false;
    }
    return true;
  }
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* res = nullptr;
  const int rc = getaddrinfo(host.c_str(), nullptr, &hints, &res);
  if (rc != 0 || res == nullptr) {
    const int code = rc != 0 ? GaiToSocketError(rc) : kSockNoData;
    err = {"Winsock Resolve Host: Cannot convert host address '" + host + "' - " +
               SocketErrorDescWithCode(code),
           code};
    return false;
  }
  addr = reinterpret_cast<sockaddr_in*>(res->ai_addr)->sin_addr.s_addr;
  freeaddrinfo(res);
  return true;
}

bool ResolvePort(const std::string& port, const char* protoName, uint16_t& out,
                 TResolveError& err) {
  if (port.empty()) {
    err = {"Winsock Resolve Port: Invalid Port.", kSockInvalidArgument};
    return false;
  }
  if (port[0] >= '0' && port[0] <= '9') {
    if (!AllDigits(port) || port.size() > 5 || std::stoi(port) > 65535) {
      err = {"Winsock Resolve Port: Invalid Port.", kSockInvalidArgument};
      return false;
    }
    out = static_cast<uint16_t>(std::stoi(port));
    return true;
  }
  servent entry{};
  servent* found = nullptr;
  char buf[1024];
  if (getservbyname_r(port.c_str(), protoName, &entry, buf, sizeof buf, &found) != 0 ||
      found == nullptr) {
    err = {"Winsock Resolve Port: Cannot convert port '" + port + "' - " +
               SocketErrorDescWithCode(kSockNoData),
           kSockNoData};
    return false;
  }
  out = ntohs(static_cast<uint16_t>(found->s_port));
  return true;
}

bool ResolveProto(const std::string& proto, int& out, TResolveError& err) {
  if (proto.empty()) {
    err = {"Winsock Resolve Proto: Invalid Protocol.", kSockInvalidArgument};
    return false;
  }
  const std::string lower = text::AsciiLower(proto);
  if (lower == "tcp")
    out = IPPROTO_TCP;
  else if (lower == "udp")
    out = IPPROTO_UDP;
  else if (lower == "raw")
    out = IPPROTO_RAW;
  else if (AllDigits(lower) && lower.size() <= 3)
    out = std::stoi(lower);
  else {
    protoent entry{};
    protoent* found = nullptr;
    char buf[1024];
    if (getprotobyname_r(proto.c_str(), &entry, buf, sizeof buf, &found) != 0 || found == nullptr) {
      err = {"Winsock Resolve Proto: Cannot convert protocol '" + proto + "' - " +
                 SocketErrorDescWithCode(kSockNoData),
             kSockNoData};
      return false;
    }
    out = found->p_proto;
  }
  return true;
}

}  // namespace qelo::net
