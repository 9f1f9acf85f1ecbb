// vestrum-cli: the program's headless commands for users, support and scripts.
#include "data/reference_tables.h"

#include <QCoreApplication>
#include <QTextStream>

#include <cstdio>

namespace {

int usage(QTextStream& err)
{
    err << "Użycie: vestrum-cli archive list|add|update|extract|check ...\n";
    err.flush();
    return 2;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    vestrum::initCoreResources();
    QTextStream out(stdout);
    QTextStream err(stderr);
    const QStringList args = QCoreApplication::arguments().mid(1);
    if (args.isEmpty())
        return usage(err);
    return usage(err);
}
