// libFuzzer target: arbitrary bytes are read as the update server's version file. Whatever the server sends,
// the reader must not crash or hang, and every entry it accepts must keep its names to plain file names, its
// folder inside the program folder and its kind within 0..4.
#include "update/names.h"
#include "update/version_file.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace vestrum::update;
    const QString text = QString::fromUtf8(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const auto entries = ParseVersionFile(text);
    if (!entries)
        return 0;
    for (const UpdateEntry& entry : *entries) {
        const int kind = static_cast<int>(entry.kind);
        const bool packageOk = entry.package.isEmpty() ? !entry.specialPage.isEmpty() : IsPlainFileName(entry.package);
        if (!IsPlainFileName(entry.name) || !packageOk || kind < 0 || kind > 4 || entry.available < 0
            || FolderInsideProgramFolder(QStringLiteral("/program/"), entry.folder).isEmpty()
            || (!entry.specialPage.isEmpty() && !WebAddress(entry.specialPage)))
            std::abort();
    }
    return 0;
}
