// The browser engine after the main window's first paint: the web view module loads on a turn of
// the event loop after that paint, and the preview window's web views are created on the next,
// so the main window never waits for the engine. A preview asked for before then
// creates the views itself (TWBForm::CreateViews). Header-only: the client and the tests that
// start the windows as the client does share it.
#pragma once

#include <QTimer>
#include <functional>
#include <utility>

#include "app/main_form.h"
#include "client/startup.h"
#include "preview/wb_form.h"
#include "ui/error_report.h"
#include "ui/first_paint.h"
#include "ui/web_view.h"

namespace qelo::app {

// windows' main window must have its platform window (ShowMain made it). created runs once the
// views exist. A module that cannot be loaded is reported here, once.
inline void CreateWebViewsAfterFirstPaint(TWindows& windows,
                                          std::function<void()> created = nullptr) {
  new ui::AfterFirstPaint(  // owned by the main window
      *windows.Main().windowHandle(), [&windows, created = std::move(created)] {
        // One more turn, so that whatever else waited for the first paint comes first.
        QTimer::singleShot(0, &windows.Preview(), [&windows, created] {
          ui::Guarded([] { ui::LoadWebViewModule(); });
          QTimer::singleShot(0, &windows.Preview(), [&windows, created] {
            windows.Preview().CreateViews();
            if (created) created();
          });
        });
      });
}

}  // namespace qelo::app
