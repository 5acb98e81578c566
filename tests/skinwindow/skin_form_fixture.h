// The skin window's test fixture: a window over a temporary program folder, fake downloaders the
// test finishes by hand, a scripted list service, and the reports and boxes it records.
#pragma once

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

namespace fs = std::filesystem;

inline std::string G(const char* utf8) {
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

inline std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

}  // namespace qelo::skin
