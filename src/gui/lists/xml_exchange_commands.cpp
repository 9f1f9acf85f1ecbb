#include "gui/lists/xml_exchange_commands.h"

#include "base/error.h"
#include "gui/common/file_picker.h"
#include "gui/lists/list_editor.h"
#include "lists/xml_exchange.h"
#include "program/program.h"

namespace vestrum {
namespace {

const QString kMask = QStringLiteral("*.xml");

} // namespace

void PickerXmlFiles::configureForExport()
{
    picker_.configure(QStringLiteral("Wskaż zbiór do eksportu"), kMask, QStringLiteral("eksportuj"), true,
        QStringLiteral("eksport.xml"));
}

void PickerXmlFiles::configureForImport()
{
    picker_.configure(QStringLiteral("Wskaż zbiór do importu"), kMask, QStringLiteral("importuj"), false, QString());
}

std::optional<QString> PickerXmlFiles::exportFile()
{
    configureForExport();
    if (!picker_.choose())
        return std::nullopt;
    // A blank name would make a hidden file called ".xml"; the caller refuses it.
    if (picker_.fileName().trimmed().isEmpty())
        return QString();
    return lists::exportFilePath(picker_.folder(), picker_.fileName());
}

std::optional<QString> PickerXmlFiles::importFile()
{
    configureForImport();
    if (!picker_.choose())
        return std::nullopt;
    return picker_.selectedFile();
}

XmlExchangeCommands::XmlExchangeCommands(Program& program, lists::JournalList& journals, ListEditor& editor)
    : QObject(&editor)
    , program_(program)
    , journals_(journals)
    , picker_(new FilePicker(program, &editor))
    , pickerFiles_(*picker_)
{
    editor.setToolCommand(ListEditor::Tool::XmlExport, [this](ListEditor& e) { exportList(e); });
    editor.setToolCommand(ListEditor::Tool::XmlImport, [this](ListEditor& e) { importList(e); });
}

XmlExchangeCommands::~XmlExchangeCommands() = default;

void XmlExchangeCommands::setFileChooser(XmlFileChooser* chooser)
{
    chooser_ = chooser;
}

XmlFileChooser& XmlExchangeCommands::files()
{
    return chooser_ ? *chooser_ : pickerFiles_;
}

void XmlExchangeCommands::exportList(ListEditor& editor)
{
    if (editor.list().isEmpty()) {
        program_.notify(lists::emptyExportNotice());
        return;
    }
    const std::optional<QString> path = files().exportFile();
    if (!path)
        return;
    if (path->isEmpty()) {
        program_.notify(QStringLiteral("Eksport nie jest możliwy - nie podano prawidłowej nazwy pliku wynikowego"), 0,
            MessageKind::Warning);
        return;
    }
    try {
        lists::writeListXml(*path, editor.list());
    } catch (const Error& e) {
        program_.notify(e.message(), 0, MessageKind::Error);
        return;
    }
    program_.notify(lists::exportFinishedNotice(), lists::kExportFinishedMessage);
}

// The file is read whole before the list changes, so a file that cannot be read leaves the list as
// it was.
void XmlExchangeCommands::importList(ListEditor& editor)
{
    const std::optional<QString> path = files().importFile();
    if (!path)
        return;
    if (path->isEmpty()) {
        program_.notify(QStringLiteral("Nie wskazano pliku do importu."), 0, MessageKind::Warning);
        return;
    }
    const bool identify = lists::identifiesJournals(editor.kind());
    std::vector<QStringList> rows;
    try {
        rows = lists::readListXml(*path, lists::xmlColumnsToRead(editor.kind(), editor.list().columnCount()));
        if (identify)
            lists::identifyImportedJournals(journals_, rows);
    } catch (const Error& e) {
        program_.notify(e.message(), 0, MessageKind::Error);
        return;
    }
    editor.list().setRows(std::move(rows));
    editor.listChanged(0);
    if (identify)
        program_.notify(lists::identificationNotice(), lists::kIdentificationMessage);
    program_.notify(lists::importFinishedNotice(), lists::kImportFinishedMessage);
}

} // namespace vestrum
