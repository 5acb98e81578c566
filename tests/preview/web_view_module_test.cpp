// A web view module that cannot be used: missing, not a library, or a library of another kind.
// Each is reported once, with the path; the views made meanwhile show the error and navigate
// nowhere. Its own process, which never loads the real module.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <QLabel>
#include <QtGlobal>
#include <cstdio>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "ui/error_report.h"
#include "ui/web_view.h"

namespace qelo::ui {
namespace {

std::string QtCorePath() {
  Dl_info info{};
  dladdr(reinterpret_cast<void*>(&qVersion), &info);
  return info.dli_fname ? info.dli_fname : "";
}

TEST(WebViewModuleTest, AnUnusableModuleIsReportedOnceAndItsViewsShowWhy) {
  std::vector<QString> reports;
  const ErrorSink old =
      SetErrorSink([&](const QString&, const QString& text) { reports.push_back(text); });
  const std::string notElf = testing::TempDir() + "not_a_module.so";
  std::ofstream(notElf) << "text";
  for (const std::string& path :
       {std::string("/nonexistent/qelo_ui_web.so"), notElf, QtCorePath()}) {
    SCOPED_TRACE(path);
    reports.clear();
    SetWebViewModulePath(path);
    const std::unique_ptr<TWebView> first(CreateWebView(nullptr));
    const std::unique_ptr<TWebView> second(CreateWebView(nullptr));
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_TRUE(reports[0].contains(QString::fromStdString(path))) << reports[0].toStdString();
    EXPECT_FALSE(WebViewModuleLoaded());
    EXPECT_THROW(LoadWebViewModule(), std::runtime_error);
    first->Navigate("http://127.0.0.1/");
    EXPECT_EQ(first->LocationURL(), "");
    EXPECT_THROW(first->ExecScript("x=1", "JavaScript"), std::runtime_error);
    auto* why = second->findChild<QLabel*>();
    ASSERT_NE(why, nullptr);
    EXPECT_TRUE(why->text().contains(QString::fromStdString(path)));
  }
  std::remove(notElf.c_str());
  SetErrorSink(old);
}

}  // namespace
}  // namespace qelo::ui
