#include "app/main_form.h"

#include "app/message_boxes.h"

#include <algorithm>
#include <string_view>
#include <vector>

#include <QApplication>
#include <QCloseEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QStatusBar>
#include <QTreeView>
#include <QVBoxLayout>

#include "app/result_list_model.h"
#include "app/ver_form.h"
#include "appcore/saved_skin.h"
#include "appcore/search_rows.h"
#include "config.h"
#include "net/http_client.h"
#include "skin/builtin_skin.h"
#include "text/ascii_text.h"
#include "text/state_dirs.h"
#include "ui/error_report.h"
#include "ui/gbk_qt.h"
#include "ui/skin_palette.h"
#include "ui/skin_style.h"
#include "ui/system_browser.h"
#include "ui/system_icons.h"
#include "ui/widget_helpers.h"

namespace qelo::app {

TMainForm* MainForm = nullptr;

using ui::Named;
using ui::OnUser;

namespace {

// One height for every result row. A row's natural height depends on its icon and on the fonts
// its text falls back to (Chinese glyphs are taller), and the list gives every row the first
// row's height, so without this the rows grew or shrank from one search to the next.
int ListRowHeight(const QTreeView& list) {
  const int text = list.fontMetrics().boundingRect(QStringLiteral("文件Agy")).height();
  return std::max(text, list.iconSize().height()) + 4;
}

// Connects a widget signal to a handler that runs inside the error-report guard.
char LocaleDecimalSeparator() {
  const QString dp = QLocale().decimalPoint();
  if (dp.size() == 1 && dp[0].unicode() > 32 && dp[0].unicode() < 127)
    return static_cast<char>(dp[0].unicode());
  return '.';
}

}  // namespace

TMainForm::TMainForm(QWidget* parent) : QMainWindow(parent), MsgDlg(this) {
  MainForm = this;
  setObjectName(QStringLiteral("MainForm"));
  setWindowTitle(QStringLiteral("Qelo网盘文件搜索"));

  // Creation: the shared state's fixed values, the client, the two icon lists.
  BaseUrl = config::kBaseUrl;
  AppVersion = config::kAppVersion;
  AppBuild = config::kAppBuild;
  Service = std::make_unique<TServiceRequest>(
      [this](net::THttpClient* sender, int rqType, uint16_t errCode) {
        HttpClient1RequestDone(sender, rqType, errCode);
      });
  SmallIcons = ui::GetSystemImageListHandle(1);
  LargeIcons = ui::GetSystemImageListHandle(0);

  // The client starts in the built-in skin.
  skinPalette_ = std::make_unique<ui::TSkinPaletteFollower>(skSkinData1);
  skCompressedStoredSkin1.CompressedFileName = skin::kBuiltinSkinFile;
  skCompressedStoredSkin1.CompressedData = std::string(skin::BuiltinSkinData());
  skSkinData1.SetCompressedStoredSkin(&skCompressedStoredSkin1);

  BuildMenus();
  auto* central = new QWidget(this);
  auto* column = new QVBoxLayout(central);
  column->setContentsMargins(0, 0, 0, 0);
  column->setSpacing(0);
  BuildPanel();
  BuildList();
  column->addWidget(skSkinPanel1);
  column->addWidget(skSkinPanel2, 1);
  setCentralWidget(central);
  BuildStatusBar();

  resize(760, 430);
  if (QScreen* screen = QApplication::primaryScreen()) {
    const QRect area = screen->availableGeometry();
    move(area.center() - QPoint(760 / 2, 430 / 2));
  }
}

TMainForm::~TMainForm() {
  // The client goes first so no completion reaches a half-destroyed window.
  Service.reset();
  if (MainForm == this) MainForm = nullptr;
}

void TMainForm::BuildMenus() {
  skSkinMainMenuBar1 = Named(new QMenuBar(this), "skSkinMainMenuBar1");
  skSkinMainMenuBar1->setFixedHeight(22);
  // Items keep to the bar's 22 pixels: with the style's own margins a CJK font needs more, and
  // the bar would fold both menus into its overflow button.
  skSkinMainMenuBar1->setStyleSheet(QStringLiteral("QMenuBar::item { padding: 1px 6px; }"));
  QMenu* options = skSkinMainMenuBar1->addMenu(QStringLiteral("选项(&O)"));
  options->setObjectName(QStringLiteral("skSkinMainMenu1_Options"));
  N1 = Named(options->addAction(QStringLiteral("更换皮肤(&C)")), "N1");
  Q1 = Named(options->addAction(QStringLiteral("退出软件(&Q)")), "Q1");
  QMenu* help = skSkinMainMenuBar1->addMenu(QStringLiteral("帮助(&H)"));
  help->setObjectName(QStringLiteral("skSkinMainMenu1_Help"));
  F1 = Named(help->addAction(QStringLiteral("交流反馈(&F)")), "F1");
  N2 = Named(help->addAction(QStringLiteral("关于软件(&A)")), "N2");
  OnUser(N1, &QAction::triggered, this, [this] { N1Click(); });
  OnUser(Q1, &QAction::triggered, this, [this] { Q1Click(); });
  OnUser(F1, &QAction::triggered, this, [this] { F1Click(); });
  OnUser(N2, &QAction::triggered, this, [this] { N2Click(); });
  setMenuBar(skSkinMainMenuBar1);
}

void TMainForm::BuildPanel() {
  skSkinPanel1 = Named(new QWidget, "skSkinPanel1");
  ui::SetSkinDataName(skSkinPanel1, "panel");
  skSkinPanel1->setFixedHeight(60);
  ed_word = Named(new QLineEdit(skSkinPanel1), "ed_word");
  QFont font(QStringLiteral("Tahoma"));
  font.setPixelSize(14);
  ed_word->setFont(font);
  ed_word->setGeometry(8, 16, 208, 23);
  ed_word->installEventFilter(this);
  btn_search = Named(new QPushButton(QStringLiteral("Qelo搜索"), skSkinPanel1), "btn_search");
  btn_search->setGeometry(224, 16, 75, 25);
  OnUser(btn_search, &QPushButton::clicked, this, [this] { btn_searchClick(); });
  skSkinStdLabel2 = Named(
      new QLabel(
          QStringLiteral("声明：本搜索不含有任何弹窗广告，出现的广告均为收录的网站页面本身所致。"),
          skSkinPanel1),
      "skSkinStdLabel2");
  skSkinStdLabel2->setGeometry(309, 24, 492, 25);
  skSkinStdLabel2->setAlignment(Qt::AlignLeft | Qt::AlignTop);
}

void TMainForm::BuildList() {
  skSkinPanel2 = Named(new QWidget, "skSkinPanel2");
  ui::SetSkinDataName(skSkinPanel2, "panel");
  auto* row = new QHBoxLayout(skSkinPanel2);
  row->setContentsMargins(0, 0, 0, 0);
  row->setSpacing(0);

  lv1 = Named(new QTreeView(skSkinPanel2), "lv1");
  lv1Rows_ = new TResultListModel(lv1);
  lv1->setModel(lv1Rows_);
  lv1->setRootIsDecorated(false);
  lv1->setItemsExpandable(false);
  lv1->setUniformRowHeights(true);
  lv1->setSelectionBehavior(QAbstractItemView::SelectRows);
  lv1->setSelectionMode(QAbstractItemView::SingleSelection);
  lv1->setEditTriggers(QAbstractItemView::NoEditTriggers);
  lv1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  lv1->setIconSize(QSize(SmallIcons->IconSize(), SmallIcons->IconSize()));
  static const int kColumnWidths[TResultListModel::kColumnCount] = {350, 100, 100, 100,
                                                                    100, 100, 250, 70};
  lv1->header()->setStretchLastSection(false);
  // The columns keep their order: a dragged header section stays where it was.
  lv1->header()->setSectionsMovable(false);
  for (int i = 0; i < TResultListModel::kColumnCount; ++i)
    lv1->setColumnWidth(i, kColumnWidths[i]);
  // A double click with another button than the left one opens nothing.
  lv1->viewport()->installEventFilter(this);
  OnUser(lv1, &QAbstractItemView::doubleClicked, this, [this] { lv1DblClick(); });

  // The list's own vertical bar stays hidden; lv1_bar beside it serves the list.
  lv1_bar = Named(new QScrollBar(Qt::Vertical, skSkinPanel2), "lv1_bar");
  lv1_bar->setFixedWidth(19);
  ui::FollowScrollBar(lv1, lv1_bar);

  pm1 = Named(new QMenu(lv1), "pm1");
  N3 = Named(pm1->addAction(QStringLiteral("结果预览")), "N3");
  N4 = Named(pm1->addAction(QStringLiteral("浏览器打开")), "N4");
  OnUser(N3, &QAction::triggered, this, [this] { N3Click(); });
  OnUser(N4, &QAction::triggered, this, [this] { N4Click(); });
  lv1->setContextMenuPolicy(Qt::CustomContextMenu);
  connect(lv1, &QWidget::customContextMenuRequested, this,
          [this](const QPoint& at) { pm1->popup(lv1->viewport()->mapToGlobal(at)); });

  row->addWidget(lv1, 1);
  row->addWidget(lv1_bar);
}

void TMainForm::BuildStatusBar() {
  skSkinStatusBar1 = Named(new QStatusBar(this), "skSkinStatusBar1");
  skSkinStatusBar1->setFixedHeight(18);
  skSkinStatusBar1->setSizeGripEnabled(false);
  // The status bar keeps the top 3 of its 18 pixels free, so a 16-pixel label in it would lose
  // its bottom row, where the underline is drawn: the label sits one pixel higher in a cell
  // that fits.
  auto* cell = new QWidget(skSkinStatusBar1);
  cell->setFixedSize(150, 15);
  bbs_link = Named(new QLabel(cell), "bbs_link");
  QFont small = bbs_link->font();
  small.setPixelSize(11);
  bbs_link->setFont(small);
  bbs_link->setFixedHeight(16);
  bbs_link->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  bbs_link->setContentsMargins(0, 0, 4, 0);
  bbs_link->setText(
      QStringLiteral("<a href=\"forum\" style=\"text-decoration: underline\">"
                     "小伙伴们，来这里交流反馈</a>"));
  bbs_link->setTextFormat(Qt::RichText);
  bbs_link->setTextInteractionFlags(Qt::LinksAccessibleByMouse);
  bbs_link->setOpenExternalLinks(false);
  bbs_link->setCursor(Qt::PointingHandCursor);
  bbs_link->setFixedWidth(150);
  bbs_link->move(0, -1);
  OnUser(bbs_link, &QLabel::linkActivated, this, [this] { F1Click(); });
  skSkinStatusBar1->addPermanentWidget(cell);
  setStatusBar(skSkinStatusBar1);
}

// --- Search -----------------------------------------------------------------------------------

void TMainForm::RunSearch() {
  const std::string keyword = std::string(text::Trim(ui::QStringToGbk(ed_word->text())));
  if (keyword.empty()) {
    InfoBox(ui::Gbk("请输入搜索关键词"));
    return;
  }
  SetSearchBusy();
  // The request under way keeps its streams; the newest keyword waits for it to end.
  if (Service->Busy()) {
    pendingKeyword_ = keyword;
    return;
  }
  StartSearch(keyword);
}

void TMainForm::StartSearch(const std::string& keyword) {
  Service->Post(BaseUrl + kServiceScript, "action=search&word=" + keyword);
}

void TMainForm::HttpClient1RequestDone(net::THttpClient*, int, uint16_t errCode) {
  const std::optional<std::string> body = Service->Finish(errCode);
  if (pendingKeyword_) {
    // A newer keyword was entered meanwhile: its search replaces this reply.
    const std::string keyword = std::move(*pendingKeyword_);
    pendingKeyword_.reset();
    StartSearch(keyword);
    return;
  }
  if (body && FillResults(*body)) SetSearchIdle();
}

bool TMainForm::FillResults(const std::string& body) {
  SearchTable listing = ListSearchTable(body, LocaleDecimalSeparator());
  // The lists are released when the window closes; a reply that lands after that is listed
  // without icons.
  if (SmallIcons) lv1->setIconSize(QSize(SmallIcons->IconSize(), SmallIcons->IconSize()));
  // The old rows go whatever the reply holds; a reply that is not an array leaves none.
  lv1->setUpdatesEnabled(false);
  lv1Rows_->SetRows(std::move(listing.rows), SmallIcons, ListRowHeight(*lv1));
  // Icons are looked up as rows are shown. The first lookup also sets up the icon theme, which
  // is better done here than in the middle of painting the list.
  lv1Rows_->IconIndex(0);
  // A new result list starts at its best hits, wherever the last one was scrolled to.
  lv1->scrollToTop();
  lv1->setUpdatesEnabled(true);
  return listing.complete;
}

void TMainForm::SetSearchBusy() {
  btn_search->setText(QStringLiteral("搜索中..."));
  btn_search->setEnabled(false);
}

void TMainForm::SetSearchIdle() {
  btn_search->setEnabled(true);
  btn_search->setText(QStringLiteral("Qelo搜索"));
}

// --- Opening a result -------------------------------------------------------------------------

void TMainForm::OpenResult(bool preview) {
  const TResultTable& rows = lv1Rows_->Rows();
  if (rows.RowCount() == 0) return;
  // The selected rows from first to last; a row counts when any of its cells is selected.
  std::vector<size_t> selected;
  for (const QModelIndex& index : lv1->selectionModel()->selectedIndexes())
    selected.push_back(static_cast<size_t>(index.row()));
  std::sort(selected.begin(), selected.end());
  selected.erase(std::unique(selected.begin(), selected.end()), selected.end());

  bool found = false;
  std::string name;
  std::string page;
  for (size_t r : selected) {
    const std::string_view link = rows.Cell(r, kCellLink);
    if (link.empty()) continue;
    found = true;
    name = rows.Caption(r);
    page = "zelk-" + std::string(rows.Cell(r, kCellId));
    SelLink = std::string(text::Trim(link));
    SelFileId = rows.Cell(r, kCellId);
    SelValue = rows.Cell(r, kCellValue);
    SelViews = rows.Cell(r, kCellViews);
  }
  if (!found) return;
  PreviewUrl = BaseUrl + page;
  if (preview) {
    emit previewRequested(name + "- [" + SelLink + "] - " + ui::Gbk("Qelo网盘搜索结果预览"),
                          x() + 200, y() + 100);
    return;
  }
  ui::OpenInBrowser(SelLink);
}

// --- Handlers ---------------------------------------------------------------------------------

void TMainForm::btn_searchClick() {
  RunSearch();
}

void TMainForm::ed_wordKeyPress(char& key) {
  if (key == 13) RunSearch();
}

void TMainForm::lv1DblClick() {
  OpenResult(true);
}
void TMainForm::N3Click() {
  OpenResult(true);
}
void TMainForm::N4Click() {
  OpenResult(false);
}

void TMainForm::N1Click() {
  emit skinWindowRequested();
}

void TMainForm::N2Click() {
  if (VerFrm) VerFrm->exec();
}

void TMainForm::Q1Click() {
  close();
}

void TMainForm::F1Click() {
  ui::OpenInBrowser(ForumUrl());
}

void TMainForm::FormShow() {
  // The saved skin, when settings.cfg names one that is cached; damage keeps the built-in one.
  SkinName = LoadSavedSkin(skSkinData1, text::ProcessStateDirs());
  if (skSkinData1.Empty()) skSkinData1.SetCompressedStoredSkin(&skCompressedStoredSkin1);
}

void TMainForm::FormClose() {
  SmallIcons = nullptr;
  LargeIcons = nullptr;
  QApplication::quit();
}

bool TMainForm::eventFilter(QObject* watched, QEvent* event) {
  if (watched == lv1->viewport() && event->type() == QEvent::MouseButtonDblClick &&
      static_cast<QMouseEvent*>(event)->button() != Qt::LeftButton)
    return true;
  if (watched == ed_word && event->type() == QEvent::KeyPress) {
    const QString text = static_cast<QKeyEvent*>(event)->text();
    if (text.size() == 1 && text[0].unicode() < 128) {
      char key = static_cast<char>(text[0].unicode());
      ui::Guarded([&] { ed_wordKeyPress(key); });
    }
  }
  return QMainWindow::eventFilter(watched, event);
}

void TMainForm::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  if (shown_) return;
  shown_ = true;
  ui::Guarded([this] { FormShow(); });
}

void TMainForm::closeEvent(QCloseEvent* event) {
  QMainWindow::closeEvent(event);
  if (event->isAccepted()) ui::Guarded([this] { FormClose(); });
}

}  // namespace qelo::app
