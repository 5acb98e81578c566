#include "preview/rp_form.h"

#include <QComboBox>
#include <QFrame>
#include <QGuiApplication>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QShowEvent>
#include <QVBoxLayout>

#include "app/message_boxes.h"
#include "appcore/shared_state.h"
#include "net/http_client.h"
#include "preview/wb_form.h"
#include "text/ascii_text.h"
#include "ui/error_report.h"
#include "ui/gbk_qt.h"
#include "ui/skin_style.h"
#include "ui/widget_helpers.h"

namespace qelo::app {

TRpForm* RpForm = nullptr;

using ui::Named;

namespace {

const char* const kReasonPlaceholder = "- 选择预设原因 -";

}  // namespace

TRpForm::TRpForm(const TSharedState& state, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowCloseButtonHint),
      state_(state) {
  RpForm = this;
  setObjectName(QStringLiteral("RpForm"));
  setWindowTitle(QStringLiteral("举报投诉文件"));
  setFixedSize(444, 261);
  setModal(true);
  Service = std::make_unique<TServiceRequest>(
      [this](net::THttpClient* sender, int rqType, uint16_t errCode) {
        HttpClient1RequestDone(sender, rqType, errCode);
      });

  skSkinPanel1 = Named(new QFrame(this), "skSkinPanel1");
  ui::SetSkinDataName(skSkinPanel1, "panel");
  skSkinPanel1->setFrameShape(QFrame::StyledPanel);
  auto* fill = new QVBoxLayout(this);
  fill->setContentsMargins(0, 0, 0, 0);
  fill->addWidget(skSkinPanel1);

  skSkinTextLabel1 = Named(
      new QLabel(QStringLiteral("如果你看到的文件，含有色情、暴力、反动或任何不健康的内容，或文件不"
                                "能下载，下载的文件有错误等，请在下面直接举报投诉，谢谢大家。"),
                 skSkinPanel1),
      "skSkinTextLabel1");
  skSkinTextLabel1->setWordWrap(true);
  skSkinTextLabel1->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  skSkinTextLabel1->setGeometry(17, 17, 408, 40);
  skSkinStdLabel1 =
      Named(new QLabel(QStringLiteral("举报原因："), skSkinPanel1), "skSkinStdLabel1");
  skSkinStdLabel1->setGeometry(17, 67, 62, 13);

  mm1 = Named(new QPlainTextEdit(skSkinPanel1), "mm1");
  mm1->setGeometry(17, 96, 408, 121);
  mm1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  mm1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  mm1->setLineWrapMode(QPlainTextEdit::NoWrap);
  QFont font(QStringLiteral("Tahoma"));
  font.setPixelSize(13);
  mm1->setFont(font);
  QPalette black = mm1->palette();
  black.setColor(QPalette::Text, Qt::black);
  mm1->setPalette(black);

  cb_reason = Named(new QComboBox(skSkinPanel1), "cb_reason");
  cb_reason->setGeometry(84, 62, 169, 20);
  cb_reason->setMaxVisibleItems(8);
  for (const char* entry : {kReasonPlaceholder, "文件不能下载", "文件内容不符", "政治敏感",
                            "侵权文件", "病毒文件", "淫秽色情", "私服外挂"})
    cb_reason->addItem(QString::fromUtf8(entry));
  cb_reason->setCurrentIndex(0);
  connect(cb_reason, &QComboBox::currentIndexChanged, this,
          [this] { ui::Guarded([this] { cb_reasonChange(); }); });

  btn_report = Named(new QPushButton(QStringLiteral("提 交"), skSkinPanel1), "btn_report");
  btn_report->setGeometry(368, 224, 59, 25);
  connect(btn_report, &QPushButton::clicked, this,
          [this] { ui::Guarded([this] { btn_reportClick(); }); });

  setTabOrder(mm1, cb_reason);
  setTabOrder(cb_reason, btn_report);
}

TRpForm::~TRpForm() {
  Service.reset();
  if (RpForm == this) RpForm = nullptr;
}

void TRpForm::showEvent(QShowEvent* event) {
  // A spontaneous show is the window system restoring the dialog, not a showing.
  if (event->spontaneous()) return QDialog::showEvent(event);
  if (const QScreen* screen = QGuiApplication::primaryScreen())
    move(screen->availableGeometry().center() - rect().center());
  QDialog::showEvent(event);
  ui::Guarded([this] { FormShow(); });
}

void TRpForm::FormShow() {
  // A report still under way keeps the button busy: a second one could not be sent, and the
  // first one's reply would seem to answer it.
  const bool reporting = Service->Busy();
  btn_report->setEnabled(!reporting);
  btn_report->setText(reporting ? QStringLiteral("提交中...") : QStringLiteral("提 交"));
}

void TRpForm::cb_reasonChange() {
  const std::string reason = ui::QStringToGbk(cb_reason->currentText());
  if (text::Trim(reason) != ui::Gbk(kReasonPlaceholder))
    mm1->setPlainText(cb_reason->currentText());
}

void TRpForm::btn_reportClick() {
  SendReport();
}

void TRpForm::SendReport() {
  QString text = mm1->toPlainText();
  text.replace(QLatin1Char('\n'), QStringLiteral("\r\n"));
  const std::string reason = std::string(text::Trim(ui::QStringToGbk(text)));
  if (reason.empty()) {
    InfoBox(ui::Gbk("请输入举报内容"));
    return;
  }
  btn_report->setText(QStringLiteral("提交中..."));
  btn_report->setEnabled(false);
  // A report still under way (the dialog was closed and shown again before its reply) keeps
  // its request and its streams; its reply decides what happens, and this one is not sent.
  if (Service->Busy()) return;
  Service->Post(state_.BaseUrl + kServiceScript,
                "action=report&content=" + reason + "&file_id=" + state_.SelFileId);
}

void TRpForm::HttpClient1RequestDone(net::THttpClient*, int, uint16_t errCode) {
  const std::optional<std::string> body = Service->Finish(errCode);
  if (!body) return;
  if (*body != "true") {
    InfoBox(ui::Gbk("举报提交出错，请联系我们"));
    return;
  }
  close();
  mm1->clear();
  cb_reason->setCurrentIndex(0);
  if (WBForm) WBForm->ShowReportAccepted();
}

}  // namespace qelo::app
