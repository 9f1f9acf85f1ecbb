#pragma once

// Writers killed while they stage their new file, for the tests that play it.

#include "archive/staged_files.h"

#include <QDir>
#include <QFileInfo>
#include <QStringList>

#include <csignal>
#include <sys/wait.h>
#include <unistd.h>

namespace vestrum::testing {

// The program's temporary files and folders in `folder`.
inline QStringList stagedIn(const QString& folder)
{
    QStringList staged;
    for (const QString& name : QDir(folder).entryList(QDir::Files | QDir::Dirs | QDir::Hidden | QDir::NoDotAndDotDot))
        if (tempfiles::isTemporaryName(name))
            staged << name;
    return staged;
}

// Kills `child` with SIGKILL as soon as a staged file of at least `size` bytes stands in `folder`; false when
// the child ended first. Either way the child is reaped.
inline bool killWhenStaged(pid_t child, const QString& folder, qint64 size)
{
    for (;;) {
        for (const QFileInfo& entry : QDir(folder).entryInfoList(QDir::Files | QDir::Hidden)) {
            if (tempfiles::isTemporaryName(entry.fileName()) && entry.size() >= size) {
                ::kill(child, SIGKILL);
                ::waitpid(child, nullptr, 0);
                return true;
            }
        }
        if (::waitpid(child, nullptr, WNOHANG) == child)
            return false;
        ::usleep(200);
    }
}

} // namespace vestrum::testing
