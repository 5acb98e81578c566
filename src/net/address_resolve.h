// Turning the texts of TAsyncSocket's properties into what the system calls take: the dotted
// IPv4 rule shared by DnsLookup and Connect, and Connect's resolving of address, port and
// protocol. IPv4 only.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace qelo::net {

// Dotted IPv4 text: optional surrounding blanks, exactly three dots each followed by a digit, no
// leading dot, four decimal parts of at most three digits and at most 255 each. Gives the
// address in network order and its canonical dotted form ("127.000.0.01" is "127.0.0.1").
bool ParseDottedIPv4(std::string_view text, uint32_t& addr, std::string& dotted);

// An address in network order as dotted text.
std::string DottedText(uint32_t netAddr);

// A resolving failure of Connect: its text and, where one exists, its error number.
struct TResolveError {
  std::string text;
  int code = 0;
};

// An address text: dotted IPv4 (anything made of digits and dots must be that), otherwise a
// host name looked up with the system's resolver, which blocks until it answers.
bool ResolveHost(const std::string& host, uint32_t& addr, TResolveError& err);
// A decimal port (at most 65535) or a service name for protoName.
bool ResolvePort(const std::string& port, const char* protoName, uint16_t& out, TResolveError& err);
// "tcp", "udp", "raw" (any case), a number of at most three digits, or a protocol name.
bool ResolveProto(const std::string& proto, int& out, TResolveError& err);

}  // namespace qelo::net
