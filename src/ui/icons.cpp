#include "ui/icons.h"

#include <QtGlobal>

// Q_INIT_RESOURCE names a function in the global namespace.
static void InitIconsQrc() {
  Q_INIT_RESOURCE(icons);
  Q_INIT_RESOURCE(ui);
}

namespace vantrel {

void InitIconResources() {
  static const bool done = (InitIconsQrc(), true);
  (void)done;
}

}  // namespace vantrel
