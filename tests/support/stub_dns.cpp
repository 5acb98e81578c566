#include "support/stub_dns.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <stdexcept>

namespace qelo::test {

namespace {

constexpr size_t kHeaderSize = 12;
constexpr uint16_t kTypeA = 1;
constexpr uint16_t kClassIn = 1;
constexpr int kRcodeNameError = 3;
constexpr int kRcodeFormatError = 1;

uint16_t Read16(const unsigned char* p) {
  return static_cast<uint16_t>(p[0] << 8 | p[1]);
}

void Append16(std::string& out, uint16_t v) {
  out += static_cast<char>(v >> 8);
  out += static_cast<char>(v & 0xFF);
}

char Lower(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

}  // namespace

StubDnsServer::StubDnsServer(Names names) : names_(std::move(names)) {
  fd_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd_ < 0) throw std::runtime_error("stub DNS: no socket");
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof a;
  if (::bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
      ::getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &len) != 0) {
    ::close(fd_);
    throw std::runtime_error("stub DNS: cannot bind to loopback");
  }
  address_ = "127.0.0.1:" + std::to_string(ntohs(a.sin_port));
  thread_ = std::thread([this] { Serve(); });
}

StubDnsServer::~StubDnsServer() {
  stop_ = true;
  thread_.join();
  ::close(fd_);
}

void StubDnsServer::Serve() {
  unsigned char buf[1500];
  while (!stop_) {
    pollfd p{fd_, POLLIN, 0};
    if (::poll(&p, 1, 50) <= 0) continue;
    sockaddr_in from{};
    socklen_t fromLen = sizeof from;
    const ssize_t n =
        ::recvfrom(fd_, buf, sizeof buf, 0, reinterpret_cast<sockaddr*>(&from), &fromLen);
    if (n <= 0) continue;
    ++queries_;
    const std::string reply = Answer(buf, static_cast<size_t>(n));
    if (reply.empty()) continue;
    ::sendto(fd_, reply.data(), reply.size(), 0, reinterpret_cast<sockaddr*>(&from), fromLen);
  }
}

// The reply to one query: its id and question echoed, the table's addresses for an A question
// of a known name, no answer for other types of a known name, "no such name" otherwise.
std::string StubDnsServer::Answer(const unsigned char* query, size_t len) const {
  if (len < kHeaderSize) return {};
  std::string reply;
  const auto header = [&](int rcode, uint16_t answers, bool withQuestion) {
    reply.assign(reinterpret_cast<const char*>(query), 2);  // id
    const bool recursionDesired = (query[2] & 0x01) != 0;
    reply += static_cast<char>(0x80 | 0x04 | (recursionDesired ? 0x01 : 0));  // QR, AA, RD
    reply += static_cast<char>(0x80 | rcode);                                 // RA, RCODE
    Append16(reply, withQuestion ? 1 : 0);
    Append16(reply, answers);
    Append16(reply, 0);
    Append16(reply, 0);
  };
  if (Read16(query + 4) != 1) {
    header(kRcodeFormatError, 0, false);
    return reply;
  }
  std::string name;
  size_t pos = kHeaderSize;
  while (pos < len && query[pos] != 0) {
    const size_t label = query[pos];
    if ((label & 0xC0) != 0 || pos + 1 + label > len) return {};
    if (!name.empty()) name += '.';
    for (size_t i = 0; i < label; ++i)
      name += Lower(static_cast<char>(query[pos + 1 + i]));
    pos += 1 + label;
  }
  if (pos + 5 > len) return {};
  const size_t questionEnd = pos + 5;  // the root label, type and class
  const uint16_t type = Read16(query + pos + 1);
  const uint16_t cls = Read16(query + pos + 3);

  const auto found = names_.find(name);
  const std::vector<std::string> none;
  const std::vector<std::string>& addrs =
      found != names_.end() && type == kTypeA && cls == kClassIn ? found->second : none;
  header(found == names_.end() ? kRcodeNameError : 0, static_cast<uint16_t>(addrs.size()), true);
  reply.append(reinterpret_cast<const char*>(query + kHeaderSize), questionEnd - kHeaderSize);
  for (const std::string& dotted : addrs) {
    in_addr a{};
    if (inet_pton(AF_INET, dotted.c_str(), &a) != 1) continue;
    Append16(reply, 0xC000 | kHeaderSize);  // the name: a pointer to the question's
    Append16(reply, kTypeA);
    Append16(reply, kClassIn);
    Append16(reply, 0);
    Append16(reply, 60);  // TTL
    Append16(reply, 4);
    reply.append(reinterpret_cast<const char*>(&a.s_addr), 4);
  }
  return reply;
}

}  // namespace qelo::test
