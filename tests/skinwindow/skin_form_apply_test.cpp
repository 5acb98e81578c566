// The skin window: applying, deleting and the real service.
#include "skinwindow/skin_form_fixture.h"

namespace qelo::skin {
namespace {

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
