#include "gui/import/bibliography_import_window.h"

#include "base/error.h"
#include "gui/common/list_grid_view.h"
#include "gui/common/user_font.h"
#include "gui/lists/duplicate_choice_window.h"
#include "gui/lists/list_editor.h"
#include "import/bibliography.h"
#include "import/import_rules.h"
#include "import/import_text.h"
#include "lists/list_catalogue.h"
#include "program/program.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace vestrum {
namespace {

QString S(const char* text)
{
    return QString::fromUtf8(text);
}

} // namespace

BibliographyImportWindow::BibliographyImportWindow(Program& program, lists::JournalList& journals, QWidget* parent)
    : QDialog(parent)
    , program_(program)
    , journals_(journals)
    , heading_(new QLabel(this))
    , skipped_(new QLabel(this))
    , preview_(new ListGridView(this))
    , errors_(new QPlainTextEdit(this))
    , enter_(new QPushButton(S("wprowadź wykaz do bazy"), this))
    , back_(new QPushButton(S("wróć"), this))
{
    setObjectName(QStringLiteral("f_import_bibliografii"));
    setWindowTitle(S("Import z bibliografii"));
    setWindowFlag(Qt::WindowMaximizeButtonHint);
    QFont bold = heading_->font();
    bold.setBold(true);
    heading_->setFont(bold);
    skipped_->setWordWrap(true);
    preview_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    connect(preview_, &ListGridView::sorted, this, [this] { FitGridColumns(preview_); });
    errors_->setReadOnly(true);
    errors_->setLineWrapMode(QPlainTextEdit::NoWrap);
    errors_->setMaximumHeight(errors_->fontMetrics().height() * 8);
    errors_->hide();
    for (QPushButton* b : { enter_, back_ })
        b->setAutoDefault(false);
    connect(enter_, &QPushButton::clicked, this, [this] { enterIntoList(); });
    connect(back_, &QPushButton::clicked, this, &QDialog::reject);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(enter_);
    buttons->addWidget(back_);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(heading_);
    layout->addWidget(skipped_);
    layout->addWidget(preview_, 1);
    layout->addWidget(errors_);
    layout->addLayout(buttons);
}

bool BibliographyImportWindow::prepare(int kind, const QString& path)
{
    kind_ = kind;
    accepted_.clear();
    errors_->clear();
    errors_->hide();
    importing::Bibliography bibliography;
    importing::BibliographyRows read;
    try {
        QApplication::setOverrideCursor(Qt::WaitCursor);
        bibliography = importing::ReadBibliographyFile(path);
        read = importing::BibliographyToRows(kind, bibliography, &journals_);
        QApplication::restoreOverrideCursor();
    } catch (const Error& e) {
        QApplication::restoreOverrideCursor();
        program_.notify(e.message(), 0, MessageKind::Error);
        return false;
    }
    heading_->setText(S("Podgląd wczytanego wykazu - %1, wczytano %2")
                          .arg(importing::FormatName(bibliography.format), importing::EntryCountText(
                                                                              static_cast<int>(read.rows.size()))));
    skipped_->setText(read.skipped.join(QLatin1Char('\n')));
    skipped_->setVisible(!read.skipped.isEmpty());
    preview_->setHeaders(importing::ImportHeaders(kind));
    preview_->setDataRows(read.rows);
    enter_->setEnabled(!read.rows.empty());
    return true;
}

bool BibliographyImportWindow::importRows(int kind, const QString& path)
{
    if (!prepare(kind, path))
        return false;
    return exec() == QDialog::Accepted;
}

bool BibliographyImportWindow::enterIntoList()
{
    importing::CheckContext context { program_.state.ReportingYear, {} };
    if (program_.survey.isOpen()) {
        try {
            context = importing::SurveyCheckContext(program_.survey, kind_, program_.state.ReportingYear);
        } catch (const Error&) {
            // The program's own widths stand in for a table that cannot be described.
        }
    }
    std::vector<QStringList> handOver;
    const std::vector<importing::ImportFinding> findings
        = importing::CheckRows(kind_, preview_->dataRows(), context, &handOver);
    if (!findings.empty()) {
        errors_->setPlainText(S("Dane nie mogą zostać wprowadzone do bazy danych - najpierw błędy muszą zostać "
                                "poprawione.")
            + importing::ImportErrorText(findings).replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
        errors_->show();
        return false;
    }
    accepted_ = std::move(handOver);
    accept();
    return true;
}

void BibliographyImportWindow::showEvent(QShowEvent* event)
{
    ApplyUserFont(this, program_.state.UserFont);
    QDialog::showEvent(event);
    const QFontMetrics metrics(font());
    resize(std::max(width(), metrics.averageCharWidth() * 140), std::max(height(), metrics.height() * 30));
    FitGridColumns(preview_);
}

void ImportBibliographyIntoEditor(
    ListEditor& editor, BibliographyImportWindow& window, const std::function<QString()>& chooseFile)
{
    const QString path = chooseFile();
    if (path.isEmpty() || !window.importRows(editor.kind(), path))
        return;
    // The ISSN beside the list's columns still tells two articles apart.
    std::optional<std::vector<QStringList>> rows
        = RowsAfterDuplicateChoice(editor.program(), editor, window.acceptedRows());
    if (!rows)
        return;
    importing::DropImportOnlyCells(editor.kind(), *rows);
    std::vector<QStringList> listRows = editor.list().rows();
    importing::AppendImportedRows(listRows, *rows);
    const int firstImported = static_cast<int>(listRows.size() - rows->size());
    editor.list().setRows(std::move(listRows));
    editor.listChanged(firstImported);
}

} // namespace vestrum
