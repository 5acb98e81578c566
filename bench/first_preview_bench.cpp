// The first preview of a fresh client: one process, the windows started as the client starts
// them, a qelo-service on loopback with its demo index. Prints, in milliseconds from the start
// of main():
//   engine_ready_ms   the pop-up sink's blank page loaded (the browser engine is up)
//   first_preview_ms  from the double click on the first result, made once the engine is up, to
//                     the result's page shown in place of the loading page
// Run it several times, interleaved with another build's, and take medians. The platform is
// the environment's (QT_QPA_PLATFORM, DISPLAY); the engine's sandbox is off as root.
#include <unistd.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeView>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>

#include "app/main_form.h"
#include "client/startup.h"
#include "preview/wb_form.h"
#include "service/service_process.h"
#include "ui/application.h"
#include "ui/dispatcher_bridge.h"
#include "ui/web_view.h"
#if __has_include("client/late_web_views.h")
#include "client/late_web_views.h"
#define QELO_LATE_WEB_VIEWS 1
#endif

namespace {

using Clock = std::chrono::steady_clock;

bool Spin(const std::function<bool()>& pred, int ms = 60000) {
  QElapsedTimer clock;
  clock.start();
  while (!pred() && clock.elapsed() < ms)
    QApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
  return pred();
}

double MsSince(Clock::time_point from) {
  return std::chrono::duration<double, std::milli>(Clock::now() - from).count();
}

template <class W>
W* Find(QWidget& window, const char* name) {
  return window.findChild<W*>(QString::fromLatin1(name));
}

}  // namespace

int main(int argc, char** argv) {
  const Clock::time_point start = Clock::now();
  if (geteuid() == 0) setenv("QTWEBENGINE_DISABLE_SANDBOX", "1", 0);
  qelo::service::testing::ServiceProcess service;
  if (!service.Start(2000)) {
    std::fprintf(stderr, "first_preview_bench: the service did not start\n");
    return 1;
  }
  qelo::ui::TApplication app(argc, argv);
#ifdef QELO_LATE_WEB_VIEWS
  qelo::ui::SetWebViewModulePath(QELO_WEB_VIEW_MODULE);
#endif
  qelo::ui::DispatcherBridge bridge;
  qelo::app::TWindows windows;
  qelo::app::TMainForm& main = windows.Main();
  qelo::app::TWBForm& preview = windows.Preview();
  main.BaseUrl = service.BaseUrl();
  windows.ShowMain();
#ifdef QELO_LATE_WEB_VIEWS
  qelo::app::CreateWebViewsAfterFirstPaint(windows);
#endif

  bool ready = false;
  double readyMs = 0;
  if (!Spin([&] { return Find<qelo::ui::TWebView>(preview, "WbNoAd") != nullptr; })) return 1;
  Find<qelo::ui::TWebView>(preview, "WbNoAd")->OnDocumentComplete = [&](qelo::ui::TWebView*,
                                                                        const std::string&) {
    if (!ready) readyMs = MsSince(start);
    ready = true;
  };
  if (!Spin([&] { return ready; })) return 1;

  Find<QLineEdit>(main, "ed_word")->setText(QStringLiteral("教程"));
  main.btn_searchClick();
  QTreeView* list = Find<QTreeView>(main, "lv1");
  if (!Spin([&] { return Find<QPushButton>(main, "btn_search")->isEnabled(); }) ||
      list->model()->rowCount() == 0)
    return 1;
  list->selectionModel()->select(list->model()->index(0, 0),
                                 QItemSelectionModel::Select | QItemSelectionModel::Rows);
  main.activateWindow();
  Spin([&] { return QApplication::activeWindow() == &main; }, 2000);

  const Clock::time_point click = Clock::now();
  main.lv1DblClick();
  auto* wb1 = Find<qelo::ui::TWebView>(preview, "wb1");
  auto* load = Find<qelo::ui::TWebView>(preview, "wb_load");
  if (!Spin([&] {
        return wb1->isVisible() && !load->isVisible() && wb1->LocationURL() == main.PreviewUrl;
      }))
    return 1;
  std::printf("engine_ready_ms=%.1f first_preview_ms=%.1f\n", readyMs, MsSince(click));
  return 0;
}
