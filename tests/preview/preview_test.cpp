// The preview window and the report dialog against a real qelo-service on loopback: the reset
// rule, the exchange of the loading and page views, pop-ups that neither open a window nor get
// fetched, the sink's rule, the rating and the report with their busy handling.
#include <gtest/gtest.h>

#include <sqlite3.h>

#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTreeView>
#include <cstdio>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "app/main_form.h"
#include "client/late_web_views.h"
#include "client/startup.h"
#include "net/http_client.h"
#include "preview/rp_form.h"
#include "preview/spin.h"
#include "preview/wb_form.h"
#include "service/service_process.h"
#include "support/scripted_peer.h"
#include "text/app_dir.h"
#include "ui/dispatcher_bridge.h"
#include "ui/error_report.h"
#include "ui/gbk_qt.h"
#include "ui/system_browser.h"
#include "ui/web_view.h"

namespace qelo::app {
namespace {

using test::Engine;
using test::Evaluate;
using test::Idle;
using test::Spin;

std::string G(const char* utf8) {
  return ui::Gbk(utf8);
}

// Selects a row of the result list the way a program selects a list item.
void SelectRow(QTreeView& list, int row) {
  list.selectionModel()->select(list.model()->index(row, 0),
                                QItemSelectionModel::Select | QItemSelectionModel::Rows);
}

// One service, one set of windows for every test here: the engine starts once.
class PreviewTest : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    service = new service::testing::ServiceProcess;
    ASSERT_TRUE(service->Start(2000));
    bridge = new ui::DispatcherBridge;
    windows = new TWindows;
    windows->ShowMain();
    CreateWebViewsAfterFirstPaint(*windows);
    ASSERT_TRUE(Spin([] { return Preview().findChild<QWidget*>(QStringLiteral("WbNoAd")); }));
  }
  static void TearDownTestSuite() {
    delete windows;
    delete bridge;
    delete service;
  }

  void SetUp() override {
    oldSink_ =
        ui::SetErrorSink([this](const QString&, const QString& text) { reports.push_back(text); });
    oldOpener_ = ui::SetBrowserOpener([this](const std::string& url) {
      browser.push_back(url);
      return true;
    });
    Main().MsgDlg.responder = [this](const ui::MessageRequest& r) {
      boxes.push_back(r.text);
      return ui::mrOk;
    };
    Main().BaseUrl = BaseUrl();
    ASSERT_TRUE(service);
  }
  void TearDown() override {
    ui::SetErrorSink(std::move(oldSink_));
    ui::SetBrowserOpener(std::move(oldOpener_));
    Main().MsgDlg.responder = nullptr;
    EXPECT_TRUE(reports.empty()) << reports.front().toStdString();
  }

  static TMainForm& Main() { return windows->Main(); }
  static TWBForm& Preview() { return windows->Preview(); }
  static TRpForm& Report() { return windows->Report(); }
  template <class W>
  static W* In(QWidget& window, const char* name) {
    W* w = window.findChild<W*>(QString::fromLatin1(name));
    EXPECT_NE(w, nullptr) << name;
    return w;
  }
  static ui::TWebView* View(const char* name) { return In<ui::TWebView>(Preview(), name); }
  static std::string BaseUrl() {
    const std::string log = Log();
    const size_t at = log.find("serving ");
    return log.substr(at + 8, log.find(',', at) - at - 8);
  }
  static std::string Log() {
    std::ifstream in(service->Dir() + "/service.log");
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }
  static int LogCount(const std::string& what) {
    const std::string log = Log();
    int n = 0;
    for (size_t at = log.find(what); at != std::string::npos; at = log.find(what, at + 1))
      ++n;
    return n;
  }

  // Searches with the main window and opens the row in the preview window.
  void SearchAndOpen(const QString& keyword, int row) {
    In<QLineEdit>(Main(), "ed_word")->setText(keyword);
    Main().btn_searchClick();
    QPushButton* search = In<QPushButton>(Main(), "btn_search");
    ASSERT_TRUE(Spin([&] { return search->isEnabled(); }));
    QTreeView* list = In<QTreeView>(Main(), "lv1");
    ASSERT_GT(list->model()->rowCount(), row);
    list->clearSelection();
    SelectRow(*list, row);
    ActivateMain();
    Main().lv1DblClick();
  }
  static void Activate(QWidget& w) {
    w.activateWindow();
    Spin([&] { return QApplication::activeWindow() == &w; }, 5000);
  }
  static void ActivateMain() { Activate(Main()); }
  bool PageShown() {
    return Spin([] {
      return View("wb1")->isVisible() && !View("wb_load")->isVisible() &&
             View("wb1")->LocationURL() == Main().PreviewUrl;
    });
  }
  QString Bar() { return In<QLabel>(Preview(), "lb1")->text(); }
  QPushButton* Review() { return In<QPushButton>(Preview(), "btn_review"); }
  QPushButton* ReportButton() { return In<QPushButton>(Preview(), "btn_report"); }
  QComboBox* Score() { return In<QComboBox>(Preview(), "cb_score"); }

  static inline service::testing::ServiceProcess* service = nullptr;
  static inline ui::DispatcherBridge* bridge = nullptr;
  static inline TWindows* windows = nullptr;
  std::vector<QString> reports;
  std::vector<QString> boxes;
  std::vector<std::string> browser;

 private:
  ui::ErrorSink oldSink_;
  ui::BrowserOpener oldOpener_;
};

int CountRows(const std::string& db, const std::string& sql) {
  sqlite3* h = nullptr;
  int n = -1;
  if (sqlite3_open_v2(db.c_str(), &h, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(h, sql.c_str(), -1, &st, nullptr) == SQLITE_OK &&
        sqlite3_step(st) == SQLITE_ROW)
      n = sqlite3_column_int(st, 0);
    sqlite3_finalize(st);
  }
  sqlite3_close(h);
  return n;
}

// The views come after the main window's first paint; a preview asked for on the very turn the
// main window is shown gets them then, once, and opens as usual.
TEST(PreviewStartTest, PreviewAskedBeforeTheViewsExistOpensOnceTheyAre) {
  TWindows windows;
  windows.ShowMain();
  CreateWebViewsAfterFirstPaint(windows);
  EXPECT_EQ(windows.Preview().findChild<ui::TWebView*>(QStringLiteral("wb1")), nullptr);
  const std::string page = text::AppDir() + "first_preview.html";
  std::ofstream(page) << "<html><body>first</body></html>";
  windows.Main().PreviewUrl = page;
  emit windows.Main().previewRequested(G("第一个"), 30, 40);
  const auto views = [&] {
    size_t n = 0;
    for (const char* name : {"wb1", "wb_load", "WbNoAd"})
      n += windows.Preview().findChildren<QWidget*>(QString::fromLatin1(name)).size();
    return n;
  };
  EXPECT_EQ(views(), 3u);
  auto* wb1 = windows.Preview().findChild<ui::TWebView*>(QStringLiteral("wb1"));
  auto* wbLoad = windows.Preview().findChild<ui::TWebView*>(QStringLiteral("wb_load"));
  ASSERT_TRUE(wb1 && wbLoad);
  EXPECT_TRUE(Spin([&] {
    return wb1->isVisible() && !wbLoad->isVisible() && wb1->LocationURL().ends_with(page);
  }));
  Idle(200);  // the turn after the first paint has come and gone
  EXPECT_EQ(views(), 3u);
  EXPECT_TRUE(windows.Preview().isVisible());
  std::remove(page.c_str());
}

TEST_F(PreviewTest, LayoutAndWindowOrder) {
  EXPECT_EQ(WBForm, &Preview());
  EXPECT_EQ(RpForm, &Report());
  EXPECT_EQ(Preview().size(), QSize(800, 450));
  EXPECT_EQ(Report().size(), QSize(444, 261));
  EXPECT_EQ(Report().windowTitle(), QStringLiteral("举报投诉文件"));
  EXPECT_EQ(Score()->count(), 11);
  EXPECT_EQ(Score()->itemText(1), QStringLiteral("10分满意"));
  EXPECT_EQ(In<QWidget>(Preview(), "skSkinPanel1")->height(), 33);
  EXPECT_FALSE(View("WbNoAd")->isVisible());
  EXPECT_EQ(In<QComboBox>(Report(), "cb_reason")->count(), 8);
  for (const char* name : {"wb1", "wb_load", "WbNoAd"}) {
    SCOPED_TRACE(name);
    EXPECT_EQ(View(name)->DisableCtrlShortcuts, "N");
  }
  // The sink holds its blank document before any page can hand it a pop-up.
  EXPECT_TRUE(Spin([] { return View("WbNoAd")->LocationURL() == "about:blank"; }));
}

TEST_F(PreviewTest, SinkLetsOnlyAboutBlankThrough) {
  const struct {
    const char* url;
    bool cancel;
  } kCases[] = {{"about:blank", false},
                {"ABOUT:BLANK", true},
                {"About:blank", true},
                {"about:blank#top", true},
                {"about:blank ", true},
                {"about:blankx", true},
                {"", true},
                {"http://127.0.0.1/", true}};
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.url);
    bool cancel = false;
    Preview().WbNoAdBeforeNavigate2(View("WbNoAd"), c.url, cancel);
    EXPECT_EQ(cancel, c.cancel);
  }
  bool already = true;  // a Cancel set before stays set
  Preview().WbNoAdBeforeNavigate2(View("WbNoAd"), "about:blank", already);
  EXPECT_TRUE(already);

  // Asked to load a page itself, the sink stays blank and nothing is fetched.
  View("WbNoAd")->Navigate(BaseUrl() + "zelk-sink-probe");
  Idle(1000);
  EXPECT_EQ(View("WbNoAd")->LocationURL(), "about:blank");
  EXPECT_EQ(LogCount("sink-probe"), 0);
}

// One walk through the window as a user makes it: first preview, pop-ups, a rating, another
// result, back to the first.
TEST_F(PreviewTest, ResetRuleViewExchangeAndPopups) {
  int newWindows = 0;
  unsigned lastFlags = 0;
  ui::TWebView* wb1 = View("wb1");
  auto redirect = wb1->OnNewWindow3;
  wb1->OnNewWindow3 = [&](ui::TWebView* s, ui::TWebView*& to, bool& cancel, unsigned flags,
                          const std::string& context, const std::string& url) {
    ++newWindows;
    lastFlags = flags;
    redirect(s, to, cancel, flags, context, url);
  };
  const int windowsBefore = [] {
    int n = 0;
    for (QWidget* w : QApplication::topLevelWidgets())
      n += w->isVisible();
    return n;
  }();

  // First preview: the bar resets, the loading page covers the view until the page completes.
  SearchAndOpen(QStringLiteral("教程"), 0);
  const std::string a = Main().PreviewUrl;
  EXPECT_TRUE(Preview().isVisible());
  EXPECT_TRUE(Preview().windowTitle().endsWith(QStringLiteral("] - Qelo网盘搜索结果预览")));
  EXPECT_TRUE(Preview().windowTitle().contains(ui::GbkToQString("- [" + Main().SelLink + "]")));
  EXPECT_TRUE(View("wb_load")->isVisible());
  EXPECT_TRUE(Bar().startsWith(QStringLiteral("【文件价值指数：")));
  EXPECT_TRUE(Bar().contains(ui::GbkToQString(Main().SelValue)));
  ASSERT_TRUE(PageShown());
  EXPECT_TRUE(Spin([] { return View("wb_load")->LocationURL().ends_with("res/loading.html"); }));

  // The load-time pop-up reached the sink and was refused there: no window, nothing fetched.
  ASSERT_TRUE(Spin([&] { return newWindows >= 1; }));
  const std::string id = Main().SelFileId;
  ASSERT_TRUE(Spin([] { return View("WbNoAd")->AdoptedPageCount() == 0; }));

  // The new-window link, clicked as a user would.
  const QVariant rect =
      Evaluate(
          *Engine(*wb1).page(),
          QStringLiteral(
              "(function(){var r=document.getElementById('promo-link').getBoundingClientRect();"
              "return [r.left+r.width/2, r.top+r.height/2];})()"))
          .value_or(QVariant());
  const QVariantList at = rect.toList();
  ASSERT_EQ(at.size(), 2);
  Activate(Preview());
  // The engine may drop input that arrives before its first frame; clicks are repeated a bounded
  // number of times until one arrives.
  const QPoint link(at[0].toInt(), at[1].toInt());
  for (int i = 0; i < 10 && newWindows < 2; ++i) {
    QTest::mouseMove(Engine(*wb1).focusProxy(), link);
    QTest::mouseClick(Engine(*wb1).focusProxy(), Qt::LeftButton, {}, link);
    Spin([&] { return newWindows >= 2; }, 1000);
  }
  ASSERT_EQ(newWindows, 2);
  EXPECT_TRUE(lastFlags & ui::kNewWindowUserInitiated);

  // After completion the page's window.open opens nothing and answers true.
  const QVariant late =
      Evaluate(*Engine(*wb1).page(), QStringLiteral("window.open('promo?from=late')"))
          .value_or(QVariant());
  EXPECT_EQ(late.typeId(), QMetaType::Bool);
  EXPECT_TRUE(late.toBool());
  EXPECT_EQ(newWindows, 2);

  // A later request of the same page is logged; none of the pop-ups ever was.
  service->Get("/zelk-marker");
  ASSERT_TRUE(Spin([] { return LogCount("zelk-marker") == 1; }));
  Idle(500);
  EXPECT_EQ(LogCount("promo"), 0) << Log();
  EXPECT_EQ(wb1->LocationURL(), a);
  int windowsAfter = 0;
  for (QWidget* w : QApplication::topLevelWidgets())
    windowsAfter += w->isVisible();
  EXPECT_EQ(windowsAfter, windowsBefore + 1);  // the preview window itself
  EXPECT_EQ(View("WbNoAd")->LocationURL(), "about:blank");

  // A rating and a report for A, then a real box in front of the window: no reset on return.
  Score()->setCurrentIndex(3);
  Preview().btn_reviewClick();
  ASSERT_TRUE(Spin([] { return In<QLabel>(Preview(), "lb2")->isVisible(); }));
  EXPECT_EQ(In<QLabel>(Preview(), "lb2")->x(), 16);
  Preview().ShowReportAccepted();
  Report().show();
  Activate(Report());
  Report().close();
  Activate(Preview());
  EXPECT_EQ(Preview().LastUrl, a);
  EXPECT_TRUE(In<QLabel>(Preview(), "lb2")->isVisible());
  EXPECT_FALSE(ReportButton()->isEnabled());

  // Result B: loading page over A's page until B completes, B's figures, the score kept.
  SearchAndOpen(QStringLiteral("教程"), 1);
  const std::string b = Main().PreviewUrl;
  ASSERT_NE(a, b);
  EXPECT_TRUE(View("wb_load")->isVisible());
  EXPECT_TRUE(Bar().contains(ui::GbkToQString(Main().SelViews)));
  EXPECT_FALSE(In<QLabel>(Preview(), "lb2")->isVisible());
  EXPECT_TRUE(Review()->isEnabled());
  EXPECT_EQ(Review()->text(), QStringLiteral("评分"));
  EXPECT_EQ(ReportButton()->text(), QStringLiteral("举报投诉"));
  EXPECT_EQ(ReportButton()->geometry(), QRect(104, 3, 75, 25));
  EXPECT_EQ(Score()->currentIndex(), 3);
  ASSERT_TRUE(PageShown());

  // Back to A after switching away: no loading page, the bar as B left it.
  const QString barB = Bar();
  Score()->setCurrentIndex(2);
  Preview().btn_reviewClick();
  ASSERT_TRUE(Spin([] { return In<QLabel>(Preview(), "lb2")->isVisible(); }));
  ActivateMain();
  EXPECT_EQ(Preview().LastUrl, b);
  int completes = 0;
  auto exchange = wb1->OnDocumentComplete;
  wb1->OnDocumentComplete = [&](ui::TWebView* s, const std::string& url) {
    ++completes;
    exchange(s, url);
  };
  Main().PreviewUrl = b;  // the same result opened again
  Preview().OpenPreview("again", Main().x() + 200, Main().y() + 100);
  EXPECT_FALSE(View("wb_load")->isVisible());
  EXPECT_EQ(Bar(), barB);
  EXPECT_TRUE(In<QLabel>(Preview(), "lb2")->isVisible());
  ASSERT_TRUE(Spin([&] { return completes == 1; }));
  wb1->OnDocumentComplete = exchange;

  // A result opened in the browser meanwhile: the loading page stays, the page was not asked.
  ActivateMain();
  In<QTreeView>(Main(), "lv1")->clearSelection();
  SelectRow(*In<QTreeView>(Main(), "lv1"), 2);
  Main().N4Click();
  EXPECT_EQ(browser.size(), 1u);
  Activate(Preview());
  EXPECT_TRUE(View("wb_load")->isVisible());
  Idle(1000);
  EXPECT_TRUE(View("wb_load")->isVisible());

  // Stored by the service: the two ratings.
  EXPECT_EQ(CountRows(service->DbPath(), "SELECT COUNT(*) FROM ratings"), 2);
  wb1->OnNewWindow3 = redirect;

  // The open-in-browser button hands SelLink over unchanged.
  Preview().btn_viewClick();
  EXPECT_EQ(browser.back(), Main().SelLink);
  // A link that is no web page is dropped.
  const size_t handed = browser.size();
  const std::string shareLink = Main().SelLink;
  Main().SelLink = "file:///etc/passwd";
  Preview().btn_viewClick();
  Main().SelLink = shareLink;
  EXPECT_EQ(browser.size(), handed);
  Preview().close();
  EXPECT_FALSE(Preview().isVisible());
  EXPECT_EQ(Preview().LastUrl, Main().PreviewUrl);
}

// --- Rating and report over a scripted peer, for the exact bytes and replies -----------------

test::PeerScript Answer(size_t bodyLength, const std::string& body, bool gated = false) {
  test::PeerScript s = {test::ExpectUntil("\r\n\r\n"), test::ExpectCount(bodyLength)};
  if (gated) s.push_back(test::Gate());
  s.push_back(test::Send("HTTP/1.0 200 OK\r\nContent-Length: " + std::to_string(body.size()) +
                         "\r\n\r\n" + body));
  s.push_back(test::Close());
  return s;
}

class FeedbackTest : public PreviewTest {
 protected:
  void SetUp() override {
    PreviewTest::SetUp();
    Main().SelFileId = "123";
    Main().PreviewUrl = "http://127.0.0.1:9/zelk-feedback";
    Preview().LastUrl.clear();
    Preview().FormActivate();  // a fresh bar
  }
  void UsePeer(const test::ScriptedPeer& peer) {
    Main().BaseUrl = "http://127.0.0.1:" + peer.PortText() + "/";
  }
  bool RatingDone() {
    return Spin([] {
      return Preview().Service->Client().State() == net::httpReady &&
             !Preview().Service->Client().RcvdStream;
    });
  }
  bool ReportDone() {
    return Spin([] {
      return Report().Service->Client().State() == net::httpReady &&
             !Report().Service->Client().RcvdStream;
    });
  }
  QPlainTextEdit* Reason() { return In<QPlainTextEdit>(Report(), "mm1"); }
  QPushButton* Submit() { return In<QPushButton>(Report(), "btn_report"); }
};

TEST_F(FeedbackTest, RatingSendsTheEntryAndTakesOnlyExactTrue) {
  Score()->setCurrentIndex(0);
  Preview().btn_reviewClick();
  EXPECT_EQ(boxes, std::vector<QString>{QStringLiteral("请选择分数进行点评")});
  EXPECT_EQ(Review()->text(), QStringLiteral("评分"));
  EXPECT_FALSE(Preview().Service->Client().SendStream);

  const std::string body = "action=review&file_id=123&score=" + G("10分满意");
  ASSERT_EQ(body.size(), std::string("action=review&file_id=123&score=").size() + 8);
  const struct {
    const char* reply;
    bool accepted;
  } kCases[] = {{"true", true}, {"true\r\n", false}, {"TRUE", false}, {"false", false}};
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.reply);
    boxes.clear();
    Preview().LastUrl.clear();
    Preview().FormActivate();
    test::ScriptedPeer peer({Answer(body.size(), c.reply)});
    UsePeer(peer);
    Score()->setCurrentIndex(1);
    Preview().btn_reviewClick();
    EXPECT_FALSE(Review()->isEnabled());
    EXPECT_EQ(Review()->text(), QStringLiteral("提交中..."));
    ASSERT_TRUE(RatingDone());
    ASSERT_TRUE(peer.Finish()) << peer.Failure();
    EXPECT_TRUE(peer.Received().ends_with("\r\n\r\n" + body));
    EXPECT_EQ(!In<QLabel>(Preview(), "lb2")->isHidden(), c.accepted);
    EXPECT_EQ(Review()->isHidden(), c.accepted);
    EXPECT_EQ(Score()->isHidden(), c.accepted);
    if (!c.accepted) {
      EXPECT_EQ(boxes, std::vector<QString>{QStringLiteral("评分系统出错，请联系我们")});
      EXPECT_FALSE(Review()->isEnabled());
    }
  }
}

TEST_F(FeedbackTest, ASecondRatingLeavesTheOneUnderWayAlone) {
  const std::string body = "action=review&file_id=123&score=" + G("8分优秀");
  test::ScriptedPeer peer({Answer(body.size(), "true", true)});
  UsePeer(peer);
  Score()->setCurrentIndex(3);
  Preview().btn_reviewClick();
  ASSERT_TRUE(Spin([&] { return peer.AcceptedCount() == 1; }));
  net::TStream* send = Preview().Service->Client().SendStream;
  net::TStream* rcvd = Preview().Service->Client().RcvdStream;
  ASSERT_TRUE(send && rcvd);

  // Another result resets the bar, but the button stays busy until the reply; a rating sent
  // from code meanwhile is not sent.
  Main().PreviewUrl += "-other";
  Preview().LastUrl.clear();
  Preview().FormActivate();
  EXPECT_FALSE(Review()->isEnabled());
  EXPECT_EQ(Review()->text(), QStringLiteral("提交中..."));
  Preview().btn_reviewClick();
  EXPECT_FALSE(Review()->isEnabled());
  EXPECT_EQ(Preview().Service->Client().SendStream, send);
  EXPECT_EQ(Preview().Service->Client().RcvdStream, rcvd);
  peer.ReleaseGate();
  ASSERT_TRUE(RatingDone());
  ASSERT_TRUE(peer.Finish()) << peer.Failure();
  EXPECT_EQ(peer.AcceptedCount(), 1);
  // The earlier file's accepted rating shows on the bar as it now is.
  EXPECT_FALSE(In<QLabel>(Preview(), "lb2")->isHidden());
}

TEST_F(FeedbackTest, ReportPresetsLinesAndBlanks) {
  Report().show();
  QComboBox* reasons = In<QComboBox>(Report(), "cb_reason");
  Reason()->setPlainText(QStringLiteral("typed"));
  reasons->setCurrentIndex(5);
  EXPECT_EQ(Reason()->toPlainText(), QStringLiteral("病毒文件"));
  reasons->setCurrentIndex(0);
  EXPECT_EQ(Reason()->toPlainText(), QStringLiteral("病毒文件"));

  Reason()->setPlainText(QStringLiteral(" \n\t \n"));
  Report().btn_reportClick();
  EXPECT_EQ(boxes, std::vector<QString>{QStringLiteral("请输入举报内容")});
  EXPECT_TRUE(Submit()->isEnabled());

  boxes.clear();
  Reason()->setPlainText(QStringLiteral("第一行&a=b\n第二行\n"));
  const std::string body = "action=report&content=" + G("第一行&a=b\r\n第二行") + "&file_id=123";
  test::ScriptedPeer peer({Answer(body.size(), "true\r\n")});
  UsePeer(peer);
  Report().btn_reportClick();
  EXPECT_EQ(Submit()->text(), QStringLiteral("提交中..."));
  ASSERT_TRUE(ReportDone());
  ASSERT_TRUE(peer.Finish()) << peer.Failure();
  EXPECT_TRUE(peer.Received().ends_with("\r\n\r\n" + body));
  EXPECT_EQ(boxes, std::vector<QString>{QStringLiteral("举报提交出错，请联系我们")});
  EXPECT_TRUE(Report().isVisible());
  EXPECT_FALSE(Submit()->isEnabled());

  // Shown again, the button is ready and the text is kept.
  Report().close();
  Report().show();
  EXPECT_TRUE(Submit()->isEnabled());
  EXPECT_EQ(Submit()->text(), QStringLiteral("提 交"));
  EXPECT_EQ(Reason()->toPlainText(), QStringLiteral("第一行&a=b\n第二行\n"));
  Report().close();
}

TEST_F(FeedbackTest, AReplyAfterTheDialogClosedStillCountsAndASecondReportWaits) {
  Report().show();
  In<QComboBox>(Report(), "cb_reason")->setCurrentIndex(1);
  const std::string body = "action=report&content=" + G("文件不能下载") + "&file_id=123";
  test::ScriptedPeer peer({Answer(body.size(), "true", true)});
  UsePeer(peer);
  Report().btn_reportClick();
  ASSERT_TRUE(Spin([&] { return peer.AcceptedCount() == 1; }));
  net::TStream* rcvd = Report().Service->Client().RcvdStream;

  // Closed and shown again before the reply: the button stays busy, and a submit from code
  // leaves the first alone.
  Report().close();
  Report().show();
  EXPECT_FALSE(Submit()->isEnabled());
  EXPECT_EQ(Submit()->text(), QStringLiteral("提交中..."));
  Report().btn_reportClick();
  EXPECT_FALSE(Submit()->isEnabled());
  EXPECT_EQ(Report().Service->Client().RcvdStream, rcvd);
  Report().close();

  peer.ReleaseGate();
  ASSERT_TRUE(ReportDone());
  ASSERT_TRUE(peer.Finish()) << peer.Failure();
  EXPECT_EQ(peer.AcceptedCount(), 1);
  EXPECT_TRUE(Reason()->toPlainText().isEmpty());
  EXPECT_EQ(In<QComboBox>(Report(), "cb_reason")->currentIndex(), 0);
  EXPECT_FALSE(ReportButton()->isEnabled());
  EXPECT_EQ(ReportButton()->text(), QStringLiteral("举报成功，谢谢支持！"));
  EXPECT_EQ(ReportButton()->geometry(), QRect(30, 3, 150, 25));
}

TEST_F(FeedbackTest, ReportStoredByTheService) {
  Main().BaseUrl = BaseUrl();
  const std::string reply =
      service->Post("/zelk_client.php", "action=search&word=" + G("教程")).body;
  const size_t at = reply.find("\"file_id\":");
  ASSERT_NE(at, std::string::npos) << reply;
  Main().SelFileId = std::to_string(std::atoll(reply.c_str() + at + 10 + (reply[at + 10] == '"')));
  Report().show();
  Reason()->setPlainText(QStringLiteral("坏文件"));
  const int before = CountRows(service->DbPath(), "SELECT COUNT(*) FROM reports");
  Report().btn_reportClick();
  ASSERT_TRUE(ReportDone());
  Report().close();
  EXPECT_EQ(CountRows(service->DbPath(), "SELECT COUNT(*) FROM reports"), before + 1);
}

}  // namespace
}  // namespace qelo::app
