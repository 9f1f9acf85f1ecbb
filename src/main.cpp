// Vestrum: the program's entry. One copy runs at a time; a second one ends at once, silently.
#include "app/plain_messages_widget.h"
#include "app/program.h"
#include "app/tf_main.h"
#include "data/reference_tables.h"

#include <QApplication>
#include <QDir>
#include <QLockFile>

int main(int argc, char** argv)
{
    QApplication application(argc, argv);

    QLockFile guard(QDir::temp().filePath(QStringLiteral("XQ_dziala")));
    if (!guard.tryLock(0))
        return 0;

    vestrum::initCoreResources();
    vestrum::SystemClock clock;
    vestrum::PlainMessages messages;
    vestrum::Program program(messages, clock);
    vestrum::Tf_main mainWindow(program);
    if (!mainWindow.startUp(QApplication::arguments().mid(1), QApplication::applicationDirPath()))
        return 1;
    return QApplication::exec();
}
