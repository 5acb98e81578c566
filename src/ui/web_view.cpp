#include "ui/web_view.h"

#include <QChildEvent>
#include <QKeyEvent>
#include <QWebEngineNewWindowRequest>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineScript>
#include <QWebEngineSettings>
#include <algorithm>
#include <stdexcept>

#include "text/ascii_text.h"
#include "ui/error_report.h"
#include "ui/gbk_qt.h"

namespace qelo::ui {

// A view's own page, or a page that holds a new window's content for the view that adopted it.
// Navigations and new-window requests of either go to the owning view.
class TWebPage : public QWebEnginePage {
 public:
  TWebPage(TWebView& owner, bool adopted, QObject* parent)
      : QWebEnginePage(QWebEngineProfile::defaultProfile(), parent),
        owner_(owner),
        adopted_(adopted) {
    connect(
        this, &QWebEnginePage::newWindowRequested, this,
        [this](QWebEngineNewWindowRequest& request) { owner_.NewWindowRequested(*this, request); });
  }
  bool Adopted() const { return adopted_; }

 protected:
  bool acceptNavigationRequest(const QUrl& url, NavigationType, bool) override {
    return owner_.BeforeNavigate(*this, url);
  }
  // Reached only for a request that no handler carried out: no window opens.
  QWebEnginePage* createWindow(WebWindowType) override { return nullptr; }

 private:
  TWebView& owner_;
  bool adopted_;
};

namespace {

std::string UrlText(const QUrl& url) {
  return QStringToGbk(url.toString(QUrl::FullyEncoded));
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
  return text::AsciiLower(a) == text::AsciiLower(b);
}

// The script runs as one block of the global scope; its completion value tells whether it threw.
const QString kScriptOk = QStringLiteral("\x01ok");
const QString kScriptError = QStringLiteral(
    "\x01"
    "error:");

QString WrapScript(const QString& code) {
  return QStringLiteral("try {\n") + code +
         QStringLiteral("\n;'\\x01ok'} catch (e) {'\\x01error:' + e}");
}

}  // namespace

TWebView::TWebView(QWidget* parent)
    : QWebEngineView(parent), page_(new TWebPage(*this, false, this)) {
  setPage(page_);
  connect(page_, &QWebEnginePage::loadFinished, this, [this](bool) {
    if (OnDocumentComplete) Guarded([this] { OnDocumentComplete(this, LocationURL()); });
  });
}

TWebView::~TWebView() {
  *alive_ = false;
  adopted_.clear();
}

void TWebView::Navigate(const std::string& url) {
  const QString text = GbkToQString(url);
  page_->load(text.startsWith(QLatin1Char('/')) ? QUrl::fromLocalFile(text)
                                                : QUrl(text, QUrl::TolerantMode));
}

void TWebView::NavigateFile(const std::string& path) {
  page_->load(
      QUrl::fromLocalFile(QString::fromUtf8(path.data(), static_cast<qsizetype>(path.size()))));
}

std::string TWebView::LocationURL() const {
  return UrlText(page_->url());
}

void TWebView::ExecScript(const std::string& code, const std::string& language) {
  if (!EqualsNoCase(language, "JavaScript") && !EqualsNoCase(language, "JScript"))
    throw std::runtime_error("Script language " + language + " is not supported");
  if (page_->url().isEmpty()) throw std::runtime_error("The view holds no document");
  std::shared_ptr<bool> alive = alive_;
  page_->runJavaScript(WrapScript(GbkToQString(code)), QWebEngineScript::MainWorld,
                       [alive](const QVariant& result) {
                         // Pending answers are given empty when the page goes away.
                         if (!*alive) return;
                         const QString text = result.toString();
                         if (text == kScriptOk) return;
                         Guarded([&] {
                           if (text.startsWith(kScriptError))
                             throw std::runtime_error(QStringToGbk(text.mid(kScriptError.size())));
                           throw std::runtime_error("The script could not run in the page");
                         });
                       });
}

bool TWebView::SwallowsShortcut(int key, Qt::KeyboardModifiers modifiers) const {
  if (!(modifiers & Qt::ControlModifier) || (modifiers & Qt::AltModifier)) return false;
  if (key < Qt::Key_A || key > Qt::Key_Z) return false;
  const char letter = static_cast<char>('A' + (key - Qt::Key_A));
  return std::any_of(DisableCtrlShortcuts.begin(), DisableCtrlShortcuts.end(),
                     [letter](char c) { return text::AsciiLower(c) == text::AsciiLower(letter); });
}

QWebEngineView* TWebView::createWindow(QWebEnginePage::WebWindowType) {
  return nullptr;
}

bool TWebView::event(QEvent* event) {
  // The engine puts its input widget in as a child once the page has a renderer; keys reach the
  // page through it.
  if (event->type() == QEvent::ChildAdded || event->type() == QEvent::ChildPolished) {
    if (auto* child = qobject_cast<QWidget*>(static_cast<QChildEvent*>(event)->child()))
      child->installEventFilter(this);
  }
  return QWebEngineView::event(event);
}

bool TWebView::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::KeyPress || event->type() == QEvent::KeyRelease) {
    const auto* key = static_cast<QKeyEvent*>(event);
    if (SwallowsShortcut(key->key(), key->modifiers())) return true;
  }
  return QWebEngineView::eventFilter(watched, event);
}

bool TWebView::BeforeNavigate(TWebPage& page, const QUrl& url) {
  bool cancel = false;
  if (OnBeforeNavigate2) Guarded([&] { OnBeforeNavigate2(this, UrlText(url), cancel); });
  // A new window whose content was refused has nothing left to hold.
  if (cancel && page.Adopted()) DropAdopted(&page);
  return !cancel;
}

void TWebView::NewWindowRequested(QWebEnginePage& from, QWebEngineNewWindowRequest& request) {
  if (!OnNewWindow3) return;
  TWebView* target = nullptr;
  bool cancel = false;
  const unsigned flags = request.isUserInitiated() ? kNewWindowUserInitiated : 0u;
  const std::string context = UrlText(from.url());
  const std::string url = UrlText(request.requestedUrl());
  Guarded([&] { OnNewWindow3(this, target, cancel, flags, context, url); });
  if (cancel || !target) return;
  target->Adopt(request);
}

void TWebView::Adopt(QWebEngineNewWindowRequest& request) {
  auto page = std::make_unique<TWebPage>(*this, true, nullptr);
  // Whatever a new window is let through to, this view never shows it.
  page->settings()->setAttribute(QWebEngineSettings::AutoLoadImages, false);
  page->settings()->setAttribute(QWebEngineSettings::JavascriptEnabled, false);
  TWebPage* raw = page.get();
  connect(raw, &QWebEnginePage::windowCloseRequested, this, [this, raw] { DropAdopted(raw); });
  adopted_.push_back(std::move(page));
  while (adopted_.size() > kMaxAdoptedPages) {
    adopted_.front().release()->deleteLater();
    adopted_.pop_front();
  }
  request.openIn(raw);
}

void TWebView::DropAdopted(QWebEnginePage* page) {
  const auto it = std::find_if(adopted_.begin(), adopted_.end(),
                               [page](const auto& held) { return held.get() == page; });
  if (it == adopted_.end()) return;
  // Called from the page's own callbacks: it goes once they have returned.
  it->release()->deleteLater();
  adopted_.erase(it);
}

}  // namespace qelo::ui
