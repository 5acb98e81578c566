// What the skin window uses of a ranged downloader: the address, the state-file name, the part
// count, the destination stream, Start, the completion and the count of bytes written. The
// window's two downloaders are reached only through this, so a test can put its own transfer in.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "net/stream.h"

namespace qelo::skin {

class ISkinDownloader {
 public:
  using RequestDoneEvent =
      std::function<void(ISkinDownloader* Sender, int ErrorCode, const std::string& Reason)>;

  virtual ~ISkinDownloader() = default;

  // Starts a transfer of URL into FileStream with PartCount parts, replacing one that still
  // runs (the replaced one reports nothing). Returns at once; OnRequestDone follows later, on
  // a turn of the message loop. ErrorCode 200 means every part arrived.
  virtual void Start() = 0;
  // Bytes written into FileStream since the last Start.
  virtual int64_t TotalDataCount() const = 0;

  std::string URL;
  std::string StateFileName;
  int PartCount = 0;
  net::TStream* FileStream = nullptr;  // the caller's; the downloader only writes into it
  RequestDoneEvent OnRequestDone;
};

using SkinDownloaderFactory = std::function<std::unique_ptr<ISkinDownloader>()>;

// The client's multi-part downloader behind that interface. The window keeps its files open
// itself, so the downloader is handed a view of the window's stream: when the downloader
// closes its stream at the end of a transfer, only the view goes.
std::unique_ptr<ISkinDownloader> MakeMultipartSkinDownloader();

}  // namespace qelo::skin
