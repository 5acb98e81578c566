// The web view adapter on its own, made by the module as the preview window makes it: document
// complete while hidden, new windows that no handler takes, script errors, the swallowed Ctrl
// shortcut.
#include <gtest/gtest.h>

#include <QTest>
#include <memory>
#include <string>

#include "preview/spin.h"
#include "ui/error_report.h"
#include "ui/web_view.h"

namespace qelo::ui {
namespace {

using test::Engine;
using test::Evaluate;
using test::Spin;

const QString kKeyPage = QStringLiteral(
    "<html><body><input id=box autofocus><script>window.keys=[];"
    "document.addEventListener('keydown',function(e){if(e.key.length==1)"
    "window.keys.push((e.ctrlKey?'C-':'')+e.key.toLowerCase())},true);"
    "window.open('http://127.0.0.1:9/never');</script></body></html>");

// A top-level view as CreateWebView makes it, deleted at the end of the test.
std::unique_ptr<TWebView> NewView() {
  return std::unique_ptr<TWebView>(CreateWebView(nullptr));
}

class WebViewTest : public testing::Test {
 protected:
  void SetUp() override {
    old_ = SetErrorSink([this](const QString&, const QString& text) { reports.push_back(text); });
  }
  void TearDown() override { SetErrorSink(std::move(old_)); }

  // Loads html into view and waits for its completion.
  bool Load(TWebView& view, const QString& html) {
    completes = 0;
    view.OnDocumentComplete = [this](TWebView*, const std::string&) { ++completes; };
    Engine(view).setHtml(html, QUrl(QStringLiteral("http://127.0.0.1/")));
    return Spin([this] { return completes > 0; });
  }

  std::vector<QString> reports;
  int completes = 0;

 private:
  ErrorSink old_;
};

TEST_F(WebViewTest, HiddenViewCompletesAndOpensNoWindowWithoutAHandler) {
  const auto made = NewView();
  TWebView& view = *made;
  view.resize(300, 200);
  ASSERT_FALSE(view.isVisible());
  const int windowsBefore = QApplication::topLevelWidgets().size();
  ASSERT_TRUE(Load(view, kKeyPage));
  // The page's window.open found no handler: no window and no new page anywhere.
  EXPECT_EQ(QApplication::topLevelWidgets().size(), windowsBefore);
  EXPECT_EQ(view.AdoptedPageCount(), 0u);
  EXPECT_TRUE(reports.empty());
}

TEST_F(WebViewTest, ScriptsRunInThePageAndTheirErrorsAreReported) {
  const auto made = NewView();
  TWebView& view = *made;
  EXPECT_THROW(view.ExecScript("x=1", "JavaScript"), std::runtime_error);  // no document yet
  ASSERT_TRUE(Load(view, QStringLiteral("<html><body>x</body></html>")));

  view.ExecScript("var fromHost = 6 * 7", "javascript");
  EXPECT_EQ(Evaluate(*Engine(view).page(), QStringLiteral("fromHost")).value_or(QVariant()).toInt(),
            42);

  EXPECT_THROW(view.ExecScript("x=1", "VBScript"), std::runtime_error);
  view.ExecScript("throw new Error('boom')", "JScript");
  ASSERT_TRUE(Spin([this] { return !reports.empty(); }));
  EXPECT_TRUE(reports[0].contains(QStringLiteral("boom"))) << reports[0].toStdString();
  view.ExecScript("this is not a script", "JavaScript");
  ASSERT_TRUE(Spin([this] { return reports.size() >= 2; }));

  // The view goes on working after both.
  view.ExecScript("fromHost = 1", "JavaScript");
  EXPECT_EQ(Evaluate(*Engine(view).page(), QStringLiteral("fromHost")).value_or(QVariant()).toInt(),
            1);
  EXPECT_EQ(reports.size(), 2u);
}

TEST_F(WebViewTest, CtrlShortcutsOfTheListAreSwallowed) {
  const struct {
    int key;
    Qt::KeyboardModifiers mods;
    bool swallowed;
  } kCases[] = {{Qt::Key_N, Qt::ControlModifier, true},
                {Qt::Key_N, Qt::ControlModifier | Qt::ShiftModifier, true},
                {Qt::Key_N, Qt::ControlModifier | Qt::AltModifier, false},
                {Qt::Key_N, Qt::NoModifier, false},
                {Qt::Key_M, Qt::ControlModifier, false}};
  const auto made = NewView();
  TWebView& view = *made;
  view.DisableCtrlShortcuts = "n";
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.key);
    EXPECT_EQ(view.SwallowsShortcut(c.key, c.mods), c.swallowed);
  }

  // And on the engine's input widget, with the filter the view put there itself: what passes
  // reaches the page, which records it; Ctrl+N never does. The plain Z last marks the end.
  view.DisableCtrlShortcuts = "N";
  view.resize(300, 200);
  view.show();
  ASSERT_TRUE(Load(view, kKeyPage));
  QWidget* input = Engine(view).focusProxy();
  ASSERT_NE(input, nullptr);
  // Keys go through the window to the focus widget, the engine's input widget. The engine takes
  // them once that focus has reached the page: knock with a plain A until one arrives.
  QWindow* window = view.windowHandle();
  view.activateWindow();
  input->setFocus();
  const auto keys = [&view] {
    return Evaluate(*Engine(view).page(), QStringLiteral("window.keys.join(' ')"))
        .value_or(QVariant())
        .toString();
  };
  ASSERT_TRUE(Spin([&] {
    QTest::keyClick(window, Qt::Key_A);
    return keys().contains(QLatin1Char('a'));
  }));
  Evaluate(*Engine(view).page(), QStringLiteral("window.keys=[]"));
  for (const auto& [key, mods] : {std::pair{Qt::Key_N, Qt::ControlModifier},
                                  {Qt::Key_M, Qt::ControlModifier},
                                  {Qt::Key_N, Qt::NoModifier},
                                  {Qt::Key_Z, Qt::NoModifier}})
    QTest::keyClick(window, key, mods);
  ASSERT_TRUE(Spin([&] { return keys().endsWith(QStringLiteral("z")); })) << keys().toStdString();
  // Knocks still on their way when the record was cleared may come first.
  QStringList got = keys().split(QLatin1Char(' '));
  got.removeAll(QStringLiteral("a"));
  EXPECT_EQ(got.join(QLatin1Char(' ')), QStringLiteral("C-m n z"));
}

}  // namespace
}  // namespace qelo::ui
