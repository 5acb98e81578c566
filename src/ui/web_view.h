// TWebView: the embedded browser control the preview window is built from. The browser engine
// sits in a module of its own (web_view_module.h), loaded on the first CreateWebView, so that a
// process maps the engine's libraries only once it needs a page.
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
// - The view swallows the Ctrl shortcuts of DisableCtrlShortcuts on the engine's own input
//   widget, so the page never sees them.
// All texts (addresses, code) are GBK at this door.
//
// Everything in this header is inline: the module builds its views on the same definitions
// without linking this library.
#pragma once

#include <QWidget>
#include <algorithm>
#include <functional>
#include <string>

namespace qelo::ui {

// UserInterfaceOptions bits.
enum TWebViewUiOption : unsigned { EnablesFormsAutoComplete = 1u << 0, EnableThemes = 1u << 1 };

// OnNewWindow3 flag: the request came from a user's click or key, not from a script alone.
constexpr unsigned kNewWindowUserInitiated = 0x2;

class TWebView : public QWidget {
 public:
  using DocumentCompleteEvent = std::function<void(TWebView* sender, const std::string& url)>;
  using BeforeNavigateEvent =
      std::function<void(TWebView* sender, const std::string& url, bool& Cancel)>;
  using NewWindowEvent =
      std::function<void(TWebView* sender, TWebView*& ppDisp, bool& Cancel, unsigned flags,
                         const std::string& urlContext, const std::string& url)>;

  explicit TWebView(QWidget* parent) : QWidget(parent) {}
  ~TWebView() override = default;

  virtual void Navigate(const std::string& url) = 0;
  // Opens a local file; path is a file-system path (UTF-8 bytes), never taken for GBK.
  void NavigateFile(const std::string& path);
  // Address of the top-level document (GBK); empty before the first navigation.
  virtual std::string LocationURL() const = 0;
  // language: "JavaScript" or "JScript", any case. Throws for another language, and when the
  // view holds no document yet.
  virtual void ExecScript(const std::string& code, const std::string& language) = 0;

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
  virtual size_t AdoptedPageCount() const = 0;
  static constexpr size_t kMaxAdoptedPages = 4;

  // True when the key event would be swallowed by DisableCtrlShortcuts.
  bool SwallowsShortcut(int key, Qt::KeyboardModifiers modifiers) const {
    if (!(modifiers & Qt::ControlModifier) || (modifiers & Qt::AltModifier)) return false;
    if (key < Qt::Key_A || key > Qt::Key_Z) return false;
    const char lower = static_cast<char>('a' + (key - Qt::Key_A));
    return std::any_of(DisableCtrlShortcuts.begin(), DisableCtrlShortcuts.end(),
                       [lower](char c) { return c == lower || c == lower - ('a' - 'A'); });
  }
};

// A new view, owned by parent. Loads the module on first use; when it cannot be loaded, the
// error goes to the application error report once, and the views made then only show that
// error (they navigate nowhere and never complete a document).
TWebView* CreateWebView(QWidget* parent);

// Loads the module now, unless it is loaded already. Throws with the module's path and the
// reason when it is missing or not a module of this build.
void LoadWebViewModule();
bool WebViewModuleLoaded();

// Where the module is looked for: AppDir + kWebViewModuleName unless set here. Once a module is
// loaded this does nothing; after a failed load the next CreateWebView tries the new path (and
// reports again). An empty path restores the default.
inline constexpr const char* kWebViewModuleName = "qelo_ui_web.so";
void SetWebViewModulePath(std::string path);

}  // namespace qelo::ui
