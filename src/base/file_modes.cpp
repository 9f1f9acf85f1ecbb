#include "base/file_modes.h"

#include <QFileInfo>

namespace vestrum {

QString readOnlyTargetMessage()
{
    return QStringLiteral("Uwaga! Wskazany zbiór jest oznaczony jako tylko do odczytu i nie może zostać "
                          "zmieniony.\nProszę zapisać dane pod inną nazwą lub w innym miejscu.");
}

bool isReadOnlyTarget(const QString& path)
{
    const QFileInfo info(path);
    return info.exists() && !(info.permissions() & QFileDevice::WriteOwner);
}

} // namespace vestrum
