#include "app/ver_form.h"

#include <QGuiApplication>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QShowEvent>
#include <QTabWidget>
#include <filesystem>

#include "appcore/file_lines.h"
#include "appcore/shared_state.h"
#include "text/app_dir.h"
#include "ui/error_report.h"
#include "ui/gbk_qt.h"
#include "ui/skin_style.h"
#include "ui/widget_helpers.h"

namespace qelo::app {

TVerFrm* VerFrm = nullptr;

using ui::Named;

namespace {}  // namespace

TVerFrm::TVerFrm(const TSharedState& state, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowCloseButtonHint),
      state_(state) {
  setObjectName(QStringLiteral("VerFrm"));
  setWindowTitle(QStringLiteral("关于软件"));
  setFixedSize(505, 342);
  setModal(true);

  VerPC = Named(new QTabWidget(this), "VerPC");
  VerPC->setGeometry(0, 0, 505, 312);

  PCInfo = Named(new QWidget, "PCInfo");
  VerM1 = Named(new QPlainTextEdit(PCInfo), "VerM1");
  VerM1->setReadOnly(true);
  VerM1->setGeometry(0, 0, 484, 290);
  VerM1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  VerSB1 = Named(new QScrollBar(Qt::Vertical, PCInfo), "VerSB1");
  VerSB1->setGeometry(484, 0, 19, 290);
  // The separate bar follows the text box's own scrolling.
  ui::FollowScrollBar(VerM1, VerSB1);
  VerPC->addTab(PCInfo, QStringLiteral("软件说明"));

  PCLicense = Named(new QWidget, "PCLicense");
  VerM2 = Named(new QPlainTextEdit(PCLicense), "VerM2");
  VerM2->setReadOnly(true);
  VerM2->setGeometry(0, 0, 484, 290);
  const int licenseTab = VerPC->addTab(PCLicense, QStringLiteral("使用协议"));
  VerPC->setTabVisible(licenseTab, false);
  VerPC->setCurrentWidget(PCInfo);

  skSkinPanel3 = Named(new QWidget(this), "skSkinPanel3");
  ui::SetSkinDataName(skSkinPanel3, "panel");
  skSkinPanel3->setGeometry(0, 312, 505, 30);
  skVerText = Named(new QLabel(skSkinPanel3), "skVerText");
  skVerText->setGeometry(0, 1, 428, 28);
  skSkinButton1 = Named(new QPushButton(QStringLiteral("关 闭"), skSkinPanel3), "skSkinButton1");
  skSkinButton1->setGeometry(430, 1, 75, 28);
  connect(skSkinButton1, &QPushButton::clicked, this,
          [this] { ui::Guarded([this] { skSkinButton1Click(); }); });

  RenderLines();
}

void TVerFrm::showEvent(QShowEvent* event) {
  // A spontaneous show event is the window system restoring a minimised window: not a showing.
  if (event->spontaneous()) return QDialog::showEvent(event);
  if (const QScreen* screen = QGuiApplication::primaryScreen())
    move(screen->availableGeometry().center() - rect().center());
  QDialog::showEvent(event);
  ui::Guarded([this] { FormShow(); });
}

void TVerFrm::FormShow() {
  const std::string info = text::AppDir() + "info.txt";
  if (std::filesystem::exists(info)) {
    lines_ = SplitLines(ReadWholeFile(info));
  } else {
    lines_.push_back("Brova Software not install(f1)!");
  }
  RenderLines();
  verCaption_ = "\n\r" + ui::Gbk("程序版本：v") + state_.AppVersion + "  Build " + state_.AppBuild;
  skVerText->setText(ui::GbkToQString(verCaption_));
}

void TVerFrm::skSkinButton1Click() {
  close();
}

void TVerFrm::RenderLines() {
  QStringList lines;
  for (const std::string& l : lines_)
    lines << ui::GbkToQString(l);
  VerM1->setPlainText(lines.join(QLatin1Char('\n')));
}

}  // namespace qelo::app
