// TWebView: the embedded browser control the preview window is built from, over Qt WebEngine.
//
// Contract:
// - Navigate returns at once; the document loads later, also while the view is hidden. An
//   address that begins with "/" is a local file.
// - OnDocumentComplete fires on the UI thread each time the top-level document finished loading,
//   a failed load included (the engine's error page is then the document).
// - OnBeforeNavigate2 fires before every navigation of the view, frames included; Cancel true
//   stops that navigation before anything is fetched.
// - OnNewWindow3 fires before a window would open for the page (a script's window.open, a link or
//   form with a new-window target). The view never opens a window itself: a request is carried
//   out only when the handler names another view in ppDisp and leaves Cancel false; that view
//   then takes the new window's content, under its own before-navigate rule, and never shows it.
// - ExecScript runs code in the main world of the top-level document. An error that the code
//   raises reaches the application error report once the engine answers.
// All texts (addresses, code) are GBK at this door.
#pragma once

#include <QWebEngineView>
#include <deque>
#include <functional>
#include <memory>
#include <string>

class QWebEngineNewWindowRequest;

namespace qelo::ui {

class TWebPage;

// UserInterfaceOptions bits.
enum TWebViewUiOption : unsigned { EnablesFormsAutoComplete = 1u << 0, EnableThemes = 1u << 1 };

// OnNewWindow3 flag: the request came from a user's click or key, not from a script alone.
constexpr unsigned kNewWindowUserInitiated = 0x2;

class TWebView : public QWebEngineView {
 public:
  using DocumentCompleteEvent = std::function<void(TWebView* sender, const std::string& url)>;
  using BeforeNavigateEvent =
      std::function<void(TWebView* sender, const std::string& url, bool& Cancel)>;
  using NewWindowEvent =
      std::function<void(TWebView* sender, TWebView*& ppDisp, bool& Cancel, unsigned flags,
                         const std::string& urlContext, const std::string& url)>;

  explicit TWebView(QWidget* parent = nullptr);
  ~TWebView() override;

  void Navigate(const std::string& url);
  // Opens a local file; path is a file-system path (UTF-8 bytes), never taken for GBK.
  void NavigateFile(const std::string& path);
  // Address of the top-level document (GBK); empty before the first navigation.
  std::string LocationURL() const;
  // language: "JavaScript" or "JScript", any case. Throws for another language.
  void ExecScript(const std::string& code, const std::string& language);

  // Letters (any case) whose Ctrl shortcut the view swallows while Alt is not held.
  std::string DisableCtrlShortcuts;
  // EnablesFormsAutoComplete | EnableThemes. The engine themes its form controls and keeps no
  // form history of its own, so both describe what it does anyway; they are kept for the window
  // definitions that set them.
  unsigned UserInterfaceOptions = 0;

  DocumentCompleteEvent OnDocumentComplete;
  BeforeNavigateEvent OnBeforeNavigate2;
  NewWindowEvent OnNewWindow3;

  // Pages this view holds for new windows handed to it (at most kMaxAdoptedPages).
  size_t AdoptedPageCount() const { return adopted_.size(); }
  static constexpr size_t kMaxAdoptedPages = 4;

  // True when the key event would be swallowed by DisableCtrlShortcuts.
  bool SwallowsShortcut(int key, Qt::KeyboardModifiers modifiers) const;

 protected:
  QWebEngineView* createWindow(QWebEnginePage::WebWindowType type) override;
  bool event(QEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  friend class TWebPage;
  bool BeforeNavigate(TWebPage& page, const QUrl& url);
  void NewWindowRequested(QWebEnginePage& from, QWebEngineNewWindowRequest& request);
  void Adopt(QWebEngineNewWindowRequest& request);
  void DropAdopted(QWebEnginePage* page);
  void WatchInputWidgets();

  TWebPage* page_;
  // False once the view is being destroyed; script answers arriving later are dropped.
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
  std::deque<std::unique_ptr<TWebPage>> adopted_;
};

}  // namespace qelo::ui
