#include "skinwindow/skin_form.h"

#include <fcntl.h>
#include <unistd.h>

#include <QApplication>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QMouseEvent>
#include <QPixmap>
#include <QPushButton>
#include <QScreen>
#include <QStatusBar>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "app/message_boxes.h"
#include "appcore/shared_state.h"
#include "net/http_client.h"
#include "skin/skin_list.h"
#include "skin/skin_names.h"
#include "text/app_dir.h"
#include "text/append_line.h"
#include "text/settings_codec.h"
#include "ui/error_report.h"
#include "ui/gbk_qt.h"
#include "ui/jpeg_image.h"
#include "ui/widget_helpers.h"

namespace qelo::skin {

TSkinFrm* SkinFrm = nullptr;

using ui::Named;

namespace {

constexpr int kClientWidth = 531;
constexpr int kClientHeight = 342;
constexpr int kEntryHeight = 20;
constexpr int kEntryBytesRole = Qt::UserRole + 1;

// The list box: a click (mouse or a keyboard move of the selection) and a double click run the
// window's handlers; setting the selection from code runs neither.
class TSkinListBox : public QListWidget {
 public:
  using QListWidget::QListWidget;
  std::function<void()> onClick;
  std::function<void()> onDblClick;

 protected:
  void mouseReleaseEvent(QMouseEvent* event) override {
    QListWidget::mouseReleaseEvent(event);
    if (event->button() == Qt::LeftButton && onClick) ui::Guarded(onClick);
  }
  void mouseDoubleClickEvent(QMouseEvent* event) override {
    QListWidget::mouseDoubleClickEvent(event);
    if (event->button() == Qt::LeftButton && onDblClick) ui::Guarded(onDblClick);
  }
  void keyPressEvent(QKeyEvent* event) override {
    const int before = currentRow();
    QListWidget::keyPressEvent(event);
    if (currentRow() != before && onClick) ui::Guarded(onClick);
  }
};

std::string EntryBytes(const QListWidgetItem* item) {
  const QByteArray bytes = item->data(kEntryBytesRole).toByteArray();
  return std::string(bytes.constData(), static_cast<size_t>(bytes.size()));
}

}  // namespace

namespace {

TSkinFrmOptions WithDefaults(TSkinFrmOptions options) {
  if (options.appDir.empty()) options.appDir = text::AppDir();
  if (!options.stateDirs) options.stateDirs = text::ProcessStateDirs();
  if (!options.readPicture) options.readPicture = ui::ReadJpegImage;
  if (!options.makeDownloader) options.makeDownloader = MakeMultipartSkinDownloader;
  return options;
}

}  // namespace

TSkinFrm::TSkinFrm(const app::TSharedState& state, TSkinFrmOptions options, QWidget* parent)
    : QDialog(parent),
      state_(state),
      options_(WithDefaults(std::move(options))),
      cache_(SkinsDir()) {
  SkinFrm = this;
  setObjectName(QStringLiteral("SkinFrm"));
  setWindowTitle(QStringLiteral("更换皮肤"));
  // Fixed size, system-menu (close) button only.
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                 Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
  setFixedSize(kClientWidth, kClientHeight);
  if (QScreen* screen = QApplication::primaryScreen()) {
    const QRect area = screen->availableGeometry();
    move(area.center() - QPoint(kClientWidth / 2, kClientHeight / 2));
  }

  Service = std::make_unique<app::TServiceRequest>(
      [this](net::THttpClient* sender, int rqType, uint16_t errCode) {
        HttpClient1RequestDone(sender, rqType, errCode);
      });
  HttpDownFile = options_.makeDownloader();
  HttpImg = options_.makeDownloader();
  container_.downloader = HttpDownFile.get();
  img_.downloader = HttpImg.get();
  if (HttpDownFile)
    HttpDownFile->OnRequestDone = [this](ISkinDownloader* s, int code, const std::string& why) {
      HttpDownFileRequestDone(s, code, why);
    };
  if (HttpImg)
    HttpImg->OnRequestDone = [this](ISkinDownloader* s, int code, const std::string& why) {
      HttpImgRequestDone(s, code, why);
    };

  BuildControls();
}

TSkinFrm::~TSkinFrm() {
  // The transfers go before the files they write into, and the files before the cache.
  Service.reset();
  HttpDownFile.reset();
  HttpImg.reset();
  img_.file.reset();
  container_.file.reset();
  if (SkinFrm == this) SkinFrm = nullptr;
}

void TSkinFrm::BuildControls() {
  skSkinGroupBox1 = Named(new QGroupBox(QStringLiteral("可用皮肤"), this), "skSkinGroupBox1");
  skSkinGroupBox1->setGeometry(0, 0, 150, 321);
  auto* list = Named(new TSkinListBox(skSkinGroupBox1), "SLBox");
  list->setSelectionMode(QAbstractItemView::SingleSelection);
  list->setSortingEnabled(false);
  list->setUniformItemSizes(true);
  list->setGeometry(4, 18, 142, 299);
  list->onClick = [this] { SLBoxListBoxClick(); };
  list->onDblClick = [this] { SLBoxListBoxDblClick(); };
  SLBox = list;

  skSkinGroupBox2 = Named(new QGroupBox(QStringLiteral("皮肤预览"), this), "skSkinGroupBox2");
  skSkinGroupBox2->setGeometry(150, 0, 381, 321);
  PVImg = Named(new QLabel(skSkinGroupBox2), "PVImg");
  PVImg->setGeometry(0, 18, 381, 255);
  PVImg->setAlignment(Qt::AlignCenter);
  SKBtnApply = Named(new QPushButton(QStringLiteral("使用皮肤"), skSkinGroupBox2), "SKBtnApply");
  SKBtnApply->setGeometry(200, 280, 75, 25);
  SKBtnDel = Named(new QPushButton(QStringLiteral("删除皮肤"), skSkinGroupBox2), "SKBtnDel");
  SKBtnDel->setGeometry(288, 280, 75, 25);
  connect(SKBtnApply, &QPushButton::clicked, this,
          [this] { ui::Guarded([this] { SKBtnApplyClick(); }); });
  connect(SKBtnDel, &QPushButton::clicked, this,
          [this] { ui::Guarded([this] { SKBtnDelClick(); }); });

  skSkinStatusBar1 = Named(new QStatusBar(this), "skSkinStatusBar1");
  skSkinStatusBar1->setSizeGripEnabled(false);
  skSkinStatusBar1->setGeometry(0, kClientHeight - 21, kClientWidth, 21);
  SFStatus = Named(new QLabel(skSkinStatusBar1), "SFStatus");
  SFStatus->setFixedSize(529, 21);
  skSkinStatusBar1->addWidget(SFStatus);
}

// --- Pictures ---------------------------------------------------------------------------------

void TSkinFrm::ShowPicture(const std::string& path) {
  {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) throw EFOpenError("Cannot open file \"" + path + "\". " + std::strerror(errno));
    ::close(fd);
  }
  QImage image = options_.readPicture(path);
  // A picture larger than the control is scaled down to fit; a smaller one stays as it is.
  if (image.width() > PVImg->width() || image.height() > PVImg->height())
    image = image.scaled(PVImg->size(), Qt::KeepAspectRatio, Qt::SmoothTransformation);
  PVImg->setPixmap(QPixmap::fromImage(image));
  pictureSource_ = path;
}

void TSkinFrm::ShowLoadingPicture() {
  ShowPicture(options_.appDir + "res/loading.jpg");
}

void TSkinFrm::ShowPreviewPicture(const TSkinName& name) {
  const std::string path = cache_.PathOf(name, kPictureEnding);
  const std::optional<int64_t> size = FileSize(path);
  if (size && *size > 0)
    ShowPicture(path);
  else
    ShowLoadingPicture();
}

// --- Status -----------------------------------------------------------------------------------

void TSkinFrm::SetStatus(const std::string& gbk) {
  SFStatus->setText(ui::GbkToQString(gbk));
}

std::optional<TSkinName> TSkinFrm::UsableName(const std::string& name) {
  SkinNameProblem problem = SkinNameProblem::None;
  std::optional<TSkinName> checked = TSkinName::Make(name, &problem);
  if (!checked) SetStatus(SkinNameRefusal(problem));
  return checked;
}

bool TSkinFrm::ContainerCached(const TSkinName& name) const {
  return FileExists(cache_.PathOf(name, kContainerEnding));
}

bool TSkinFrm::IsFileLocked(const std::string& path) const {
  return cache_.IsFileLocked(path);
}

// --- The list ---------------------------------------------------------------------------------

void TSkinFrm::FormShow() {
  RequestSkinList();
}

void TSkinFrm::RequestSkinList() {
  // A list request still under way is left to finish; its reply fills the list.
  if (Service->Busy()) return;
  Service->Post(state_.BaseUrl + "plugins/getskin.php", "action=list", kMaxSkinListBytes);
}

void TSkinFrm::HttpClient1RequestDone(net::THttpClient*, int, uint16_t errCode) {
  const std::optional<std::string> body = Service->Finish(errCode);
  if (!body) return;
  SkinListText = *body;
  FillSkinList(SkinListText);
}

void TSkinFrm::FillSkinList(const std::string& text) {
  const std::vector<SkinRow> rows = BuildSkinTable(text);
  SLBox->clear();
  for (const SkinRow& row : rows) {
    auto* item = new QListWidgetItem(ui::GbkToQString(row.entry));
    item->setData(kEntryBytesRole,
                  QByteArray(row.entry.data(), static_cast<qsizetype>(row.entry.size())));
    item->setSizeHint(QSize(0, kEntryHeight));
    SLBox->addItem(item);
  }
  const std::string& skinName = state_.SkinName;
  if (!skinName.empty()) {
    const std::string wanted = skinName + EntrySuffix();
    for (int i = 0; i < SLBox->count(); ++i) {
      if (EntryBytes(SLBox->item(i)) != wanted) continue;
      ShowLoadingPicture();
      SelSkin = skinName;
      ShowPreview();
      SLBox->setCurrentRow(i);
    }
  } else {
    ShowLoadingPicture();
  }
  SKBtnDel->setEnabled(false);
}

void TSkinFrm::SLBoxListBoxClick() {
  ShowLoadingPicture();
  const std::vector<SkinRow> rows = BuildSkinTable(ClickTableSource(SkinListText));
  for (int i = 0; i < SLBox->count(); ++i) {
    const QListWidgetItem* item = SLBox->item(i);
    if (!item->isSelected()) continue;
    const std::string entry = EntryBytes(item);
    for (const SkinRow& row : rows) {
      if (row.entry != entry) continue;
      SelSkin = row.name;
      const std::optional<TSkinName> checked = UsableName(SelSkin);
      if (checked) ShowPreview();
      SKBtnDel->setEnabled(checked && ContainerCached(*checked));
    }
  }
}

// --- Preview ----------------------------------------------------------------------------------

void TSkinFrm::ShowPreview() {
  const std::optional<TSkinName> name = UsableName(SelSkin);
  if (!name) return;
  if (FileExists(cache_.PathOf(*name, kPictureEnding))) {
    ShowPreviewPicture(*name);
    return;
  }
  AimTransfer(img_, "downimg", *name, kPictureStatEnding);
  const std::string tmp = cache_.PathOf(*name, kPictureTmpEnding);
  // Held by the transfer that fetches it already: let that one finish.
  if (IsFileLocked(tmp)) return;
  StartTransfer(img_, tmp, *name);
}

void TSkinFrm::AimTransfer(TTransfer& transfer, const char* action, const TSkinName& name,
                           std::string_view statEnding) {
  if (!transfer.downloader) return;
  transfer.downloader->URL =
      state_.BaseUrl + "plugins/getskin.php?action=" + action + "&skin_id=" + name.Gbk();
  transfer.downloader->StateFileName = cache_.PathOf(name, statEnding);
  transfer.downloader->PartCount = 2;
}

void TSkinFrm::StartTransfer(TTransfer& transfer, const std::string& tmp, const TSkinName& name) {
  // A factory that made no downloader: nothing is fetched and no file is left behind.
  if (!transfer.downloader) return;
  text::MakeStateDir(cache_.Dir());
  std::unique_ptr<THeldFile> fresh = cache_.CreateHeld(tmp, transfer.maxBytes);
  // The transfer this one replaces reports nothing; its file is closed once the new transfer
  // has taken its place, and stays in the cache under its ".tmp" name.
  std::unique_ptr<THeldFile> replaced = std::move(transfer.file);
  transfer.file = std::move(fresh);
  transfer.skin = name;
  transfer.downloader->FileStream = &transfer.file->Stream();
  try {
    transfer.downloader->Start();
  } catch (const std::exception&) {
    transfer.downloader->FileStream = nullptr;
    transfer.file.reset();
    transfer.skin.reset();
  }
}

std::optional<TSkinName> TSkinFrm::FinishTransfer(TTransfer& transfer) {
  transfer.downloader->FileStream = nullptr;
  transfer.file.reset();
  return std::exchange(transfer.skin, std::nullopt);
}

std::optional<TSkinName> TSkinFrm::KeepTransferredFile(TTransfer& transfer, int errorCode,
                                                       std::string_view tmpEnding,
                                                       std::string_view ending,
                                                       const char* fileKind) {
  const std::optional<TSkinName> name = FinishTransfer(transfer);
  if (!name) return std::nullopt;
  if (errorCode == 200 && transfer.downloader->TotalDataCount() > 0) {
    std::rename(cache_.PathOf(*name, tmpEnding).c_str(), cache_.PathOf(*name, ending).c_str());
    return name;
  }
  SetStatus(ui::Gbk(fileKind) + ui::Gbk("【") + name->Gbk() + ui::Gbk("】不存在"));
  return std::nullopt;
}

void TSkinFrm::HttpImgRequestDone(ISkinDownloader*, int errorCode, const std::string&) {
  const std::optional<TSkinName> name =
      KeepTransferredFile(img_, errorCode, kPictureTmpEnding, kPictureEnding, "预览图文件");
  // The picture of a skin no longer selected is cached but not shown.
  if (name && name->Gbk() == SelSkin) ShowPreviewPicture(*name);
}

// --- Apply and delete -------------------------------------------------------------------------

void TSkinFrm::SLBoxListBoxDblClick() {
  SKBtnApplyClick();
}

void TSkinFrm::SKBtnApplyClick() {
  if (!ApplyOrFetchSkin(SelSkin)) return;
  text::MakeStateDir(options_.stateDirs->config);
  text::AppendLine(options_.stateDirs->config + "settings.cfg",
                   text::SettingsCodec(SelSkin + "|user", true), true);
}

bool TSkinFrm::ApplyOrFetchSkin(const std::string& gbkName) {
  const std::optional<TSkinName> name = UsableName(gbkName);
  if (!name) return false;
  applyTarget_ = name;
  if (ContainerCached(*name)) {
    ApplyCachedSkin(*name);
    return true;
  }
  AimTransfer(container_, "downskin", *name, kContainerStatEnding);
  const std::string tmp = cache_.PathOf(*name, kContainerTmpEnding);
  // No lock test here: a ".tmp" still held by its transfer makes the creation fail, and then
  // nothing is to be applied when that transfer ends: the failed apply recorded no choice.
  try {
    StartTransfer(container_, tmp, *name);
  } catch (...) {
    applyTarget_.reset();
    throw;
  }
  SelSkin = gbkName;
  return true;
}

void TSkinFrm::ApplyCachedSkin(const TSkinName& name) {
  emit skinContainerChosen(cache_.PathOf(name, kContainerEnding));
}

void TSkinFrm::HttpDownFileRequestDone(ISkinDownloader*, int errorCode, const std::string&) {
  const std::optional<TSkinName> name =
      KeepTransferredFile(container_, errorCode, kContainerTmpEnding, kContainerEnding, "皮肤文件");
  // Applied only while it is still the skin last asked for; otherwise it waits in the cache.
  if (name && applyTarget_ == *name) ApplyCachedSkin(*name);
}

void TSkinFrm::SKBtnDelClick() {
  const std::optional<TSkinName> name = UsableName(SelSkin);
  if (!name) return;
  if (!app::ConfirmBox(ui::Gbk("确认删除此皮肤？"))) return;
  const std::string path = cache_.PathOf(*name, kContainerEnding);
  if (FileExists(path)) ::unlink(path.c_str());
}

// --- Showing ----------------------------------------------------------------------------------

void TSkinFrm::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  // A spontaneous show is the window system bringing the window back (a desktop switch, a
  // restore), not the application showing it: the list and the selection stay as they are.
  if (event->spontaneous()) return;
  ui::Guarded([this] { FormShow(); });
}

}  // namespace qelo::skin
