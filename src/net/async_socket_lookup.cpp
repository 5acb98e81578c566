// TAsyncSocket, name lookups: the dotted form answered inside the call, every other name through
// the c-ares resolver on the thread's dispatcher, its reply delivered from the loop.
#include <algorithm>

#include "net/address_resolve.h"
#include "net/async_socket.h"
#include "net/dns_lookup.h"
#include "text/ascii_text.h"

namespace qelo::net {

// --- Name lookup -------------------------------------------------------------------------------

void TAsyncSocket::DnsLookup(const std::string& HostName) {
  const std::string host(text::Trim(HostName));
  if (host.empty()) {
    const TLifeGuard::TCheck alive = life_.Check();
    RaiseException("DNS lookup: invalid host name.", kSockInvalidArgument);
    if (!alive) return;
    FireEvent(OnDnsLookupDone, this, kSockInvalidArgument);
    return;
  }
  DropPendingLookup();
  dnsResult_.clear();
  dnsResultList_.clear();

  uint32_t addr = 0;
  std::string dotted;
  if (ParseDottedIPv4(host, addr, dotted)) {
    dnsResult_ = dotted;
    dnsResultList_.push_back(dotted);
    FireEvent(OnDnsLookupDone, this, 0);
    return;
  }
  if (!Attached()) {
    RaiseException("DnsLookup: Window not assigned");
    return;
  }
  StartAsyncLookup(host);
}

void TAsyncSocket::StartAsyncLookup(const std::string& HostName) {
  const uint64_t serial = nextDnsSerial_++;
  dnsPending_ = serial;
  try {
    if (!dns_) {
      TDnsLookup::Options options;
      options.servers = dnsServers_;
      dns_ = std::make_unique<TDnsLookup>(dispatcher(), options);
    }
    // A name from the hosts file is answered inside Start; the reply still goes through the
    // queue, so the event always comes from the loop.
    dnsQueryId_ = dns_->Start(HostName, [this, serial](int err, std::vector<std::string> addrs) {
      OnDnsReply(serial, err, std::move(addrs));
    });
  } catch (const std::exception&) {
    dnsPending_ = 0;
    dnsQueryId_ = 0;
    RaiseException(
        HostName + ": can't start DNS lookup - " + SocketErrorDescWithCode(kSockNoRecovery),
        kSockNoRecovery);
  }
}

void TAsyncSocket::OnDnsReply(uint64_t Serial, int ErrCode, std::vector<std::string> Addrs) {
  if (Serial != dnsPending_) return;  // cancelled meanwhile
  dnsReplies_.push_back({Serial, ErrCode, std::move(Addrs)});
  PostMsg(Msg(kSlotDnsReply), static_cast<uintptr_t>(Serial), 0);
}

void TAsyncSocket::HandleDnsReplyMsg(uint64_t Serial) {
  auto it = std::find_if(dnsReplies_.begin(), dnsReplies_.end(),
                         [Serial](const DnsReply& r) { return r.serial == Serial; });
  if (it == dnsReplies_.end()) return;
  DnsReply reply = std::move(*it);
  dnsReplies_.erase(it);
  if (Serial != dnsPending_) return;  // a late reply of a lookup cancelled or replaced
  dnsPending_ = 0;
  dnsQueryId_ = 0;
  int err = reply.errCode;
  if (err == 0 && reply.addrs.empty()) err = kSockNoData;
  if (err == 0) {
    dnsResultList_ = std::move(reply.addrs);
    dnsResult_ = dnsResultList_.front();
  }
  FireEvent(OnDnsLookupDone, this, static_cast<uint16_t>(err));
}

void TAsyncSocket::DropPendingLookup() {
  if (dnsPending_ == 0) return;
  if (dns_ && dnsQueryId_ != 0) dns_->Cancel(dnsQueryId_);
  const uint64_t serial = dnsPending_;
  dnsPending_ = 0;
  dnsQueryId_ = 0;
  std::erase_if(dnsReplies_, [serial](const DnsReply& r) { return r.serial == serial; });
}

void TAsyncSocket::CancelDnsLookup() {
  if (dnsPending_ == 0) return;
  DropPendingLookup();
  if (destroying_) return;
  FireEvent(OnDnsLookupDone, this, kSockInterrupted);
}

void TAsyncSocket::SetDnsServers(std::string_view Value) {
  if (Value == dnsServers_) return;
  DropPendingLookup();
  dns_.reset();  // the next lookup sets the resolver up with the new servers
  dnsServers_ = std::string(Value);
}

}  // namespace qelo::net
