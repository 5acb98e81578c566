#include "preview/wb_form.h"

#include <QApplication>
#include <QComboBox>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/message_boxes.h"
#include "appcore/shared_state.h"
#include "net/http_client.h"
#include "preview/rp_form.h"
#include "text/app_dir.h"
#include "text/ascii_text.h"
#include "ui/error_report.h"
#include "ui/gbk_qt.h"
#include "ui/skin_style.h"
#include "ui/system_browser.h"
#include "ui/web_view.h"
#include "ui/widget_helpers.h"

namespace qelo::app {

TWBForm* WBForm = nullptr;

using ui::Named;
using ui::OnUser;

namespace {

constexpr const char* kSinkAddress = "about:blank";
constexpr const char* kNoPopupScript = "window.open=function(){return true}";

// The three views carry the same settings.
void SetViewOptions(ui::TWebView& view) {
  view.DisableCtrlShortcuts = "N";
  view.UserInterfaceOptions = ui::EnablesFormsAutoComplete | ui::EnableThemes;
}

}  // namespace

TWBForm::TWBForm(const TSharedState& state, QWidget* parent)
    : QWidget(parent, Qt::Window), state_(state) {
  WBForm = this;
  setObjectName(QStringLiteral("WBForm"));
  setWindowTitle(QStringLiteral("Qelo搜索浏览器"));
  Service = std::make_unique<TServiceRequest>(
      [this](net::THttpClient* sender, int rqType, uint16_t errCode) {
        HttpClient1RequestDone(sender, rqType, errCode);
      });

  pn1 = Named(new QWidget(this), "pn1");
  auto* whole = new QVBoxLayout(this);
  whole->setContentsMargins(0, 0, 0, 0);
  whole->addWidget(pn1);
  BuildBar();
  auto* column = new QVBoxLayout(pn1);
  column->setContentsMargins(0, 0, 0, 0);
  column->setSpacing(0);
  column->addWidget(skSkinPanel1);
  pages_ = new QGridLayout;
  pages_->setContentsMargins(0, 0, 0, 0);
  column->addLayout(pages_, 1);

  resize(800, 450);
  move(198, 154);
  // Activation is followed application-wide, so that only moves between this application's
  // windows count.
  qApp->installEventFilter(this);
}

TWBForm::~TWBForm() {
  qApp->removeEventFilter(this);
  Service.reset();
  if (WBForm == this) WBForm = nullptr;
}

void TWBForm::CreateViews() {
  if (wb1) return;
  BuildViews();
  // Both views fill the same cell; the loading view lies above the page view.
  pages_->addWidget(wb1, 0, 0);
  pages_->addWidget(wb_load, 0, 0);
  wb_load->raise();
  ui::Guarded([this] { FormCreate(); });
}

void TWBForm::BuildViews() {
  wb1 = Named(ui::CreateWebView(pn1), "wb1");
  wb_load = Named(ui::CreateWebView(pn1), "wb_load");
  pn4 = Named(new QFrame(pn1), "pn4");
  pn4->setFrameShape(QFrame::StyledPanel);
  pn4->setGeometry(64, 272, 289, 150);
  WbNoAd = Named(ui::CreateWebView(pn4), "WbNoAd");
  auto* fill = new QVBoxLayout(pn4);
  fill->setContentsMargins(0, 0, 0, 0);
  fill->addWidget(WbNoAd);
  WbNoAd->hide();
  pn4->hide();
  for (ui::TWebView* view : {wb1, wb_load, WbNoAd})
    SetViewOptions(*view);

  wb1->OnDocumentComplete = [this](ui::TWebView* sender, const std::string& url) {
    wb1DocumentComplete(sender, url);
  };
  wb1->OnNewWindow3 = [this](ui::TWebView* sender, ui::TWebView*& ppDisp, bool& Cancel,
                             unsigned flags, const std::string& context, const std::string& url) {
    wb1NewWindow3(sender, ppDisp, Cancel, flags, context, url);
  };
  WbNoAd->OnBeforeNavigate2 = [this](ui::TWebView* sender, const std::string& url, bool& Cancel) {
    WbNoAdBeforeNavigate2(sender, url, Cancel);
  };
}

void TWBForm::BuildBar() {
  skSkinPanel1 = Named(new QFrame(pn1), "skSkinPanel1");
  ui::SetSkinDataName(skSkinPanel1, "panel");
  skSkinPanel1->setFrameShape(QFrame::StyledPanel);
  skSkinPanel1->setFixedHeight(33);
  auto* row = new QHBoxLayout(skSkinPanel1);
  row->setContentsMargins(1, 1, 1, 1);
  row->setSpacing(0);

  pn2 = Named(new QWidget(skSkinPanel1), "pn2");
  lb3 = Named(new QLabel(QStringLiteral("评价文件："), pn2), "lb3");
  lb3->setGeometry(8, 8, 60, 13);
  cb_score = Named(new QComboBox(pn2), "cb_score");
  cb_score->setGeometry(73, 3, 120, 25);
  cb_score->setMaxVisibleItems(8);
  for (const char* entry : {"- 请选择 -", "10分满意", "9分满意", "8分优秀", "7分一般", "6分及格",
                            "5分中等", "4分中下", "3分差劲", "2分不行", "1分不值"})
    cb_score->addItem(QString::fromUtf8(entry));
  cb_score->setCurrentIndex(0);
  btn_review = Named(new QPushButton(QStringLiteral("评分"), pn2), "btn_review");
  btn_review->setGeometry(201, 3, 58, 25);
  OnUser(btn_review, &QPushButton::clicked, this, [this] { btn_reviewClick(); });
  lb1 = Named(new QLabel(QStringLiteral("文件评分、人气"), pn2), "lb1");
  lb1->setGeometry(265, 8, 220, 13);
  lb2 = Named(new QLabel(QStringLiteral("文件评分成功，感谢您的支持！"), pn2), "lb2");
  lb2->setGeometry(368, 8, 217, 13);
  lb2->hide();

  pn3 = Named(new QWidget(skSkinPanel1), "pn3");
  pn3->setFixedWidth(270);
  btn_report = Named(new QPushButton(QStringLiteral("举报投诉"), pn3), "btn_report");
  btn_report->setGeometry(104, 3, 75, 25);
  OnUser(btn_report, &QPushButton::clicked, this, [this] { btn_reportClick(); });
  btn_view = Named(new QPushButton(QStringLiteral("浏览器打开"), pn3), "btn_view");
  btn_view->setGeometry(186, 3, 80, 25);
  OnUser(btn_view, &QPushButton::clicked, this, [this] { btn_viewClick(); });

  row->addWidget(pn2, 1);
  row->addWidget(pn3);
}

// --- Opening a result -------------------------------------------------------------------------

void TWBForm::OpenPreview(const std::string& caption, int left, int top) {
  // Asked for before the views came after the main window's first paint: they come now.
  CreateViews();
  setWindowTitle(ui::GbkToQString(caption));
  wb1->Navigate(state_.PreviewUrl);
  move(left, top);
  // The result is opened from another window; a flag left from a refused activation is stale.
  if (appActive_ && QApplication::activeWindow() != this) appActive_ = false;
  show();
  raise();
  activateWindow();
  // The window system confirms the activation later; the page may complete before that, and
  // the reset must come first.
  Activated();
}

// --- Activation -------------------------------------------------------------------------------

void TWBForm::Activated() {
  if (appActive_) return;
  appActive_ = true;
  ui::Guarded([this] { FormActivate(); });
}

void TWBForm::Deactivated() {
  if (!appActive_) return;
  appActive_ = false;
  ui::Guarded([this] { FormDeactivate(); });
}

bool TWBForm::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::WindowActivate && watched->isWidgetType()) {
    auto* widget = static_cast<QWidget*>(watched);
    const Qt::WindowType type = widget->windowType();
    if (widget->isWindow() && type != Qt::Popup && type != Qt::ToolTip) {
      if (widget == this)
        Activated();
      else
        Deactivated();
    }
  }
  return QWidget::eventFilter(watched, event);
}

void TWBForm::hideEvent(QHideEvent* event) {
  QWidget::hideEvent(event);
  // Closing only hides the window, and it loses activation first.
  if (!isMinimized()) Deactivated();
}

// --- Handlers ---------------------------------------------------------------------------------

void TWBForm::FormCreate() {
  wb1->hide();
  WbNoAd->Navigate(kSinkAddress);
}

void TWBForm::FormActivate() {
  if (state_.PreviewUrl == LastUrl) return;
  wb_load->show();
  wb_load->NavigateFile(text::AppDir() + "res/loading.html");
  lb1->setText(ui::GbkToQString(ui::Gbk("【文件价值指数：") + state_.SelValue +
                                ui::Gbk(" , 人气：") + state_.SelViews + ui::Gbk("】")));
  lb2->hide();
  lb3->show();
  cb_score->show();
  // The button comes back too: an accepted rating hid it, and the next result must be rateable.
  btn_review->show();
  // A rating still under way keeps the button busy: a second one could not be sent, and the
  // first one's reply would seem to answer it.
  const bool rating = Service->Busy();
  btn_review->setEnabled(!rating);
  btn_review->setText(rating ? QStringLiteral("提交中...") : QStringLiteral("评分"));
  btn_report->setEnabled(true);
  btn_report->setGeometry(104, btn_report->y(), 75, btn_report->height());
  btn_report->setText(QStringLiteral("举报投诉"));
}

void TWBForm::FormDeactivate() {
  LastUrl = state_.PreviewUrl;
}

void TWBForm::wb1DocumentComplete(ui::TWebView* sender, const std::string&) {
  wb_load->hide();
  wb1->show();
  sender->ExecScript(kNoPopupScript, "JavaScript");
}

void TWBForm::wb1NewWindow3(ui::TWebView*, ui::TWebView*& ppDisp, bool& Cancel, unsigned,
                            const std::string&, const std::string&) {
  ppDisp = WbNoAd;
  Cancel = false;
}

void TWBForm::WbNoAdBeforeNavigate2(ui::TWebView*, const std::string& url, bool& Cancel) {
  if (url != kSinkAddress) Cancel = true;
}

void TWBForm::btn_viewClick() {
  ui::OpenInBrowser(state_.SelLink);
}

void TWBForm::btn_reportClick() {
  if (RpForm) RpForm->exec();
}

void TWBForm::btn_reviewClick() {
  SendRating();
}

// --- Rating -----------------------------------------------------------------------------------

void TWBForm::SendRating() {
  const std::string score = std::string(text::Trim(ui::QStringToGbk(cb_score->currentText())));
  if (score.empty() || score == ui::Gbk("- 请选择 -")) {
    InfoBox(ui::Gbk("请选择分数进行点评"));
    return;
  }
  btn_review->setEnabled(false);
  btn_review->setText(QStringLiteral("提交中..."));
  // A rating still under way (the bar was reset for another result meanwhile) keeps its request
  // and its streams; its reply decides what the bar shows, and this one is not sent.
  if (Service->Busy()) return;
  Service->Post(state_.BaseUrl + kServiceScript,
                "action=review&file_id=" + state_.SelFileId + "&score=" + score);
}

void TWBForm::HttpClient1RequestDone(net::THttpClient*, int, uint16_t errCode) {
  const std::optional<std::string> body = Service->Finish(errCode);
  if (!body) return;
  if (*body != "true") {
    InfoBox(ui::Gbk("评分系统出错，请联系我们"));
    return;
  }
  btn_review->hide();
  cb_score->hide();
  lb3->hide();
  lb2->show();
  lb2->move(16, lb2->y());
}

void TWBForm::ShowReportAccepted() {
  btn_report->setEnabled(false);
  btn_report->setGeometry(30, btn_report->y(), 150, btn_report->height());
  btn_report->setText(QStringLiteral("举报成功，谢谢支持！"));
}

}  // namespace qelo::app
