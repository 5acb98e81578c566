// Entry point of the client: the application object, the windows in their fixed order, the
// message loop until the main window closes. The browser engine comes after the main window's
// first paint (client/late_web_views.h).
//
// Start-up timing: with QELO_EXIT_WHEN_SHOWN=1 in the environment the client reports once its
// main window has been painted for the first time, and quits (ui/exit_when_shown.h). With
// QELO_EXIT_WHEN_SHOWN=ready it reports that and goes on until the engine has loaded the pop-up
// sink's blank page, reports "web engine ready" the same way, and quits.
#include <cstdlib>
#include <string>

#include "app/main_form.h"
#include "client/late_web_views.h"
#include "client/startup.h"
#include "preview/wb_form.h"
#include "ui/application.h"
#include "ui/dispatcher_bridge.h"
#include "ui/exit_when_shown.h"
#include "ui/web_view.h"

namespace {

using qelo::ui::StartupClock;

// Reports and quits once the sink's first document is complete.
void ReportEngineReady(qelo::app::TWindows& windows, StartupClock::time_point mainStart) {
  auto* sink = windows.Preview().findChild<qelo::ui::TWebView*>(QStringLiteral("WbNoAd"));
  if (!sink) return;
  sink->OnDocumentComplete = [mainStart](qelo::ui::TWebView*, const std::string&) {
    qelo::ui::ReportStartupPoint("web engine ready", mainStart);
    QCoreApplication::quit();
  };
}

}  // namespace

int main(int argc, char** argv) {
  const auto mainStart = StartupClock::now();
  qelo::ui::TApplication app(argc, argv);
  qelo::ui::DispatcherBridge bridge;
  qelo::app::TWindows windows;
  windows.ShowMain();
  const char* timingVar = std::getenv("QELO_EXIT_WHEN_SHOWN");
  const std::string timing = timingVar ? timingVar : "";
  QWindow& mainWindow = *windows.Main().windowHandle();
  qelo::app::CreateWebViewsAfterFirstPaint(windows, [&windows, timing, mainStart] {
    if (timing == "ready") ReportEngineReady(windows, mainStart);
  });
  // Installed last, so it sees the first paint first.
  if (timing == "1" || timing == "ready")
    qelo::ui::ReportFirstPaint(mainWindow, mainStart, timing == "1");
  return app.exec();
}
