#include "skinwindow/skin_form.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QGroupBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QStatusBar>
#include <QTest>
#include <QTimer>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "app/main_form.h"
#include "appcore/shared_state.h"
#include "net/http_client.h"
#include "service/service_process.h"
#include "skin/skin_data.h"
#include "skin/skin_list.h"
#include "support/scripted_peer.h"
#include "text/settings_codec.h"
#include "ui/dispatcher_bridge.h"
#include "ui/error_report.h"
#include "ui/gbk_qt.h"

namespace qelo::skin {
namespace {

namespace fs = std::filesystem;

std::string G(const char* utf8) {
  return ui::Gbk(utf8);
}

// A downloader the test finishes by hand: it records each start and, when told, writes bytes
// into the stream it was given and reports the outcome.
class FakeDownloader : public ISkinDownloader {
 public:
  void Start() override {
    if (failStart) throw std::runtime_error("start refused");
    if (PartCount < 2) throw std::range_error("PartCount must be positive");
    ++starts;
    startedUrl = URL;
    startedStream = FileStream;
    total = 0;
  }
  int64_t TotalDataCount() const override { return total; }

  void Finish(int code, const std::string& bytes) {
    ASSERT_NE(FileStream, nullptr);
    if (!bytes.empty()) {
      FileStream->SetPosition(0);
      FileStream->WriteBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
    }
    total += static_cast<int64_t>(bytes.size());
    OnRequestDone(this, code, code == 200 ? "OK" : "Download failed");
  }

  int starts = 0;
  bool failStart = false;
  std::string startedUrl;
  net::TStream* startedStream = nullptr;
  int64_t total = 0;
};

// A picture "file" the fake reader accepts starts with this; anything else is unreadable.
constexpr const char* kPictureMagic = "PIC:";

class SkinFormTest : public testing::Test {
 protected:
  SkinFormTest() {
    char tmpl[] = "/tmp/qelo-skinform-XXXXXX";
    if (!mkdtemp(tmpl)) std::abort();
    dir_ = std::string(tmpl) + "/";
    stateDirs = {dir_, dir_ + "skins/"};
    fs::create_directories(dir_ + "res");
    fs::create_directories(dir_ + "skins");
    Write("res/loading.jpg", std::string(kPictureMagic) + "loading");
    state.BaseUrl = "http://127.0.0.1:9/";  // nothing listens there
    oldSink_ = ui::SetErrorSink(
        [this](const QString&, const QString& text) { reports.push_back(text.toStdString()); });
  }
  ~SkinFormTest() override {
    form_.reset();
    main_.reset();
    ui::SetErrorSink(std::move(oldSink_));
    fs::remove_all(dir_);
  }

  TSkinFrm& Form() {
    if (!form_) {
      TSkinFrmOptions host;
      host.appDir = dir_;
      host.stateDirs = stateDirs;
      // The confirm box is the main window's; its responder answers for the user.
      main_ = std::make_unique<app::TMainForm>();
      main_->MsgDlg.responder = [this](const ui::MessageRequest& r) {
        confirms.push_back(ui::QStringToGbk(r.text));
        return confirmAnswer ? ui::mrOk : ui::mrCancel;
      };
      if (!realPictureReader)
        host.readPicture = [](const std::string& path) {
          std::ifstream in(path, std::ios::binary);
          const std::string bytes(std::istreambuf_iterator<char>(in), {});
          if (bytes.rfind(kPictureMagic, 0) != 0)
            throw std::runtime_error("Not a JPEG file: starts with 0x00 0x00");
          QImage image(40, 30, QImage::Format_RGB32);
          image.fill(Qt::darkGreen);
          return image;
        };
      if (!realDownloader) host.makeDownloader = [] { return std::make_unique<FakeDownloader>(); };
      form_ = std::make_unique<TSkinFrm>(state, std::move(host));
      QObject::connect(form_.get(), &TSkinFrm::skinContainerChosen,
                       [this](const std::string& path) {
                         loaded.push_back(path);
                         if (Read(path) == "damaged") throw std::runtime_error("compression error");
                       });
    }
    return *form_;
  }
  FakeDownloader& Img() { return static_cast<FakeDownloader&>(*Form().HttpImg); }
  FakeDownloader& Down() { return static_cast<FakeDownloader&>(*Form().HttpDownFile); }

  template <class W>
  W* Child(const char* name) {
    W* w = Form().findChild<W*>(QString::fromLatin1(name));
    EXPECT_NE(w, nullptr) << name;
    return w;
  }
  QListWidget* List() { return Child<QListWidget>("SLBox"); }
  QString Status() { return Child<QLabel>("SFStatus")->text(); }
  bool DelEnabled() { return Child<QPushButton>("SKBtnDel")->isEnabled(); }

  void Write(const std::string& relative, const std::string& bytes) {
    std::ofstream(dir_ + relative, std::ios::binary) << bytes;
  }
  std::string Read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  std::string Skins(const std::string& file) { return dir_ + "skins/" + file; }
  bool Exists(const std::string& path) { return fs::exists(path); }
  std::string Loading() { return dir_ + "res/loading.jpg"; }
  std::string SettingsPlain() {
    return text::SettingsCodec(text::JoinLinesCrLf(Read(dir_ + "settings.cfg")), false);
  }

  // Shows the window (which sends a list request) and puts a list reply in place.
  void ShowWithList(const std::string& reply) {
    Form().show();
    Form().SkinListText = reply;
    Form().FillSkinList(reply);
  }
  // Clicks list row `row` as a person would (mouse press and release on the entry).
  void ClickRow(int row) {
    QListWidgetItem* item = List()->item(row);
    ASSERT_NE(item, nullptr);
    QTest::mouseClick(List()->viewport(), Qt::LeftButton, {},
                      List()->visualItemRect(item).center());
  }
  void ClickButton(const char* name) {
    QTest::mouseClick(Child<QPushButton>(name), Qt::LeftButton);
  }

  // Runs the loop until pred holds; bounded so a broken transfer cannot hang the test.
  bool Spin(const std::function<bool()>& pred) {
    QTimer tick;
    tick.start(10);
    for (int i = 0; i < 1500 && !pred(); ++i)
      QApplication::processEvents(QEventLoop::WaitForMoreEvents);
    return pred();
  }
  bool ListRequestEnded() {
    return Form().Service->Client().State() == net::httpReady &&
           !Form().Service->Client().RcvdStream;
  }

  ui::DispatcherBridge bridge;
  app::TSharedState state;
  std::vector<std::string> reports;
  std::vector<std::string> confirms;
  std::vector<std::string> loaded;
  bool confirmAnswer = true;
  bool realPictureReader = false;
  bool realDownloader = false;
  std::string dir_;
  text::StateDirs stateDirs;

 private:
  std::unique_ptr<app::TMainForm> main_;
  std::unique_ptr<TSkinFrm> form_;
  ui::ErrorSink oldSink_;
};

TEST_F(SkinFormTest, LayoutAndControls) {
  TSkinFrm& f = Form();
  EXPECT_EQ(f.size(), QSize(531, 342));
  EXPECT_EQ(f.minimumSize(), f.maximumSize()) << "fixed size";
  EXPECT_EQ(f.windowTitle(), QStringLiteral("更换皮肤"));
  EXPECT_FALSE(f.windowFlags() & Qt::WindowMinimizeButtonHint);
  EXPECT_FALSE(f.windowFlags() & Qt::WindowMaximizeButtonHint);
  const struct {
    const char* name;
    QRect geometry;
    QString text;
  } kControls[] = {
      {"skSkinGroupBox1", QRect(0, 0, 150, 321), "可用皮肤"},
      {"skSkinGroupBox2", QRect(150, 0, 381, 321), "皮肤预览"},
      {"SKBtnApply", QRect(200, 280, 75, 25), "使用皮肤"},
      {"SKBtnDel", QRect(288, 280, 75, 25), "删除皮肤"},
  };
  for (const auto& c : kControls) {
    SCOPED_TRACE(c.name);
    QWidget* w = Child<QWidget>(c.name);
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(w->geometry(), c.geometry);
    if (auto* box = qobject_cast<QGroupBox*>(w)) {
      EXPECT_EQ(box->title(), c.text);
    }
    if (auto* button = qobject_cast<QPushButton*>(w)) {
      EXPECT_EQ(button->text(), c.text);
    }
  }
  EXPECT_EQ(Child<QLabel>("PVImg")->size(), QSize(381, 255));
  EXPECT_EQ(Child<QLabel>("PVImg")->parentWidget()->objectName(), "skSkinGroupBox2");
  EXPECT_EQ(List()->parentWidget()->objectName(), "skSkinGroupBox1");
  EXPECT_EQ(Child<QStatusBar>("skSkinStatusBar1")->geometry(), QRect(0, 321, 531, 21));
  EXPECT_EQ(Child<QLabel>("SFStatus")->size(), QSize(529, 21));
  EXPECT_TRUE(Status().isEmpty());
  EXPECT_TRUE(DelEnabled());
  EXPECT_TRUE(f.PictureSource().empty());
}

TEST_F(SkinFormTest, ListFromTheServiceWithThePreselectionStartingItsPreview) {
  service::testing::ServiceProcess service;
  service.WriteFile("skins/Charm.skn", "container");
  service.WriteFile("skins/Dark.skn", "container");
  ASSERT_TRUE(service.Start(5));
  state.BaseUrl = service.BaseUrl();
  state.SkinName = "Charm";
  Form().show();
  ASSERT_TRUE(Spin([&] { return List()->count() == 2; }));
  EXPECT_EQ(List()->item(0)->text(), QStringLiteral("Charm皮肤"));
  EXPECT_EQ(List()->item(1)->text(), QStringLiteral("Dark皮肤"));
  EXPECT_EQ(Form().SkinListText, "Charm,Dark");
  EXPECT_EQ(List()->currentRow(), 0);
  EXPECT_EQ(Form().SelSkin, "Charm");
  EXPECT_EQ(Form().PictureSource(), Loading());
  EXPECT_EQ(Img().starts, 1);
  EXPECT_EQ(Img().startedUrl,
            service.BaseUrl() + "plugins/getskin.php?action=downimg&skin_id=Charm");
  EXPECT_EQ(Img().StateFileName, Skins("Charm.jpg.stat"));
  EXPECT_EQ(Img().PartCount, 2);
  EXPECT_TRUE(Form().Cache().IsHeld(Skins("Charm.jpg.tmp")));
  EXPECT_FALSE(DelEnabled());
  EXPECT_TRUE(reports.empty());
}

TEST_F(SkinFormTest, ACachedPreviewOfThePreselectionIsShownWithoutADownload) {
  Write("skins/Charm.jpg", std::string(kPictureMagic) + "charm");
  state.SkinName = "Charm";
  ShowWithList("Charm,Dark");
  EXPECT_EQ(Form().PictureSource(), Skins("Charm.jpg"));
  EXPECT_EQ(Img().starts, 0);
}

TEST_F(SkinFormTest, UnreachableServiceListsNothingAndApplyWorksOnTheEmptyName) {
  Form().show();
  ASSERT_TRUE(Spin([&] { return ListRequestEnded(); }));
  EXPECT_EQ(List()->count(), 0);
  EXPECT_TRUE(Form().PictureSource().empty());
  EXPECT_TRUE(Status().isEmpty());
  EXPECT_TRUE(reports.empty());

  ClickButton("SKBtnApply");
  EXPECT_TRUE(reports.empty()) << reports.front();
  EXPECT_EQ(Down().startedUrl, state.BaseUrl + "plugins/getskin.php?action=downskin&skin_id=");
  EXPECT_TRUE(Exists(Skins(".skn.tmp")));
  EXPECT_EQ(SettingsPlain(), "|user");
}

TEST_F(SkinFormTest, AnEmptyReplyListsOneEntry) {
  service::testing::ServiceProcess service;
  ASSERT_TRUE(service.Start(1));
  state.BaseUrl = service.BaseUrl();
  Form().show();
  ASSERT_TRUE(Spin([&] { return List()->count() == 1; }));
  EXPECT_EQ(List()->item(0)->text(), QStringLiteral("皮肤"));
  EXPECT_EQ(Form().PictureSource(), Loading());
}

TEST_F(SkinFormTest, ANameWithABlankMakesEveryClickFailAtIndexFive) {
  ShowWithList("Dark Blue,Charm");
  ASSERT_EQ(List()->count(), 2);
  EXPECT_EQ(List()->item(0)->text(), QStringLiteral("Dark皮肤"));
  EXPECT_EQ(List()->item(1)->text(), QStringLiteral("Blue皮肤"));
  Write("skins/Charm.jpg", std::string(kPictureMagic) + "charm");
  Form().ShowPreviewPicture(*TSkinName::Make("Charm"));
  ClickRow(1);
  ASSERT_EQ(reports.size(), 1u);
  // No full stop is added after a closing parenthesis.
  EXPECT_EQ(reports[0], "List index out of bounds (5)");
  EXPECT_EQ(Form().PictureSource(), Loading()) << "the loading picture comes first";
  EXPECT_EQ(Img().starts, 0);
}

TEST_F(SkinFormTest, AListErrorWhileFillingIsDroppedAndKeepsTheEntries) {
  auto reply = [](const std::string& body) {
    return test::PeerScript{test::ExpectUntil("\r\n\r\n"), test::ExpectCount(11),
                            test::Send("HTTP/1.0 200 OK\r\nContent-Length: " +
                                       std::to_string(body.size()) + "\r\n\r\n" + body),
                            test::Close()};
  };
  test::ScriptedPeer peer({reply("Charm,Dark"), reply("\"a,b\",c")});
  state.BaseUrl = "http://127.0.0.1:" + peer.PortText() + "/";
  Form().show();
  ASSERT_TRUE(Spin([&] { return List()->count() == 2; }));
  Form().hide();
  Form().show();
  ASSERT_TRUE(Spin([&] { return Form().SkinListText == "\"a,b\",c" && ListRequestEnded(); }));
  EXPECT_TRUE(peer.Finish()) << peer.Failure();
  EXPECT_EQ(List()->count(), 2);
  EXPECT_EQ(List()->item(1)->text(), QStringLiteral("Dark皮肤"));
  EXPECT_TRUE(reports.empty()) << "an error in the reply handler is not reported";
  EXPECT_NE(peer.Received(0).find("action=list"), std::string::npos);
}

TEST_F(SkinFormTest, AListReplyOverOneMebibyteIsAFailedRequest) {
  const std::string body(kMaxSkinListBytes + 1, 'a');
  test::ScriptedPeer peer({{test::ExpectUntil("\r\n\r\n"), test::ExpectCount(11),
                            test::Send("HTTP/1.0 200 OK\r\nContent-Length: " +
                                       std::to_string(body.size()) + "\r\n\r\n" + body),
                            test::Close()}});
  state.BaseUrl = "http://127.0.0.1:" + peer.PortText() + "/";
  Form().show();
  ASSERT_TRUE(Spin([&] { return peer.AcceptedCount() == 1 && ListRequestEnded(); }));
  peer.Finish();  // the client may hang up before the whole reply is sent
  EXPECT_EQ(List()->count(), 0);
  EXPECT_TRUE(Form().SkinListText.empty());
}

TEST_F(SkinFormTest, ShowingAgainLeavesARunningListRequestAlone) {
  test::ScriptedPeer peer(
      {{test::ExpectUntil("\r\n\r\n"), test::ExpectCount(11), test::Gate(),
        test::Send("HTTP/1.0 200 OK\r\nContent-Length: 5\r\n\r\nCharm"), test::Close()}});
  state.BaseUrl = "http://127.0.0.1:" + peer.PortText() + "/";
  Form().show();
  ASSERT_TRUE(Spin([&] { return peer.Received(0).find("action=list") != std::string::npos; }));
  Form().hide();
  Form().show();
  EXPECT_TRUE(reports.empty()) << reports.front();
  peer.ReleaseGate();
  ASSERT_TRUE(Spin([&] { return List()->count() == 1; }));
  EXPECT_TRUE(peer.Finish()) << peer.Failure();
  EXPECT_EQ(peer.AcceptedCount(), 1);
}

TEST_F(SkinFormTest, ARestoreByTheWindowSystemIsNotAShowing) {
  test::ScriptedPeer peer(
      {{test::ExpectUntil("\r\n\r\n"), test::ExpectCount(11),
        test::Send("HTTP/1.0 200 OK\r\nContent-Length: 10\r\n\r\nCharm,Dark"), test::Close()}});
  state.BaseUrl = "http://127.0.0.1:" + peer.PortText() + "/";
  Form().show();
  ASSERT_TRUE(Spin([&] { return List()->count() == 2 && ListRequestEnded(); }));
  ClickRow(1);
  Form().setWindowState(Qt::WindowMinimized);
  Form().setWindowState(Qt::WindowNoState);
  EXPECT_FALSE(Form().Service->Busy()) << "no new list request";
  EXPECT_EQ(List()->currentRow(), 1);
  EXPECT_TRUE(peer.Finish()) << peer.Failure();
  EXPECT_EQ(peer.AcceptedCount(), 1);
}

TEST_F(SkinFormTest, CachedPicturesAndTheLoadingPicture) {
  Write("skins/Empty.jpg", "");
  Write("skins/Good.jpg", std::string(kPictureMagic) + "good");
  Write("skins/Bad.jpg", "garbage");
  Form().ShowPreviewPicture(*TSkinName::Make("Empty"));
  EXPECT_EQ(Form().PictureSource(), Loading()) << "a picture of size 0 is not shown";
  Form().ShowPreviewPicture(*TSkinName::Make("Good"));
  EXPECT_EQ(Form().PictureSource(), Skins("Good.jpg"));
  EXPECT_FALSE(Child<QLabel>("PVImg")->pixmap().isNull());
  EXPECT_THROW(Form().ShowPreviewPicture(*TSkinName::Make("Bad")), std::runtime_error);
  EXPECT_EQ(Form().PictureSource(), Skins("Good.jpg")) << "a picture that fails is not shown";
}

TEST_F(SkinFormTest, AMissingLoadingPictureIsReportedFromAClick) {
  ShowWithList("Charm,Dark");
  fs::remove(Loading());
  ClickRow(0);
  ASSERT_EQ(reports.size(), 1u);
  EXPECT_EQ(reports[0].rfind("Cannot open file \"" + Loading() + "\". ", 0), 0u) << reports[0];
}

TEST_F(SkinFormTest, APreviewWithoutDataSaysSoAndIsTriedAgain) {
  ShowWithList("Charm,Dark");
  ClickRow(1);
  ASSERT_EQ(Img().starts, 1);
  EXPECT_EQ(Form().SelSkin, "Dark");
  Img().Finish(3, "");
  EXPECT_EQ(Status(), QStringLiteral("预览图文件【Dark】不存在"));
  EXPECT_TRUE(Exists(Skins("Dark.jpg.tmp")));
  EXPECT_FALSE(Exists(Skins("Dark.jpg")));
  EXPECT_FALSE(Form().Cache().IsHeld(Skins("Dark.jpg.tmp")));
  ClickRow(1);
  EXPECT_EQ(Img().starts, 2);
}

TEST_F(SkinFormTest, AFinishedPreviewEntersTheCacheAndIsShown) {
  ShowWithList("Charm,Dark");
  ClickRow(1);
  Img().Finish(200, std::string(kPictureMagic) + "dark");
  EXPECT_TRUE(Exists(Skins("Dark.jpg")));
  EXPECT_FALSE(Exists(Skins("Dark.jpg.tmp")));
  EXPECT_EQ(Form().PictureSource(), Skins("Dark.jpg"));
  ClickRow(0);
  ClickRow(1);
  EXPECT_EQ(Img().starts, 2) << "only Charm was fetched again, Dark came from the cache";
  EXPECT_TRUE(Status().isEmpty());
}

TEST_F(SkinFormTest, SelectingTheEntryWhosePreviewDownloadsStartsNothing) {
  ShowWithList("Charm,Dark");
  ClickRow(1);
  ClickRow(1);
  EXPECT_EQ(Img().starts, 1);
  EXPECT_TRUE(reports.empty());
}

TEST_F(SkinFormTest, AReplacedPreviewTransferHasItsFileClosed) {
  ShowWithList("Charm,Dark");
  ClickRow(1);
  ClickRow(0);
  EXPECT_EQ(Img().starts, 2);
  EXPECT_FALSE(Form().Cache().IsFileLocked(Skins("Dark.jpg.tmp")));
  EXPECT_TRUE(Form().Cache().IsFileLocked(Skins("Charm.jpg.tmp")));
  EXPECT_EQ(Form().PictureTransferSkin(), "Charm");
  // Dark's download may start again now that its file is free.
  ClickRow(1);
  EXPECT_EQ(Img().starts, 3);
}

TEST_F(SkinFormTest, APreviewOfAnotherSkinIsCachedButNotShown) {
  Write("skins/Charm.jpg", std::string(kPictureMagic) + "charm");
  ShowWithList("Charm,Dark");
  ClickRow(1);  // Dark's download starts
  // Its completion arrives while Charm (cached) is selected: Dark is cached, Charm stays shown.
  FakeDownloader& img = Img();
  ClickRow(0);
  img.Finish(200, std::string(kPictureMagic) + "dark");
  EXPECT_TRUE(Exists(Skins("Dark.jpg")));
  EXPECT_EQ(Form().PictureSource(), Skins("Charm.jpg"));
}

TEST_F(SkinFormTest, ApplyingACachedSkinLoadsItAndWritesOneSettingsLine) {
  Write("skins/Charm.skn", "container");
  Write("settings.cfg", "old line\r\nanother\r\n");
  ShowWithList("Charm,Dark");
  ClickRow(0);
  EXPECT_TRUE(DelEnabled());
  ClickButton("SKBtnApply");
  ASSERT_EQ(loaded.size(), 1u);
  EXPECT_EQ(loaded[0], Skins("Charm.skn"));
  const std::string file = Read(dir_ + "settings.cfg");
  EXPECT_EQ(file.size(), 120u) << "one line of 118 characters and CR LF";
  EXPECT_EQ(file.find("\r\n"), 118u);
  EXPECT_EQ(SettingsPlain(), "Charm|user");
  EXPECT_EQ(Down().starts, 0);
}

TEST_F(SkinFormTest, StateFoldersAwayFromTheProgramAreMadeWhenFirstWritten) {
  stateDirs = {dir_ + "home/cfg/qelo/", dir_ + "home/data/qelo/skins/"};
  ShowWithList("Charm,Dark");
  ClickRow(1);
  Img().Finish(200, std::string(kPictureMagic) + "dark");
  ClickButton("SKBtnApply");
  Down().Finish(200, "container");
  EXPECT_TRUE(reports.empty()) << reports.front();
  for (const char* file : {"Dark.jpg", "Dark.skn"})
    EXPECT_TRUE(Exists(stateDirs.skins + file)) << file;
  EXPECT_EQ(loaded, std::vector<std::string>{stateDirs.skins + "Dark.skn"});
  EXPECT_TRUE(Exists(stateDirs.config + "settings.cfg"));
  EXPECT_TRUE(fs::is_empty(dir_ + "skins"));
  EXPECT_FALSE(Exists(dir_ + "settings.cfg"));
}

TEST_F(SkinFormTest, DoubleClickApplies) {
  Write("skins/Dark.skn", "container");
  ShowWithList("Charm,Dark");
  // A person's double click is a click, then the second press that makes it double.
  ClickRow(1);
  const QRect r = List()->visualItemRect(List()->item(1));
  QTest::mouseDClick(List()->viewport(), Qt::LeftButton, {}, r.center());
  ASSERT_FALSE(loaded.empty());
  EXPECT_EQ(loaded.back(), Skins("Dark.skn"));
  EXPECT_EQ(SettingsPlain(), "Dark|user");
}

TEST_F(SkinFormTest, ADownloadedSkinIsAppliedUnderItsOwnNameAfterTheSelectionMoved) {
  ShowWithList("Charm,Dark,Light");
  ClickRow(1);
  ClickButton("SKBtnApply");
  ASSERT_EQ(Down().starts, 1);
  EXPECT_EQ(Down().startedUrl, state.BaseUrl + "plugins/getskin.php?action=downskin&skin_id=Dark");
  EXPECT_EQ(Down().StateFileName, Skins("Dark.skn.stat"));
  EXPECT_EQ(SettingsPlain(), "Dark|user") << "recorded as soon as the download starts";
  // A stale partial container of Light must not be taken for the finished download.
  Write("skins/Light.skn.tmp", "partial");
  ClickRow(2);
  Down().Finish(200, "dark container");
  EXPECT_EQ(Read(Skins("Dark.skn")), "dark container");
  EXPECT_FALSE(Exists(Skins("Light.skn")));
  ASSERT_EQ(loaded.size(), 1u);
  EXPECT_EQ(loaded[0], Skins("Dark.skn"));
  EXPECT_EQ(Form().SelSkin, "Light");
}

TEST_F(SkinFormTest, ACachedSkinAppliedDuringADownloadStaysInForce) {
  Write("skins/Charm.skn", "container");
  ShowWithList("Charm,Dark");
  ClickRow(1);
  ClickButton("SKBtnApply");
  ClickRow(0);
  ClickButton("SKBtnApply");
  ASSERT_EQ(loaded.size(), 1u);
  EXPECT_EQ(loaded[0], Skins("Charm.skn"));
  Down().Finish(200, "dark container");
  EXPECT_TRUE(Exists(Skins("Dark.skn"))) << "the finished download is cached";
  EXPECT_EQ(loaded.size(), 1u) << "but not applied over the later choice";
  EXPECT_EQ(SettingsPlain(), "Charm|user");
}

TEST_F(SkinFormTest, AFailedReapplyLeavesNothingToPutOnLater) {
  Write("skins/Charm.skn", "container");
  ShowWithList("Charm,Dark");
  ClickRow(1);
  ClickButton("SKBtnApply");  // Dark downloads
  ClickRow(0);
  ClickButton("SKBtnApply");  // Charm is put on and recorded
  ClickRow(1);
  ClickButton("SKBtnApply");  // Dark again: its ".tmp" is held, so this apply fails
  ASSERT_EQ(reports.size(), 1u);
  Down().Finish(200, "dark container");
  EXPECT_EQ(loaded, std::vector<std::string>{Skins("Charm.skn")});
  EXPECT_EQ(SettingsPlain(), "Charm|user");
}

TEST_F(SkinFormTest, AGivenUpDownloadNeverEntersTheCache) {
  const struct {
    int code;
    std::string bytes;
  } kCases[] = {{3, ""}, {404, ""}, {10061, "half a contai"}, {200, ""}};
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.code);
    ShowWithList("Charm,Dark");
    ClickRow(1);
    ClickButton("SKBtnApply");
    Down().Finish(c.code, c.bytes);
    EXPECT_FALSE(Exists(Skins("Dark.skn")));
    EXPECT_EQ(Read(Skins("Dark.skn.tmp")), c.bytes) << "the .tmp stays as it was left";
    EXPECT_TRUE(loaded.empty());
    EXPECT_EQ(Status(), QStringLiteral("皮肤文件【Dark】不存在"));
    EXPECT_FALSE(Form().Cache().IsHeld(Skins("Dark.skn.tmp")));
  }
  EXPECT_TRUE(reports.empty());
}

TEST_F(SkinFormTest, ApplyingTheSameSkinWhileItDownloadsFailsToCreateItsFile) {
  ShowWithList("Charm,Dark");
  ClickRow(1);
  ClickButton("SKBtnApply");
  Down().startedStream->WriteBuffer("partial", 7);
  Down().total = 7;
  fs::remove(dir_ + "settings.cfg");
  ClickButton("SKBtnApply");
  ASSERT_EQ(reports.size(), 1u);
  EXPECT_EQ(reports[0].rfind("Cannot create file \"" + Skins("Dark.skn.tmp") + "\". ", 0), 0u)
      << reports[0];
  EXPECT_FALSE(Exists(dir_ + "settings.cfg")) << "not written after a failed apply";
  EXPECT_EQ(Read(Skins("Dark.skn.tmp")), "partial") << "the running transfer's file is intact";
  EXPECT_EQ(Down().starts, 1);
  Down().Finish(200, "");
  EXPECT_EQ(Read(Skins("Dark.skn")), "partial");
}

TEST_F(SkinFormTest, AStartThatFailsIsSwallowed) {
  ShowWithList("Charm,Dark");
  Img().failStart = true;
  ClickRow(1);
  EXPECT_TRUE(reports.empty());
  EXPECT_TRUE(Exists(Skins("Dark.jpg.tmp")));
  EXPECT_FALSE(Form().Cache().IsHeld(Skins("Dark.jpg.tmp")));
  EXPECT_EQ(Img().FileStream, nullptr);
}

TEST_F(SkinFormTest, UnsafeNamesAreListedButNeverUsed) {
  const std::string kNames[] = {"../evil", "a\\..\\b", "x&action=list", "p%2e%2e", "q#r", "\xffx"};
  for (const std::string& name : kNames) {
    SCOPED_TRACE(name);
    ShowWithList(name + ",Charm");
    ASSERT_EQ(List()->count(), 2);
    const int startsBefore = Img().starts;
    Child<QLabel>("SFStatus")->clear();
    ClickRow(0);
    EXPECT_TRUE(reports.empty()) << reports.front();
    EXPECT_EQ(Form().SelSkin, name);
    EXPECT_EQ(Img().starts, startsBefore);
    EXPECT_FALSE(Status().isEmpty());
    EXPECT_FALSE(DelEnabled());
    ClickButton("SKBtnApply");
    EXPECT_EQ(Down().starts, 0);
    EXPECT_TRUE(loaded.empty());
    EXPECT_FALSE(Exists(dir_ + "settings.cfg"));
    ClickButton("SKBtnDel");
    EXPECT_TRUE(confirms.empty());
  }
  // Nothing was written anywhere but where it belongs.
  for (const auto& entry : fs::recursive_directory_iterator(dir_)) {
    const std::string path = entry.path().string();
    EXPECT_TRUE(path == dir_ + "res" || path == Loading() || path == dir_ + "skins") << path;
  }
}

TEST_F(SkinFormTest, AChineseNameGoesOutAsRawGbk) {
  const std::string name = G("蓝色");
  ShowWithList(name + ",Charm");
  EXPECT_EQ(List()->item(0)->text(), QStringLiteral("蓝色皮肤"));
  ClickRow(0);
  EXPECT_EQ(Img().startedUrl, state.BaseUrl + "plugins/getskin.php?action=downimg&skin_id=" + name);
  EXPECT_TRUE(Exists(Skins("蓝色.jpg.tmp"))) << "the file name is UTF-8";
}

TEST_F(SkinFormTest, DeleteRemovesOnlyTheContainer) {
  Write("skins/Charm.skn", "container");
  Write("skins/Charm.jpg", std::string(kPictureMagic) + "charm");
  ShowWithList("Charm,Dark");
  ClickRow(0);
  ClickButton("SKBtnApply");
  const std::string settings = Read(dir_ + "settings.cfg");
  confirmAnswer = false;
  ClickButton("SKBtnDel");
  EXPECT_TRUE(Exists(Skins("Charm.skn")));
  confirmAnswer = true;
  ClickButton("SKBtnDel");
  ASSERT_EQ(confirms.size(), 2u);
  EXPECT_EQ(confirms[0], G("确认删除此皮肤？"));
  EXPECT_FALSE(Exists(Skins("Charm.skn")));
  EXPECT_TRUE(Exists(Skins("Charm.jpg")));
  EXPECT_TRUE(DelEnabled()) << "the button keeps its state";
  EXPECT_EQ(Form().SelSkin, "Charm");
  EXPECT_EQ(Read(dir_ + "settings.cfg"), settings);
  EXPECT_EQ(loaded.size(), 1u);
  EXPECT_TRUE(reports.empty());
}

TEST_F(SkinFormTest, ReopeningPreselectsTheSkinInForceAtStartUp) {
  service::testing::ServiceProcess service;
  service.WriteFile("skins/Charm.skn", "container");
  service.WriteFile("skins/Dark.skn", "container");
  ASSERT_TRUE(service.Start(1));
  state.BaseUrl = service.BaseUrl();
  state.SkinName = "Charm";
  Write("skins/Dark.skn", "container");
  Write("skins/Charm.jpg", std::string(kPictureMagic) + "charm");
  Form().show();
  ASSERT_TRUE(Spin([&] { return List()->count() == 2; }));
  ClickRow(1);
  ClickButton("SKBtnApply");
  EXPECT_EQ(SettingsPlain(), "Dark|user");
  Form().hide();
  List()->clearSelection();
  Form().show();
  ASSERT_TRUE(Spin([&] { return ListRequestEnded() && List()->currentRow() == 0; }));
  EXPECT_EQ(Form().SelSkin, "Charm");
  EXPECT_EQ(Form().PictureSource(), Skins("Charm.jpg"));
  EXPECT_EQ(state.SkinName, "Charm") << "the window never writes SkinName";
}

TEST_F(SkinFormTest, ADamagedCachedContainerIsReportedAndNotRecorded) {
  Write("skins/Charm.skn", "damaged");
  ShowWithList("Charm,Dark");
  ClickRow(0);
  ClickButton("SKBtnApply");
  ASSERT_EQ(reports.size(), 1u);
  EXPECT_EQ(reports[0], "compression error.");
  EXPECT_FALSE(Exists(dir_ + "settings.cfg"));
}

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

TEST_F(SkinFormTest, RealPicturesAndDamagedOrHugeOnes) {
  realPictureReader = true;
  const std::string jpeg = ReadAll(QELO_LOADING_JPG);
  ASSERT_GT(jpeg.size(), 0xa7u);
  ASSERT_EQ(jpeg.substr(0x9e, 2), "\xff\xc0") << "the frame header sits where the test expects";
  Write("res/loading.jpg", jpeg);
  Write("skins/Good.jpg", jpeg);
  Form().ShowPreviewPicture(*TSkinName::Make("Good"));
  EXPECT_EQ(Form().PictureSource(), Skins("Good.jpg"));
  EXPECT_EQ(Child<QLabel>("PVImg")->pixmap().size(), QSize(160, 120));

  std::string huge = jpeg;
  huge.replace(0xa3, 4, "\xff\xff\xff\xff");  // 65535 x 65535
  const struct {
    const char* what;
    std::string bytes;
  } kCases[] = {
      {"truncated", jpeg.substr(0, jpeg.size() / 2)},
      {"header only", jpeg.substr(0, 0xb0)},
      {"not a JPEG", std::string(500, 'x')},
      {"huge", huge},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.what);
    reports.clear();
    Write("skins/Charm.jpg", c.bytes);
    ShowWithList("Charm,Dark");
    ClickRow(0);
    ASSERT_EQ(reports.size(), 1u) << "the reader's error goes to the report";
    EXPECT_FALSE(reports[0].empty());
    EXPECT_EQ(Form().PictureSource(), Loading()) << "the loading picture stays";
  }
}

TEST_F(SkinFormTest, PreviewsAndContainersComeFromTheServiceIntoTheCache) {
  realPictureReader = true;
  realDownloader = true;
  const std::string jpeg = ReadAll(QELO_LOADING_JPG);
  std::string container;
  for (int i = 0; i < 5000; ++i)
    container.push_back(static_cast<char>(i * 7));
  service::testing::ServiceProcess service;
  service.WriteFile("skins/Charm.skn", "charm container");
  service.WriteFile("skins/Charm.jpg", jpeg);
  service.WriteFile("skins/Dark.skn", container);
  service.WriteFile("skins/Huge.skn", "huge container");
  service.WriteFile("skins/Huge.jpg", std::string(kMaxPictureTransfer + 1, 'x'));
  ASSERT_TRUE(service.Start(1));
  Write("res/loading.jpg", jpeg);
  state.BaseUrl = service.BaseUrl();
  state.SkinName = "Charm";

  Form().show();
  ASSERT_TRUE(Spin([&] { return Form().PictureSource() == Skins("Charm.jpg"); }));
  EXPECT_EQ(ReadAll(Skins("Charm.jpg")), jpeg);
  EXPECT_FALSE(Exists(Skins("Charm.jpg.tmp")));
  EXPECT_FALSE(Exists(Skins("Charm.jpg.stat"))) << "no state file is written";

  ClickRow(1);  // Dark has no preview on the service
  ASSERT_TRUE(Spin([&] { return !Status().isEmpty(); }));
  EXPECT_EQ(Status(), QStringLiteral("预览图文件【Dark】不存在"));
  EXPECT_EQ(Form().PictureSource(), Loading());

  ClickButton("SKBtnApply");
  ASSERT_TRUE(Spin([&] { return !loaded.empty(); }));
  EXPECT_EQ(loaded, std::vector<std::string>{Skins("Dark.skn")});
  EXPECT_EQ(ReadAll(Skins("Dark.skn")), container);
  EXPECT_FALSE(Exists(Skins("Dark.skn.tmp")));
  EXPECT_EQ(SettingsPlain(), "Dark|user");
  EXPECT_TRUE(reports.empty()) << reports.front();
  EXPECT_EQ(Form().Cache().HeldCount(), 0u);

  // A picture past what a preview may be is stopped and never enters the cache.
  int huge = -1;
  for (int i = 0; i < List()->count(); ++i)
    if (List()->item(i)->text() == QStringLiteral("Huge皮肤")) huge = i;
  ASSERT_GE(huge, 0);
  ClickRow(huge);
  ASSERT_TRUE(Spin([&] { return Status() == QStringLiteral("预览图文件【Huge】不存在"); }));
  EXPECT_FALSE(Exists(Skins("Huge.jpg")));
  EXPECT_EQ(Form().Cache().HeldCount(), 0u);
}

// The builder's demo skins, served by the service, applied into a real skin holder.
TEST_F(SkinFormTest, DemoSkinsFromTheServiceAreShownAppliedAndDeleted) {
  realPictureReader = true;
  realDownloader = true;
  service::testing::ServiceProcess service;
  for (const auto& entry : fs::directory_iterator(QELO_DEMO_SKINS_DIR))
    fs::copy_file(entry.path(), service.SkinsDir() + "/" + entry.path().filename().string());
  ASSERT_TRUE(service.Start(1));
  Write("res/loading.jpg", ReadAll(QELO_LOADING_JPG));
  state.BaseUrl = service.BaseUrl();
  state.SkinName = "Charm";
  TskSkinData holder;
  // The fixture's loader records the path; this one puts the skin on for real.
  TSkinFrmOptions host;
  host.appDir = dir_;
  host.stateDirs = stateDirs;
  app::TMainForm main;
  main.MsgDlg.responder = [](const ui::MessageRequest&) { return ui::mrOk; };
  TSkinFrm form(state, std::move(host));
  QObject::connect(&form, &TSkinFrm::skinContainerChosen, [&](const std::string& path) {
    loaded.push_back(path);
    holder.LoadContainerFile(path);
  });
  auto* list = form.findChild<QListWidget*>(QStringLiteral("SLBox"));
  auto* picture = form.findChild<QLabel*>(QStringLiteral("PVImg"));
  auto* apply = form.findChild<QPushButton*>(QStringLiteral("SKBtnApply"));
  auto* del = form.findChild<QPushButton*>(QStringLiteral("SKBtnDel"));
  ASSERT_TRUE(list && picture && apply && del);

  form.show();
  ASSERT_TRUE(Spin([&] { return form.PictureSource() == Skins("Charm.jpg"); }));
  ASSERT_EQ(list->count(), 5);
  EXPECT_EQ(list->currentRow(), 0);
  EXPECT_FALSE(picture->pixmap().isNull());

  const std::string cherry = "樱花";  // cache file names are UTF-8
  int cherryRow = -1;
  for (int i = 0; i < list->count(); ++i)
    if (list->item(i)->text() == QStringLiteral("樱花皮肤")) cherryRow = i;
  ASSERT_GE(cherryRow, 0);
  QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                    list->visualItemRect(list->item(cherryRow)).center());
  ASSERT_TRUE(Spin([&] { return form.PictureSource() == Skins(cherry + ".jpg"); }));
  EXPECT_EQ(ReadAll(Skins(cherry + ".jpg")),
            ReadAll(std::string(QELO_DEMO_SKINS_DIR) + "/樱花.jpg"));

  QTest::mouseClick(apply, Qt::LeftButton);
  ASSERT_TRUE(Spin([&] { return !loaded.empty(); }));
  EXPECT_EQ(loaded.back(), Skins(cherry + ".skn"));
  EXPECT_EQ(holder.LastLoad(), TLoadOutcome::Loaded);
  EXPECT_FALSE(holder.Empty());
  EXPECT_EQ(SettingsPlain(), G("樱花") + "|user");

  // Selecting it again finds its container cached; deleting it keeps the skin in force.
  QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                    list->visualItemRect(list->item(cherryRow)).center());
  EXPECT_TRUE(del->isEnabled());
  QTest::mouseClick(del, Qt::LeftButton);
  EXPECT_FALSE(Exists(Skins(cherry + ".skn")));
  EXPECT_FALSE(holder.Empty());
  EXPECT_TRUE(reports.empty()) << reports.front();
}

}  // namespace
}  // namespace qelo::skin
