#pragma once

#include <QLoggingCategory>

// What the window shows, line by line, for whoever looks into a problem:
// QT_LOGGING_RULES="vantrel.ui.debug=true" switches it on.
namespace vantrel {

Q_DECLARE_LOGGING_CATEGORY(lcWindow)

}  // namespace vantrel
