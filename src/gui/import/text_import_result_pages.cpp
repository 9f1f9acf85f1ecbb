#include "gui/import/text_import_window.h"
#include "gui/import/text_import_window_internal.h"

#include "base/error.h"
#include "gui/common/list_grid_view.h"
#include "import/import_rules.h"
#include "program/program.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

// The "Podgląd" page, where the rows read are checked and handed over, and the page of their errors.
namespace vestrum {
namespace {

using textimport::BusyPointer;
using textimport::button;
using textimport::heading;
using textimport::kPreviewHeading;
using textimport::S;

} // namespace

QWidget* TextImportWindow::buildPreviewPage()
{
    auto* page = new QWidget(this);
    previewHeading_ = heading(kPreviewHeading, page);
    preview_ = new ListGridView(page);
    preview_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    connect(preview_, &ListGridView::sorted, this, [this] { fitPreview(); });
    enter_ = button("wprowadź wykaz do bazy", page);
    QPushButton* back = button("wróć do definicji struktury", page);
    connect(enter_, &QPushButton::clicked, this, [this] { enterIntoList(); });
    connect(back, &QPushButton::clicked, this, [this] { showPage(StructurePage); });
    auto* bottom = new QHBoxLayout;
    bottom->addStretch();
    bottom->addWidget(enter_);
    bottom->addWidget(back);
    auto* layout = new QVBoxLayout(page);
    layout->addWidget(previewHeading_);
    layout->addWidget(preview_, 1);
    layout->addLayout(bottom);
    return page;
}

QWidget* TextImportWindow::buildErrorsPage()
{
    auto* page = new QWidget(this);
    errors_ = new QPlainTextEdit(page);
    errors_->setReadOnly(true);
    errors_->setLineWrapMode(QPlainTextEdit::NoWrap);
    errors_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    QPushButton* back = button("wróć do weryfikacji wyników i ładowania danych", page);
    connect(back, &QPushButton::clicked, this, [this] { showPage(PreviewPage); });
    auto* bottom = new QHBoxLayout;
    bottom->addStretch();
    bottom->addWidget(back);
    auto* layout = new QVBoxLayout(page);
    layout->addWidget(heading("W importowanych danych znaleziono błędy.", page));
    layout->addWidget(new QLabel(
        S("Dane nie mogą zostać wprowadzone do bazy danych - najpierw błędy muszą zostać poprawione."), page));
    layout->addWidget(errors_, 1);
    layout->addLayout(bottom);
    return page;
}

bool TextImportWindow::enterIntoList()
{
    std::vector<QStringList> handOver;
    std::vector<importing::ImportFinding> findings;
    {
        BusyPointer busy;
        importing::CheckContext context { program_.state.ReportingYear, {} };
        if (program_.survey.isOpen()) {
            try {
                context = importing::SurveyCheckContext(program_.survey, kind_, program_.state.ReportingYear);
            } catch (const Error&) {
                // The program's own widths stand in for a table that cannot be described.
            }
        }
        const std::vector<QStringList> rows = preview_->dataRows();
        findings = importing::CheckRows(kind_, rows, context, &handOver);
        importing::AddQuoteNotes(findings, rows, quotedBreaks_);
        importing::DropImportOnlyCells(kind_, handOver);
    }
    if (!findings.empty()) {
        // The text starts with its empty line; the box shows line breaks as "\n".
        errors_->setPlainText(
            importing::ImportErrorText(findings).replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
        showPage(ErrorsPage);
        return false;
    }
    accepted_ = std::move(handOver);
    accept();
    return true;
}

// The preview grid lays out its rows word-wrapped only as they come into view, so a preview of
// tens of thousands of rows fits as fast as one of a screenful.
void TextImportWindow::fitPreview() { FitGridColumns(preview_); }

} // namespace vestrum
