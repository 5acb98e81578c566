#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>
#include <QTimer>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "net/dispatcher.h"
#include "net/net_wnd_control.h"
#include "ui/dispatcher_bridge.h"
#include "ui/error_report.h"
#include "ui/gbk_qt.h"
#include "ui/message_box.h"
#include "ui/qt_translations.h"
#include "ui/system_icons.h"

namespace qelo::ui {
namespace {

// Collects error reports instead of showing them, for the life of the object.
class ReportCatcher {
 public:
  ReportCatcher() {
    old_ = SetErrorSink([this](const QString& caption, const QString& text) {
      captions.push_back(caption);
      texts.push_back(text);
    });
  }
  ~ReportCatcher() { SetErrorSink(std::move(old_)); }
  std::vector<QString> captions;
  std::vector<QString> texts;

 private:
  ErrorSink old_;
};

TEST(GbkQt, RoundTripsChineseThroughGbkBytes) {
  const std::string gbk = Gbk("Qelo搜索");
  EXPECT_EQ(gbk.size(), 8u);  // four ASCII bytes and two two-byte characters
  EXPECT_EQ(GbkToQString(gbk), QStringLiteral("Qelo搜索"));
  EXPECT_EQ(QStringToGbk(QStringLiteral("Qelo搜索")), gbk);
}

TEST(ErrorReport, FullStopRule) {
  struct Case {
    std::string message;
    std::string expected;
  };
  const Case cases[] = {
      {"", ""},
      {"Disk full", "Disk full."},
      {"Disk full.", "Disk full."},
      {"Really!", "Really!"},  // '!' sorts below '.'
      {"ends in dash-", "ends in dash-"},
      {"trailing blank ", "trailing blank "},
      {"a/b/", "a/b/."},                 // '/' sorts just above '.'
      {Gbk("出错"), Gbk("出错") + "."},  // GBK trail bytes sort above '.'
  };
  for (const Case& c : cases)
    EXPECT_EQ(ErrorReportText(c.message), c.expected) << c.message;
}

TEST(ErrorReport, GuardReportsErrorsButNotCancellations) {
  ReportCatcher catcher;
  Guarded([] { throw std::runtime_error("HTTP component HttpClient1 is busy"); });
  Guarded([] { throw ECancelled(); });
  Guarded([] {});
  ASSERT_EQ(catcher.texts.size(), 1u);
  EXPECT_EQ(catcher.captions[0], QStringLiteral("Qelo网盘搜索"));
  EXPECT_EQ(catcher.texts[0], QStringLiteral("HTTP component HttpClient1 is busy."));
}

TEST(ErrorReport, ErrorEscapingAnEventHandlerIsReportedAndTheLoopGoesOn) {
  ReportCatcher catcher;
  bool later = false;
  QTimer::singleShot(0, [] { throw std::runtime_error("boom"); });
  QTimer::singleShot(0, [&] { later = true; });
  for (int i = 0; i < 100 && !later; ++i)
    QApplication::processEvents(QEventLoop::AllEvents, 50);
  EXPECT_TRUE(later);
  ASSERT_EQ(catcher.texts.size(), 1u);
  EXPECT_EQ(catcher.texts[0], QStringLiteral("boom."));
}

TEST(MessageBox, ResponderAnswersInPlaceOfAPerson) {
  TskSkinMessage msg;
  std::vector<int> answers = {mrOk, mrCancel, 7};
  size_t next = 0;
  msg.responder = [&](const MessageRequest&) { return answers[next++]; };
  EXPECT_EQ(
      msg.MessageDlg(Gbk("确认删除此皮肤？"), TMsgDlgType::mtConfirmation, mbOK | mbCancel, 0),
      mrOk);
  EXPECT_EQ(msg.MessageDlg("x", TMsgDlgType::mtConfirmation, mbOK | mbCancel, 0), mrCancel);
  // Any answer other than OK counts as cancel.
  EXPECT_EQ(msg.MessageDlg("y", TMsgDlgType::mtInformation, mbOK, 0), mrCancel);
  ASSERT_EQ(msg.History().size(), 3u);
  EXPECT_EQ(msg.History()[0].caption, QStringLiteral("提示信息"));
  EXPECT_EQ(msg.History()[0].text, QStringLiteral("确认删除此皮肤？"));
  EXPECT_EQ(msg.History()[0].buttons, mbOK | mbCancel);
  EXPECT_EQ(msg.History()[2].type, TMsgDlgType::mtInformation);
}

// Runs the real modal box and answers it from the event loop by clicking the button with the
// given text, or by closing it when the text is empty (or no button has that text).
int AnswerRealBox(unsigned buttons, const QString& click, QStringList* seenButtons) {
  TskSkinMessage msg;
  QTimer look;
  QObject::connect(&look, &QTimer::timeout, [&] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (!box) return;
    look.stop();
    for (QAbstractButton* b : box->buttons())
      seenButtons->push_back(b->text());
    for (QAbstractButton* b : box->buttons()) {
      if (!click.isEmpty() && b->text() == click) {
        b->click();
        return;
      }
    }
    box->reject();  // closed without a button, or the button was not there
  });
  look.start(5);
  return msg.MessageDlg("text", TMsgDlgType::mtConfirmation, buttons, 0);
}

TEST(MessageBox, RealBoxHasChineseButtonsAndReturnRules) {
  QStringList seen;
  EXPECT_EQ(AnswerRealBox(mbOK | mbCancel, QStringLiteral("确定"), &seen), mrOk);
  seen.sort();
  EXPECT_EQ(seen, (QStringList{QStringLiteral("取消"), QStringLiteral("确定")}));
  seen.clear();
  EXPECT_EQ(AnswerRealBox(mbOK | mbCancel, QStringLiteral("取消"), &seen), mrCancel);
  seen.clear();
  EXPECT_EQ(AnswerRealBox(mbOK | mbCancel, QString(), &seen), mrCancel);  // Escape / close
  seen.clear();
  AnswerRealBox(mbOK, QStringLiteral("确定"), &seen);
  EXPECT_EQ(seen, QStringList{QStringLiteral("确定")});
}

// Whether a text shown to the user holds an English word (two Latin letters in a row); the
// accelerator marks of translated texts, such as "(&Y)", hold one letter only.
bool HasEnglishWord(const QString& text) {
  static const QRegularExpression word(QStringLiteral("[A-Za-z]{2,}"));
  return word.match(text).hasMatch();
}

TEST(QtChineseTexts, StandardButtonsAndEditMenuHaveNoEnglishWord) {
  // The test program's application object installed them already; a second call adds nothing.
  EXPECT_EQ(InstallQtChineseTexts(*QCoreApplication::instance()), 0);
  const QDialogButtonBox::StandardButton buttons[] = {
      QDialogButtonBox::Ok,    QDialogButtonBox::Cancel, QDialogButtonBox::Yes,
      QDialogButtonBox::No,    QDialogButtonBox::Close,  QDialogButtonBox::Save,
      QDialogButtonBox::Apply, QDialogButtonBox::Abort,  QDialogButtonBox::Retry,
  };
  QDialogButtonBox box;
  for (auto b : buttons) {
    box.addButton(b);
    const QString text = box.button(b)->text();
    SCOPED_TRACE(text.toStdString());
    EXPECT_FALSE(text.isEmpty());
    EXPECT_FALSE(HasEnglishWord(text));
  }
  QMessageBox message(QMessageBox::Question, QStringLiteral("提示信息"), QStringLiteral("文本"),
                      QMessageBox::Ok | QMessageBox::Cancel | QMessageBox::Yes | QMessageBox::No);
  ASSERT_EQ(message.buttons().size(), 4);
  for (QAbstractButton* b : message.buttons()) {
    SCOPED_TRACE(b->text().toStdString());
    EXPECT_FALSE(HasEnglishWord(b->text()));
  }
  QLineEdit edit(QStringLiteral("关键词"));
  std::unique_ptr<QMenu> menu(edit.createStandardContextMenu());
  ASSERT_FALSE(menu->actions().isEmpty());
  for (QAction* a : menu->actions()) {
    SCOPED_TRACE(a->text().toStdString());
    // The key after the tab ("Ctrl+Z") is a key name, not a word of the menu.
    EXPECT_FALSE(HasEnglishWord(a->text().section(QLatin1Char('\t'), 0, 0)));
  }
}

TEST(ErrorReport, RealReportBoxHasOneChineseButton) {
  ErrorSink testMainSink = SetErrorSink({});  // the real box, not the test main's catcher
  QStringList seen;
  QString caption;
  QTimer look;
  QObject::connect(&look, &QTimer::timeout, [&] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (!box) return;
    look.stop();
    caption = box->windowTitle();
    for (QAbstractButton* b : box->buttons())
      seen.push_back(b->text());
    box->buttons().isEmpty() ? box->reject() : box->buttons().front()->click();
  });
  look.start(5);
  QTimer::singleShot(10000, [] {
    if (QWidget* w = QApplication::activeModalWidget()) w->close();  // never left waiting
  });
  ReportError(std::runtime_error("磁盘已满"));
  SetErrorSink(std::move(testMainSink));
  EXPECT_EQ(caption, ApplicationTitle());
  EXPECT_EQ(seen, QStringList{QStringLiteral("确定")});
}

TEST(SystemIcons, OneIndexPerFileTypeAndAGenericOne) {
  EXPECT_EQ(GetSystemImageListHandle(1)->IconSize(), 16);
  EXPECT_EQ(GetSystemImageListHandle(0)->IconSize(), 32);
  const int txt = GetSystemIconIndexA("readme.txt", 0);
  const int generic = GetSystemIconIndexA(nullptr, 0);
  const int rar = GetSystemIconIndexA("a.rar", 0);
  EXPECT_EQ(GetSystemIconIndexA("other.txt", 0), txt);
  EXPECT_EQ(GetSystemIconIndexA(Gbk("电影合集.rar").c_str(), 0), rar);
  EXPECT_EQ(GetSystemIconIndexA("no-extension-here", 0), generic);
  EXPECT_NE(txt, rar);
  EXPECT_NE(rar, generic);
  for (int i : {txt, generic, rar}) {
    EXPECT_FALSE(GetSystemImageListHandle(1)->Icon(i).isNull()) << i;
    EXPECT_EQ(GetSystemImageListHandle(0)->Pixmap(i).width() > 0, true) << i;
  }
  EXPECT_TRUE(GetSystemImageListHandle(1)->Icon(GetSystemImageListHandle(1)->Count()).isNull());
}

// A component that records the order of its messages.
class Counter : public net::TNetWndControl {
 public:
  Counter() : TNetWndControl(2) {}
  void Post(int v) { PostMsg(Msg(1), 0, v); }
  std::vector<int> seen;
  std::function<void()> onMessage;

 protected:
  void MessageHandler(uint32_t msg, uintptr_t w, intptr_t l) override {
    if (msg != Msg(1)) return TNetWndControl::MessageHandler(msg, w, l);
    seen.push_back(static_cast<int>(l));
    if (onMessage) onMessage();
  }
};

TEST(DispatcherBridge, PostedMessagesArriveThroughTheQtLoop) {
  DispatcherBridge bridge;
  Counter c;
  c.Post(1);
  c.Post(2);
  for (int i = 0; i < 200 && c.seen.size() < 2; ++i)
    QApplication::processEvents(QEventLoop::WaitForMoreEvents, 20);
  EXPECT_EQ(c.seen, (std::vector<int>{1, 2}));
  EXPECT_GT(bridge.turns(), 0u);
}

TEST(DispatcherBridge, TimersAndMessagesArriveInsideAModalLoop) {
  DispatcherBridge bridge;
  Counter c;
  QDialog dialog;
  c.onMessage = [&] { dialog.accept(); };
  // Started from inside the nested loop: a dispatcher timer whose callback posts a message;
  // the message's handler closes the dialog. A bound stops the loop if nothing arrives.
  QTimer::singleShot(0, [&] {
    net::Dispatcher::current().addTimer(std::chrono::milliseconds(1), [&] { c.Post(9); });
  });
  QTimer::singleShot(10000, &dialog, &QDialog::reject);
  EXPECT_EQ(dialog.exec(), QDialog::Accepted);
  EXPECT_EQ(c.seen, std::vector<int>{9});
}

TEST(DispatcherBridge, AHandlerThatOpensAModalBoxStillGetsLaterMessages) {
  DispatcherBridge bridge;
  Counter c;
  QDialog dialog;
  int result = -1;
  // The first message opens a modal dialog from inside its handler, as a completion handler
  // showing a message box does; the second must arrive meanwhile and close it.
  c.onMessage = [&] {
    if (c.seen.size() == 1) {
      c.Post(2);
      QTimer::singleShot(10000, &dialog, &QDialog::reject);
      result = dialog.exec();
    } else {
      dialog.accept();
    }
  };
  c.Post(1);
  for (int i = 0; i < 200 && c.seen.size() < 2; ++i)
    QApplication::processEvents(QEventLoop::WaitForMoreEvents, 20);
  EXPECT_EQ(c.seen, (std::vector<int>{1, 2}));
  EXPECT_EQ(result, QDialog::Accepted);
}

}  // namespace
}  // namespace qelo::ui
