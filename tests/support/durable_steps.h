#pragma once

// Watches the steps that make a replaced file survive a power cut (base/durable_files), for the tests that hold
// every writer to their order: the staged file written whole and synced, renamed, its folder synced.

#include "base/durable_files.h"

#include <QFileInfo>
#include <QString>
#include <QStringList>

#include <algorithm>
#include <vector>

namespace vestrum::testing {

class DurableSteps {
public:
    struct Seen {
        durable::Step step;
        QString path;
        QString from;
        qint64 size; // of the file synced or renamed, as it stood then
    };

    DurableSteps()
    {
        durable::SetWatcher([this](const durable::Event& event) {
            const qint64 size = event.step == durable::Step::SyncFolder ? 0 : QFileInfo(event.path).size();
            seen_.push_back({event.step, absolute(event.path), absolute(event.from), size});
        });
    }
    ~DurableSteps() { durable::SetWatcher({}); }
    DurableSteps(const DurableSteps&) = delete;
    DurableSteps& operator=(const DurableSteps&) = delete;

    void clear() { seen_.clear(); }

    // What is wrong with the way `target` was put in place; empty when it was renamed there from a file synced
    // at the very size it has now, after its last byte was written, and its folder was synced after the rename.
    // Every other rename seen on the way (a staged file made by renaming an earlier one) is held to the same.
    QStringList faultsPlacing(const QString& target) const
    {
        QStringList faults;
        const QString wanted = absolute(target);
        bool placed = false;
        for (size_t i = 0; i < seen_.size(); ++i) {
            if (seen_[i].step != durable::Step::Rename)
                continue;
            placed = placed || seen_[i].path == wanted;
            faults << faultsOfRename(i);
        }
        if (!placed)
            faults << QStringLiteral("nothing was renamed to %1").arg(wanted);
        else if (QFileInfo(wanted).size() != lastRenameTo(wanted).size)
            faults << QStringLiteral("%1 was written after it was put in place").arg(wanted);
        return faults;
    }

    // The same for the renames to `target` alone, where other files were renamed on the way with no need to last
    // (new files in a scratch folder).
    QStringList faultsPlacingOnly(const QString& target) const
    {
        QStringList faults;
        const QString wanted = absolute(target);
        for (size_t i = 0; i < seen_.size(); ++i)
            if (seen_[i].step == durable::Step::Rename && seen_[i].path == wanted)
                faults << faultsOfRename(i);
        if (faults.isEmpty() && !renamedTo(wanted))
            faults << QStringLiteral("nothing was renamed to %1").arg(wanted);
        return faults;
    }

    // How many steps of the kind were taken.
    int count(durable::Step step) const
    {
        return static_cast<int>(std::count_if(seen_.begin(), seen_.end(), [step](const Seen& seen) { return seen.step == step; }));
    }

private:
    bool renamedTo(const QString& path) const
    {
        for (const Seen& seen : seen_)
            if (seen.step == durable::Step::Rename && seen.path == path)
                return true;
        return false;
    }

    static QString absolute(const QString& path)
    {
        return path.isEmpty() ? path : QFileInfo(path).absoluteFilePath();
    }

    const Seen& lastRenameTo(const QString& path) const
    {
        const Seen* last = nullptr;
        for (const Seen& seen : seen_)
            if (seen.step == durable::Step::Rename && seen.path == path)
                last = &seen;
        return *last;
    }

    QStringList faultsOfRename(size_t at) const
    {
        const Seen& rename = seen_[at];
        QStringList faults;
        const Seen* synced = nullptr;
        for (size_t i = 0; i < at; ++i)
            if (seen_[i].step == durable::Step::SyncFile && seen_[i].path == rename.from)
                synced = &seen_[i];
        if (synced == nullptr)
            faults << QStringLiteral("%1 was renamed to %2 without being synced").arg(rename.from, rename.path);
        else if (synced->size != rename.size)
            faults << QStringLiteral("%1 was synced at %2 bytes but renamed at %3").arg(rename.from).arg(synced->size).arg(rename.size);
        const QString folder = QFileInfo(rename.path).absolutePath();
        bool folderSynced = false;
        for (size_t i = at + 1; i < seen_.size() && !folderSynced; ++i)
            folderSynced = seen_[i].step == durable::Step::SyncFolder && seen_[i].path == folder;
        if (!folderSynced)
            faults << QStringLiteral("the folder of %1 was not synced after the rename").arg(rename.path);
        return faults;
    }

    std::vector<Seen> seen_;
};

} // namespace vestrum::testing
