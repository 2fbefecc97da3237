#include "workspace/RememberedChoices.h"

#include <QSettings>

namespace vistamaze {

bool RememberedChoice(const char* key, bool fallback) {
    return QSettings().value(QString::fromLatin1(key), fallback).toBool();
}

void RememberChoice(const char* key, bool value) {
    QSettings().setValue(QString::fromLatin1(key), value);
}

}  // namespace vistamaze
