// TMultipartDownloader: fetches one resource into the caller's stream in several byte ranges at
// once, each range on its own TPartHttpClient and connection.
//
// A transfer:
//  1. Start sends a plain GET; once its reply header gives a status 200 and a length, the
//     request is aborted (the body is not fetched).
//  2. On a later turn of the loop the length is split into PartCount ranges (fewer for a
//     resource too small for that many, at most kMaxParts), and every range is requested with
//     a "Range" header on a client of its own. Each part writes its bytes at its place in
//     FileStream as they arrive.
//  3. When every part holds all its bytes, the final statistics are shown, FileStream is closed
//     (reset) and OnRequestDone(200, "OK") follows.
//
// Exactly one OnRequestDone ends every transfer, unless Start or Abandon replaces it first;
// a replaced transfer reports nothing, ever. It is always delivered from the message loop,
// never from inside Start. Any handler, OnRequestDone included, may destroy the downloader;
// nothing of it is touched after that handler returns.
//
// What reaches the file: only the body of a 206 reply whose Content-Range starts where the part
// asked and whose total equals ContentLength, and never past the part's own last byte. Error
// pages, relocation pages and whole-resource replies are not written. A part that fails (error,
// other status, short body) is sent again after a growing pause (RetryPauseMs, doubled each
// time), at most MaxAttempts times in all; then the transfer is given up and reports the part's
// last error number, or its last status (3 when that status was itself a success, any 2xx),
// with a Reason that names the part. A given-up transfer never reports a 2xx code.
//
// A server that ignores "Range" (a part answered with 200 and the whole resource) makes the
// transfer fall back to one stream of the whole resource from offset 0: the other parts are
// stopped, and that reply's body is written when its length equals ContentLength.
//
// Ownership: the caller creates FileStream and assigns it before Start. After a completed
// transfer the downloader has closed it and set it to none; after any other ending (first
// request failed, given up, Abandon) it is left to the caller. The downloader owns its clients.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "net/dispatcher.h"
#include "net/http_client.h"
#include "net/life_guard.h"
#include "net/net_timer.h"
#include "net/net_wnd_control.h"
#include "net/stream.h"

namespace qelo::net {

// Raised by Start for a part count below 2.
class ERangeError : public std::out_of_range {
 public:
  explicit ERangeError(const std::string& Msg) : std::out_of_range(Msg) {}
};

class TMultipartDownloader;

// The client of one part, with the part's fields.
class TPartHttpClient : public THttpClient {
 public:
  int64_t DataCount = 0;    // bytes of the current attempt written so far
  int64_t StartOffset = 0;  // first byte of the part
  int64_t EndOffset = 0;    // last byte as requested, inclusive; ContentLength for the last part
  int Index = 0;            // the part's number, from 0
  bool Done = false;        // the part's latest request has ended
  int Attempts = 0;         // requests sent for this part in this transfer

 private:
  friend class TMultipartDownloader;
  int64_t askedFrom_ = 0;  // where the current request's range begins
  bool accepted_ = false;  // the current reply's body goes to the file
  Dispatcher::TimerId retryTimer_ = 0;
};

// The byte ranges of a resource of Length bytes in Count parts: part i starts at i * (P + 1)
// and ends at start + P, P = Length div Count, except the last, which ends at Length (one past
// the last byte, which a server cuts to the end of the resource).
struct TPartRange {
  int64_t Start = 0;
  int64_t End = 0;
};
// The number of parts actually used: at most Wanted and kMaxParts, and few enough that every
// part starts inside the resource (1 and 2 bytes give one part). Length must be positive.
int EffectivePartCount(int64_t Length, int Wanted);
std::vector<TPartRange> SplitRanges(int64_t Length, int Count);

// A "Content-Range: bytes B-E/T" value; Valid is false for anything else (T "*" included).
struct TContentRange {
  bool Valid = false;
  int64_t Begin = 0;
  int64_t End = 0;
  int64_t Total = 0;
};
TContentRange ParseContentRangeValue(std::string_view Value);

class TMultipartDownloader : public TNetWndControl {
 public:
  using TDisplayEvent = std::function<void(TMultipartDownloader* Sender, const std::string& Msg)>;
  using TRequestDoneEvent =
      std::function<void(TMultipartDownloader* Sender, int ErrorCode, const std::string& Reason)>;
  using TProgressAddSegmentEvent = std::function<void(
      TMultipartDownloader* Sender, int64_t StartOffset, int64_t ASpan, int64_t InitPos)>;
  using TProgressSetPositionEvent =
      std::function<void(TMultipartDownloader* Sender, int Index, int64_t Position)>;
  using TNotifyEvent = std::function<void(TMultipartDownloader* Sender)>;

  static constexpr int kMaxParts = 64;

  TMultipartDownloader();
  ~TMultipartDownloader() override;

  // Begins a transfer with the current property values and returns once the first request is
  // sent. Raises ERangeError "PartCount must be positive" for PartCount < 2, changing nothing.
  // A transfer under way is replaced: its clients are stopped and report nothing.
  void Start();
  // Ends the transfer under way without any report (for an owner that closes the stream): the
  // clients are stopped, pending retries and the progress timer cancelled. FileStream stays
  // as it is, for the caller. Nothing happens when idle.
  void Abandon();
  // A transfer is under way (Start was called and no ending has been reached since).
  bool Busy() const { return phase_ != Phase::Idle; }

  // --- Published properties --------------------------------------------------------------------
  std::string URL;
  std::string Username;
  std::string Password;
  std::string Proxy;
  std::string ProxyPort;
  std::string SocksServer;
  std::string SocksPort;
  std::string SocksLevel;
  int PartCount = 0;
  std::unique_ptr<TStream> FileStream;
  THttpAuthType ServerAuth = httpAuthNone;
  THttpAuthType ProxyAuth = httpAuthNone;  // stored only
  // Kept for the owner; no file of that name is read or written. A name without a directory
  // part gets ".\" in front.
  const std::string& StateFileName() const { return stateFileName_; }
  void SetStateFileName(const std::string& Value);

  // Retries and stalls: at most MaxAttempts requests per part; the pause before the second is
  // RetryPauseMs and doubles for each further one. IdleTimeout (seconds) goes to every client.
  int MaxAttempts = 5;
  uint32_t RetryPauseMs = 500;
  uint32_t IdleTimeout = 30;

  TDisplayEvent OnDisplay;
  TRequestDoneEvent OnRequestDone;
  TProgressAddSegmentEvent OnProgressAddSegment;
  TProgressSetPositionEvent OnProgressSetPosition;
  TNotifyEvent OnShowStats;

  // --- Run-time fields -------------------------------------------------------------------------
  // 0 until known, -1 when the first reply had status 200 without a length.
  int64_t ContentLength() const { return contentLength_; }
  // Bytes written since Start by every part and attempt; never reduced.
  int64_t TotalDataCount() const { return totalDataCount_; }
  double CurrentSpeed() const { return currentSpeed_; }  // kilobits per second
  double Elapsed() const { return elapsed_; }            // days since Start
  double PercentComplete() const { return percentComplete_; }
  const std::vector<std::unique_ptr<TPartHttpClient>>& Parts() const { return parts_; }

 protected:
  void MessageHandler(uint32_t msg, uintptr_t wParam, intptr_t lParam) override;
  // Notification steps; each fires its event when assigned.
  virtual void DoShowStats();
  virtual void DoProgressSetPosition(int Index, int64_t Position);
  virtual void DoProgressAddSegment(int64_t StartOffset, int64_t ASpan, int64_t InitPos);

 private:
  enum Slot : int { kSlotStartParts = 1, kSlotFreeRetired = 2 };
  enum class Phase { Idle, FirstRequest, Parts };

  // Counts the handlers of clients on the stack, so a retired client is freed only when none
  // of them can still be running.
  class HandlerScope;

  // Fire one event each; false when a handler replaced or abandoned the transfer meanwhile.
  bool Display(const std::string& Msg);
  bool ShowStats();
  bool SetPosition(int Index, int64_t Position);
  void Finish(int ErrorCode, const std::string& Reason);
  // Ends every check taken on the transfer so far: Start, Abandon and the end of a transfer.
  void NewTransferEpoch();

  std::unique_ptr<TPartHttpClient> NewClient(int Index);
  void CopyProperties(TPartHttpClient& Client, bool WithUrl);
  void RetireClients();
  void Retire(std::unique_ptr<TPartHttpClient> Client);
  void FreeRetired();
  void StopTransfer();

  // First request.
  void FirstHeaderEnd(TPartHttpClient& Client);
  void FirstRequestDone(TPartHttpClient& Client, uint16_t ErrCode);
  void StartParts();

  // Parts.
  void BindPartHandlers(TPartHttpClient& Client);
  void SendPart(TPartHttpClient& Client, int64_t From);
  void PartHeaderEnd(TPartHttpClient& Client);
  void PartData(TPartHttpClient& Client, const char* Buffer, int64_t Len);
  void PartLocationChange(TPartHttpClient& Client);
  void PartRequestDone(TPartHttpClient& Client, uint16_t ErrCode);
  bool Accepts(const TPartHttpClient& Client) const;
  void FallBackToWholeStream(TPartHttpClient& Client);
  void RetryOrGiveUp(TPartHttpClient& Client, int Code);
  void RestartPart(TPartHttpClient& Client);
  void CheckAllDone(int Code, const std::string& Reason);
  bool AllPartsComplete() const;
  int64_t LastByteOf(const TPartHttpClient& Client) const;

  // Statistics.
  void TimerStep();
  static uint64_t TickCount();

  std::string stateFileName_;
  int64_t contentLength_ = 0;
  int64_t totalDataCount_ = 0;
  double currentSpeed_ = 0;
  double elapsed_ = 0;
  double percentComplete_ = 0;
  int64_t prevSampleCount_ = 0;
  uint64_t prevSampleTick_ = 0;
  Clock::time_point startTime_{};

  Phase phase_ = Phase::Idle;
  uint64_t serial_ = 0;  // changes whenever a transfer begins or ends
  // Checks taken before a handler runs fail once the downloader is destroyed or the transfer
  // has changed, so nothing touches freed memory after a handler destroyed the downloader.
  TLifeGuard life_;
  bool wholeStream_ = false;
  std::vector<std::unique_ptr<TPartHttpClient>> parts_;
  std::vector<std::unique_ptr<TPartHttpClient>> retired_;
  int handlerDepth_ = 0;
  TNetTimer progressTimer_;
};

}  // namespace qelo::net
