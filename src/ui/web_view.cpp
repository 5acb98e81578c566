#include "ui/web_view.h"

#include <dlfcn.h>

#include <QLabel>
#include <QUrl>
#include <QVBoxLayout>
#include <stdexcept>

#include "text/app_dir.h"
#include "ui/application.h"
#include "ui/error_report.h"
#include "ui/gbk_qt.h"
#include "ui/web_view_module.h"

namespace qelo::ui {

namespace {

// The loaded module, or why it could not be loaded; set once per process. The module is never
// unloaded: the engine does not survive being taken out of a running process.
struct ModuleState {
  std::string path;
  const TWebViewModule* module = nullptr;
  std::string failure;
};

ModuleState& State() {
  static ModuleState state;
  return state;
}

void GuardedHandler(const std::function<void()>& handler) {
  Guarded(handler);
}

QString HostGbkToQString(std::string_view gbk) {
  return GbkToQString(gbk);
}

const TWebViewHost& Host() {
  static const TWebViewHost host{kWebViewModuleVersion, &GuardedHandler, &HostGbkToQString,
                                 &QStringToGbk};
  return host;
}

std::string ModulePath() {
  return State().path.empty() ? text::AppDir() + kWebViewModuleName : State().path;
}

const TWebViewModule& OpenModule(const std::string& path) {
  void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!handle)
    throw std::runtime_error("The web view module cannot be loaded: " + path + " (" + dlerror() +
                             ")");
  auto entry = reinterpret_cast<TWebViewModuleEntry>(dlsym(handle, kWebViewModuleEntry));
  const TWebViewModule* module = entry ? entry(&Host()) : nullptr;
  if (!module || !module->create) {
    dlclose(handle);
    throw std::runtime_error("The web view module " + path + " is not one of this build");
  }
  return *module;
}

// Stands in for every view when the module could not be loaded: shows why, does nothing else.
class TMissingWebView : public TWebView {
 public:
  TMissingWebView(QWidget* parent, const std::string& failure) : TWebView(parent) {
    auto* text = new QLabel(GbkToQString(failure), this);
    text->setWordWrap(true);
    text->setAlignment(Qt::AlignCenter);
    auto* fill = new QVBoxLayout(this);
    fill->addWidget(text);
  }
  void Navigate(const std::string&) override {}
  std::string LocationURL() const override { return {}; }
  void ExecScript(const std::string&, const std::string&) override {
    throw std::runtime_error("The view holds no document");
  }
  size_t AdoptedPageCount() const override { return 0; }
};

}  // namespace

void SetWebViewModulePath(std::string path) {
  ModuleState& state = State();
  if (state.module) return;
  state.path = std::move(path);
  state.failure.clear();
}

bool WebViewModuleLoaded() {
  return State().module != nullptr;
}

void TWebView::NavigateFile(const std::string& path) {
  // Encoded, a file URL is plain ASCII, so it passes the GBK door of Navigate unchanged.
  const QUrl url =
      QUrl::fromLocalFile(QString::fromUtf8(path.data(), static_cast<qsizetype>(path.size())));
  Navigate(url.toString(QUrl::FullyEncoded).toStdString());
}

void LoadWebViewModule() {
  ModuleState& state = State();
  if (state.module) return;
  if (!state.failure.empty()) throw std::runtime_error(state.failure);
  try {
    ShareGlContextsLate();
    state.module = &OpenModule(ModulePath());
  } catch (const std::exception& e) {
    state.failure = e.what();
    throw;
  }
}

TWebView* CreateWebView(QWidget* parent) {
  ModuleState& state = State();
  if (!state.module && state.failure.empty()) Guarded([] { LoadWebViewModule(); });
  if (!state.module) return new TMissingWebView(parent, state.failure);  // owned by parent
  return state.module->create(parent);
}

}  // namespace qelo::ui
