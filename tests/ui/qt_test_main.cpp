// main() of the Qt test programs: an offscreen application object around the test run.
#include <gtest/gtest.h>

#include <cstdlib>

#include "ui/application.h"

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  testing::InitGoogleTest(&argc, argv);
  qelo::ui::TApplication app(argc, argv);
  return RUN_ALL_TESTS();
}
