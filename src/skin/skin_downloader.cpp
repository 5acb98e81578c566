#include "skin/skin_downloader.h"

#include "net/multipart_downloader.h"

namespace qelo::skin {

namespace {

// A stream that forwards to another one it does not own.
class TStreamView : public net::TStream {
 public:
  explicit TStreamView(net::TStream& target) : target_(target) {}
  int64_t Read(void* buffer, int64_t count) override { return target_.Read(buffer, count); }
  int64_t Write(const void* buffer, int64_t count) override { return target_.Write(buffer, count); }
  int64_t Seek(int64_t offset, net::TSeekOrigin origin) override {
    return target_.Seek(offset, origin);
  }
  int64_t Size() const override { return target_.Size(); }
  void SetSize(int64_t size) override { target_.SetSize(size); }

 private:
  net::TStream& target_;
};

class TMultipartSkinDownloader : public ISkinDownloader {
 public:
  TMultipartSkinDownloader() {
    downloader_.OnRequestDone = [this](net::TMultipartDownloader*, int code,
                                       const std::string& reason) {
      // The transfer has ended: the view goes now, before the owner closes what it shows.
      downloader_.FileStream.reset();
      if (OnRequestDone) OnRequestDone(this, code, reason);
    };
  }

  void Start() override {
    downloader_.URL = URL;
    downloader_.SetStateFileName(StateFileName);
    downloader_.PartCount = PartCount;
    downloader_.FileStream =
        FileStream ? std::make_unique<TStreamView>(*FileStream) : std::unique_ptr<TStreamView>();
    try {
      downloader_.Start();
    } catch (...) {
      // The caller closes the stream it handed over; no transfer may go on writing into it.
      downloader_.Abandon();
      downloader_.FileStream.reset();
      throw;
    }
  }
  int64_t TotalDataCount() const override { return downloader_.TotalDataCount(); }

 private:
  net::TMultipartDownloader downloader_;
};

}  // namespace

std::unique_ptr<ISkinDownloader> MakeMultipartSkinDownloader() {
  return std::make_unique<TMultipartSkinDownloader>();
}

}  // namespace qelo::skin
