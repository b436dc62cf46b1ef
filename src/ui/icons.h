#pragma once

namespace vantrel {

// Makes the program's icons (":/icons/<name>.svg", listed in icons.qrc) and
// its other resources (ui.qrc: the banner page) available. They live in a static library, whose
// resource object the linker keeps only when something asks for it; this does. Call it before the
// first QIcon of the set; more calls are harmless.
void InitIconResources();

}  // namespace vantrel
