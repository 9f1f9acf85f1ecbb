#include "gui/import/text_import_window.h"
#include "gui/import/text_import_window_internal.h"

#include "gui/common/list_grid_view.h"
#include "gui/common/user_font.h"
#include "gui/common/window_memory.h"
#include "gui/lists/duplicate_choice_window.h"
#include "gui/lists/list_editor.h"
#include "lists/list_catalogue.h"
#include "program/program.h"

#include <QCheckBox>
#include <QFont>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStackedWidget>
#include <QTimer>
#include <QVBoxLayout>

// The window: its four pages stacked, the instructions page, opening for a kind, moving between the pages,
// leaving, and the hand-over of the accepted rows to the list editor.
namespace vestrum {

namespace textimport {

QString S(const char* text)
{
    return QString::fromUtf8(text);
}

QPushButton* button(const char* caption, QWidget* parent)
{
    auto* b = new QPushButton(S(caption), parent);
    b->setAutoDefault(false);
    return b;
}

QLabel* heading(const char* text, QWidget* parent)
{
    auto* label = new QLabel(S(text), parent);
    QFont bold = label->font();
    bold.setBold(true);
    label->setFont(bold);
    return label;
}

} // namespace textimport

namespace {

using textimport::button;
using textimport::kPreviewHeading;
using textimport::S;

constexpr int kDiscardQuestion = 18;

QString instructions()
{
    return S("UWAGA\n\n"
             "Aby dane mogły zostać poprawnie zapisane, importowany wykaz musi spełniać następujące kryteria:\n\n"
             "1. dane zawierające datę muszą mieć format: dd/mm/rrrr\n\n"
             "2. dane zawierające liczby całkowite (takie jak Rok) nie mogą zawierać żadnych znaków dodatkowych (np. "
             "kropek, przecinków itp.)\n\n"
             "3. dane zawierające liczby z częścią ułamkową muszą mieć jako separator części ułamkowej przecinek\n\n"
             "4. jeżeli nie wszystkie pola obowiązkowe dla danegio wykazu są importowane, wówczas muszą one zostac "
             "uzupełnione poprzez edycję każdej pozycji \nwykazu\n\n"
             "5. wszystkie pola wykazu muszą być rozdzielone jednolitym separatorem (lub znajdować się w osobnych "
             "wierszach), przy czym wybrany separator nie \nmoże wystąpić w zawartości żadnego z pól, chyba że pole "
             "jest ujęte w cudzysłów (tak zapisują je arkusze kalkulacyjne)\n\n"
             "6. plik .xlsx lub .ods można wczytać bezpośrednio - jego komórki są polami wykazu");
}

} // namespace

TextImportWindow::TextImportWindow(
    Program& program, lists::JournalList& journals, ProgressWindow& progress, QWidget* parent)
    : QDialog(parent)
    , program_(program)
    , journals_(journals)
    , progress_(progress)
    , pages_(new QStackedWidget(this))
{
    setWindowTitle(S("Import wykazu"));
    setModal(true);
    setWindowFlag(Qt::WindowMaximizeButtonHint, true);
    mapColumns_.fill(-1);

    pages_->addWidget(buildInstructionsPage());
    pages_->addWidget(buildStructurePage());
    pages_->addWidget(buildPreviewPage());
    pages_->addWidget(buildErrorsPage());
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(pages_);

    refit_ = new QTimer(this);
    refit_->setSingleShot(true);
    refit_->setInterval(60);
    connect(refit_, &QTimer::timeout, this, [this] {
        if (isVisible() && currentPage() == PreviewPage)
            fitPreview();
    });

    new WindowMemoryKeeper(this, program.state.Windows[static_cast<size_t>(RememberedWindow::ImportWykazu)]);
    clearText();
}

QWidget* TextImportWindow::buildInstructionsPage()
{
    auto* page = new QWidget(this);
    auto* text = new QPlainTextEdit(instructions(), page);
    text->setReadOnly(true);
    dontShowAgain_ = new QCheckBox(S("nie pokazuj więcej tego komunikatu"), page);
    QPushButton* next = button("dalej", page);
    connect(next, &QPushButton::clicked, this, &TextImportWindow::continueFromInstructions);

    auto* bottom = new QHBoxLayout;
    bottom->addWidget(dontShowAgain_);
    bottom->addStretch();
    bottom->addWidget(next);
    auto* layout = new QVBoxLayout(page);
    layout->addWidget(text, 1);
    layout->addLayout(bottom);
    return page;
}

// --- opening ---------------------------------------------------------------------------------

void TextImportWindow::prepare(int kind)
{
    const lists::ListKindInfo& info = lists::ListKindInfoOf(kind);
    kind_ = kind;
    accepted_.clear();
    // The header box belongs to the text, which every opening empties; the quotes box is a setting.
    header_->setChecked(false);
    headerGuessed_ = false;
    clearText();
    // A new import group starts with every position skipped; the same group keeps its numbers.
    if (info.importGroup != lastGroup_) {
        mapColumns_.fill(-1);
        lastGroup_ = info.importGroup;
    }
    // Publications offer "ISSN" too: the preview shows it, the hand-over drops it.
    const QStringList headers = importing::ImportHeaders(kind);
    reloadMapLists(headers);
    preview_->setHeaders(headers);
    preview_->clearData();
    previewHeading_->setText(S(kPreviewHeading));
    errors_->clear();
    dontShowAgain_->setChecked(false);
    const bool instructions = program_.state.Flags.flag(MessageFlags::ImportInstructionFlag) == 1;
    showPage(instructions ? InstructionsPage : StructurePage);
}

bool TextImportWindow::importRows(int kind)
{
    prepare(kind);
    return exec() == QDialog::Accepted;
}

void TextImportWindow::showPage(Page page)
{
    pages_->setCurrentIndex(page);
    if (page == PreviewPage) {
        // A page that was hidden is laid out first, so the columns are fitted to the grid's real width.
        QWidget* shown = pages_->currentWidget();
        shown->setGeometry(pages_->contentsRect());
        if (QLayout* pageLayout = shown->layout())
            pageLayout->activate();
        preview_->setCurrentIndex(QModelIndex());
        fitPreview();
    }
}

TextImportWindow::Page TextImportWindow::currentPage() const
{
    return static_cast<Page>(pages_->currentIndex());
}

void TextImportWindow::continueFromInstructions()
{
    if (dontShowAgain_->isChecked())
        program_.state.Flags.setFlag(MessageFlags::ImportInstructionFlag, 0);
    showPage(StructurePage);
}

void TextImportWindow::reject()
{
    if (!program_.ask(S("Czy na pewno chcesz pominąć wprowadzone zmiany?"), kDiscardQuestion))
        return;
    QDialog::reject();
}

// --- showing ---------------------------------------------------------------------------------

void TextImportWindow::showEvent(QShowEvent* event)
{
    ApplyUserFont(this, program_.state.UserFont);
    RelayoutWindow(this);
    QDialog::showEvent(event);
    if (currentPage() == PreviewPage)
        fitPreview();
}

void TextImportWindow::resizeEvent(QResizeEvent* event)
{
    QDialog::resizeEvent(event);
    // Fitting measures every cell: the resize events of one drag are gathered into one fit.
    if (isVisible() && currentPage() == PreviewPage)
        refit_->start();
}

void ImportTextIntoEditor(ListEditor& editor, TextImportWindow& window)
{
    if (!window.importRows(editor.kind()))
        return;
    const std::optional<std::vector<QStringList>> kept
        = RowsAfterDuplicateChoice(editor.program(), editor, window.acceptedRows());
    if (!kept)
        return;
    std::vector<QStringList> rows = editor.list().rows();
    importing::AppendImportedRows(rows, *kept);
    const int firstImported = static_cast<int>(rows.size() - kept->size());
    editor.list().setRows(std::move(rows));
    editor.listChanged(firstImported);
}

} // namespace vestrum
