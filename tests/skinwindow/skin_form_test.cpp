// The skin window: layout, the list and the preview pictures.
#include "skinwindow/skin_form_fixture.h"

namespace qelo::skin {
namespace {

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

}  // namespace
}  // namespace qelo::skin
