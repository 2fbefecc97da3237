#include "workspace/GuiResources.h"

#include <QtCore/qglobal.h>

// Q_INIT_RESOURCE declares a function and must therefore be used outside any namespace.
static void InitQtResources() {
    Q_INIT_RESOURCE(icons);
    Q_INIT_RESOURCE(help);
}

namespace vistamaze {

void InitGuiResources() {
    InitQtResources();
}

}  // namespace vistamaze
