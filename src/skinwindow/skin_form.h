// The skin window: lists the skins the service offers, shows each one's preview picture (fetched
// once into the skin cache), applies a skin (downloading its container first when it is not
// cached), records the choice in settings.cfg, and deletes a cached container.
//
// Every transfer finishes under the skin name it was started for, a downloaded file enters the
// cache only when its transfer reported success with data, and a name from the network that could
// leave the skin cache or change a request is listed but never used.
#pragma once

#include <QDialog>
#include <QImage>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "appcore/service_request.h"
#include "skin/skin_cache.h"
#include "skin/skin_downloader.h"
#include "skin/skin_names.h"
#include "text/state_dirs.h"

class QGroupBox;
class QLabel;
class QListWidget;
class QPushButton;
class QStatusBar;

namespace qelo::net {
class THttpClient;
}
namespace qelo::app {
struct TSharedState;
}

namespace qelo::skin {

// Where the window finds its files and how it reads and fetches them; every field may stay
// unset for the client's own.
struct TSkinFrmOptions {
  // The installation folder, with its trailing "/". Unset: AppDir.
  std::string appDir;
  // Where settings.cfg and the skin cache live; each is created when first written to. Unset:
  // the process's state folders.
  std::optional<text::StateDirs> stateDirs;
  // Reads a JPEG file; raises the picture reader's error for a file that is not a readable JPEG.
  // Unset: the client's own JPEG reader.
  std::function<QImage(const std::string& path)> readPicture;
  // Makes each of the two downloaders (containers, then pictures). Unset: the client's
  // multi-part downloader.
  SkinDownloaderFactory makeDownloader;
};

class TSkinFrm : public QDialog {
  Q_OBJECT

 public:
  // state: the main window's shared state; BaseUrl and SkinName are read, never written.
  explicit TSkinFrm(const app::TSharedState& state, TSkinFrmOptions options = {},
                    QWidget* parent = nullptr);
  ~TSkinFrm() override;

  // --- Routines -------------------------------------------------------------------------------
  void RequestSkinList();
  void FillSkinList(const std::string& text);
  void ShowPreview();
  void ShowPreviewPicture(const TSkinName& name);
  // True when the apply step may go on to record the choice: the skin was applied, or its
  // download was started (or refused to start). False for a name that is not used.
  bool ApplyOrFetchSkin(const std::string& name);
  void ApplyCachedSkin(const TSkinName& name);
  bool IsFileLocked(const std::string& path) const;

  // --- Handlers, as the window's controls name them -------------------------------------------
  void FormShow();
  void HttpClient1RequestDone(net::THttpClient* sender, int rqType, uint16_t errCode);
  void SLBoxListBoxClick();
  void SLBoxListBoxDblClick();
  void SKBtnApplyClick();
  void SKBtnDelClick();
  void HttpImgRequestDone(ISkinDownloader* sender, int errorCode, const std::string& reason);
  void HttpDownFileRequestDone(ISkinDownloader* sender, int errorCode, const std::string& reason);

  // --- Fields ---------------------------------------------------------------------------------
  std::string SelSkin;       // GBK
  std::string SkinListText;  // the last list reply with status 200, byte for byte

  // --- Components -----------------------------------------------------------------------------
  // The window's requests to the service, over its client "HttpClient1".
  std::unique_ptr<app::TServiceRequest> Service;
  std::unique_ptr<ISkinDownloader> HttpDownFile;
  std::unique_ptr<ISkinDownloader> HttpImg;

  // The file PVImg shows now (empty before the first picture), for whoever needs to know which
  // picture is on screen without comparing pixels.
  const std::string& PictureSource() const { return pictureSource_; }
  const TSkinCache& Cache() const { return cache_; }
  // The skin names (GBK) of the transfers under way, if any.
  std::optional<std::string> PictureTransferSkin() const { return img_.SkinGbk(); }
  std::optional<std::string> ContainerTransferSkin() const { return container_.SkinGbk(); }

 signals:
  // A cached container is to be put on: path names it. The receiver loads it into the skin
  // holder and raises the holder's error for a container it cannot read.
  void skinContainerChosen(const std::string& path);

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void BuildControls();
  void ShowPicture(const std::string& path);
  void ShowLoadingPicture();
  void SetStatus(const std::string& gbk);
  // One of the two downloads: its downloader, the ".tmp" file it writes into and the skin it
  // was started for; file and skin are set only while a transfer is under way.
  struct TTransfer {
    int64_t maxBytes = 0;  // what the ".tmp" file may grow to
    ISkinDownloader* downloader = nullptr;
    std::unique_ptr<THeldFile> file;
    std::optional<TSkinName> skin;
    std::optional<std::string> SkinGbk() const {
      return skin ? std::optional<std::string>(skin->Gbk()) : std::nullopt;
    }
  };

  // The checked name, or nothing with the reason in the status bar.
  std::optional<TSkinName> UsableName(const std::string& name);
  bool ContainerCached(const TSkinName& name) const;
  // Points the transfer's downloader at the service's file for name (action "downimg" or
  // "downskin") with its state file beside the cache file.
  void AimTransfer(TTransfer& transfer, const char* action, const TSkinName& name,
                   std::string_view statEnding);
  // Creates tmp and starts the transfer on it for name; the stream of a transfer it replaces
  // is closed. Raises the create error; a Start that raises is swallowed.
  void StartTransfer(TTransfer& transfer, const std::string& tmp, const TSkinName& name);
  // Closes the held file of a finished transfer and hands back the name it belonged to.
  std::optional<TSkinName> FinishTransfer(TTransfer& transfer);
  // Ends `transfer`. A whole file (status 200, some bytes) becomes `ending` from `tmpEnding`
  // and its skin is returned; otherwise the status bar says that the `fileKind` is missing.
  std::optional<TSkinName> KeepTransferredFile(TTransfer& transfer, int errorCode,
                                               std::string_view tmpEnding, std::string_view ending,
                                               const char* fileKind);
  // The one place the skins folder comes from.
  std::string SkinsDir() const { return options_.stateDirs->skins; }

  const app::TSharedState& state_;
  TSkinFrmOptions options_;
  // The cache outlives the held files below, which refer back to it.
  TSkinCache cache_;
  TTransfer img_{.maxBytes = kMaxPictureTransfer, .downloader = nullptr, .file = {}, .skin = {}};
  TTransfer container_{
      .maxBytes = kMaxContainerTransfer, .downloader = nullptr, .file = {}, .skin = {}};
  // The skin the latest apply asked for: a container download that ends later is applied only
  // when it is still the one asked for, so the skin in force matches the recorded choice.
  std::optional<TSkinName> applyTarget_;
  std::string pictureSource_;

  QGroupBox* skSkinGroupBox1 = nullptr;
  QListWidget* SLBox = nullptr;
  QGroupBox* skSkinGroupBox2 = nullptr;
  QLabel* PVImg = nullptr;
  QPushButton* SKBtnApply = nullptr;
  QPushButton* SKBtnDel = nullptr;
  QStatusBar* skSkinStatusBar1 = nullptr;
  QLabel* SFStatus = nullptr;
};

// The skin window, set while it exists.
extern TSkinFrm* SkinFrm;

}  // namespace qelo::skin
