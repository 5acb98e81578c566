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
#include <QTreeView>
#include <algorithm>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "app/main_form.h"
#include "app/message_boxes.h"
#include "app/ver_form.h"
#include "appcore/search_rows.h"
#include "client/startup.h"
#include "net/http_client.h"
#include "preview/rp_form.h"
#include "preview/wb_form.h"
#include "support/scripted_peer.h"
#include "ui/dispatcher_bridge.h"
#include "ui/error_report.h"
#include "ui/gbk_qt.h"
#include "ui/skin_style.h"
#include "ui/system_browser.h"
#include "ui/system_icons.h"

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
  QTreeView* List() { return Child<QTreeView>("lv1"); }
  int RowCount() { return List()->model()->rowCount(); }
  QModelIndex At(int row, int column = 0) { return List()->model()->index(row, column); }
  QString Text(int row, int column) { return At(row, column).data().toString(); }
  QIcon Icon(int row) { return qvariant_cast<QIcon>(At(row).data(Qt::DecorationRole)); }
  QString HeaderText(int column) {
    return List()->model()->headerData(column, Qt::Horizontal).toString();
  }
  // Selects the row the way a program selects a list item, adding to what is selected.
  void Select(int row) {
    List()->selectionModel()->select(At(row),
                                     QItemSelectionModel::Select | QItemSelectionModel::Rows);
  }

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
    return Spin([this] { return form.Service->Client().State() == net::httpReady && !UnderWay(); });
  }
  bool UnderWay() { return form.Service->Client().SendStream || form.Service->Client().RcvdStream; }

  void TypeAndEnter(const QString& text) {
    Edit()->setText(text);
    QTest::keyClick(Edit(), Qt::Key_Return);
  }
  bool ButtonBusy() { return !Button()->isEnabled() && Button()->text() == "搜索中..."; }
  bool ButtonIdle() { return Button()->isEnabled() && Button()->text() == "Qelo搜索"; }
  QStringList RowTexts(int row) {
    QStringList cells;
    for (int c = 0; c < 8; ++c)
      cells << Text(row, c);
    return cells;
  }
  int IconIndex(int row) { return At(row).data(Qt::UserRole + 1).toInt(); }

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
  ASSERT_EQ(List()->model()->columnCount(), 8);
  for (int c = 0; c < 8; ++c) {
    EXPECT_EQ(HeaderText(c), titles[c]);
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
  EXPECT_EQ(form.Service->Client().Agent, "zelk-client-http");
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
  EXPECT_EQ(form.Service->Client().State(), net::httpReady);
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

  ASSERT_EQ(RowCount(), 2);
  EXPECT_EQ(RowTexts(0), (QStringList{"a.rar", "rar文件", "1.50KB", "9", "77", "2013-01-02",
                                      " http://pan.example/s/a ", "123"}));
  EXPECT_EQ(RowTexts(1),
            (QStringList{"b.txt", "txt文件", "5B", "1", "2", "t", "http://pan.example/s/b", "7"}));
  for (int r = 0; r < 2; ++r) {
    EXPECT_GE(IconIndex(r), 0);
    EXPECT_FALSE(Icon(r).isNull());
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
    EXPECT_EQ(RowCount(), c.rows);
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
  ASSERT_EQ(RowCount(), 1);
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
  ASSERT_EQ(RowCount(), 2);
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
  net::TStream* const sendStream = form.Service->Client().SendStream;
  net::TStream* const rcvdStream = form.Service->Client().RcvdStream;
  TypeAndEnter("two");
  TypeAndEnter("three");
  // The request under way keeps its streams.
  EXPECT_EQ(form.Service->Client().SendStream, sendStream);
  EXPECT_EQ(form.Service->Client().RcvdStream, rcvdStream);
  EXPECT_TRUE(ButtonBusy());

  ASSERT_TRUE(Spin([this] { return ButtonIdle(); }));
  ASSERT_TRUE(peer.Finish()) << peer.Failure();
  EXPECT_EQ(peer.AcceptedCount(), 2);
  EXPECT_TRUE(peer.Received(0).ends_with("action=search&word=one"));
  EXPECT_TRUE(peer.Received(1).ends_with("action=search&word=three"));
  ASSERT_EQ(RowCount(), 2);
  EXPECT_EQ(Text(0, 0), "third.rar");
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
    QObject::connect(&form, &TMainForm::previewRequested,
                     [this](const std::string& caption, int left, int top) {
                       previews.push_back(caption);
                       positions.push_back(QPoint(left, top));
                     });
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
  // The bar beside the list pages as the list does.
  EXPECT_EQ(bar->pageStep(), own->pageStep());
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
    const QRect top = List()->visualRect(At(0));
    EXPECT_EQ(top.top(), 0);  // the best hit is the first row on screen
  }
}

TEST_F(MainFormTest, OnlyWebLinksGoToTheBrowser) {
  Opened opened;
  const std::string links[] = {"file:///etc/passwd", "HTTPS://pan.example/s/a",
                               "javascript:alert(1)", "hTTp://pan.example/s/b", "ftp://x/y"};
  for (const std::string& link : links) {
    std::string body = kTwoRows;
    body.replace(body.find(" http://pan.example/s/a "), 24, link);
    form.FillResults(body);
    Select(0);
    Child<QAction>("N4")->trigger();
  }
  EXPECT_EQ(opened.browser,
            (std::vector<std::string>{"HTTPS://pan.example/s/a", "hTTp://pan.example/s/b"}));
}

TEST_F(MainFormTest, OnlyALeftDoubleClickPreviewsAndTheColumnsKeepTheirOrder) {
  Opened opened;
  opened.Watch(form);
  form.show();
  form.FillResults(kTwoRows);
  const QPoint at = List()->visualRect(At(0)).center();
  // A click, then the second press that the system reports as a double click.
  for (const Qt::MouseButton button : {Qt::RightButton, Qt::MiddleButton, Qt::LeftButton}) {
    QTest::mouseClick(List()->viewport(), button, {}, at);
    QTest::mouseDClick(List()->viewport(), button, {}, at);
  }
  EXPECT_EQ(opened.previews.size(), 1u);
  EXPECT_FALSE(List()->header()->sectionsMovable());
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
    ASSERT_GT(RowCount(), 0);
    const int h = List()->visualRect(At(0)).height();
    EXPECT_GE(h, List()->iconSize().height());
    if (height < 0) height = h;
    EXPECT_EQ(h, height);
  }
}

TEST_F(MainFormTest, OpeningARowCopiesItAndHandsItOn) {
  Opened opened;
  opened.Watch(form);
  form.FillResults(kTwoRows);
  Select(0);
  Child<QAction>("N4")->trigger();  // 浏览器打开
  EXPECT_EQ(form.SelLink, "http://pan.example/s/a");
  EXPECT_EQ(form.SelFileId, "123");
  EXPECT_EQ(form.SelValue, "9");
  EXPECT_EQ(form.SelViews, "77");
  EXPECT_EQ(form.PreviewUrl, form.BaseUrl + "zelk-123");
  EXPECT_EQ(opened.browser, std::vector<std::string>{"http://pan.example/s/a"});
  EXPECT_TRUE(opened.previews.empty());

  Select(1);
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
  Select(0);
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
  Select(0);
  form.N3Click();
  EXPECT_EQ(form.SelLink, "");
  ASSERT_EQ(opened.previews.size(), 1u);
  EXPECT_EQ(opened.previews[0], "x- [] - " + G("Qelo网盘搜索结果预览"));
}

TEST_F(MainFormTest, ListShowsWhatTheListingGives) {
  struct Case {
    const char* what;
    std::string body;
  };
  const Case cases[] = {
      {"rows with Chinese texts",
       G(R"([{"file_name":"电影合集.rar","file_extension":"rar","file_size":"500",)"
         R"("file_value":8,"file_views":"120","file_time":"2013-09-01",)"
         R"("s_url":"http://pan.example/s/abc","file_id":123},)"
         R"({"file_name":"读我","file_size":-7,"file_time":"九月"}])")},
      {"placeholder", "[]"},
      {"stopped listing", R"([{"file_name":"a.zip","file_size":1,"s_url":"u"},)"
                          R"({"file_name":"b.zip","file_extension":"zip","file_size":"12 "}])"},
      {"not an array", "{}"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    form.FillResults(kTwoRows);  // rows of an earlier search
    const bool complete = form.FillResults(c.body);
    const SearchListing listing = ListSearchReply(c.body);
    EXPECT_EQ(complete, listing.complete);
    ASSERT_EQ(RowCount(), static_cast<int>(listing.rows.size()));
    for (int r = 0; r < RowCount(); ++r) {
      SCOPED_TRACE(r);
      const ResultRow& row = listing.rows[static_cast<size_t>(r)];
      EXPECT_EQ(Text(r, 0), ui::GbkToQString(row.caption));
      for (size_t cell = 0; cell < kResultCellCount; ++cell) {
        const QString shown = cell < row.cells.size() ? ui::GbkToQString(row.cells[cell]) : "";
        EXPECT_EQ(Text(r, static_cast<int>(cell) + 1), shown) << cell;
      }
      int icon = -1;
      if (row.icon == ResultRow::Icon::FileName)
        icon = ui::GetSystemIconIndexA(row.caption.c_str(), 0);
      else if (row.icon == ResultRow::Icon::Generic)
        icon = ui::GetSystemIconIndexA(nullptr, 0);
      EXPECT_EQ(IconIndex(r), icon);
      EXPECT_EQ(Icon(r).isNull(), icon < 0);
    }
  }
}

// A reply of n rows whose ids, links and indexes are their row numbers.
std::string NumberedRows(int n) {
  std::string body = "[";
  for (int i = 0; i < n; ++i) {
    const std::string k = std::to_string(i);
    body += (i ? "," : "") + std::string(R"({"file_name":"f)") + k +
            R"(.rar","file_extension":"rar","file_size":1,"file_value":"v)" + k +
            R"(","file_views":"p)" + k + R"(","file_time":"t","s_url":"http://pan.example/s/)" + k +
            R"(","file_id":)" + k + "}";
  }
  return body + "]";
}

TEST_F(MainFormTest, MouseAndKeyboardChooseTheOneRowThatOpens) {
  Opened opened;
  opened.Watch(form);
  form.show();
  form.FillResults(NumberedRows(300));
  QApplication::processEvents();
  QWidget* area = List()->viewport();
  auto selectedRows = [this] { return List()->selectionModel()->selectedRows().size(); };

  QTest::mouseClick(area, Qt::LeftButton, {}, List()->visualRect(At(2)).center());
  form.N4Click();
  EXPECT_EQ(form.SelFileId, "2");
  EXPECT_EQ(selectedRows(), 1);

  QTest::keyClick(List(), Qt::Key_Down);
  QTest::keyClick(List(), Qt::Key_Down);
  form.N4Click();
  EXPECT_EQ(form.SelFileId, "4");
  EXPECT_EQ(form.SelValue, "v4");
  EXPECT_EQ(form.SelViews, "p4");
  EXPECT_EQ(selectedRows(), 1);

  // The last row, far below the ones first shown.
  QTest::keyClick(List(), Qt::Key_End);
  form.N4Click();
  EXPECT_EQ(form.SelFileId, "299");
  EXPECT_EQ(form.SelLink, "http://pan.example/s/299");
  EXPECT_TRUE(area->rect().contains(List()->visualRect(At(299)).center()));
  EXPECT_EQ(opened.browser.size(), 3u);

  QTest::keyClick(List(), Qt::Key_Home);
  // A double click: a click, then the second press that the system reports as a double click.
  const QPoint second = List()->visualRect(At(1)).center();
  QTest::mouseClick(area, Qt::LeftButton, {}, second);
  QTest::mouseDClick(area, Qt::LeftButton, {}, second);
  ASSERT_EQ(opened.previews.size(), 1u);
  EXPECT_EQ(opened.previews[0], "f1.rar- [http://pan.example/s/1] - " + G("Qelo网盘搜索结果预览"));
  EXPECT_EQ(form.PreviewUrl, form.BaseUrl + "zelk-1");
}

TEST_F(MainFormTest, NewResultsDropTheOldSelection) {
  Opened opened;
  form.FillResults(NumberedRows(5));
  Select(3);
  form.FillResults(NumberedRows(4));
  EXPECT_FALSE(List()->selectionModel()->hasSelection());
  form.N4Click();
  EXPECT_TRUE(opened.browser.empty());
  EXPECT_TRUE(form.SelFileId.empty());
}

TEST_F(MainFormTest, ListAndItsHeaderTakeTheSkinsListViewParts) {
  EXPECT_EQ(ui::SkinDataNameOf(List()), "listview");
  EXPECT_EQ(ui::SkinDataNameOf(List()->header()), "header");
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
    windows.ShowMain();
    EXPECT_TRUE(MainForm->isVisible());
    EXPECT_FALSE(VerFrm->isVisible());
    EXPECT_FALSE(WBForm->isVisible());
    EXPECT_FALSE(RpForm->isVisible());
    // The first window created is the main one; a preview opened from it reaches WBForm.
    emit MainForm->previewRequested("x", 10, 10);
    EXPECT_TRUE(WBForm->isVisible());
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
    ASSERT_GT(RowCount(), 1);
    for (int r = 0; r < RowCount(); ++r) {
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
