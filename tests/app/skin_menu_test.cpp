// The skin window in the start-up order and behind the main menu's skin entry.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QTimer>

#include "app/main_form.h"
#include "app/ver_form.h"
#include "client/startup.h"
#include "skinwindow/skin_form.h"
#include "ui/dispatcher_bridge.h"

namespace qelo::app {
namespace {

TEST(SkinMenu, TheSkinEntryShowsTheSkinWindowModally) {
  ui::DispatcherBridge bridge;
  {
    TWindows windows;
    ASSERT_NE(skin::SkinFrm, nullptr);
    EXPECT_EQ(skin::SkinFrm->parentWidget(), MainForm);
    windows.ShowMain();
    EXPECT_FALSE(skin::SkinFrm->isVisible());

    auto* entry = MainForm->findChild<QAction*>(QStringLiteral("N1"));
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(entry->text(), QStringLiteral("更换皮肤(&C)"));
    // Closes the window once it is up; bounded, so a window that never shows cannot hang here.
    bool sawModal = false;
    int ticks = 0;
    QTimer closer;
    QObject::connect(&closer, &QTimer::timeout, [&] {
      if (skin::SkinFrm->isVisible()) {
        sawModal = skin::SkinFrm->isModal() && QApplication::activeModalWidget() == skin::SkinFrm;
        skin::SkinFrm->reject();
      } else if (++ticks > 500) {
        closer.stop();
      }
    });
    closer.start(10);
    entry->trigger();
    closer.stop();
    EXPECT_TRUE(sawModal);
    EXPECT_FALSE(skin::SkinFrm->isVisible());
  }
  EXPECT_EQ(skin::SkinFrm, nullptr);
  EXPECT_EQ(MainForm, nullptr);
}

}  // namespace
}  // namespace qelo::app
