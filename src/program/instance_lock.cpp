#include "program/instance_lock.h"

#include <QDir>

namespace vestrum {

QString singleInstanceLockPath()
{
    return QDir::temp().filePath(QStringLiteral("XQ_dziala"));
}

} // namespace vestrum
