#include "ui/system_browser.h"

#include <QDesktopServices>
#include <QUrl>
#include <cstring>

#include "ui/gbk_qt.h"

namespace qelo::ui {

namespace {

BrowserOpener& Opener() {
  static BrowserOpener opener;
  return opener;
}

bool OpenWithDesktop(const std::string& url) {
  return QDesktopServices::openUrl(QUrl(GbkToQString(url), QUrl::TolerantMode));
}

}  // namespace

int ShellExecuteA(void*, const char* verb, const char* file, const char*, const char*, int) {
  if (!file || (verb && std::strcmp(verb, "open") != 0)) return 0;
  const std::string url(file);
  const bool ok = Opener() ? Opener()(url) : OpenWithDesktop(url);
  return ok ? 42 : 2;
}

BrowserOpener SetBrowserOpener(BrowserOpener opener) {
  BrowserOpener old = std::move(Opener());
  Opener() = std::move(opener);
  return old;
}

}  // namespace qelo::ui
