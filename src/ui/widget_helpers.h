// Small helpers the windows use to build their controls and connect their handlers.
#pragma once

#include <QObject>
#include <QString>

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

}  // namespace qelo::ui
