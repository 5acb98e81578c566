// The application's two message boxes, shown through the main window's message component (so a
// test's responder answers them) or through a plain one while no main window exists. Every window
// includes this header rather than the main window's. text is GBK.
#pragma once

#include <string>

namespace qelo::app {

void InfoBox(const std::string& text);
// True when "确定" was chosen.
bool ConfirmBox(const std::string& text);

}  // namespace qelo::app
