#include "ui/system_browser.h"

#include <QDesktopServices>
#include <QUrl>
#include <string_view>

#include "text/ascii_text.h"
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

// Share links come from the network: only a web page goes to the desktop's opener, never a
// local file or another program's scheme. Leading blanks do not hide a scheme.
bool IsWebLink(const std::string& url) {
  const std::string_view link = text::Trim(url);
  for (const std::string_view scheme : {"http://", "https://"})
    if (text::StartsWithNoCase(link, scheme)) return true;
  return false;
}

}  // namespace

bool OpenInBrowser(const std::string& url) {
  if (!IsWebLink(url)) return false;
  return Opener() ? Opener()(url) : OpenWithDesktop(url);
}

BrowserOpener SetBrowserOpener(BrowserOpener opener) {
  BrowserOpener old = std::move(Opener());
  Opener() = std::move(opener);
  return old;
}

}  // namespace qelo::ui
