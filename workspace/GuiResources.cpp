#include "workspace/GuiResources.h"

#include <QtCore/qglobal.h>

// Q_INIT_RESOURCE declares a function and must therefore be used outside any namespace.
static void InitIconResources() {
    Q_INIT_RESOURCE(icons);
}

namespace vistamaze {

void InitGuiResources() {
    InitIconResources();
}

}  // namespace vistamaze
