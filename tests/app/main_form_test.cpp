#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QFileInfo>
#include <QHeaderView>
#include <QImage>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPixmap>
#include <QProcess>
#include <QPushButton>
#include <QScrollBar>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <algorithm>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "app/main_form.h"
#include "app/startup.h"
#include "app/ver_form.h"
#include "net/http_client.h"
#include "preview/rp_form.h"
#include "preview/wb_form.h"
#include "support/scripted_peer.h"
#include "ui/dispatcher_bridge.h"
#include "ui/error_report.h"
#include "ui/gbk_qt.h"
#include "ui/system_browser.h"

namespace qelo::app {
namespace {

using test::Close;
using test::ExpectUntil;
using test::PeerScript;
using test::ScriptedPeer;
using test::Send;

std::string G(const char* utf8) {
  return ui::Gbk(utf8);
}

// A reply the scripted peer sends after reading the request header and body.
PeerScript Answer(size_t bodyLength, const std::string& status, const std::string& body) {
  return {ExpectUntil("\r\n\r\n"), test::ExpectCount(bodyLength),
          Send("HTTP/1.0 " + status + "\r\nContent-Length: " + std::to_string(body.size()) +
               "\r\n\r\n" + body),
          Close()};
}

size_t SearchBodyLength(const std::string& keywordGbk) {
  return std::string("action=search&word=").size() + keywordGbk.size();
}

// The window under test with its loop bridge, and error reports and boxes caught.
class MainFormTest : public testing::Test {
 protected:
  void SetUp() override {
    oldSink_ =
        ui::SetErrorSink([this](const QString&, const QString& text) { reports.push_back(text); });
    form.MsgDlg.responder = [](const ui::MessageRequest&) { return ui::mrOk; };
  }
  void TearDown() override { ui::SetErrorSink(std::move(oldSink_)); }

  template <class W>
  W* Child(const char* name) {
    W* w = form.findChild<W*>(QString::fromLatin1(name));
    EXPECT_NE(w, nullptr) << name;
    return w;
  }
  QLineEdit* Edit() { return Child<QLineEdit>("ed_word"); }
  QPushButton* Button() { return Child<QPushButton>("btn_search"); }
  QTreeWidget* List() { return Child<QTreeWidget>("lv1"); }

  void UsePeer(const ScriptedPeer& peer) {
    form.BaseUrl = "http://127.0.0.1:" + peer.PortText() + "/";
  }
  // Runs the loop until pred holds; bounded so a broken client cannot hang the test.
  bool Spin(const std::function<bool()>& pred) {
    QTimer tick;  // wakes the loop so the bound is reached even when nothing arrives
    tick.start(10);
    for (int i = 0; i < 1000 && !pred(); ++i)
      QApplication::processEvents(QEventLoop::WaitForMoreEvents);
    return pred();
  }
  bool SpinUntilRequestsEnd() {
    return Spin([this] { return form.HttpClient1->State() == net::httpReady && !UnderWay(); });
  }
  bool UnderWay() { return form.HttpClient1->SendStream || form.HttpClient1->RcvdStream; }

  void TypeAndEnter(const QString& text) {
    Edit()->setText(text);
    QTest::keyClick(Edit(), Qt::Key_Return);
  }
  bool ButtonBusy() { return !Button()->isEnabled() && Button()->text() == "搜索中..."; }
  bool ButtonIdle() { return Button()->isEnabled() && Button()->text() == "Qelo搜索"; }
  QStringList RowTexts(int row) {
    QStringList cells;
    for (int c = 0; c < 8; ++c)
      cells << List()->topLevelItem(row)->text(c);
    return cells;
  }
  int IconIndex(int row) { return List()->topLevelItem(row)->data(0, Qt::UserRole + 1).toInt(); }

  ui::DispatcherBridge bridge;
  TMainForm form;
  std::vector<QString> reports;

 private:
  ui::ErrorSink oldSink_;
};

const char* kTwoRows =
    R"([{"file_name":"a.rar","file_extension":"rar","file_size":"1536","file_value":"9",)"
    R"("file_views":"77","file_time":"2013-01-02","s_url":" http://pan.example/s/a ",)"
    R"("file_id":"123"},)"
    R"({"file_name":"b.txt","file_extension":"txt","file_size":5,"file_value":1,)"
    R"("file_views":2,"file_time":"t","s_url":"http://pan.example/s/b","file_id":7}])";

TEST_F(MainFormTest, LayoutMenusAndSharedState) {
  EXPECT_EQ(form.size(), QSize(760, 430));
  EXPECT_EQ(form.windowTitle(), QStringLiteral("Qelo网盘文件搜索"));
  EXPECT_EQ(Edit()->geometry(), QRect(8, 16, 208, 23));
  EXPECT_EQ(Edit()->font().pixelSize(), 14);
  EXPECT_EQ(Edit()->font().family(), QStringLiteral("Tahoma"));
  EXPECT_TRUE(Edit()->text().isEmpty());
  EXPECT_EQ(Button()->geometry(), QRect(224, 16, 75, 25));
  EXPECT_TRUE(ButtonIdle());
  EXPECT_EQ(Child<QWidget>("skSkinPanel1")->height(), 60);
  EXPECT_EQ(Child<QLabel>("skSkinStdLabel2")->geometry(), QRect(309, 24, 492, 25));
  EXPECT_EQ(
      Child<QLabel>("skSkinStdLabel2")->text(),
      QStringLiteral("声明：本搜索不含有任何弹窗广告，出现的广告均为收录的网站页面本身所致。"));

  const QStringList titles = {"文件名称", "文件类型", "文件大小", "价值指数",
                              "人气指数", "收录时间", "文件地址", "文件ID"};
  const int widths[] = {350, 100, 100, 100, 100, 100, 250, 70};
  ASSERT_EQ(List()->columnCount(), 8);
  for (int c = 0; c < 8; ++c) {
    EXPECT_EQ(List()->headerItem()->text(c), titles[c]);
    EXPECT_EQ(List()->columnWidth(c), widths[c]) << c;
  }
  EXPECT_EQ(List()->selectionMode(), QAbstractItemView::SingleSelection);
  EXPECT_EQ(List()->selectionBehavior(), QAbstractItemView::SelectRows);
  EXPECT_EQ(List()->editTriggers(), QAbstractItemView::NoEditTriggers);
  EXPECT_EQ(Child<QWidget>("lv1_bar")->width(), 19);

  QStringList menus;
  for (QAction* a : Child<QMenuBar>("skSkinMainMenuBar1")->actions()) {
    menus << a->text();
    for (QAction* entry : a->menu()->actions())
      menus << "  " + entry->text();
  }
  EXPECT_EQ(menus, (QStringList{"选项(&O)", "  更换皮肤(&C)", "  退出软件(&Q)", "帮助(&H)",
                                "  交流反馈(&F)", "  关于软件(&A)"}));
  QStringList popup;
  for (QAction* a : Child<QMenu>("pm1")->actions())
    popup << a->text();
  EXPECT_EQ(popup, (QStringList{"结果预览", "浏览器打开"}));
  EXPECT_EQ(Child<QStatusBar>("skSkinStatusBar1")->height(), 18);
  form.layout()->activate();
  auto* bar = Child<QMenuBar>("skSkinMainMenuBar1");
  EXPECT_EQ(bar->height(), 22);
  // Both menus fit the 22-pixel bar instead of folding into its overflow button.
  for (QAction* a : bar->actions()) {
    const QRect item = bar->actionGeometry(a);
    EXPECT_FALSE(item.isEmpty()) << a->text().toStdString();
    EXPECT_TRUE(bar->rect().contains(item)) << a->text().toStdString();
  }
  EXPECT_TRUE(Child<QLabel>("bbs_link")->text().contains("小伙伴们，来这里交流反馈"));
  EXPECT_EQ(Child<QLabel>("bbs_link")->width(), 150);

  EXPECT_EQ(form.AppVersion, "1.2");
  EXPECT_EQ(form.AppBuild, "20130911");
  EXPECT_TRUE(form.BaseUrl.starts_with("http://") && form.BaseUrl.ends_with("/"));
  for (const std::string* f : {&form.PreviewUrl, &form.SelFileId, &form.SelValue, &form.SelViews,
                               &form.SelLink, &form.SkinName})
    EXPECT_TRUE(f->empty());
  EXPECT_EQ(form.HttpClient1->Agent, "zelk-client-http");
  EXPECT_EQ(MainForm, &form);
}

TEST_F(MainFormTest, EmptyOrBlankKeywordAsksForOneAndSendsNothing) {
  for (const QString& text : {QString(), QStringLiteral(" \t  ")}) {
    TypeAndEnter(text);
    Button()->click();
  }
  ASSERT_EQ(form.MsgDlg.History().size(), 4u);
  for (const ui::MessageRequest& r : form.MsgDlg.History()) {
    EXPECT_EQ(r.text, QStringLiteral("请输入搜索关键词"));
    EXPECT_EQ(r.caption, QStringLiteral("提示信息"));
    EXPECT_EQ(r.buttons, ui::mbOK);
  }
  EXPECT_FALSE(UnderWay());
  EXPECT_EQ(form.HttpClient1->State(), net::httpReady);
  EXPECT_TRUE(ButtonIdle());
  // A full-width blank is not trimmed, so it is a keyword.
  EXPECT_TRUE(reports.empty());
}

TEST_F(MainFormTest, ConfirmBoxIsYesOnlyForOk) {
  int answer = ui::mrOk;
  form.MsgDlg.responder = [&](const ui::MessageRequest&) { return answer; };
  EXPECT_TRUE(ConfirmBox(G("确认删除此皮肤？")));
  answer = ui::mrCancel;
  EXPECT_FALSE(ConfirmBox(G("确认删除此皮肤？")));
  ASSERT_EQ(form.MsgDlg.History().size(), 2u);
  EXPECT_EQ(form.MsgDlg.History()[0].buttons, ui::mbOK | ui::mbCancel);
  EXPECT_EQ(form.MsgDlg.History()[0].text, QStringLiteral("确认删除此皮肤？"));
}

TEST_F(MainFormTest, SearchSendsTheFormAndFillsTheRows) {
  const std::string keyword = G("电影&x=1");
  ScriptedPeer peer({Answer(SearchBodyLength(keyword), "200 OK", kTwoRows)});
  UsePeer(peer);
  TypeAndEnter(QStringLiteral("  电影&x=1 "));
  EXPECT_TRUE(ButtonBusy());
  ASSERT_TRUE(Spin([this] { return ButtonIdle(); }));
  ASSERT_TRUE(peer.Finish()) << peer.Failure();

  const std::string request = peer.Received(0);
  const std::string expectedBody = "action=search&word=" + keyword;
  EXPECT_TRUE(
      request.starts_with("POST /zelk_client.php HTTP/1.0\r\n"
                          "Accept: image/gif, image/x-xbitmap, image/jpeg, "
                          "image/pjpeg, */*\r\n"
                          "Content-Type: application/x-www-form-urlencoded\r\n"
                          "User-Agent: zelk-client-http\r\n"
                          "Host: 127.0.0.1"))
      << request;
  EXPECT_TRUE(request.ends_with("\r\nContent-Length: " + std::to_string(expectedBody.size()) +
                                "\r\n\r\n" + expectedBody))
      << request;

  ASSERT_EQ(List()->topLevelItemCount(), 2);
  EXPECT_EQ(RowTexts(0), (QStringList{"a.rar", "rar文件", "1.50KB", "9", "77", "2013-01-02",
                                      " http://pan.example/s/a ", "123"}));
  EXPECT_EQ(RowTexts(1),
            (QStringList{"b.txt", "txt文件", "5B", "1", "2", "t", "http://pan.example/s/b", "7"}));
  for (int r = 0; r < 2; ++r) {
    EXPECT_GE(IconIndex(r), 0);
    EXPECT_FALSE(List()->topLevelItem(r)->icon(0).isNull());
  }
  EXPECT_NE(IconIndex(0), IconIndex(1));  // different file types
  EXPECT_FALSE(UnderWay());
  EXPECT_TRUE(reports.empty());
}

TEST_F(MainFormTest, RepliesThatFailOrAreNotAResultList) {
  struct Case {
    const char* name;
    std::string status;
    std::string body;
    int rows;   // rows after the reply
    bool idle;  // button idle again
  };
  const Case cases[] = {
      {"empty array", "200 OK", "[]", 1, true},
      {"object", "200 OK", "{}", 0, false},
      {"not json", "200 OK", "<html>", 0, false},
      {"status 500", "500 Internal Server Error", "[]", 2, false},
      {"status 404", "404 Not Found", kTwoRows, 2, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    form.FillResults(kTwoRows);  // rows from an earlier search
    ScriptedPeer peer({Answer(SearchBodyLength("k"), c.status, c.body)});
    UsePeer(peer);
    TypeAndEnter("k");
    ASSERT_TRUE(SpinUntilRequestsEnd());
    ASSERT_TRUE(peer.Finish()) << peer.Failure();
    EXPECT_EQ(List()->topLevelItemCount(), c.rows);
    EXPECT_EQ(ButtonIdle(), c.idle);
    EXPECT_EQ(ButtonBusy(), !c.idle);
    // A later good reply makes the button idle again.
    form.FillResults("[]");
    if (!c.idle) {
      ScriptedPeer good({Answer(SearchBodyLength("k"), "200 OK", "[]")});
      UsePeer(good);
      TypeAndEnter("k");
      ASSERT_TRUE(Spin([this] { return ButtonIdle(); }));
    }
  }
  // The placeholder row.
  form.FillResults("[]");
  ASSERT_EQ(List()->topLevelItemCount(), 1);
  EXPECT_EQ(RowTexts(0), (QStringList{"...暂无文件...", "", "", "", "", "", "", ""}));
  EXPECT_GE(IconIndex(0), 0);
  EXPECT_TRUE(reports.empty());
}

TEST_F(MainFormTest, InvalidSizeStopsTheListingAndLeavesTheButtonBusy) {
  const std::string body =
      R"([{"file_name":"a.zip","file_size":1},{"file_name":"b.zip","file_extension":"zip",)"
      R"("file_size":"12 "},{"file_name":"c.zip","file_size":3}])";
  ScriptedPeer peer({Answer(SearchBodyLength("zip"), "200 OK", body)});
  UsePeer(peer);
  TypeAndEnter("zip");
  ASSERT_TRUE(SpinUntilRequestsEnd());
  ASSERT_TRUE(peer.Finish()) << peer.Failure();
  ASSERT_EQ(List()->topLevelItemCount(), 2);
  EXPECT_EQ(RowTexts(1), (QStringList{"b.zip", "zip文件", "", "", "", "", "", ""}));
  EXPECT_GE(IconIndex(0), 0);
  EXPECT_EQ(IconIndex(1), -1);  // its icon is never looked up
  EXPECT_TRUE(ButtonBusy());
}

TEST_F(MainFormTest, EnterDuringASearchLetsTheLatestKeywordWin) {
  const std::string first = R"([{"file_name":"first.rar","file_size":1}])";
  const std::string last = R"([{"file_name":"third.rar","file_size":2},{"file_size":3}])";
  ScriptedPeer peer({Answer(SearchBodyLength("one"), "200 OK", first),
                     Answer(SearchBodyLength("three"), "200 OK", last)});
  UsePeer(peer);
  TypeAndEnter("one");
  ASSERT_TRUE(UnderWay());
  net::TStream* const sendStream = form.HttpClient1->SendStream;
  net::TStream* const rcvdStream = form.HttpClient1->RcvdStream;
  TypeAndEnter("two");
  TypeAndEnter("three");
  // The request under way keeps its streams.
  EXPECT_EQ(form.HttpClient1->SendStream, sendStream);
  EXPECT_EQ(form.HttpClient1->RcvdStream, rcvdStream);
  EXPECT_TRUE(ButtonBusy());

  ASSERT_TRUE(Spin([this] { return ButtonIdle(); }));
  ASSERT_TRUE(peer.Finish()) << peer.Failure();
  EXPECT_EQ(peer.AcceptedCount(), 2);
  EXPECT_TRUE(peer.Received(0).ends_with("action=search&word=one"));
  EXPECT_TRUE(peer.Received(1).ends_with("action=search&word=three"));
  ASSERT_EQ(List()->topLevelItemCount(), 2);
  EXPECT_EQ(List()->topLevelItem(0)->text(0), "third.rar");
  EXPECT_TRUE(reports.empty());
}

// Records what would be opened in the browser and in the preview window.
struct Opened {
  Opened() {
    old = ui::SetBrowserOpener([this](const std::string& url) {
      browser.push_back(url);
      return true;
    });
  }
  ~Opened() { ui::SetBrowserOpener(std::move(old)); }
  void Watch(TMainForm& form) {
    form.ShowPreview = [this](const std::string& caption, int left, int top) {
      previews.push_back(caption);
      positions.push_back(QPoint(left, top));
    };
  }
  ui::BrowserOpener old;
  std::vector<std::string> browser;
  std::vector<std::string> previews;
  std::vector<QPoint> positions;
};

// A reply of n rows; the first one's name is first.
std::string Rows(int n, const std::string& first) {
  std::string body = "[";
  for (int i = 0; i < n; ++i) {
    const std::string name = i == 0 ? first : "row" + std::to_string(i) + ".rar";
    body += (i ? "," : "") + std::string(R"({"file_name":")") + name +
            R"(","file_extension":"rar","file_size":"10","file_value":"1","file_views":"1",)"
            R"("file_time":"t","s_url":"http://pan.example/s/x","file_id":"1"})";
  }
  return body + "]";
}

TEST_F(MainFormTest, NewResultsStartFromTheTop) {
  form.show();
  form.FillResults(Rows(200, "first.rar"));
  QApplication::processEvents();
  QScrollBar* own = List()->verticalScrollBar();
  auto* bar = Child<QScrollBar>("lv1_bar");
  ASSERT_GT(own->maximum(), 0);
  bar->setValue(bar->maximum());
  ASSERT_EQ(own->value(), own->maximum());
  struct Case {
    const char* what;
    std::string body;
  };
  const Case cases[] = {
      {"as many rows", Rows(200, "again.rar")},
      {"fewer rows", Rows(120, "fewer.rar")},
      {"no result", "[]"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    bar->setValue(bar->maximum());
    form.FillResults(c.body);
    QApplication::processEvents();
    EXPECT_EQ(own->value(), 0);
    EXPECT_EQ(bar->value(), 0);
    const QRect top = List()->visualItemRect(List()->topLevelItem(0));
    EXPECT_EQ(top.top(), 0);  // the best hit is the first row on screen
  }
}

TEST_F(MainFormTest, RowHeightIsTheSameWhateverTheFirstRowHolds) {
  form.show();
  struct Case {
    const char* what;
    std::string body;
  };
  const Case cases[] = {
      {"latin name with an icon", Rows(3, "a.rar")},
      {"chinese name", Rows(3, G("迅雷 2010 绿色版.rar"))},
      {"no result placeholder", "[]"},
      {"name without a known type", Rows(3, "README")},
      {"row cut at an invalid size",
       R"([{"file_name":"x.rar","file_extension":"rar","file_size":"-5"}])"},
  };
  int height = -1;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    form.FillResults(c.body);
    QApplication::processEvents();
    ASSERT_GT(List()->topLevelItemCount(), 0);
    const int h = List()->visualItemRect(List()->topLevelItem(0)).height();
    EXPECT_GE(h, List()->iconSize().height());
    if (height < 0) height = h;
    EXPECT_EQ(h, height);
  }
}

TEST_F(MainFormTest, OpeningARowCopiesItAndHandsItOn) {
  Opened opened;
  opened.Watch(form);
  form.FillResults(kTwoRows);
  List()->topLevelItem(0)->setSelected(true);
  Child<QAction>("N4")->trigger();  // 浏览器打开
  EXPECT_EQ(form.SelLink, "http://pan.example/s/a");
  EXPECT_EQ(form.SelFileId, "123");
  EXPECT_EQ(form.SelValue, "9");
  EXPECT_EQ(form.SelViews, "77");
  EXPECT_EQ(form.PreviewUrl, form.BaseUrl + "zelk-123");
  EXPECT_EQ(opened.browser, std::vector<std::string>{"http://pan.example/s/a"});
  EXPECT_TRUE(opened.previews.empty());

  List()->topLevelItem(1)->setSelected(true);
  form.lv1DblClick();
  EXPECT_EQ(form.SelFileId, "7");
  EXPECT_EQ(form.PreviewUrl, form.BaseUrl + "zelk-7");
  ASSERT_EQ(opened.previews.size(), 1u);
  EXPECT_EQ(opened.previews[0], "b.txt- [http://pan.example/s/b] - " + G("Qelo网盘搜索结果预览"));
  EXPECT_EQ(opened.positions[0], QPoint(form.x() + 200, form.y() + 100));
  EXPECT_EQ(opened.browser.size(), 1u);
}

TEST_F(MainFormTest, RowsWithoutALinkDoNotOpen) {
  Opened opened;
  opened.Watch(form);
  form.FillResults("[]");
  List()->topLevelItem(0)->setSelected(true);
  form.lv1DblClick();  // the placeholder row
  form.N4Click();
  form.FillResults(kTwoRows);
  form.lv1DblClick();  // nothing selected
  EXPECT_TRUE(opened.previews.empty());
  EXPECT_TRUE(opened.browser.empty());
  EXPECT_TRUE(form.PreviewUrl.empty());
  EXPECT_TRUE(form.SelFileId.empty());

  // A link of blanks only still qualifies, and leaves SelLink empty.
  form.FillResults(R"([{"file_name":"x","file_size":1,"s_url":"   ","file_id":5}])");
  List()->topLevelItem(0)->setSelected(true);
  form.N3Click();
  EXPECT_EQ(form.SelLink, "");
  ASSERT_EQ(opened.previews.size(), 1u);
  EXPECT_EQ(opened.previews[0], "x- [] - " + G("Qelo网盘搜索结果预览"));
}

// The longest run of link-coloured pixels in one row of the picture: an underline is one
// unbroken run almost as wide as the text, glyph strokes are short.
int LongestLinkRun(const QImage& image, const QColor& link) {
  int best = 0;
  for (int y = 0; y < image.height(); ++y) {
    int run = 0;
    for (int x = 0; x < image.width(); ++x) {
      const QColor c = image.pixelColor(x, y);
      const bool near = std::abs(c.red() - link.red()) < 60 &&
                        std::abs(c.green() - link.green()) < 60 &&
                        std::abs(c.blue() - link.blue()) < 60;
      run = near ? run + 1 : 0;
      best = std::max(best, run);
    }
  }
  return best;
}

TEST_F(MainFormTest, ForumLinkShowsItsUnderlineInsideTheStatusBar) {
  form.show();
  QApplication::processEvents();
  auto* link = Child<QLabel>("bbs_link");
  auto* bar = Child<QWidget>("skSkinStatusBar1");
  EXPECT_EQ(link->width(), 150);
  EXPECT_EQ(bar->height(), 18);
  // What the status bar shows, the label's part of it clipped as the window clips it.
  const QImage image = bar->grab().toImage();
  const int textWidth =
      link->fontMetrics().horizontalAdvance(QStringLiteral("小伙伴们，来这里交流反馈"));
  // A line under (nearly) the whole text is visible.
  EXPECT_GE(LongestLinkRun(image, link->palette().color(QPalette::Link)), textWidth * 8 / 10);
  EXPECT_EQ(link->cursor().shape(), Qt::PointingHandCursor);
}

TEST_F(MainFormTest, ForumLinkGoesToTheBrowser) {
  Opened opened;
  Child<QAction>("F1")->trigger();
  emit Child<QLabel>("bbs_link")->linkActivated("forum");
  EXPECT_EQ(opened.browser, (std::vector<std::string>{form.ForumUrl(), form.ForumUrl()}));
}

TEST(Startup, WindowsInOrderWithOnlyTheMainOneShown) {
  {
    TWindows windows;
    EXPECT_EQ(MainForm, &windows.Main());
    EXPECT_EQ(WBForm, &windows.Preview());
    EXPECT_EQ(RpForm, &windows.Report());
    ASSERT_NE(VerFrm, nullptr);
    EXPECT_EQ(VerFrm->parentWidget(), MainForm);
    // The first window created is the main one; a preview opened from it reaches WBForm.
    EXPECT_TRUE(MainForm->ShowPreview != nullptr);
    windows.ShowMain();
    EXPECT_TRUE(MainForm->isVisible());
    EXPECT_FALSE(VerFrm->isVisible());
    EXPECT_FALSE(WBForm->isVisible());
    EXPECT_FALSE(RpForm->isVisible());
  }
  EXPECT_EQ(MainForm, nullptr);
  EXPECT_EQ(WBForm, nullptr);
  EXPECT_EQ(RpForm, nullptr);
  EXPECT_EQ(VerFrm, nullptr);
}

#ifdef QELO_SERVICE_PATH
// End to end against the reference service on a free port.
TEST_F(MainFormTest, SearchAgainstTheReferenceService) {
  if (!QFileInfo::exists(QStringLiteral(QELO_SERVICE_PATH)))
    GTEST_SKIP() << "qelo-service is not built";
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  QProcess service;
  service.start(QStringLiteral(QELO_SERVICE_PATH),
                {"--listen", "127.0.0.1:0", "--db", dir.filePath("index.db"), "--seed-rows", "3000",
                 "--skins", dir.filePath("skins"), "--threads", "2"});
  ASSERT_TRUE(service.waitForStarted(10000));
  ASSERT_TRUE(service.waitForReadyRead(30000)) << service.readAllStandardError().toStdString();
  const std::string url = service.readLine().trimmed().toStdString();
  ASSERT_TRUE(url.starts_with("http://127.0.0.1:")) << url;
  form.BaseUrl = url.ends_with("/") ? url : url + "/";

  for (const QString& keyword : {QStringLiteral("英语"), QStringLiteral("Photoshop")}) {
    SCOPED_TRACE(keyword.toStdString());
    form.FillResults("{}");
    TypeAndEnter(keyword);
    ASSERT_TRUE(Spin([this] { return ButtonIdle(); }));
    ASSERT_GT(List()->topLevelItemCount(), 1);
    for (int r = 0; r < List()->topLevelItemCount(); ++r) {
      const QStringList cells = RowTexts(r);
      EXPECT_TRUE(cells[0].contains(keyword)) << cells.join('|').toStdString();
      EXPECT_TRUE(cells[1].endsWith("文件"));
      EXPECT_TRUE(cells[2].endsWith("B"));
      EXPECT_FALSE(cells[6].isEmpty());
      EXPECT_FALSE(cells[7].isEmpty());
      EXPECT_GE(IconIndex(r), 0);
    }
  }
  service.terminate();
  EXPECT_TRUE(service.waitForFinished(10000));
  EXPECT_TRUE(reports.empty());
}
#endif

}  // namespace
}  // namespace qelo::app
