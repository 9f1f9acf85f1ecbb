#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

namespace vestrum {

class FilePicker;
class ListEditor;
class Program;
class ProgressWindow;

namespace lists {
class JournalList;
}

// Where the two commands get their files from: the program's file picker, or a script in tests.
class XmlFileChooser {
public:
    virtual ~XmlFileChooser() = default;
    // The file to write, after the name rules of the export; nothing when the user cancelled.
    virtual std::optional<QString> exportFile() = 0;
    // The file to read; nothing when the user cancelled. An empty path: no file was selected.
    virtual std::optional<QString> importFile() = 0;
};

// The file picker set up as each command needs it.
class PickerXmlFiles final : public XmlFileChooser {
public:
    explicit PickerXmlFiles(FilePicker& picker)
        : picker_(picker)
    {
    }
    std::optional<QString> exportFile() override;
    std::optional<QString> importFile() override;

    void configureForExport();
    void configureForImport();

private:
    FilePicker& picker_;
};

// "Eksport wykazu do pliku *xml" and "Import wykazu z utworzonego pliku *.xml" of the list editor.
// Both work on the editor's list only; the database is written later by "zapisz zmiany". Made as the
// editor's child, it plugs itself into the editor's tool row. A file over kProgressFileBytes is read on a
// worker thread behind the progress window, whose "Przerwij" leaves the list as it was.
class XmlExchangeCommands final : public QObject {
    Q_OBJECT
public:
    static constexpr qint64 kProgressFileBytes = 4 * 1024 * 1024;

    XmlExchangeCommands(Program& program, lists::JournalList& journals, ListEditor& editor);
    ~XmlExchangeCommands() override;

    // Tests answer the file questions themselves; nullptr goes back to the file picker.
    void setFileChooser(XmlFileChooser* chooser);
    FilePicker& picker() { return *picker_; }
    ProgressWindow& progress() { return *progress_; }

    void exportList(ListEditor& editor);
    void importList(ListEditor& editor);

private:
    XmlFileChooser& files();
    // The rows of the file; nothing when the user stopped the reading.
    std::optional<std::vector<QStringList>> readRows(const QString& path, int columnCount);
    std::optional<std::vector<QStringList>> readBehindProgress(const QString& path, int columnCount);

    Program& program_;
    lists::JournalList& journals_;
    FilePicker* picker_;
    ProgressWindow* progress_;
    PickerXmlFiles pickerFiles_;
    XmlFileChooser* chooser_ = nullptr;
};

} // namespace vestrum
