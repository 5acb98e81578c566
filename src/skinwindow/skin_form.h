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

#include "appcore/protocol.h"
#include "skin/skin_cache.h"
#include "skin/skin_downloader.h"
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

// What the window takes from the rest of the client.
struct TSkinFrmHost {
  // The main window's shared state: BaseUrl and SkinName are read, never written.
  const app::TSharedState* state = nullptr;
  // AppDir, with its trailing "/": res/loading.jpg is read from there.
  std::string appDir;
  // Where settings.cfg and the skin cache live; each is created when first written to.
  text::StateDirs stateDirs;
  // The yes/no message box (ConfirmBox); text is GBK.
  std::function<bool(const std::string& text)> confirm;
  // Loads a container file into the main window's skin holder; errors are raised.
  std::function<void(const std::string& path)> loadContainer;
  // Reads a JPEG file; raises the picture reader's error for a file that is not a readable JPEG.
  // Unset: the client's own JPEG reader.
  std::function<QImage(const std::string& path)> readPicture;
  // Makes each of the two downloaders (containers, then pictures). Unset: the client's
  // multi-part downloader.
  SkinDownloaderFactory makeDownloader;
};

class TSkinFrm : public QDialog {
 public:
  explicit TSkinFrm(TSkinFrmHost host, QWidget* parent = nullptr);
  ~TSkinFrm() override;

  // --- Routines -------------------------------------------------------------------------------
  void RequestSkinList();
  void FillSkinList(const std::string& text);
  void ShowPreview();
  void ShowPreviewPicture(const std::string& name);
  // True when the apply step may go on to record the choice: the skin was applied, or its
  // download was started (or refused to start). False for a name that is not used.
  bool ApplyOrFetchSkin(const std::string& name);
  void ApplyCachedSkin(const std::string& name);
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
  std::unique_ptr<net::THttpClient> HttpClient1;
  std::unique_ptr<ISkinDownloader> HttpDownFile;
  std::unique_ptr<ISkinDownloader> HttpImg;

  // The file PVImg shows now (empty before the first picture), for whoever needs to know which
  // picture is on screen without comparing pixels.
  const std::string& PictureSource() const { return pictureSource_; }
  const TSkinCache& Cache() const { return cache_; }
  // The skin names of the transfers under way, if any.
  const std::optional<std::string>& PictureTransferSkin() const { return imgOwner_; }
  const std::optional<std::string>& ContainerTransferSkin() const { return skinOwner_; }

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void BuildControls();
  void ShowPicture(const std::string& path);
  void ShowLoadingPicture();
  void SetStatus(const std::string& gbk);
  // False, with the reason in the status bar, for a name that must not be used.
  bool UsableName(const std::string& name);
  bool ContainerCached(const std::string& name) const;
  // Creates tmp and starts the downloader on it for name; the stream of a transfer it replaces
  // is closed. Raises the create error; a Start that raises is swallowed.
  void StartTransfer(ISkinDownloader* downloader, std::unique_ptr<THeldFile>& held,
                     std::optional<std::string>& owner, const std::string& tmp,
                     const std::string& name);
  // Closes the held file of a finished transfer and hands back the name it belonged to.
  std::optional<std::string> FinishTransfer(ISkinDownloader* downloader,
                                            std::unique_ptr<THeldFile>& held,
                                            std::optional<std::string>& owner);
  std::string SkinsDir() const { return host_.stateDirs.skins; }

  TSkinFrmHost host_;
  // The cache outlives the held files below, which refer back to it.
  TSkinCache cache_;
  std::unique_ptr<THeldFile> imgFile_;
  std::unique_ptr<THeldFile> skinFile_;
  std::optional<std::string> imgOwner_;
  std::optional<std::string> skinOwner_;
  // The skin the latest apply asked for: a container download that ends later is applied only
  // when it is still the one asked for, so the skin in force matches the recorded choice.
  std::optional<std::string> applyTarget_;
  app::TFormStreams streams_;
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
