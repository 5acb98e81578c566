// The preview window: the service's page for the opened result behind a local loading page,
// pop-ups swallowed by a hidden sink, and a bar with the result's figures, the rating, the
// report button and the open-in-browser button.
#pragma once

#include <QWidget>
#include <cstdint>
#include <memory>
#include <string>

#include "appcore/service_request.h"

class QComboBox;
class QFrame;
class QGridLayout;
class QLabel;
class QPushButton;

namespace qelo::net {
class THttpClient;
}
namespace qelo::ui {
class TWebView;
}

namespace qelo::app {

struct TSharedState;

class TWBForm : public QWidget {
 public:
  // state: the main window's shared state, read only.
  explicit TWBForm(const TSharedState& state, QWidget* parent = nullptr);
  ~TWBForm() override;

  // Opening a result for preview: caption, page view to PreviewUrl, top-left corner on screen,
  // shown and brought to the front.
  void OpenPreview(const std::string& caption, int left, int top);
  // Creates the three web views and runs the window's creation steps (FormCreate). The client
  // calls it after the main window's first paint, so that the browser engine starts then;
  // OpenPreview calls it before it opens anything. Later calls do nothing.
  void CreateViews();
  // An accepted report: the report button thanks the user and stays disabled until a reset.
  void ShowReportAccepted();

  // --- Handlers, as the window's controls name them -------------------------------------------
  void FormCreate();
  void FormActivate();
  void FormDeactivate();
  void wb1DocumentComplete(ui::TWebView* sender, const std::string& url);
  void wb1NewWindow3(ui::TWebView* sender, ui::TWebView*& ppDisp, bool& Cancel, unsigned flags,
                     const std::string& urlContext, const std::string& url);
  void WbNoAdBeforeNavigate2(ui::TWebView* sender, const std::string& url, bool& Cancel);
  void btn_viewClick();
  void btn_reportClick();
  void btn_reviewClick();
  void HttpClient1RequestDone(net::THttpClient* sender, int rqType, uint16_t errCode);

  void SendRating();

  // PreviewUrl when the window last lost activation (GBK).
  std::string LastUrl;
  // The window's requests to the service, over its client "HttpClient1".
  std::unique_ptr<TServiceRequest> Service;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void hideEvent(QHideEvent* event) override;

 private:
  void BuildBar();
  void BuildViews();
  // Activation moving to this window, or away from it to another of the application's windows.
  void Activated();
  void Deactivated();

  const TSharedState& state_;
  QWidget* pn1;
  // The cell of pn1 that wb1 and wb_load fill.
  QGridLayout* pages_;
  // Null until CreateViews.
  ui::TWebView* wb1 = nullptr;
  ui::TWebView* wb_load = nullptr;
  QFrame* skSkinPanel1;
  QWidget* pn2;
  QLabel* lb3;
  QComboBox* cb_score;
  QPushButton* btn_review;
  QLabel* lb1;
  QLabel* lb2;
  QWidget* pn3;
  QPushButton* btn_report;
  QPushButton* btn_view;
  QFrame* pn4 = nullptr;
  ui::TWebView* WbNoAd = nullptr;

  // True while this window is the application's active one.
  bool appActive_ = false;
};

// The preview window, set while it exists.
extern TWBForm* WBForm;

}  // namespace qelo::app
