// qelo-state-probe: the client's windows, started as the client starts them, with the skin
// window driven as a person would: it lists the demo skins of a real qelo-service (started here
// on a free port), previews one and applies another. The state folders are whatever this process
// decides from the folder it runs in, HOME and XDG_*; it prints them and ends with status 0 once
// settings.cfg and the cached container have been written, 1 otherwise.
#include <QApplication>
#include <QListWidget>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>

#include "app/main_form.h"
#include "client/startup.h"
#include "service/service_process.h"
#include "skinwindow/skin_form.h"
#include "text/state_dirs.h"
#include "ui/application.h"
#include "ui/dispatcher_bridge.h"

namespace fs = std::filesystem;

namespace {

// Runs the loop until pred holds, for at most about 30 seconds.
bool Spin(const std::function<bool()>& pred) {
  QTimer tick;
  tick.start(10);
  for (int i = 0; i < 3000 && !pred(); ++i)
    QApplication::processEvents(QEventLoop::WaitForMoreEvents);
  return pred();
}

int Fail(const char* what) {
  std::fprintf(stderr, "qelo-state-probe: %s\n", what);
  return 1;
}

int Drive(qelo::skin::TSkinFrm& skin, const qelo::text::StateDirs& dirs) {
  skin.show();
  auto* list = skin.findChild<QListWidget*>(QStringLiteral("SLBox"));
  if (!list || !Spin([&] { return list->count() > 1; })) return Fail("no skin list");
  if (!Spin([&] { return fs::exists(dirs.skins + "Charm.jpg"); }))
    return Fail("the preselected skin's picture was not cached");
  // A demo skin other than the one in force, with a plain ASCII name.
  std::string chosen;
  for (int row = 0; row < list->count() && chosen.empty(); ++row) {
    list->setCurrentRow(row);
    skin.SLBoxListBoxClick();
    const std::string& name = skin.SelSkin;
    if (name != "Charm" && std::all_of(name.begin(), name.end(), [](char c) { return c > 32; }))
      chosen = name;
  }
  if (chosen.empty()) return Fail("no skin to apply");
  skin.SKBtnApplyClick();
  if (!Spin([&] { return fs::exists(dirs.skins + chosen + ".skn"); }))
    return Fail("the applied skin's container was not cached");
  if (!fs::exists(dirs.config + "settings.cfg")) return Fail("settings.cfg was not written");
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  qelo::ui::TApplication app(argc, argv);
  qelo::ui::DispatcherBridge bridge;
  qelo::service::testing::ServiceProcess service;
  for (const auto& entry : fs::directory_iterator(QELO_DEMO_SKINS_DIR))
    fs::copy_file(entry.path(), fs::path(service.SkinsDir()) / entry.path().filename());
  if (!service.Start(1)) return Fail("the service did not start");

  const qelo::text::StateDirs& dirs = qelo::text::ProcessStateDirs();
  std::printf("config %s\nskins %s\n", dirs.config.c_str(), dirs.skins.c_str());
  qelo::app::TWindows windows;
  windows.Main().BaseUrl = service.BaseUrl();
  windows.ShowMain();
  return Drive(windows.Skin(), dirs);
}
