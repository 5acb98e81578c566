#include <gtest/gtest.h>

#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTimer>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "app/ver_form.h"
#include "appcore/shared_state.h"
#include "text/app_dir.h"
#include "ui/gbk_qt.h"

namespace qelo::app {
namespace {

using Lines = std::vector<std::string>;

const std::string kFallback = "Brova Software not install(f1)!";

// Shows the window modally and closes it with its own button from inside the modal loop.
void ShowOnce(TVerFrm& form) {
  QTimer::singleShot(0, [&] { form.findChild<QPushButton*>("skSkinButton1")->click(); });
  form.exec();
}

TSharedState State() {
  TSharedState s;
  s.AppVersion = "1.2";
  s.AppBuild = "20130911";
  return s;
}

TEST(VerFrm, LayoutAndVersionLabel) {
  const TSharedState state = State();
  TVerFrm form(state);
  EXPECT_EQ(form.windowTitle(), QStringLiteral("关于软件"));
  EXPECT_EQ(form.size(), QSize(505, 342));
  auto* pc = form.findChild<QTabWidget*>("VerPC");
  ASSERT_NE(pc, nullptr);
  EXPECT_EQ(pc->currentWidget()->objectName(), QStringLiteral("PCInfo"));
  EXPECT_FALSE(pc->isTabVisible(1));  // the license page is never reachable
  EXPECT_EQ(form.findChild<QPushButton*>("skSkinButton1")->text(), QStringLiteral("关 闭"));
  EXPECT_EQ(form.VerM1Lines(), Lines{""});  // one empty line at creation

  form.FormShow();
  EXPECT_EQ(form.VerTextCaption(), "\n\r" + ui::Gbk("程序版本：v") + "1.2  Build 20130911");
  EXPECT_EQ(form.findChild<QLabel*>("skVerText")->text(),
            QStringLiteral("\n\r程序版本：v1.2  Build 20130911"));
}

// One test for every info.txt case: the file sits beside the test program, which other tests
// running at the same time must not see change.
TEST(VerFrm, InfoFileReloadedOrFallbackLineAccumulates) {
  const std::string info = text::AppDir() + "info.txt";
  std::remove(info.c_str());
  const TSharedState state = State();
  {
    TVerFrm form(state);
    for (int i = 0; i < 3; ++i)
      ShowOnce(form);
    EXPECT_EQ(form.VerM1Lines(), (Lines{"", kFallback, kFallback, kFallback}));
    EXPECT_EQ(form.findChild<QPlainTextEdit*>("VerM1")->toPlainText(),
              QString::fromStdString("\n" + kFallback + "\n" + kFallback + "\n" + kFallback));
    // Restoring the window after it was minimised is not a new showing.
    QTimer::singleShot(0, [&] {
      form.setWindowState(Qt::WindowMinimized);
      form.setWindowState(Qt::WindowNoState);
      form.findChild<QPushButton*>("skSkinButton1")->click();
    });
    form.exec();
    EXPECT_EQ(form.VerM1Lines(), (Lines{"", kFallback, kFallback, kFallback, kFallback}));
  }
  {
    std::ofstream(info, std::ios::binary) << ui::Gbk("第一行\r\nsecond\rthird\n");
    TVerFrm form(state);
    ShowOnce(form);
    EXPECT_EQ(form.VerM1Lines(), (Lines{ui::Gbk("第一行"), "second", "third"}));
    EXPECT_EQ(form.findChild<QPlainTextEdit*>("VerM1")->toPlainText(),
              QStringLiteral("第一行\nsecond\nthird"));
    // Edits show at the next showing, replacing the lines.
    std::ofstream(info, std::ios::binary | std::ios::trunc) << "edited";
    ShowOnce(form);
    EXPECT_EQ(form.VerM1Lines(), Lines{"edited"});
    // An empty file leaves the box empty.
    std::ofstream(info, std::ios::binary | std::ios::trunc);
    ShowOnce(form);
    EXPECT_EQ(form.VerM1Lines(), Lines{});
    // Removed again: the fallback is appended to what the box holds.
    std::remove(info.c_str());
    ShowOnce(form);
    EXPECT_EQ(form.VerM1Lines(), Lines{kFallback});
  }
}

}  // namespace
}  // namespace qelo::app
