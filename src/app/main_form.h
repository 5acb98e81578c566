// The main search window: keyword box, search button, result list, menus, status-bar link, and
// the shared state the other windows read through MainForm.
#pragma once

#include <QMainWindow>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "appcore/service_request.h"
#include "appcore/shared_state.h"
#include "skin/compressed_stored_skin.h"
#include "skin/skin_data.h"
#include "ui/message_box.h"

class QAction;
class QLabel;
class QLineEdit;
class QMenu;
class QMenuBar;
class QPushButton;
class QScrollBar;
class QStatusBar;
class QTreeView;

namespace qelo::net {
class THttpClient;
}
namespace qelo::ui {
class TSkinPaletteFollower;
class TSystemImageList;
}  // namespace qelo::ui

namespace qelo::app {

class TResultListModel;

class TMainForm : public QMainWindow, public TSharedState {
  Q_OBJECT

 public:
  explicit TMainForm(QWidget* parent = nullptr);
  ~TMainForm() override;

  // --- Search ---------------------------------------------------------------------------------
  void RunSearch();
  // Replaces the list's rows with those of a reply body (GBK); true when every element was
  // listed, which is when the search button may go idle again.
  bool FillResults(const std::string& body);
  // --- Opening a result -----------------------------------------------------------------------
  void OpenResult(bool preview);

  // --- Handlers, as the window's controls name them -------------------------------------------
  void btn_searchClick();
  void ed_wordKeyPress(char& key);
  void HttpClient1RequestDone(net::THttpClient* sender, int rqType, uint16_t errCode);
  void lv1DblClick();
  void N1Click();
  void N2Click();
  void N3Click();
  void N4Click();
  void Q1Click();
  void F1Click();
  void FormShow();

  // The feedback forum page.
  std::string ForumUrl() const { return BaseUrl + "bbs/"; }

  // --- Components -----------------------------------------------------------------------------
  ui::TskSkinMessage MsgDlg;
  // The window's requests to the service, over its client "HttpClient1".
  std::unique_ptr<TServiceRequest> Service;
  ui::TSystemImageList* SmallIcons = nullptr;
  ui::TSystemImageList* LargeIcons = nullptr;
  // The built-in skin "Charm.skn" and the skin holder every window follows.
  skin::TskCompressedStoredSkin skCompressedStoredSkin1;
  skin::TskSkinData skSkinData1;

  // --- What the window asks of the others (connected by the composition root) ----------------
 signals:
  // A result was opened for preview: PreviewUrl is set; caption (GBK) and the top-left corner
  // on screen are those of the preview window.
  void previewRequested(const std::string& caption, int left, int top);
  // The skin menu entry was chosen.
  void skinWindowRequested();

 protected:
  void closeEvent(QCloseEvent* event) override;
  void showEvent(QShowEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void BuildMenus();
  void BuildPanel();
  void BuildList();
  void BuildStatusBar();
  void StartSearch(const std::string& keyword);
  void SetSearchBusy();
  void SetSearchIdle();
  void FormClose();

  QMenuBar* skSkinMainMenuBar1 = nullptr;
  QAction* N1 = nullptr;
  QAction* Q1 = nullptr;
  QAction* F1 = nullptr;
  QAction* N2 = nullptr;
  QWidget* skSkinPanel1 = nullptr;
  QLineEdit* ed_word = nullptr;
  QPushButton* btn_search = nullptr;
  QLabel* skSkinStdLabel2 = nullptr;
  QWidget* skSkinPanel2 = nullptr;
  QTreeView* lv1 = nullptr;
  TResultListModel* lv1Rows_ = nullptr;
  QScrollBar* lv1_bar = nullptr;
  QMenu* pm1 = nullptr;
  QAction* N3 = nullptr;
  QAction* N4 = nullptr;
  QStatusBar* skSkinStatusBar1 = nullptr;
  QLabel* bbs_link = nullptr;

  // Gives every window the holder's colours; declared after the holder, so it leaves first.
  std::unique_ptr<ui::TSkinPaletteFollower> skinPalette_;
  // A keyword entered while a search was under way; it is sent once that search ends.
  std::optional<std::string> pendingKeyword_;
  bool shown_ = false;
};

// The main window, set while it exists.
extern TMainForm* MainForm;

}  // namespace qelo::app
