#include "app/main_form.h"

#include <algorithm>

#include <QApplication>
#include <QCloseEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QStatusBar>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "app/saved_skin.h"
#include "app/search_rows.h"
#include "app/ver_form.h"
#include "config.h"
#include "net/http_client.h"
#include "skin/builtin_skin.h"
#include "text/app_dir.h"
#include "text/ascii_text.h"
#include "ui/error_report.h"
#include "ui/gbk_qt.h"
#include "ui/skin_palette.h"
#include "ui/system_browser.h"
#include "ui/system_icons.h"
#include "ui/widget_helpers.h"

namespace qelo::app {

TMainForm* MainForm = nullptr;

using ui::Named;
using ui::OnUser;

namespace {

// Item data role that holds a row's icon index (-1: none looked up).
constexpr int kIconIndexRole = Qt::UserRole + 1;

// One height for every result row. A row's natural height depends on its icon and on the fonts
// its text falls back to (Chinese glyphs are taller), and the list gives every row the first
// row's height, so without this the rows grew or shrank from one search to the next.
int ListRowHeight(const QTreeWidget& list) {
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

namespace {

// The main window's message component; a plain one while no main window exists.
int ShowBox(const std::string& text, unsigned buttons) {
  if (MainForm)
    return MainForm->MsgDlg.MessageDlg(text, ui::TMsgDlgType::mtInformation, buttons, 0);
  ui::TskSkinMessage box;
  return box.MessageDlg(text, ui::TMsgDlgType::mtInformation, buttons, 0);
}

}  // namespace

void InfoBox(const std::string& text) {
  ShowBox(text, ui::mbOK);
}

bool ConfirmBox(const std::string& text) {
  return ShowBox(text, ui::mbOK | ui::mbCancel) == ui::mrOk;
}

TMainForm::TMainForm(QWidget* parent) : QMainWindow(parent), MsgDlg(this) {
  MainForm = this;
  setObjectName(QStringLiteral("MainForm"));
  setWindowTitle(QStringLiteral("Qelo网盘文件搜索"));

  // Creation: the shared state's fixed values, the client, the two icon lists.
  BaseUrl = config::kBaseUrl;
  AppVersion = config::kAppVersion;
  AppBuild = config::kAppBuild;
  HttpClient1 = MakeServiceClient([this](net::THttpClient* sender, int rqType, uint16_t errCode) {
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
  HttpClient1.reset();
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
  auto* row = new QHBoxLayout(skSkinPanel2);
  row->setContentsMargins(0, 0, 0, 0);
  row->setSpacing(0);

  lv1 = Named(new QTreeWidget(skSkinPanel2), "lv1");
  lv1->setRootIsDecorated(false);
  lv1->setItemsExpandable(false);
  lv1->setUniformRowHeights(true);
  lv1->setSelectionBehavior(QAbstractItemView::SelectRows);
  lv1->setSelectionMode(QAbstractItemView::SingleSelection);
  lv1->setEditTriggers(QAbstractItemView::NoEditTriggers);
  lv1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  lv1->setIconSize(QSize(SmallIcons->IconSize(), SmallIcons->IconSize()));
  static const struct {
    const char16_t* title;
    int width;
  } kColumns[] = {{u"文件名称", 350}, {u"文件类型", 100}, {u"文件大小", 100}, {u"价值指数", 100},
                  {u"人气指数", 100}, {u"收录时间", 100}, {u"文件地址", 250}, {u"文件ID", 70}};
  QStringList titles;
  for (const auto& c : kColumns)
    titles << QString::fromUtf16(c.title);
  lv1->setHeaderLabels(titles);
  lv1->header()->setStretchLastSection(false);
  for (int i = 0; i < titles.size(); ++i)
    lv1->setColumnWidth(i, kColumns[i].width);
  OnUser(lv1, &QTreeWidget::itemDoubleClicked, this, [this] { lv1DblClick(); });

  // The list's own vertical bar stays hidden; lv1_bar beside it serves the list.
  lv1_bar = Named(new QScrollBar(Qt::Vertical, skSkinPanel2), "lv1_bar");
  lv1_bar->setFixedWidth(19);
  QScrollBar* own = lv1->verticalScrollBar();
  connect(own, &QScrollBar::rangeChanged, lv1_bar, &QScrollBar::setRange);
  connect(own, &QScrollBar::valueChanged, lv1_bar, &QScrollBar::setValue);
  connect(lv1_bar, &QScrollBar::valueChanged, own, &QScrollBar::setValue);
  lv1_bar->setRange(own->minimum(), own->maximum());

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
  if (streams_.UnderWay()) {
    pendingKeyword_ = keyword;
    return;
  }
  StartSearch(keyword);
}

void TMainForm::StartSearch(const std::string& keyword) {
  PostForm(*HttpClient1, streams_, BaseUrl + kServiceScript, "action=search&word=" + keyword);
}

void TMainForm::HttpClient1RequestDone(net::THttpClient*, int, uint16_t errCode) {
  const std::optional<std::string> body = FinishPostForm(*HttpClient1, streams_, errCode);
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
  const SearchListing listing = ListSearchReply(body, LocaleDecimalSeparator());
  lv1->clear();
  // The lists are released when the window closes; a reply that lands after that is listed
  // without icons.
  if (SmallIcons) lv1->setIconSize(QSize(SmallIcons->IconSize(), SmallIcons->IconSize()));
  if (!listing.isArray) return false;

  lv1->setUpdatesEnabled(false);
  const QSize rowSize(0, ListRowHeight(*lv1));
  QList<QTreeWidgetItem*> items;
  items.reserve(static_cast<qsizetype>(listing.rows.size()));
  for (const ResultRow& row : listing.rows) {
    auto* item = new QTreeWidgetItem;
    item->setText(0, ui::GbkToQString(row.caption));
    for (size_t c = 0; c < row.cells.size(); ++c)
      item->setText(static_cast<int>(c) + 1, ui::GbkToQString(row.cells[c]));
    int icon = -1;
    if (row.icon == ResultRow::Icon::FileName)
      icon = ui::GetSystemIconIndexA(row.caption.c_str(), 0);
    else if (row.icon == ResultRow::Icon::Generic)
      icon = ui::GetSystemIconIndexA(nullptr, 0);
    item->setSizeHint(0, rowSize);
    item->setData(0, kIconIndexRole, icon);
    if (icon >= 0 && SmallIcons) item->setIcon(0, SmallIcons->Icon(icon));
    items.push_back(item);
  }
  lv1->addTopLevelItems(items);
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
  if (lv1->topLevelItemCount() == 0) return;
  bool found = false;
  std::string name;
  std::string page;
  for (int i = 0; i < lv1->topLevelItemCount(); ++i) {
    const QTreeWidgetItem* item = lv1->topLevelItem(i);
    const std::string link = ui::QStringToGbk(item->text(1 + kCellLink));
    if (!item->isSelected() || link.empty()) continue;
    found = true;
    name = ui::QStringToGbk(item->text(0));
    page = "zelk-" + ui::QStringToGbk(item->text(1 + kCellId));
    SelLink = std::string(text::Trim(link));
    SelFileId = ui::QStringToGbk(item->text(1 + kCellId));
    SelValue = ui::QStringToGbk(item->text(1 + kCellValue));
    SelViews = ui::QStringToGbk(item->text(1 + kCellViews));
  }
  if (!found) return;
  PreviewUrl = BaseUrl + page;
  if (preview) {
    if (ShowPreview)
      ShowPreview(name + "- [" + SelLink + "] - " + ui::Gbk("Qelo网盘搜索结果预览"), x() + 200,
                  y() + 100);
    return;
  }
  ui::ShellExecuteA(nullptr, "open", SelLink.c_str(), nullptr, nullptr, ui::SW_SHOWNORMAL);
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
  if (ShowSkinWindow) ShowSkinWindow();
}

void TMainForm::N2Click() {
  if (VerFrm) VerFrm->exec();
}

void TMainForm::Q1Click() {
  close();
}

void TMainForm::F1Click() {
  ui::ShellExecuteA(nullptr, "open", ForumUrl().c_str(), nullptr, nullptr, ui::SW_SHOWNORMAL);
}

void TMainForm::FormShow() {
  // The saved skin, when settings.cfg names one that is cached; damage keeps the built-in one.
  SkinName = LoadSavedSkin(skSkinData1, text::AppDir());
  if (skSkinData1.Empty()) skSkinData1.SetCompressedStoredSkin(&skCompressedStoredSkin1);
  if (OnFormShow) OnFormShow();
}

void TMainForm::FormClose() {
  SmallIcons = nullptr;
  LargeIcons = nullptr;
  QApplication::quit();
}

bool TMainForm::eventFilter(QObject* watched, QEvent* event) {
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
