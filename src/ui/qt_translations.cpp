#include "ui/qt_translations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>

namespace qelo::ui {

namespace {

constexpr const char* kCatalogues[] = {"qtbase_zh_CN", "qtwebengine_zh_CN"};
constexpr const char* kInstalledMark = "qeloChineseTextsInstalled";

}  // namespace

int InstallQtChineseTexts(QCoreApplication& app) {
  if (app.property(kInstalledMark).toBool()) return 0;
  const QString folder = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
  int installed = 0;
  for (const char* name : kCatalogues) {
    // The application owns the translator, which must live as long as it is installed.
    auto* translator = new QTranslator(&app);
    if (translator->load(QString::fromLatin1(name), folder) && app.installTranslator(translator)) {
      ++installed;
    } else {
      delete translator;
    }
  }
  app.setProperty(kInstalledMark, installed > 0);
  return installed;
}

}  // namespace qelo::ui
