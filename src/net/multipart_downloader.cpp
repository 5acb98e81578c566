#include "net/multipart_downloader.h"

#include <algorithm>
#include <charconv>
#include <chrono>

#include "net/http_response.h"
#include "text/ascii_text.h"

namespace qelo::net {

namespace {

constexpr uint32_t kTimerIntervalMs = 1000;
constexpr uint32_t kMaxRetryPauseMs = 30000;
constexpr double kMsPerDay = 86400000.0;

// %XX sequences of a document name decoded; anything else kept as it stands.
std::string UrlDecode(std::string_view s) {
  std::string out;
  out.reserve(s.size());
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '%' && i + 2 < s.size()) {
      const int hi = text::HexDigitValue(s[i + 1]);
      const int lo = text::HexDigitValue(s[i + 2]);
      if (hi >= 0 && lo >= 0) {
        out += static_cast<char>(hi * 16 + lo);
        i += 2;
        continue;
      }
    }
    out += s[i];
  }
  return out;
}

bool ParseNumber(std::string_view text, int64_t& out) {
  if (text.empty()) return false;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), out);
  return ec == std::errc() && end == text.data() + text.size() && out >= 0;
}

}  // namespace

// --- Ranges -----------------------------------------------------------------------------------

int EffectivePartCount(int64_t Length, int Wanted) {
  int64_t n = std::min<int64_t>({Wanted, TMultipartDownloader::kMaxParts, Length});
  if (n < 1) return 1;
  // The last part starts at (n - 1) * (P + 1); it must lie inside the resource. Written so
  // that no product can overflow, whatever length a server announced.
  for (; n > 1; --n) {
    const int64_t p = Length / n;
    if ((n - 1) * p < Length - (n - 1)) break;
  }
  return static_cast<int>(n);
}

std::vector<TPartRange> SplitRanges(int64_t Length, int Count) {
  std::vector<TPartRange> out;
  if (Count < 1) return out;
  const int64_t p = Length / Count;
  for (int i = 0; i < Count; ++i) {
    const int64_t start = i * (p + 1);
    out.push_back({start, i == Count - 1 ? Length : start + p});
  }
  return out;
}

TContentRange ParseContentRangeValue(std::string_view Value) {
  TContentRange r;
  std::string_view s = text::Trim(Value, text::TBlanks::SpaceAndTab);
  constexpr std::string_view kUnit = "bytes";
  if (s.size() <= kUnit.size() || !text::StartsWithNoCase(s, kUnit)) return r;
  s.remove_prefix(kUnit.size());
  if (s.front() != ' ') return r;
  s = text::Trim(s, text::TBlanks::SpaceAndTab);
  const size_t dash = s.find('-');
  const size_t slash = s.find('/');
  if (dash == std::string_view::npos || slash == std::string_view::npos || slash < dash) return r;
  if (!ParseNumber(text::Trim(s.substr(0, dash), text::TBlanks::SpaceAndTab), r.Begin) ||
      !ParseNumber(text::Trim(s.substr(dash + 1, slash - dash - 1), text::TBlanks::SpaceAndTab),
                   r.End) ||
      !ParseNumber(text::Trim(s.substr(slash + 1), text::TBlanks::SpaceAndTab), r.Total))
    return r;
  r.Valid = r.Begin <= r.End && r.End < r.Total;
  return r;
}

// --- Life -------------------------------------------------------------------------------------

class TMultipartDownloader::HandlerScope {
 public:
  explicit HandlerScope(TMultipartDownloader& Owner) : owner_(Owner), alive_(Owner.life_.Check()) {
    ++owner_.handlerDepth_;
  }
  ~HandlerScope() {
    // A handler may have destroyed the downloader (OnRequestDone, say): nothing left to count.
    if (!alive_.OwnerAlive()) return;
    if (--owner_.handlerDepth_ == 0 && !owner_.retired_.empty())
      owner_.PostMsg(owner_.Msg(kSlotFreeRetired), 0, 0);
  }
  HandlerScope(const HandlerScope&) = delete;
  HandlerScope& operator=(const HandlerScope&) = delete;

 private:
  TMultipartDownloader& owner_;
  const TLifeGuard::TCheck alive_;
};

TMultipartDownloader::TMultipartDownloader() : TNetWndControl(3), progressTimer_(this) {
  progressTimer_.SetEnabled(false);
  progressTimer_.SetInterval(kTimerIntervalMs);
  progressTimer_.SetOnTimer([this](TNetTimer*) { TimerStep(); });
}

TMultipartDownloader::~TMultipartDownloader() {
  for (auto& part : parts_) {
    if (part && part->retryTimer_ != 0) dispatcher().cancelTimer(part->retryTimer_);
  }
  parts_.clear();
  retired_.clear();
}

void TMultipartDownloader::SetStateFileName(const std::string& Value) {
  const bool hasDirectory = Value.find_first_of("/\\") != std::string::npos;
  stateFileName_ = Value.empty() || hasDirectory ? Value : ".\\" + Value;
}

// --- Notifications ----------------------------------------------------------------------------

void TMultipartDownloader::DoShowStats() {
  FireEvent(OnShowStats, this);
}

void TMultipartDownloader::DoProgressSetPosition(int Index, int64_t Position) {
  FireEvent(OnProgressSetPosition, this, Index, Position);
}

void TMultipartDownloader::DoProgressAddSegment(int64_t StartOffset, int64_t ASpan,
                                                int64_t InitPos) {
  FireEvent(OnProgressAddSegment, this, StartOffset, ASpan, InitPos);
}

// Each of these fires one event and tells whether the transfer is still the same one: a
// handler may have started a new transfer or abandoned this one.
bool TMultipartDownloader::Display(const std::string& Msg) {
  const TLifeGuard::TCheck same = life_.Check();
  FireEvent(OnDisplay, this, Msg);
  return same.Holds();
}

bool TMultipartDownloader::ShowStats() {
  const TLifeGuard::TCheck same = life_.Check();
  DoShowStats();
  return same.Holds();
}

bool TMultipartDownloader::SetPosition(int Index, int64_t Position) {
  const TLifeGuard::TCheck same = life_.Check();
  DoProgressSetPosition(Index, Position);
  return same.Holds();
}

void TMultipartDownloader::NewTransferEpoch() {
  ++serial_;
  life_.StartOver();
}

void TMultipartDownloader::Finish(int ErrorCode, const std::string& Reason) {
  NewTransferEpoch();
  phase_ = Phase::Idle;
  progressTimer_.SetEnabled(false);
  // The reason may live in a client that the handler frees along with the downloader.
  const std::string reason = Reason;
  FireEvent(OnRequestDone, this, ErrorCode, reason);
}

// --- Clients ----------------------------------------------------------------------------------

std::unique_ptr<TPartHttpClient> TMultipartDownloader::NewClient(int Index) {
  auto client = std::make_unique<TPartHttpClient>();
  client->Name = Name + "Part" + std::to_string(Index);
  client->Index = Index;
  return client;
}

void TMultipartDownloader::CopyProperties(TPartHttpClient& Client, bool WithUrl) {
  if (WithUrl) Client.URL = URL;
  Client.Username = Username;
  Client.Password = Password;
  Client.Proxy = Proxy;
  Client.ProxyPort = ProxyPort;
  Client.SocksServer = SocksServer;
  Client.SocksPort = SocksPort;
  Client.SocksLevel = SocksLevel;
  Client.ServerAuth = ServerAuth;
  Client.IdleTimeout = IdleTimeout;
}

// A retired client reports nothing: its handlers go, its request is dropped, and it is freed
// once no handler of a client is running any more.
void TMultipartDownloader::Retire(std::unique_ptr<TPartHttpClient> Client) {
  if (!Client) return;
  if (Client->retryTimer_ != 0) dispatcher().cancelTimer(Client->retryTimer_);
  Client->retryTimer_ = 0;
  Client->OnHeaderEnd = nullptr;
  Client->OnDocData = nullptr;
  Client->OnLocationChange = nullptr;
  Client->OnRequestDone = nullptr;
  if (Client->State() != httpReady) Client->Abort();
  retired_.push_back(std::move(Client));
}

void TMultipartDownloader::RetireClients() {
  for (auto& part : parts_)
    Retire(std::move(part));
  parts_.clear();
  if (!retired_.empty()) PostMsg(Msg(kSlotFreeRetired), 0, 0);
}

void TMultipartDownloader::FreeRetired() {
  if (handlerDepth_ == 0) retired_.clear();
}

void TMultipartDownloader::StopTransfer() {
  RetireClients();
  wholeStream_ = false;
}

void TMultipartDownloader::MessageHandler(uint32_t msg, uintptr_t wParam, intptr_t lParam) {
  if (msg == Msg(kSlotStartParts)) {
    if (wParam == serial_ && phase_ == Phase::FirstRequest) StartParts();
  } else if (msg == Msg(kSlotFreeRetired)) {
    FreeRetired();
  } else {
    TNetWndControl::MessageHandler(msg, wParam, lParam);
  }
}

// --- Start and Abandon ------------------------------------------------------------------------

void TMultipartDownloader::Start() {
  if (PartCount < 2) throw ERangeError("PartCount must be positive");
  NewTransferEpoch();
  const TLifeGuard::TCheck same = life_.Check();
  phase_ = Phase::FirstRequest;
  contentLength_ = 0;
  totalDataCount_ = 0;
  prevSampleCount_ = 0;
  prevSampleTick_ = TickCount();
  startTime_ = Clock::now();
  elapsed_ = 0;
  if (!ShowStats()) return;

  StopTransfer();
  parts_.push_back(NewClient(0));
  TPartHttpClient& first = *parts_.front();
  CopyProperties(first, true);
  first.OnHeaderEnd = [this](THttpClient* Sender) {
    HandlerScope scope(*this);
    FirstHeaderEnd(static_cast<TPartHttpClient&>(*Sender));
  };
  first.OnRequestDone = [this](THttpClient* Sender, THttpRequest, uint16_t ErrCode) {
    HandlerScope scope(*this);
    FirstRequestDone(static_cast<TPartHttpClient&>(*Sender), ErrCode);
  };
  first.GetASync();
  if (!same.Holds()) return;
  Display("GetASync");
}

void TMultipartDownloader::Abandon() {
  if (phase_ == Phase::Idle) return;
  NewTransferEpoch();
  phase_ = Phase::Idle;
  progressTimer_.SetEnabled(false);
  StopTransfer();
}

// --- First request ----------------------------------------------------------------------------

void TMultipartDownloader::FirstHeaderEnd(TPartHttpClient& Client) {
  if (Client.ContentLength() > 0) {
    if (!Display("HeaderEnd ContentLength = " + std::to_string(Client.ContentLength())) ||
        !Display("HeaderEnd AcceptRanges = " + Client.AcceptRanges()) ||
        !Display("HeaderEnd DocName = " + UrlDecode(Client.DocName())))
      return;
  }
  if (!Display("HeaderEnd StatusCode = " + std::to_string(Client.StatusCode()) + " " +
               Client.ReasonPhrase()))
    return;
  if (Client.StatusCode() != 200) return;  // the client finishes the reply or follows it
  contentLength_ = Client.ContentLength();
  if (!ShowStats()) return;
  Client.Abort();  // the length is all that was wanted
}

void TMultipartDownloader::FirstRequestDone(TPartHttpClient& Client, uint16_t ErrCode) {
  if (!Display("GetASyncRequestDone")) return;
  if (contentLength_ > 0) {
    // The parts start once this client has finished its own completion handling.
    PostMsg(Msg(kSlotStartParts), static_cast<uintptr_t>(serial_), 0);
    return;
  }
  if (ErrCode != 0) {
    if (!Display("ErrorCode = " + std::to_string(ErrCode))) return;
    Finish(ErrCode, "Download failed");
    return;
  }
  const std::string status = std::to_string(Client.StatusCode()) + " " + Client.ReasonPhrase();
  if (!Display("StatusCode = " + status)) return;
  Finish(Client.StatusCode(), Client.ReasonPhrase());
}

void TMultipartDownloader::StartParts() {
  phase_ = Phase::Parts;
  const int count = EffectivePartCount(contentLength_, PartCount);
  const std::vector<TPartRange> ranges = SplitRanges(contentLength_, count);
  parts_.resize(1);
  parts_.front()->OnHeaderEnd = nullptr;
  for (int i = 1; i < count; ++i)
    parts_.push_back(NewClient(i));

  for (int i = 0; i < count; ++i) {
    TPartHttpClient& part = *parts_[static_cast<size_t>(i)];
    part.StartOffset = ranges[static_cast<size_t>(i)].Start;
    part.EndOffset = ranges[static_cast<size_t>(i)].End;
    const TLifeGuard::TCheck same = life_.Check();
    DoProgressAddSegment(part.StartOffset, part.EndOffset - part.StartOffset, part.StartOffset);
    if (!same.Holds()) return;
    part.Index = i;
    CopyProperties(part, true);
    BindPartHandlers(part);
    part.DataCount = 0;
    part.Done = false;
    part.Attempts = 0;
  }
  for (auto& part : parts_)
    SendPart(*part, part->StartOffset);
  progressTimer_.SetEnabled(true);
  Display("GetASync");
}

// --- Parts ------------------------------------------------------------------------------------

void TMultipartDownloader::BindPartHandlers(TPartHttpClient& Client) {
  // The header tells whether the reply's body belongs in the file.
  Client.OnHeaderEnd = [this](THttpClient* Sender) {
    HandlerScope scope(*this);
    PartHeaderEnd(static_cast<TPartHttpClient&>(*Sender));
  };
  Client.OnDocData = [this](THttpClient* Sender, const char* Buffer, int64_t Len) {
    HandlerScope scope(*this);
    PartData(static_cast<TPartHttpClient&>(*Sender), Buffer, Len);
  };
  Client.OnLocationChange = [this](THttpClient* Sender) {
    HandlerScope scope(*this);
    PartLocationChange(static_cast<TPartHttpClient&>(*Sender));
  };
  Client.OnRequestDone = [this](THttpClient* Sender, THttpRequest, uint16_t ErrCode) {
    HandlerScope scope(*this);
    PartRequestDone(static_cast<TPartHttpClient&>(*Sender), ErrCode);
  };
}

void TMultipartDownloader::SendPart(TPartHttpClient& Client, int64_t From) {
  ++Client.Attempts;
  Client.askedFrom_ = From;
  Client.accepted_ = false;
  Client.DataCount = 0;
  Client.Done = false;
  if (wholeStream_ && From == 0) {
    Client.ContentRangeBegin.clear();
    Client.ContentRangeEnd.clear();
  } else {
    Client.ContentRangeBegin = std::to_string(From);
    Client.ContentRangeEnd = std::to_string(Client.EndOffset);
  }
  Client.GetASync();
}

int64_t TMultipartDownloader::LastByteOf(const TPartHttpClient& Client) const {
  return std::min(Client.EndOffset, contentLength_ - 1);
}

bool TMultipartDownloader::Accepts(const TPartHttpClient& Client) const {
  const int status = Client.StatusCode();
  if (status == 200) {
    return wholeStream_ && Client.askedFrom_ == 0 && Client.ContentLength() == contentLength_;
  }
  if (status != 206) return false;
  TContentRange range;
  for (const std::string& line : Client.RcvdHeader()) {
    const auto field = SplitHeaderField(line);
    if (field && field->Name == "content-range") {
      range = ParseContentRangeValue(field->Value);
      break;
    }
  }
  return range.Valid && range.Begin == Client.askedFrom_ && range.Total == contentLength_;
}

void TMultipartDownloader::PartHeaderEnd(TPartHttpClient& Client) {
  const int status = Client.StatusCode();
  if (status == 200 && !wholeStream_) {
    FallBackToWholeStream(Client);
    return;
  }
  Client.accepted_ = Accepts(Client);
  // A success reply whose bytes cannot be used is not fetched; error pages finish as they are.
  if (!Client.accepted_ && (status == 200 || status == 206)) Client.Abort();
}

// The server answered a range with the whole resource: that reply becomes the one stream of
// the transfer and every other part stops.
void TMultipartDownloader::FallBackToWholeStream(TPartHttpClient& Client) {
  const int index = Client.Index;
  wholeStream_ = true;
  for (auto& part : parts_) {
    if (part.get() != &Client) Retire(std::move(part));
  }
  parts_.erase(std::remove(parts_.begin(), parts_.end(), nullptr), parts_.end());
  Client.Index = 0;
  Client.StartOffset = 0;
  Client.EndOffset = contentLength_;
  Client.DataCount = 0;
  Client.Attempts = 1;
  Client.askedFrom_ = 0;
  Client.Done = false;
  if (!Display("Ranges ignored at index = " + std::to_string(index) +
               ", one stream of the whole resource"))
    return;
  Client.accepted_ = Accepts(Client);
  if (!Client.accepted_) Client.Abort();
}

void TMultipartDownloader::PartData(TPartHttpClient& Client, const char* Buffer, int64_t Len) {
  if (Len < 1 || !Client.accepted_) return;
  const int64_t pos = Client.StartOffset + Client.DataCount;
  const int64_t room = LastByteOf(Client) - pos + 1;
  const int64_t n = std::min(Len, room);
  if (n > 0) {
    if (!FileStream) throw EStreamError("No stream to write the download to");
    FileStream->SetPosition(pos);
    FileStream->WriteBuffer(Buffer, n);
    Client.DataCount += n;
    totalDataCount_ += n;
    if (!SetPosition(Client.Index, Client.StartOffset + Client.DataCount)) return;
  }
  // Bytes past the part's end belong to another part (or to nothing): the part is full.
  if (Len > room) Client.Abort();
}

void TMultipartDownloader::PartLocationChange(TPartHttpClient& Client) {
  if (!Display("LocationChange = " + Client.Location())) return;
  // Only what was written counts: the relocated request asks for the rest.
  const int64_t from = Client.StartOffset + Client.DataCount;
  Client.askedFrom_ = from;
  Client.accepted_ = false;
  if (wholeStream_ && from == 0) {
    Client.ContentRangeBegin.clear();
    Client.ContentRangeEnd.clear();
  } else {
    Client.ContentRangeBegin = std::to_string(from);
    Client.ContentRangeEnd = std::to_string(Client.EndOffset);
  }
}

void TMultipartDownloader::PartRequestDone(TPartHttpClient& Client, uint16_t ErrCode) {
  Client.Done = true;
  const std::string prefix = "Download done index = " + std::to_string(Client.Index);
  if (Client.DataCount == LastByteOf(Client) - Client.StartOffset + 1) {
    if (!Display(prefix + " OK")) return;
    CheckAllDone(200, "OK");
    return;
  }
  int code = ErrCode;
  if (ErrCode != 0) {
    if (!Display(prefix + "  ErrorCode = " + std::to_string(ErrCode))) return;
  } else {
    code = Client.StatusCode();
    if (!Display(prefix + "  Status = " + std::to_string(code))) return;
  }
  RetryOrGiveUp(Client, code);
}

void TMultipartDownloader::RetryOrGiveUp(TPartHttpClient& Client, int Code) {
  if (Client.Attempts >= MaxAttempts) {
    // A reply that was a success in itself (any 2xx, a short 206 included) but unusable must
    // not read as one.
    const int code = Code == 0 || (Code >= 200 && Code < 300) ? 3 : Code;
    const std::string reason = "Download failed: part " + std::to_string(Client.Index) +
                               " failed " + std::to_string(Client.Attempts) + " times";
    if (!Display("Giving up " + std::to_string(Client.Index))) return;
    StopTransfer();
    Finish(code, reason);
    return;
  }
  Client.Done = false;  // another attempt follows
  uint64_t pause = RetryPauseMs;
  for (int i = 1; i < Client.Attempts && pause < kMaxRetryPauseMs; ++i)
    pause *= 2;
  pause = std::min<uint64_t>(pause, kMaxRetryPauseMs);
  TPartHttpClient* client = &Client;
  Client.retryTimer_ = dispatcher().addTimer(std::chrono::milliseconds(pause), [this, client] {
    client->retryTimer_ = 0;
    HandlerScope scope(*this);
    try {
      RestartPart(*client);
    } catch (const std::exception& e) {
      HandleBackGroundException(e);
    }
  });
}

void TMultipartDownloader::RestartPart(TPartHttpClient& Client) {
  if (!Display("Restarting " + std::to_string(Client.Index))) return;
  if (!SetPosition(Client.Index, Client.StartOffset)) return;
  CopyProperties(Client, false);
  SendPart(Client, Client.StartOffset);
}

bool TMultipartDownloader::AllPartsComplete() const {
  if (phase_ != Phase::Parts || parts_.empty()) return false;
  return std::all_of(parts_.begin(), parts_.end(), [this](const auto& part) {
    return part->Done && part->DataCount == LastByteOf(*part) - part->StartOffset + 1;
  });
}

void TMultipartDownloader::CheckAllDone(int Code, const std::string& Reason) {
  if (!AllPartsComplete()) return;
  const TLifeGuard::TCheck same = life_.Check();
  progressTimer_.SetEnabled(false);
  TimerStep();
  if (!same.Holds() || !Display("All done")) return;
  Finish(Code, Reason);
}

// --- Statistics -------------------------------------------------------------------------------

uint64_t TMultipartDownloader::TickCount() {
  using namespace std::chrono;
  return static_cast<uint64_t>(
      duration_cast<milliseconds>(Clock::now().time_since_epoch()).count());
}

// Speed over the last interval, elapsed time and percentage; at the end of a completed
// transfer also the average speed, and the stream is closed. A zero divisor shows 0.
void TMultipartDownloader::TimerStep() {
  const bool all = AllPartsComplete();
  const uint64_t now = TickCount();
  const uint32_t interval = static_cast<uint32_t>(now - prevSampleTick_);
  currentSpeed_ =
      interval != 0 ? static_cast<double>(totalDataCount_ - prevSampleCount_) * 8.0 / interval : 0;
  elapsed_ =
      std::chrono::duration<double, std::milli>(Clock::now() - startTime_).count() / kMsPerDay;
  percentComplete_ = contentLength_ > 0 ? static_cast<double>(totalDataCount_) * 100.0 /
                                              static_cast<double>(contentLength_)
                                        : 0;
  if (!ShowStats()) return;
  prevSampleTick_ = now;
  prevSampleCount_ = totalDataCount_;
  if (!all) return;
  progressTimer_.SetEnabled(false);
  const double ms = elapsed_ * kMsPerDay;
  currentSpeed_ = ms > 0 ? static_cast<double>(totalDataCount_) * 8.0 / ms : 0;
  if (!ShowStats()) return;
  FileStream.reset();
  Display("Done");
}

}  // namespace qelo::net
