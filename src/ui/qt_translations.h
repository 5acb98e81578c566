// Qt's own texts in Chinese: the standard buttons of message boxes and dialogs ("OK", "Cancel",
// "Yes", "No"), the edit context menus and the web view's menus come from Qt's Simplified
// Chinese translations, so no English word shows next to the client's Chinese texts.
#pragma once

class QCoreApplication;

namespace qelo::ui {

// Installs Qt's Simplified Chinese translations (Qt base and, where present, the web view's) from
// Qt's translations folder on app. Returns how many were installed; 0 when none is there, and
// the texts stay English. Installing twice adds nothing.
int InstallQtChineseTexts(QCoreApplication& app);

}  // namespace qelo::ui
