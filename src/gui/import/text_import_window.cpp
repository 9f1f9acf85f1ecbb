#include "gui/import/text_import_window.h"

#include "base/error.h"
#include "base/grid_rules.h"
#include "gui/common/file_picker.h"
#include "gui/common/list_grid_view.h"
#include "gui/common/progress_window.h"
#include "gui/common/user_font.h"
#include "gui/common/window_memory.h"
#include "gui/lists/list_editor.h"
#include "import/import_rules.h"
#include "lists/journal_identification.h"
#include "lists/list_catalogue.h"
#include "program/program.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFocusEvent>
#include <QGridLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QStackedWidget>
#include <QTimer>
#include <QVBoxLayout>

namespace vestrum {
namespace {

QString S(const char* text)
{
    return QString::fromUtf8(text);
}

constexpr int kDiscardQuestion = 18;
constexpr int kIdentificationNotice = 12;
constexpr int kProgressRepaintMs = 40;

const char* const kPreviewHeading = "Weryfikacja wyników i ładowanie danych";

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
             "wierszach), przy czym wybrany separator nie \nmoże wystąpić w zawartości żadnego z pól ");
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

// The advance of the widest of many texts. Shaping every text would take most of the time a large
// import spends in the preview: the characters' own advances estimate each text, and only the
// texts that come near the widest estimate are shaped.
class WidestText {
public:
    explicit WidestText(const QFont& font)
        : shaped_(font)
        , characters_(font)
    {
    }

    int of(const QStringList& texts)
    {
        std::vector<qreal> estimates;
        estimates.reserve(static_cast<size_t>(texts.size()));
        qreal widestEstimate = 0;
        for (const QString& text : texts) {
            estimates.push_back(estimate(text));
            widestEstimate = std::max(widestEstimate, estimates.back());
        }
        int widest = 0;
        for (qsizetype i = 0; i < texts.size(); ++i)
            if (estimates[static_cast<size_t>(i)] >= widestEstimate * kCandidateShare)
                widest = std::max(widest, shaped_.horizontalAdvance(texts[i]));
        return widest;
    }

private:
    // Kerning and shaping change a line's width by far less than this share.
    static constexpr qreal kCandidateShare = 0.85;

    qreal estimate(const QString& text)
    {
        qreal width = 0;
        for (const QChar ch : text) {
            float& advance = advances_[ch.unicode()];
            if (advance < 0)
                advance = static_cast<float>(characters_.horizontalAdvance(ch));
            width += advance;
        }
        return width;
    }

    QFontMetrics shaped_;
    QFontMetricsF characters_;
    std::vector<float> advances_ = std::vector<float>(0x10000, -1.0f);
};

// Restores the normal pointer however the reading ends.
struct BusyPointer {
    BusyPointer() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~BusyPointer() { QApplication::restoreOverrideCursor(); }
    BusyPointer(const BusyPointer&) = delete;
    BusyPointer& operator=(const BusyPointer&) = delete;
};

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

QWidget* TextImportWindow::buildStructurePage()
{
    auto* page = new QWidget(this);
    QPushButton* clear = button("usuń cały tekst", page);
    QPushButton* fromFile = button("wczytaj tekst z pliku", page);
    QPushButton* fromClipboard = button("wklej tekst ze schowka systemowego", page);
    connect(clear, &QPushButton::clicked, this, &TextImportWindow::clearText);
    connect(fromFile, &QPushButton::clicked, this, [this] { loadTextFromFile(); });
    connect(fromClipboard, &QPushButton::clicked, this, &TextImportWindow::pasteFromClipboard);
    auto* commands = new QHBoxLayout;
    commands->addWidget(clear);
    commands->addWidget(fromFile);
    commands->addWidget(fromClipboard);
    commands->addStretch();

    text_ = new QPlainTextEdit(page);
    text_->setLineWrapMode(QPlainTextEdit::NoWrap);
    encoding_ = new QLabel(page);
    encoding_->hide();

    // "Separator pól:" with its two options; each enables only its own fields.
    byCharacters_ = new QRadioButton(S("znak/znaki:"), page);
    byLines_ = new QRadioButton(S("koniec linii"), page);
    auto* modes = new QButtonGroup(page);
    modes->addButton(byCharacters_);
    modes->addButton(byLines_);
    byCharacters_->setChecked(true);
    separator_ = new QLineEdit(S(";"), page);
    separator_->setMaximumWidth(80);
    linesBefore_ = new QLabel(S(" - opis obejmuje"), page);
    lineCount_ = new QLineEdit(S("1"), page);
    lineCount_->setMaximumWidth(50);
    lineCount_->installEventFilter(this);
    linesAfter_ = new QLabel(S("linii"), page);
    connect(byCharacters_, &QRadioButton::toggled, this, &TextImportWindow::modeChanged);
    auto* separatorRow = new QHBoxLayout;
    separatorRow->addWidget(new QLabel(S("Separator pól:"), page));
    separatorRow->addWidget(byCharacters_);
    separatorRow->addWidget(separator_);
    separatorRow->addSpacing(24);
    separatorRow->addWidget(byLines_);
    separatorRow->addWidget(linesBefore_);
    separatorRow->addWidget(lineCount_);
    separatorRow->addWidget(linesAfter_);
    separatorRow->addStretch();

    // Twelve map lists in three columns of four.
    auto* mapGrid = new QGridLayout;
    for (int n = 0; n < importing::kMapPositions; ++n) {
        auto* list = new QComboBox(page);
        list->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
        list->setMinimumContentsLength(16);
        map_[static_cast<size_t>(n)] = list;
        connect(list, &QComboBox::currentIndexChanged, this, [this, n](int index) {
            if (!reloadingMap_)
                mapColumns_[static_cast<size_t>(n)] = index - 1;
        });
        const int row = n % 4;
        const int column = (n / 4) * 2;
        mapGrid->addWidget(new QLabel(QString::number(n + 1) + QLatin1Char('.'), page), row, column, Qt::AlignRight);
        mapGrid->addWidget(list, row, column + 1);
        mapGrid->setColumnStretch(column + 1, 1);
    }

    read_ = button("wczytaj tekst do struktury", page);
    QPushButton* back = button("wróć", page);
    connect(read_, &QPushButton::clicked, this, [this] { readIntoStructure(); });
    connect(back, &QPushButton::clicked, this, &TextImportWindow::reject);
    auto* bottom = new QHBoxLayout;
    bottom->addStretch();
    bottom->addWidget(read_);
    bottom->addWidget(back);

    auto* layout = new QVBoxLayout(page);
    layout->addLayout(commands);
    layout->addWidget(text_, 1);
    layout->addWidget(encoding_);
    layout->addWidget(heading("Definicja struktury wykazu", page));
    layout->addLayout(separatorRow);
    layout->addWidget(heading("Kolejność pól", page));
    layout->addLayout(mapGrid);
    layout->addLayout(bottom);
    modeChanged();
    return page;
}

QWidget* TextImportWindow::buildPreviewPage()
{
    auto* page = new QWidget(this);
    previewHeading_ = heading(kPreviewHeading, page);
    preview_ = new ListGridView(page);
    preview_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    connect(preview_->verticalScrollBar(), &QScrollBar::valueChanged, this, [this] { measureVisiblePreviewRows(); });
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

// --- opening ---------------------------------------------------------------------------------

void TextImportWindow::prepare(int kind)
{
    const lists::ListKindInfo& info = lists::ListKindInfoOf(kind);
    kind_ = kind;
    accepted_.clear();
    clearText();
    // A new import group starts with every position skipped; the same group keeps its numbers.
    if (info.importGroup != lastGroup_) {
        mapColumns_.fill(-1);
        lastGroup_ = info.importGroup;
    }
    const QStringList headers = info.headers();
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

void TextImportWindow::reloadMapLists(const QStringList& headers)
{
    reloadingMap_ = true;
    QStringList items { S("- pomiń -") };
    items += headers;
    for (int n = 0; n < importing::kMapPositions; ++n) {
        QComboBox* list = map_[static_cast<size_t>(n)];
        int& column = mapColumns_[static_cast<size_t>(n)];
        if (column >= headers.size())
            column = -1;
        list->clear();
        list->addItems(items);
        list->setCurrentIndex(column + 1);
    }
    reloadingMap_ = false;
}

std::array<int, importing::kMapPositions> TextImportWindow::mapColumns() const
{
    return mapColumns_;
}

void TextImportWindow::setMapColumn(int position, int column)
{
    map_.at(static_cast<size_t>(position))->setCurrentIndex(column + 1);
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
        preview_->setCurrentItem(nullptr);
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

// --- the text --------------------------------------------------------------------------------

void TextImportWindow::clearText()
{
    text_->clear();
    encoding_->hide();
}

void TextImportWindow::showText(const QString& text)
{
    text_->setPlainText(text);
    QTextCursor start = text_->textCursor();
    start.movePosition(QTextCursor::Start);
    text_->setTextCursor(start);
}

void TextImportWindow::setImportText(const QString& text)
{
    showText(text);
    encoding_->hide();
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
        const importing::DecodedText decoded = importing::ReadImportFile(path);
        showText(decoded.text);
        encoding_->setText(S("Kodowanie tekstu wczytanego z pliku: ") + importing::EncodingName(decoded.encoding));
        encoding_->show();
    } catch (const Error& e) {
        program_.notify(e.message(), 0, MessageKind::Error);
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

// --- the structure ---------------------------------------------------------------------------

void TextImportWindow::modeChanged()
{
    const bool characters = byCharacters_->isChecked();
    separator_->setEnabled(characters);
    linesBefore_->setEnabled(!characters);
    lineCount_->setEnabled(!characters);
    linesAfter_->setEnabled(!characters);
}

importing::ImportStructure TextImportWindow::structure() const
{
    importing::ImportStructure s;
    s.mode = byCharacters_->isChecked() ? importing::SeparatorMode::Characters : importing::SeparatorMode::LineEnds;
    s.separator = separator_->text();
    s.linesPerRecord = lineCount_->text().trimmed().toInt();
    s.map = mapColumns_;
    return s;
}

void TextImportWindow::refuse(const QString& message, QWidget* focus)
{
    program_.notify(message, 0, MessageKind::Information);
    if (focus != nullptr)
        focus->setFocus();
}

bool TextImportWindow::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == lineCount_ && event->type() == QEvent::FocusOut && !checkingLineCount_) {
        const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
        // Another window coming forward is not the user leaving the field.
        if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason)
            checkLineCountOnLeaving();
    }
    return QDialog::eventFilter(watched, event);
}

bool TextImportWindow::checkLineCountOnLeaving()
{
    const QString problem = importing::LineCountFieldProblem(lineCount_->text());
    if (problem.isEmpty())
        return true;
    checkingLineCount_ = true;
    refuse(problem, lineCount_);
    checkingLineCount_ = false;
    return false;
}

bool TextImportWindow::readIntoStructure()
{
    const importing::ImportStructure chosen = structure();
    const QStringList headers = lists::ListKindInfoOf(kind_).headers();
    if (chosen.mode == importing::SeparatorMode::Characters) {
        if (const QString problem = importing::SeparatorProblem(chosen); !problem.isEmpty()) {
            refuse(problem, separator_);
            return false;
        }
    } else if (const QString problem = importing::LineCountProblem(lineCount_->text()); !problem.isEmpty()) {
        refuse(problem, lineCount_);
        return false;
    }
    if (const QString problem = importing::DuplicateMapProblem(chosen, headers); !problem.isEmpty()) {
        refuse(problem, nullptr);
        return false;
    }

    preview_->clearData();
    const bool publications = importing::IdentifiesJournals(kind_);
    if (publications)
        progress_.start(S("Wczytywanie i identyfikacja publikacji"), QString(), 100, font());
    importing::ImportedRows read;
    {
        BusyPointer busy;
        // The bar counts fields and starts again from 0 at 100; it is repainted now and then only,
        // so a long text is not slowed down by its own progress.
        int fields = 0;
        QElapsedTimer sinceRepaint;
        sinceRepaint.start();
        auto fieldRead = [&] {
            ++fields;
            if (publications && sinceRepaint.elapsed() >= kProgressRepaintMs) {
                progress_.setPosition(fields % 100);
                sinceRepaint.restart();
            }
        };
        read = importing::ReadRecords(kind_, text_->toPlainText(), chosen, &journals_, fieldRead);
        preview_->setUpdatesEnabled(false);
        preview_->setDataRows(read.rows);
        preview_->setUpdatesEnabled(true);
    }
    if (publications) {
        progress_.finish();
        program_.notify(S("Uwaga!\nPrzeprowadzona została automatyczna identyfikacja czasopism z listy ministerstwa. "
                          "Ponieważ jednak wymaga ona, aby nazwa czasopisma była W PEŁNI ZGODNA z zapisem na liście, "
                          "identyfikacja może być niekompletna."),
            kIdentificationNotice);
    }
    previewHeading_->setText(
        S(kPreviewHeading) + S(" - wczytano ") + QString::number(preview_->dataRowCount()) + S(" pozycji"));
    BusyPointer busy;
    showPage(PreviewPage);
    return true;
}

// --- the hand-over ---------------------------------------------------------------------------

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
        findings = importing::CheckRows(kind_, preview_->dataRows(), context, &handOver);
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
    preview_->setHeaders(preview_->headers()); // the header row in the user's font, bold
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

// An import may bring tens of thousands of rows, and laying out every cell word-wrapped would take
// far longer than reading them. The widths are measured over every cell, by the same rule as
// FitGridColumns; the row heights only for the rows in view, the others as they scroll into view.
void TextImportWindow::fitPreview()
{
    const int columns = preview_->columnCount();
    const int rows = preview_->rowCount();
    const QFontMetrics plain(preview_->font());
    QFont boldFont = preview_->font();
    boldFont.setBold(true);
    const QFontMetrics bold(boldFont);
    std::vector<int> widest(static_cast<size_t>(columns), 0);
    std::vector<int> headers(widest.size(), 0);
    WidestText cells(preview_->font());
    QStringList column;
    for (int c = 0; c < columns; ++c) {
        headers[c] = bold.horizontalAdvance(preview_->cell(c, 0));
        column.clear();
        for (int r = 1; r < rows; ++r)
            column << preview_->cell(c, r);
        widest[c] = std::max(headers[c], cells.of(column));
    }
    previewWidths_ = grid::FitColumnWidths(widest, headers, preview_->width(), preview_->viewport()->width());
    for (int c = 0; c < columns; ++c)
        preview_->setColumnWidth(c, previewWidths_[static_cast<size_t>(c)]);
    // Rows never measured already have the default height; only those measured before go back to it.
    const int lineRow = plain.height() + 4;
    if (preview_->verticalHeader()->defaultSectionSize() != lineRow) {
        preview_->verticalHeader()->setDefaultSectionSize(lineRow);
        previewMeasured_.assign(static_cast<size_t>(rows), true);
    }
    for (int r = 0; r < rows && r < static_cast<int>(previewMeasured_.size()); ++r)
        if (previewMeasured_[static_cast<size_t>(r)])
            preview_->setRowHeight(r, lineRow);
    previewMeasured_.assign(static_cast<size_t>(rows), false);
    measureVisiblePreviewRows();
}

void TextImportWindow::measureVisiblePreviewRows()
{
    const int rows = std::min(preview_->rowCount(), static_cast<int>(previewMeasured_.size()));
    const int bottom = preview_->viewport()->height();
    QFont boldFont = preview_->font();
    boldFont.setBold(true);
    for (int r = std::max(0, preview_->rowAt(0)); r < rows; ++r) {
        if (preview_->rowViewportPosition(r) > bottom)
            break;
        if (previewMeasured_[static_cast<size_t>(r)])
            continue;
        const QFontMetrics metrics(r == 0 ? boldFont : preview_->font());
        int tallest = metrics.height();
        for (int c = 0; c < preview_->columnCount(); ++c) {
            const QString text = preview_->cell(c, r);
            if (text.isEmpty())
                continue;
            const int width = std::max(1, previewWidths_[static_cast<size_t>(c)] - 8);
            tallest
                = std::max(tallest, metrics.boundingRect(QRect(0, 0, width, 1 << 20), Qt::TextWordWrap, text).height());
        }
        preview_->setRowHeight(r, tallest + 4);
        previewMeasured_[static_cast<size_t>(r)] = true;
    }
}

void ImportTextIntoEditor(ListEditor& editor, TextImportWindow& window)
{
    if (!window.importRows(editor.kind()))
        return;
    std::vector<QStringList> rows = editor.list().rows();
    importing::AppendImportedRows(rows, window.acceptedRows());
    const int firstImported = static_cast<int>(rows.size() - window.acceptedRows().size());
    editor.list().setRows(std::move(rows));
    editor.listChanged(firstImported);
}

} // namespace vestrum
