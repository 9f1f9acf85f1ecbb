// aktualizuj: the external updater. The program starts it with four paths (the updater, the program's
// executable, the package, the backup archive) and closes; the updater replaces the executable once the
// program has ended and starts it again. It replaces nothing that is not signed with one of the keys built
// into it.
#include "update/external_updater.h"

#include <QCoreApplication>

int main(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    constexpr int kWaitForProgramMs = 60 * 1000;
    return vestrum::update::RunExternalUpdater(
        QCoreApplication::arguments(), kWaitForProgramMs, vestrum::update::BuiltInPublicKeys());
}
