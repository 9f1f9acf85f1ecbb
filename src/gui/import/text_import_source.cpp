#include "gui/import/text_import_window.h"
#include "gui/import/text_import_window_internal.h"

#include "base/error.h"
#include "gui/common/file_picker.h"
#include "import/spreadsheet_reader.h"
#include "program/program.h"

#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QGuiApplication>
#include <QLabel>
#include <QPlainTextEdit>
#include <QTimer>

// The text the import reads: typed, pasted, or from a file in its detected (or chosen) encoding, or a
// workbook's sheet; shown cut where its lines are too long; its header row guessed and the map labelled.
namespace vestrum {
namespace {

using textimport::BusyPointer;
using textimport::kShownLineLetters;
using textimport::kWorkbookItem;
using textimport::S;

const char* const kHiddenSheet = " (ukryty)";
constexpr int kMapLabelLetters = 24;

// The text as the field shows it: every line longer than kShownLineLetters cut there and ended with "…";
// `cut` tells whether any was.
QString shownText(const QString& text, bool& cut)
{
    cut = false;
    QString shown;
    qsizetype start = 0;
    const qsizetype n = text.size();
    while (start <= n) {
        qsizetype end = start;
        while (end < n && text[end] != u'\n' && text[end] != u'\r')
            ++end;
        if (end - start > kShownLineLetters) {
            if (!cut)
                shown = text.left(start);
            cut = true;
            shown += QStringView(text).sliced(start, kShownLineLetters) + QChar(0x2026);
        } else if (cut) {
            shown += QStringView(text).sliced(start, end - start);
        }
        if (end >= n)
            break;
        const qsizetype next = text[end] == u'\r' && end + 1 < n && text[end + 1] == u'\n' ? end + 2 : end + 1;
        if (cut)
            shown += QStringView(text).sliced(end, next - end);
        start = next;
    }
    return cut ? shown : text;
}

// A sheet in the text field: a row a line, its cells separated by tabs, a cell's own line breaks as blanks.
QString sheetText(const std::vector<QStringList>& rows)
{
    QStringList lines;
    lines.reserve(static_cast<qsizetype>(rows.size()));
    for (const QStringList& row : rows) {
        QStringList cells = row;
        for (QString& cell : cells)
            cell.replace(QLatin1Char('\n'), QLatin1Char(' '));
        lines << cells.join(QLatin1Char('\t'));
    }
    return lines.join(QLatin1Char('\n'));
}

} // namespace

void TextImportWindow::clearText()
{
    showText(QString());
    fileBytes_.clear();
    leaveWorkbook();
    encoding_->setCurrentIndex(-1);
    encoding_->setEnabled(false);
    newSourceShown();
}

void TextImportWindow::showText(const QString& text)
{
    bool cut = false;
    const QString shown = sheetSource_ ? text : shownText(text, cut);
    fullText_ = cut ? text : QString();
    textCut_ = cut;
    cutNotice_->setVisible(cut);
    text_->setReadOnly(cut || sheetSource_);
    text_->setPlainText(shown);
    QTextCursor start = text_->textCursor();
    start.movePosition(QTextCursor::Start);
    text_->setTextCursor(start);
}

void TextImportWindow::setImportText(const QString& text)
{
    fileBytes_.clear();
    leaveWorkbook();
    encoding_->setCurrentIndex(-1);
    encoding_->setEnabled(false);
    showText(text);
    newSourceShown();
}

void TextImportWindow::loadTextFromFile()
{
    FilePicker picker(program_, this);
    // "*.*" would hide files without a dot here.
    picker.configure(S("Wskaż zbiór"), QStringLiteral("*"), S("wczytaj"), false);
    if (!picker.choose() || picker.selectedFile().isEmpty())
        return;
    loadTextFromFile(picker.selectedFile());
}

void TextImportWindow::loadTextFromFile(const QString& path)
{
    try {
        BusyPointer busy;
        if (importing::IsSpreadsheetFile(path)) {
            loadWorkbook(path, std::nullopt);
            return;
        }
        QByteArray bytes = importing::ReadImportBytes(path);
        const importing::TextEncoding encoding = importing::DetectEncoding(bytes);
        const QString text = importing::DecodeAs(bytes, encoding);
        if (const QString problem = importing::NulProblem(text, path); !problem.isEmpty())
            throw Error(problem);
        leaveWorkbook();
        fileBytes_ = std::move(bytes);
        filePath_ = path;
        showDecoded(encoding, text);
    } catch (const Error& e) {
        program_.notify(e.message(), 0, MessageKind::Error);
    }
}

void TextImportWindow::showDecoded(importing::TextEncoding encoding, const QString& text)
{
    encoding_->setEnabled(true);
    encoding_->setCurrentIndex(encoding_->findData(static_cast<int>(encoding)));
    shownEncoding_ = encoding;
    showText(text);
    newSourceShown();
}

void TextImportWindow::chooseEncoding(importing::TextEncoding encoding)
{
    if (fileBytes_.isNull() || sheetSource_)
        return;
    BusyPointer busy;
    const QString text = importing::DecodeAs(fileBytes_, encoding);
    // UTF-16 read as a single-byte encoding gives NULs: the text shown stays, in the encoding it was read in.
    if (const QString problem = importing::NulProblem(text, filePath_); !problem.isEmpty()) {
        encoding_->setCurrentIndex(encoding_->findData(static_cast<int>(shownEncoding_)));
        program_.notify(problem, 0, MessageKind::Error);
        return;
    }
    showDecoded(encoding, text);
}

void TextImportWindow::loadWorkbook(const QString& path, std::optional<int> sheet)
{
    importing::Spreadsheet workbook = importing::ReadSpreadsheet(path, sheet);
    fileBytes_.clear();
    sheetSource_ = true;
    workbookPath_ = path;
    sheetRows_ = std::move(workbook.rows);
    sheet_->clear();
    for (qsizetype n = 0; n < workbook.sheetNames.size(); ++n)
        sheet_->addItem(workbook.sheetNames[n] + (workbook.hidden[static_cast<size_t>(n)] ? S(kHiddenSheet) : QString()));
    sheet_->setCurrentIndex(workbook.sheet);
    sheet_->setEnabled(workbook.sheetNames.size() > 1);
    sheetCaption_->setVisible(true);
    sheet_->setVisible(true);
    encoding_->setCurrentIndex(encoding_->findText(S(kWorkbookItem)));
    encoding_->setEnabled(false);
    // The cells are the fields: there is nothing to separate, and the shown text is not what is read.
    showText(sheetText(sheetRows_));
    modeChanged();
    newSourceShown();
}

void TextImportWindow::chooseSheet(int sheet)
{
    if (!sheetSource_ || sheet < 0)
        return;
    try {
        BusyPointer busy;
        loadWorkbook(workbookPath_, sheet);
    } catch (const Error& e) {
        program_.notify(e.message(), 0, MessageKind::Error);
    }
}

void TextImportWindow::leaveWorkbook()
{
    sheetSource_ = false;
    workbookPath_.clear();
    sheetRows_.clear();
    sheet_->clear();
    sheetCaption_->setVisible(false);
    sheet_->setVisible(false);
    text_->setReadOnly(textCut_);
    modeChanged();
}

QStringList TextImportWindow::firstRecord() const
{
    return sheetSource_ ? importing::FirstSheetRecord(sheetRows_) : importing::FirstRecordFields(importText(), structure());
}

QString TextImportWindow::importText() const
{
    return textCut_ ? fullText_ : text_->toPlainText();
}

// A header row is guessed only for a new text or sheet, so a box the user set stays as set; a box
// the guess ticked is taken back when the next text has no header row.
void TextImportWindow::newSourceShown()
{
    const QStringList first = kind_ >= 0 ? firstRecord() : QStringList {};
    if (kind_ >= 0 && importing::LooksLikeHeader(kind_, first, structure(), program_.state.ReportingYear)) {
        header_->setChecked(true);
        headerGuessed_ = true;
        headerNotice_->setText(S("Pierwszy wiersz tekstu to nazwy kolumn wykazu - zaznaczono to pole, "
                                 "więc nie zostanie on wczytany jako pozycja."));
    } else {
        if (headerGuessed_)
            header_->setChecked(false);
        headerGuessed_ = false;
        headerNotice_->clear();
    }
    refreshMapLabels();
}

void TextImportWindow::refreshMapLabels()
{
    relabel_->stop();
    const QStringList captions = header_->isChecked() ? firstRecord() : QStringList {};
    for (int n = 0; n < importing::kMapPositions; ++n) {
        QString label = QString::number(n + 1) + QLatin1Char('.');
        const QString caption = captions.value(n).simplified();
        if (!caption.isEmpty())
            label += QLatin1Char(' ')
                + (caption.size() > kMapLabelLetters ? caption.left(kMapLabelLetters - 1) + QChar(0x2026) : caption);
        mapLabels_[static_cast<size_t>(n)]->setText(label);
        mapLabels_[static_cast<size_t>(n)]->setToolTip(captions.value(n));
    }
}

void TextImportWindow::pasteFromClipboard()
{
    const QString text = QGuiApplication::clipboard()->text();
    if (const QString problem = importing::ClipboardTextProblem(text); !problem.isEmpty()) {
        program_.notify(problem, 0, MessageKind::Error);
        return;
    }
    setImportText(text);
}

} // namespace vestrum
