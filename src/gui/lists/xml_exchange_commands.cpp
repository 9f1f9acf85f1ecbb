#include "gui/lists/xml_exchange_commands.h"

#include "base/error.h"
#include "gui/common/file_picker.h"
#include "gui/common/progress_window.h"
#include "gui/lists/duplicate_choice_window.h"
#include "gui/lists/list_editor.h"
#include "lists/xml_exchange.h"
#include "lists/xml_exchange_scan.h"
#include "program/program.h"

#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <QThread>
#include <QTimer>

#include <atomic>
#include <exception>
#include <memory>

namespace vestrum {
namespace {

const QString kMask = QStringLiteral("*.xml");
constexpr int kProgressSteps = 100;

// The reading thread's side of the progress window: how far it got, and whether "Przerwij" was pressed.
class SharedReadProgress final : public lists::ReadMonitor {
public:
    bool proceed(qint64 done, qint64 total) override
    {
        done_.store(done);
        total_.store(total);
        return !stop_.load();
    }
    void stop() { stop_.store(true); }
    bool stopped() const { return stop_.load(); }
    int percent() const
    {
        const qint64 total = total_.load();
        return total > 0 ? static_cast<int>(done_.load() * kProgressSteps / total) : 0;
    }

private:
    std::atomic<qint64> done_{0};
    std::atomic<qint64> total_{-1};
    std::atomic<bool> stop_{false};
};

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
    , progress_(new ProgressWindow(&editor))
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
    std::optional<std::vector<QStringList>> rows;
    try {
        rows = readRows(*path, lists::xmlColumnsToRead(editor.kind(), editor.list().columnCount()));
        if (!rows)
            return; // "Przerwij": the list stays as it was
        if (identify)
            lists::identifyImportedJournals(journals_, *rows);
    } catch (const Error& e) {
        program_.notify(e.message(), 0, MessageKind::Error);
        return;
    }
    // The file's rows take the list's place: they meet the other lists and one another.
    std::optional<std::vector<QStringList>> kept = RowsAfterDuplicateChoice(program_, editor, *rows, true);
    if (!kept)
        return;
    editor.list().setRows(std::move(*kept));
    editor.listChanged(0);
    if (identify)
        program_.notify(lists::identificationNotice(), lists::kIdentificationMessage);
    program_.notify(lists::importFinishedNotice(), lists::kImportFinishedMessage);
}

std::optional<std::vector<QStringList>> XmlExchangeCommands::readRows(const QString& path, int columnCount)
{
    if (QFileInfo(path).size() <= kProgressFileBytes)
        return lists::readListXml(path, columnCount);
    return readBehindProgress(path, columnCount);
}

// A large file is read on a thread of its own while this one keeps the progress window (and only it, as the
// window is modal) answering; the list is touched only after the thread has ended.
std::optional<std::vector<QStringList>> XmlExchangeCommands::readBehindProgress(const QString& path, int columnCount)
{
    SharedReadProgress monitor;
    std::vector<QStringList> rows;
    std::exception_ptr failure;
    std::unique_ptr<QThread> worker(QThread::create([&] {
        try {
            rows = lists::readListXml(path, columnCount, &monitor);
        } catch (...) {
            failure = std::current_exception();
        }
    }));
    QEventLoop loop;
    connect(worker.get(), &QThread::finished, &loop, &QEventLoop::quit);
    QTimer tick;
    tick.setInterval(100);
    connect(&tick, &QTimer::timeout, progress_, [this, &monitor] { progress_->setPosition(monitor.percent()); });

    const QFont font(program_.state.UserFont.name, program_.state.UserFont.size);
    progress_->setWindowModality(Qt::ApplicationModal);
    progress_->allowStopping([&monitor] { monitor.stop(); });
    progress_->start(QStringLiteral("Import wykazu"),
                     QStringLiteral("Wczytywanie pliku %1").arg(QDir::toNativeSeparators(QFileInfo(path).fileName())),
                     kProgressSteps, font);
    worker->start();
    tick.start();
    loop.exec();
    worker->wait();
    tick.stop();
    progress_->allowStopping({});
    progress_->finish();

    // Pressed after the last step, "Przerwij" still wins: the user has been told the list stays.
    if (monitor.stopped())
        return std::nullopt;
    if (failure) {
        try {
            std::rethrow_exception(failure);
        } catch (const lists::ReadStopped&) {
            return std::nullopt;
        }
    }
    return rows;
}

} // namespace vestrum
