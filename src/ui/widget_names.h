#pragma once

#include <QObject>

namespace vantrel {

// Gives `widget` the object name of its control ("btOk", "edName"), by which
// the tests and accessibility tools find it; returns it for chaining.
template <typename TWidget>
TWidget* Named(TWidget* widget, const char* name) {
  widget->setObjectName(QLatin1String(name));
  return widget;
}

}  // namespace vantrel
