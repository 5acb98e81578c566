// TAsyncSocket against a scripted loopback peer: lookups, connecting, sending, receiving,
// closing, and the order in which the events arrive.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "net/async_socket.h"
#include "net/dispatcher.h"
#include "support/scripted_peer.h"
#include "support/stub_dns.h"

namespace qelo::net {
namespace {

using test::Close;
using test::Delay;
using test::Expect;
using test::ExpectCount;
using test::ReadToEof;
using test::Reset;
using test::ScriptedPeer;

constexpr int kWaitMs = 10000;

std::string Pattern(size_t n) {
  std::string s(n, '\0');
  for (size_t i = 0; i < n; ++i)
    s[i] = static_cast<char>('A' + (i * 31 + i / 7) % 26);
  return s;
}

// A connection with every event recorded in order as "name:code".
class SocketTest : public ::testing::Test {
 protected:
  void SetUp() override {
    sock = std::make_unique<TAsyncSocket>();
    Bind(*sock);
  }

  void Bind(TAsyncSocket& s) {
    s.OnDnsLookupDone = [this](TAsyncSocket*, uint16_t e) { Log("dns", e); };
    s.OnSessionConnected = [this](TAsyncSocket*, uint16_t e) { Log("connected", e); };
    s.OnDataAvailable = [this](TAsyncSocket* sender, uint16_t) {
      char buf[4096];
      int n;
      while ((n = sender->Receive(buf, sizeof buf)) > 0)
        received.append(buf, static_cast<size_t>(n));
      if (afterData) afterData(sender);
    };
    s.OnDataSent = [this](TAsyncSocket*, uint16_t e) { Log("sent", e); };
    s.OnSessionClosed = [this](TAsyncSocket*, uint16_t e) {
      Log("closed", e);
      receivedAtClose = received.size();
    };
    s.OnError = [this](TAsyncSocket* sender) { errors.push_back(sender->LastErrorText()); };
  }

  void Log(const char* name, int code) {
    events.push_back(std::string(name) + ":" + std::to_string(code));
  }
  size_t Count(const std::string& prefix) const {
    size_t n = 0;
    for (const auto& e : events)
      n += e.rfind(prefix, 0) == 0 ? 1 : 0;
    return n;
  }
  // Runs the loop in short slices, so conditions that the peer thread changes are seen too.
  static bool RunUntil(const std::function<bool()>& pred, int limitMs = kWaitMs) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(limitMs);
    while (!pred()) {
      if (Clock::now() >= deadline) return pred();
      Dispatcher::current().runOnce(5);
    }
    return true;
  }
  static void RunFor(int ms) {
    RunUntil([] { return false; }, ms);
  }
  bool Has(const std::string& e) const {
    return std::find(events.begin(), events.end(), e) != events.end();
  }

  // Connects to the peer and runs the loop until the attempt has ended.
  void ConnectTo(uint16_t port) {
    sock->SetAddr("127.0.0.1");
    sock->SetPort(std::to_string(port));
    sock->Connect();
    ASSERT_TRUE(RunUntil([&] { return Count("connected") > 0; }));
  }

  std::unique_ptr<TAsyncSocket> sock;
  std::vector<std::string> events;
  std::vector<std::string> errors;
  std::string received;
  size_t receivedAtClose = 0;
  std::function<void(TAsyncSocket*)> afterData;
};

// --- Lookups -----------------------------------------------------------------------------------

TEST_F(SocketTest, DottedAddressIsAnsweredInsideTheCall) {
  const std::pair<const char*, const char*> cases[] = {
      {"192.168.0.1", "192.168.0.1"},
      {"  10.0.0.255 ", "10.0.0.255"},
      {"127.000.0.01", "127.0.0.1"},
  };
  for (auto [input, dotted] : cases) {
    events.clear();
    sock->DnsLookup(input);
    EXPECT_EQ(events, std::vector<std::string>{"dns:0"}) << input;
    EXPECT_EQ(sock->DnsResult(), dotted);
    EXPECT_EQ(sock->DnsResultList(), std::vector<std::string>{dotted});
  }
}

TEST_F(SocketTest, EmptyNameReportsErrorAndInvalidArgumentInsideTheCall) {
  sock->DnsLookup("");
  EXPECT_EQ(events, std::vector<std::string>{"dns:10022"});
  EXPECT_EQ(errors, std::vector<std::string>{"DNS lookup: invalid host name."});

  TAsyncSocket bare;  // no OnError: the error is raised instead
  EXPECT_THROW(bare.DnsLookup(""), ESocketException);
}

TEST_F(SocketTest, NameIsAnsweredFromTheLoop) {
  sock->DnsLookup("localhost");
  EXPECT_TRUE(events.empty());  // even a hosts-file answer waits for the loop
  EXPECT_TRUE(sock->DnsLookupPending());
  ASSERT_TRUE(RunUntil([&] { return !events.empty(); }));
  EXPECT_EQ(events, std::vector<std::string>{"dns:0"});
  EXPECT_EQ(sock->DnsResult(), "127.0.0.1");
}

TEST_F(SocketTest, NotQuiteDottedIsLookedUpAsName) {
  test::StubDnsServer dns;
  sock->SetDnsServers(dns.Address());
  for (const char* name : {"1.2.3.256", "1.2.3", ".1.2.3.4", "1.2.3.4.5", "1..2.3"}) {
    events.clear();
    sock->DnsLookup(name);
    EXPECT_TRUE(events.empty()) << name;
    EXPECT_TRUE(sock->DnsLookupPending()) << name;
    sock->CancelDnsLookup();
    EXPECT_EQ(events, std::vector<std::string>{"dns:10004"}) << name;
  }
}

TEST_F(SocketTest, CancelGivesInterruptedAndTheLateReplyIsIgnored) {
  sock->DnsLookup("localhost");  // its reply is already queued when Cancel runs
  sock->CancelDnsLookup();
  EXPECT_EQ(events, std::vector<std::string>{"dns:10004"});
  sock->CancelDnsLookup();  // nothing pending: no second event
  RunFor(200);
  EXPECT_EQ(events, std::vector<std::string>{"dns:10004"});
  EXPECT_TRUE(sock->DnsResult().empty());
}

TEST_F(SocketTest, NewLookupReplacesPendingOneWithoutEvent) {
  sock->DnsLookup("localhost");
  sock->DnsLookup("10.1.2.3");
  EXPECT_EQ(events, std::vector<std::string>{"dns:0"});
  RunFor(200);
  EXPECT_EQ(events, std::vector<std::string>{"dns:0"});
  EXPECT_EQ(sock->DnsResult(), "10.1.2.3");
}

TEST_F(SocketTest, UnknownHostEndsWithHostNotFound) {
  test::StubDnsServer dns;
  sock->SetDnsServers(dns.Address());
  sock->DnsLookup("qelo-no-such-host.invalid");
  ASSERT_TRUE(RunUntil([&] { return !events.empty(); }, 20000));
  EXPECT_EQ(events, std::vector<std::string>{"dns:11001"});
  EXPECT_GE(dns.QueryCount(), 1);  // the answer came from the stub, not from elsewhere
  EXPECT_TRUE(sock->DnsResult().empty());
}

TEST_F(SocketTest, NameFromTheConfiguredServersGivesEveryAddressInOrder) {
  test::StubDnsServer dns(
      test::StubDnsServer::Names{{"files.qelo.test", {"10.1.2.3", "10.1.2.4"}}});
  sock->SetDnsServers(dns.Address());
  EXPECT_EQ(sock->DnsServers(), dns.Address());
  sock->DnsLookup("Files.Qelo.Test");
  ASSERT_TRUE(RunUntil([&] { return !events.empty(); }));
  EXPECT_EQ(events, std::vector<std::string>{"dns:0"});
  EXPECT_EQ(sock->DnsResult(), "10.1.2.3");
  EXPECT_EQ(sock->DnsResultList(), (std::vector<std::string>{"10.1.2.3", "10.1.2.4"}));

  // Other servers from the next lookup on: this one knows nothing.
  test::StubDnsServer empty;
  sock->SetDnsServers(empty.Address());
  events.clear();
  sock->DnsLookup("files.qelo.test");
  ASSERT_TRUE(RunUntil([&] { return !events.empty(); }, 20000));
  EXPECT_EQ(events, std::vector<std::string>{"dns:11001"});
  EXPECT_GE(empty.QueryCount(), 1);
}

TEST_F(SocketTest, ChangingServersDropsThePendingLookupWithoutEvent) {
  test::StubDnsServer dns(test::StubDnsServer::Names{{"files.qelo.test", {"10.1.2.3"}}});
  sock->SetDnsServers(dns.Address());
  sock->DnsLookup("files.qelo.test");
  EXPECT_TRUE(sock->DnsLookupPending());
  sock->SetDnsServers("");
  EXPECT_FALSE(sock->DnsLookupPending());
  RunFor(300);
  EXPECT_TRUE(events.empty());
}

// --- Connecting --------------------------------------------------------------------------------

TEST_F(SocketTest, RefusedConnectionReportsThenClosesItself) {
  std::vector<std::string> states;
  sock->OnChangeState = [&](TAsyncSocket*, TSocketState, TSocketState s) {
    states.push_back(SocketStateName(s));
  };
  sock->SetAddr("127.0.0.1");
  sock->SetPort(std::to_string(test::UnusedLoopbackPort()));
  sock->Connect();
  EXPECT_TRUE(events.empty());  // never inside Connect
  ASSERT_TRUE(RunUntil([&] { return Count("closed") > 0; }));
  EXPECT_EQ(events, (std::vector<std::string>{"connected:10061", "closed:0"}));
  EXPECT_EQ(sock->State(), wsClosed);
  EXPECT_EQ(states,
            (std::vector<std::string>{"wsOpened", "wsConnecting", "wsConnected", "wsClosed"}));
}

TEST_F(SocketTest, ConnectRefusals) {
  struct Case {
    const char* addr;  // nullptr: not set
    const char* port;
    const char* error;
  };
  const Case cases[] = {
      {"127.0.0.1", nullptr, "Connect: No Port Specified"},
      {nullptr, "80", "Connect: No IP Address Specified"},
      {"127.0.0.1", "http-nonsense-service",
       "connect: Winsock Resolve Port: Cannot convert port 'http-nonsense-service' - No Data "
       "(#11004)"},
      {"127.0.0.1", "99999", "connect: Winsock Resolve Port: Invalid Port."},
      {"", "80", "connect: Winsock Resolve Host: '' Invalid Hostname."},
      {"1.2.3.400", "80", "connect: Winsock Resolve Host: '1.2.3.400' Invalid IP address."},
  };
  for (const auto& c : cases) {
    TAsyncSocket s;
    std::vector<std::string> errs;
    s.OnError = [&](TAsyncSocket* sender) { errs.push_back(sender->LastErrorText()); };
    bool anyEvent = false;
    s.OnSessionConnected = [&](TAsyncSocket*, uint16_t) { anyEvent = true; };
    s.OnSessionClosed = [&](TAsyncSocket*, uint16_t) { anyEvent = true; };
    if (c.addr) s.SetAddr(c.addr);
    if (c.port) s.SetPort(c.port);
    s.Connect();
    EXPECT_EQ(errs, std::vector<std::string>{c.error});
    EXPECT_EQ(s.State(), wsClosed);
    RunFor(20);
    EXPECT_FALSE(anyEvent) << c.error;
  }
}

TEST_F(SocketTest, CloseInsideOnChangeStateEndsConnectWithAnError) {
  sock->OnChangeState = [](TAsyncSocket* sender, TSocketState, TSocketState now) {
    if (now == wsOpened) sender->Close();
  };
  sock->SetAddr("127.0.0.1");
  sock->SetPort(std::to_string(test::UnusedLoopbackPort()));
  sock->Connect();
  EXPECT_EQ(errors,
            std::vector<std::string>{
                "Invalid argument (#10022 in Connect (Invalid operation in OnChangeState))"});
  EXPECT_EQ(sock->LastError(), 10022);
  EXPECT_EQ(sock->State(), wsClosed);
  RunFor(20);
  EXPECT_EQ(events, std::vector<std::string>{"closed:0"});  // the handler's own Close, only
}

TEST_F(SocketTest, ConnectTakesDottedTextByTheLookupRule) {
  // Whatever DnsLookup answers at once, Connect accepts as an address, leading zeros included.
  for (const char* addr : {"127.0.0.1", "127.000.000.001", "127.0.0.01"}) {
    SCOPED_TRACE(addr);
    ScriptedPeer peer({{Close()}});
    events.clear();
    errors.clear();
    sock->SetAddr(addr);
    sock->SetPort(peer.PortText());
    sock->Connect();
    ASSERT_TRUE(RunUntil([&] { return Count("closed") > 0; }));
    EXPECT_TRUE(errors.empty());
    EXPECT_TRUE(Has("connected:0"));
    EXPECT_TRUE(peer.Finish()) << peer.Failure();
  }
}

TEST_F(SocketTest, AfterCloseAddrAndPortMustBeSetAgain) {
  ScriptedPeer peer({{Close()}});
  ConnectTo(peer.Port());
  ASSERT_TRUE(RunUntil([&] { return Count("closed") > 0; }));
  sock->Connect();
  EXPECT_EQ(errors, std::vector<std::string>{"Connect: No Port Specified"});
  sock->SetPort("80");
  sock->Connect();
  EXPECT_EQ(errors.back(), "Connect: No IP Address Specified");
  EXPECT_TRUE(peer.Finish()) << peer.Failure();
}

TEST_F(SocketTest, PropertiesAreFrozenWhileOpenAndRestoredByClose) {
  ScriptedPeer peer({{ReadToEof()}});
  sock->SetProto(" tcp ");
  sock->SetLocalAddr("");
  EXPECT_EQ(sock->Proto(), "tcp");
  EXPECT_EQ(sock->LocalAddr(), "0.0.0.0");
  sock->SetLingerTimeout(5);
  sock->SetFlushTimeout(7);
  sock->SetAddr(" 127.0.0.1 ");
  EXPECT_EQ(sock->Addr(), "127.0.0.1");
  ConnectTo(peer.Port());

  using Setter = void (TAsyncSocket::*)(std::string_view);
  const std::pair<Setter, const char*> setters[] = {
      {&TAsyncSocket::SetAddr, "Addr"},           {&TAsyncSocket::SetPort, "Port"},
      {&TAsyncSocket::SetProto, "Proto"},         {&TAsyncSocket::SetLocalAddr, "LocalAddr"},
      {&TAsyncSocket::SetLocalPort, "LocalPort"},
  };
  for (auto [setter, name] : setters) {
    errors.clear();
    (sock.get()->*setter)("10.9.9.9");
    EXPECT_EQ(errors,
              std::vector<std::string>{std::string("Cannot change ") + name + " if not closed"});
  }
  EXPECT_EQ(sock->Addr(), "127.0.0.1");
  EXPECT_EQ(sock->Port(), peer.PortText());
  EXPECT_EQ(sock->LocalPort(), "0");
  errors.clear();
  sock->Connect();
  EXPECT_EQ(errors, std::vector<std::string>{"Connect: Socket already in use"});
  EXPECT_EQ(sock->State(), wsConnected);

  sock->Close();
  EXPECT_EQ(sock->LingerOnOff(), wsLingerOn);
  EXPECT_EQ(sock->LingerTimeout(), 0);
  EXPECT_EQ(sock->FlushTimeout(), 60);
  EXPECT_EQ(sock->Proto(), "tcp");
  EXPECT_TRUE(peer.Finish()) << peer.Failure();
}

// --- Sending -----------------------------------------------------------------------------------

TEST_F(SocketTest, SendWhenNotConnectedFails) {
  EXPECT_EQ(sock->Send("abc"), -1);
  EXPECT_EQ(sock->LastError(), 10057);
  EXPECT_EQ(errors, std::vector<std::string>{"Socket is not connected (#10057 in Send)"});
  EXPECT_TRUE(events.empty());  // it was not open: no close event
  char buf[8];
  EXPECT_EQ(sock->Receive(buf, sizeof buf), -1);
  EXPECT_EQ(sock->LastError(), 10057);

  TAsyncSocket bare;  // without OnError the failure is raised, with the composed text
  try {
    bare.Send("x");
    FAIL() << "no exception";
  } catch (const ESocketException& e) {
    EXPECT_STREQ(e.what(), "Socket is not connected (#10057 in Send)");
    EXPECT_EQ(e.ErrorCode(), 10057);
  }
}

TEST_F(SocketTest, FiveThousandBytesGoInFourChunksThenOneDataSent) {
  const std::string data = Pattern(5000);
  ScriptedPeer peer({{Expect(data), ReadToEof()}});
  ConnectTo(peer.Port());
  std::vector<int> pieces;
  sock->OnSendData = [&](TAsyncSocket*, int n) {
    pieces.push_back(n);
    events.push_back("piece");
  };
  EXPECT_EQ(sock->Send(data), 5000);
  EXPECT_EQ(Count("sent"), 0u);  // never inside Send
  ASSERT_TRUE(RunUntil([&] { return Count("sent") > 0; }));
  RunFor(50);
  EXPECT_EQ(pieces, (std::vector<int>{1460, 1460, 1460, 620}));
  EXPECT_EQ(events, (std::vector<std::string>{"connected:0", "piece", "piece", "piece", "piece",
                                              "sent:0"}));
  EXPECT_EQ(sock->WriteCount(), 5000);
  // Close resets the connection and drops what the system still holds: wait for the peer.
  ASSERT_TRUE(RunUntil([&] { return peer.Received().size() == data.size(); }));
  sock->Close();
  EXPECT_TRUE(peer.Finish()) << peer.Failure();
  EXPECT_EQ(peer.Received(), data);
}

TEST_F(SocketTest, SendingAgainFromOnSendDataNeverDuplicatesBytes) {
  const std::string first = Pattern(3000);
  ScriptedPeer peer({{Expect(first + "tail"), ReadToEof()}});
  ConnectTo(peer.Port());
  bool once = false;
  sock->OnSendData = [&](TAsyncSocket* s, int) {
    if (!once) {
      once = true;
      s->Send("tail");
    }
  };
  sock->Send(first);
  ASSERT_TRUE(RunUntil([&] { return Count("sent") > 0; }));
  ASSERT_TRUE(RunUntil([&] { return peer.Received().size() >= first.size() + 4; }));
  sock->Close();
  EXPECT_TRUE(peer.Finish()) << peer.Failure();
  EXPECT_EQ(peer.Received(), first + "tail");
}

TEST_F(SocketTest, LargeSendWaitsForWritableAndDeliversEverything) {
  // Far more than the socket buffers hold while the peer is held back, so the rest must go out
  // on writable notices.
  const std::string data = Pattern(24 * 1024 * 1024);
  ScriptedPeer peer({{test::Gate(), ExpectCount(data.size()), ReadToEof()}}, 20000);
  ConnectTo(peer.Port());
  sock->Send(data);
  EXPECT_GT(sock->BufferedByteCount(), 0);
  EXPECT_EQ(Count("sent"), 0u);
  peer.ReleaseGate();
  ASSERT_TRUE(RunUntil([&] { return Count("sent") > 0; }));
  EXPECT_EQ(Count("sent"), 1u);
  EXPECT_EQ(sock->BufferedByteCount(), 0);
  EXPECT_EQ(sock->WriteCount(), static_cast<int64_t>(data.size()));
  ASSERT_TRUE(RunUntil([&] { return peer.Received().size() == data.size(); }));
  sock->Close();
  EXPECT_TRUE(peer.Finish()) << peer.Failure();
  EXPECT_TRUE(peer.Received() == data);
}

// --- Receiving and closing ---------------------------------------------------------------------

TEST_F(SocketTest, EveryByteArrivesBeforeTheCloseEvent) {
  const std::string data = Pattern(300000);
  ScriptedPeer peer({{test::Send(data, {1, 1000, 70000}, 1), Close()}});
  ConnectTo(peer.Port());
  ASSERT_TRUE(RunUntil([&] { return Count("closed") > 0; }));
  EXPECT_EQ(receivedAtClose, data.size());
  EXPECT_TRUE(received == data);
  EXPECT_EQ(events, (std::vector<std::string>{"connected:0", "closed:0"}));
  EXPECT_EQ(sock->State(), wsClosed);
  EXPECT_TRUE(peer.Finish()) << peer.Failure();
}

TEST_F(SocketTest, CloseInsideDataAvailableReportsOnceInsideTheCall) {
  ScriptedPeer peer({{test::Send("hello"), Delay(50), Close()}});
  ConnectTo(peer.Port());
  bool closedInside = false;
  afterData = [&](TAsyncSocket* s) {
    if (received.empty() || s->State() == wsClosed) return;
    s->Close();
    closedInside = Count("closed") == 1;
  };
  ASSERT_TRUE(RunUntil([&] { return Count("closed") > 0; }));
  EXPECT_TRUE(closedInside);
  RunFor(150);  // the peer's close comes later
  EXPECT_EQ(events, (std::vector<std::string>{"connected:0", "closed:0"}));
  EXPECT_EQ(received, "hello");
  peer.Finish();
}

TEST_F(SocketTest, CloseLaterWaitsUntilTheEventHasReturned) {
  ScriptedPeer peer({{test::Send("x"), ReadToEof()}});
  ConnectTo(peer.Port());
  bool closedInside = true;
  afterData = [&](TAsyncSocket* s) {
    if (received.empty() || s->State() == wsClosed) return;
    s->CloseLater();
    closedInside = Count("closed") > 0;
  };
  ASSERT_TRUE(RunUntil([&] { return Count("closed") > 0; }));
  EXPECT_FALSE(closedInside);
  EXPECT_EQ(Count("closed"), 1u);
  EXPECT_TRUE(peer.Finish()) << peer.Failure();
}

TEST_F(SocketTest, PeerResetGivesConnectionReset) {
  ScriptedPeer peer({{Delay(20), Reset()}});
  ConnectTo(peer.Port());
  ASSERT_TRUE(RunUntil([&] { return Count("closed") > 0; }));
  EXPECT_EQ(events, (std::vector<std::string>{"connected:0", "closed:10054"}));
  EXPECT_EQ(sock->State(), wsClosed);
  peer.Finish();
}

TEST_F(SocketTest, AbortAndDestroyCloseWithoutDuplicateEvents) {
  ScriptedPeer peer({{ReadToEof()}, {ReadToEof()}});
  ConnectTo(peer.Port());
  sock->Abort();
  sock->Abort();
  sock->Close();
  EXPECT_EQ(events, (std::vector<std::string>{"connected:0", "closed:0"}));

  events.clear();
  ConnectTo(peer.Port());
  sock.reset();  // destroying never reports a close
  EXPECT_EQ(events, std::vector<std::string>{"connected:0"});
  EXPECT_TRUE(peer.Finish()) << peer.Failure();
}

TEST_F(SocketTest, BackgroundExceptionAbortsUnlessHandlerKeepsIt) {
  ScriptedPeer peer({{ReadToEof()}});
  ConnectTo(peer.Port());
  int seen = 0;
  bool keep = true;
  sock->OnBgException = [&](TNetWndControl*, const std::exception& e, bool& canClose) {
    ++seen;
    EXPECT_STREQ(e.what(), "Test exception in message loop");
    canClose = !keep;
  };
  sock->PostTestException();
  ASSERT_TRUE(RunUntil([&] { return seen == 1; }));
  EXPECT_EQ(sock->State(), wsConnected);
  keep = false;
  sock->PostTestException();
  ASSERT_TRUE(RunUntil([&] { return seen == 2; }));
  EXPECT_EQ(sock->State(), wsClosed);
  EXPECT_EQ(events, (std::vector<std::string>{"connected:0", "closed:0"}));
  EXPECT_TRUE(peer.Finish()) << peer.Failure();
}

TEST_F(SocketTest, PausedSocketDeliversNothingUntilResumed) {
  ScriptedPeer peer({{test::Send("first"), test::Gate(), test::Send("second"), Close()}});
  ConnectTo(peer.Port());
  afterData = [&](TAsyncSocket* s) {
    if (received == "first") s->Pause();
  };
  ASSERT_TRUE(RunUntil([&] { return received == "first"; }));
  EXPECT_TRUE(sock->Paused());
  peer.ReleaseGate();
  ASSERT_TRUE(peer.Finish()) << peer.Failure();  // everything is sent and closed by now
  RunFor(100);
  EXPECT_EQ(received, "first");
  EXPECT_EQ(Count("closed"), 0u);
  sock->Resume();
  ASSERT_TRUE(RunUntil([&] { return Count("closed") > 0; }));
  EXPECT_EQ(received, "firstsecond");
  EXPECT_EQ(events, (std::vector<std::string>{"connected:0", "closed:0"}));
}

TEST_F(SocketTest, DerivedComponentGetsItsOwnSlots) {
  TAsyncSocket plain;
  TAsyncSocket extended(3);
  EXPECT_EQ(plain.Messages().size(), 7u);
  EXPECT_EQ(extended.Messages().size(), 10u);
}

}  // namespace
}  // namespace qelo::net
