// Small helpers the windows use to build their controls and connect their handlers.
#pragma once

#include <QAbstractScrollArea>
#include <QObject>
#include <QScrollBar>
#include <QString>
#include <functional>

#include "ui/error_report.h"

namespace qelo::ui {

// Gives a new control its name (the name tests and skins find it by) and returns it.
template <class W>
W* Named(W* w, const char* name) {
  w->setObjectName(QString::fromLatin1(name));
  return w;
}

// Connects a user action to a handler that runs inside the application error report's guard.
template <class Sender, class Signal, class Handler>
void OnUser(Sender* sender, Signal signal, QObject* context, Handler handler) {
  QObject::connect(sender, signal, context, [handler] { ui::Guarded(handler); });
}

// A scroll bar that tells when its line or page step changes (the slider has no signal for it).
class TStepReportingScrollBar : public QScrollBar {
 public:
  using QScrollBar::QScrollBar;
  std::function<void()> onStepsChanged;

 protected:
  void sliderChange(SliderChange change) override {
    QScrollBar::sliderChange(change);
    if (change == SliderStepsChange && onStepsChanged) onStepsChanged();
  }
};

// Makes shown, a bar of its own beside a scrolled control, work as the control's hidden
// vertical bar: the same range, position, line and page steps (so the handle has the right size
// and a page click moves a page), and moving either moves the other. The control is given a
// vertical bar that reports its steps.
inline void FollowScrollBar(QAbstractScrollArea* area, QScrollBar* shown) {
  auto* own = new TStepReportingScrollBar(Qt::Vertical);
  area->setVerticalScrollBar(own);
  own->onStepsChanged = [own, shown] {
    shown->setSingleStep(own->singleStep());
    shown->setPageStep(own->pageStep());
  };
  QObject::connect(own, &QScrollBar::rangeChanged, shown, &QScrollBar::setRange);
  QObject::connect(own, &QScrollBar::valueChanged, shown, &QScrollBar::setValue);
  QObject::connect(shown, &QScrollBar::valueChanged, own, &QScrollBar::setValue);
  shown->setRange(own->minimum(), own->maximum());
  own->onStepsChanged();
}

}  // namespace qelo::ui
