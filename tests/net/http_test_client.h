// Shared by the THttpClient suites: the default header texts and a client that records every
// event in order, run against the scripted loopback peer.
#pragma once

#include <gtest/gtest.h>
#include <poll.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "net/dispatcher.h"
#include "net/http_client.h"
#include "net/stream.h"
#include "support/scripted_peer.h"

namespace qelo::net::http_test {

using test::Close;
using test::Expect;
using test::ExpectUntil;
using test::PeerScript;
using test::ReadToEof;
using test::Reset;
using test::ScriptedPeer;
using test::Send;

inline constexpr char kAccept[] =
    "Accept: image/gif, image/x-xbitmap, image/jpeg, image/pjpeg, */*\r\n";
inline constexpr char kAgent[] = "User-Agent: Mozilla/4.0 (compatible; QeloNet)\r\n";

inline void Drain() {
  Dispatcher::current().runUntil([] { return Dispatcher::current().pendingCount() == 0; }, 2000);
}

// A client with every event recorded in order.
class Client {
 public:
  Client() {
    http.Name = "HttpClient1";
    http.RcvdStream = &rcvd;
    http.OnStateChange = [this](THttpClient* s) { log.push_back(HttpStateName(s->State())); };
    auto note = [this](const char* what) {
      return [this, what](THttpClient*) { log.push_back(what); };
    };
    http.OnSessionConnected = note("Connected");
    http.OnSessionClosed = note("Closed");
    http.OnHeaderBegin = note("HeaderBegin");
    http.OnHeaderEnd = note("HeaderEnd");
    http.OnDocBegin = note("DocBegin");
    http.OnDocEnd = note("DocEnd");
    http.OnSendBegin = note("SendBegin");
    http.OnSendEnd = note("SendEnd");
    http.OnLocationChange = note("LocationChange");
    http.OnDataPush2 = note("DataPush2");
    http.OnDocData = [this](THttpClient*, const char*, int64_t n) {
      log.push_back("DocData " + std::to_string(n));
      ++docDataCalls;
    };
    http.OnSendData = [this](THttpClient*, const char*, int64_t n) {
      log.push_back("SendData " + std::to_string(n));
    };
    http.OnRequestDone = [this](THttpClient*, THttpRequest rq, uint16_t err) {
      log.push_back("Done " + std::to_string(err));
      ++done;
      errCode = err;
      rqType = rq;
      if (onDone) onDone();
    };
  }

  // Runs the loop until the request has ended, then lets queued messages settle.
  bool Wait() {
    const bool ok = Dispatcher::current().runUntil([this] { return done > 0; }, 10000);
    Drain();
    return ok;
  }
  // Events other than state changes, in order.
  std::vector<std::string> Events() const {
    std::vector<std::string> out;
    for (const std::string& e : log)
      if (e.rfind("http", 0) != 0) out.push_back(e);
    return out;
  }

  THttpClient http;
  TMemoryStream rcvd;
  TMemoryStream body;
  std::vector<std::string> log;
  std::function<void()> onDone;
  int done = 0;
  int docDataCalls = 0;
  uint16_t errCode = 0xffff;
  THttpRequest rqType = httpABORT;
};

inline std::string Url(const ScriptedPeer& peer, const std::string& path = "/") {
  return "http://127.0.0.1:" + peer.PortText() + path;
}

inline std::string GetRequest(const ScriptedPeer& peer, const std::string& path = "/") {
  return "GET " + path + " HTTP/1.0\r\n" + kAccept + kAgent + "Host: 127.0.0.1:" + peer.PortText() +
         "\r\n\r\n";
}

}  // namespace qelo::net::http_test
