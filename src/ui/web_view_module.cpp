// The web view module: TWebView over the browser engine. Built as qelo_ui_web.so and loaded by
// CreateWebView; see web_view_module.h for the door.
#include "ui/web_view_module.h"

#include <QChildEvent>
#include <QKeyEvent>
#include <QVBoxLayout>
#include <QWebEngineNewWindowRequest>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineScript>
#include <QWebEngineSettings>
#include <QWebEngineView>
#include <algorithm>
#include <cctype>
#include <deque>
#include <memory>
#include <stdexcept>

#include "ui/web_view.h"

namespace qelo::ui {

namespace {

const TWebViewHost* gHost = nullptr;

void Guard(const std::function<void()>& handler) {
  gHost->guarded(handler);
}

QString FromGbk(std::string_view gbk) {
  return gHost->gbkToQString(gbk);
}

std::string UrlText(const QUrl& url) {
  return gHost->qStringToGbk(url.toString(QUrl::FullyEncoded));
}

bool IsScriptLanguage(std::string language) {
  std::transform(language.begin(), language.end(), language.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return language == "javascript" || language == "jscript";
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

class TWebPage;

// The engine's view that the adapter fills itself with. It opens no window of its own, and hands
// the engine's input widget, which it gets as a child once the page has a renderer, to the
// adapter's key filter: keys reach the page through that widget.
class TEngineView : public QWebEngineView {
 public:
  TEngineView(QObject& keyFilter, QWidget* parent)
      : QWebEngineView(parent), keyFilter_(keyFilter) {}

 protected:
  QWebEngineView* createWindow(QWebEnginePage::WebWindowType) override { return nullptr; }
  bool event(QEvent* event) override {
    if (event->type() == QEvent::ChildAdded || event->type() == QEvent::ChildPolished) {
      if (auto* child = qobject_cast<QWidget*>(static_cast<QChildEvent*>(event)->child()))
        child->installEventFilter(&keyFilter_);
    }
    return QWebEngineView::event(event);
  }

 private:
  QObject& keyFilter_;
};

class TEngineWebView : public TWebView {
 public:
  explicit TEngineWebView(QWidget* parent);
  ~TEngineWebView() override;

  void Navigate(const std::string& url) override;
  std::string LocationURL() const override;
  void ExecScript(const std::string& code, const std::string& language) override;
  size_t AdoptedPageCount() const override { return adopted_.size(); }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  friend class TWebPage;
  bool BeforeNavigate(TWebPage& page, const QUrl& url);
  void NewWindowRequested(QWebEnginePage& from, QWebEngineNewWindowRequest& request);
  void Adopt(QWebEngineNewWindowRequest& request);
  void DropAdopted(QWebEnginePage* page);

  TEngineView* view_;
  TWebPage* page_;
  // False once the view is being destroyed; script answers arriving later are dropped.
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
  std::deque<std::unique_ptr<TWebPage>> adopted_;
};

// A view's own page, or a page that holds a new window's content for the view that adopted it.
// Navigations and new-window requests of either go to the owning view.
class TWebPage : public QWebEnginePage {
 public:
  TWebPage(TEngineWebView& owner, bool adopted, QObject* parent)
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
  TEngineWebView& owner_;
  bool adopted_;
};

TEngineWebView::TEngineWebView(QWidget* parent)
    : TWebView(parent),
      view_(new TEngineView(*this, this)),
      page_(new TWebPage(*this, false, view_)) {
  view_->setPage(page_);
  auto* fill = new QVBoxLayout(this);
  fill->setContentsMargins(0, 0, 0, 0);
  fill->addWidget(view_);
  setFocusProxy(view_);
  connect(page_, &QWebEnginePage::loadFinished, this, [this](bool) {
    if (OnDocumentComplete) Guard([this] { OnDocumentComplete(this, LocationURL()); });
  });
}

TEngineWebView::~TEngineWebView() {
  *alive_ = false;
  adopted_.clear();
}

void TEngineWebView::Navigate(const std::string& url) {
  const QString text = FromGbk(url);
  page_->load(text.startsWith(QLatin1Char('/')) ? QUrl::fromLocalFile(text)
                                                : QUrl(text, QUrl::TolerantMode));
}

std::string TEngineWebView::LocationURL() const {
  return UrlText(page_->url());
}

void TEngineWebView::ExecScript(const std::string& code, const std::string& language) {
  if (!IsScriptLanguage(language))
    throw std::runtime_error("Script language " + language + " is not supported");
  if (page_->url().isEmpty()) throw std::runtime_error("The view holds no document");
  std::shared_ptr<bool> alive = alive_;
  page_->runJavaScript(
      WrapScript(FromGbk(code)), QWebEngineScript::MainWorld, [alive](const QVariant& result) {
        // Pending answers are given empty when the page goes away.
        if (!*alive) return;
        const QString text = result.toString();
        if (text == kScriptOk) return;
        Guard([&] {
          if (text.startsWith(kScriptError))
            throw std::runtime_error(gHost->qStringToGbk(text.mid(kScriptError.size())));
          throw std::runtime_error("The script could not run in the page");
        });
      });
}

bool TEngineWebView::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::KeyPress || event->type() == QEvent::KeyRelease) {
    const auto* key = static_cast<QKeyEvent*>(event);
    if (SwallowsShortcut(key->key(), key->modifiers())) return true;
  }
  return TWebView::eventFilter(watched, event);
}

bool TEngineWebView::BeforeNavigate(TWebPage& page, const QUrl& url) {
  bool cancel = false;
  if (OnBeforeNavigate2) Guard([&] { OnBeforeNavigate2(this, UrlText(url), cancel); });
  // A new window whose content was refused has nothing left to hold.
  if (cancel && page.Adopted()) DropAdopted(&page);
  return !cancel;
}

void TEngineWebView::NewWindowRequested(QWebEnginePage& from, QWebEngineNewWindowRequest& request) {
  if (!OnNewWindow3) return;
  TWebView* target = nullptr;
  bool cancel = false;
  const unsigned flags = request.isUserInitiated() ? kNewWindowUserInitiated : 0u;
  const std::string context = UrlText(from.url());
  const std::string url = UrlText(request.requestedUrl());
  Guard([&] { OnNewWindow3(this, target, cancel, flags, context, url); });
  if (cancel) return;
  if (auto* engineTarget = dynamic_cast<TEngineWebView*>(target)) engineTarget->Adopt(request);
}

void TEngineWebView::Adopt(QWebEngineNewWindowRequest& request) {
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

void TEngineWebView::DropAdopted(QWebEnginePage* page) {
  const auto it = std::find_if(adopted_.begin(), adopted_.end(),
                               [page](const auto& held) { return held.get() == page; });
  if (it == adopted_.end()) return;
  // Called from the page's own callbacks: it goes once they have returned.
  it->release()->deleteLater();
  adopted_.erase(it);
}

TWebView* Create(QWidget* parent) {
  return new TEngineWebView(parent);  // owned by parent
}

}  // namespace

}  // namespace qelo::ui

extern "C" __attribute__((visibility("default"))) const qelo::ui::TWebViewModule* QeloWebViewModule(
    const qelo::ui::TWebViewHost* host) {
  using namespace qelo::ui;
  if (!host || host->version != kWebViewModuleVersion || !host->guarded || !host->gbkToQString ||
      !host->qStringToGbk)
    return nullptr;
  gHost = host;
  static const TWebViewModule module{&Create};
  return &module;
}
