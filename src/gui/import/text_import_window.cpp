#include "gui/import/text_import_window.h"

#include "base/error.h"
#include "base/grid_rules.h"
#include "gui/common/file_picker.h"
#include "gui/common/list_grid_view.h"
#include "gui/common/progress_window.h"
#include "gui/common/user_font.h"
#include "gui/common/window_memory.h"
#include "gui/lists/duplicate_choice_window.h"
#include "gui/lists/list_editor.h"
#include "import/import_rules.h"
#include "import/spreadsheet_reader.h"
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
#include <QStandardItemModel>
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
const char* const kWorkbookItem = "arkusz";
const char* const kHiddenSheet = " (ukryty)";
constexpr int kMapLabelLetters = 24;
// A line longer than this is shown cut: a text field lays out a whole line at once, and one of megabytes
// would keep the window from answering. The text read is the whole one.
constexpr qsizetype kShownLineLetters = 2000;

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

    // What the text was read as: the encoding of a file (detected, and open to a choice) or a
    // workbook's sheet; and the note of a header row ticked without being asked.
    encodingCaption_ = new QLabel(S("kodowanie:"), page);
    encoding_ = new QComboBox(page);
    for (importing::TextEncoding e : importing::TextEncodings())
        encoding_->addItem(importing::EncodingName(e), static_cast<int>(e));
    encoding_->addItem(S(kWorkbookItem), -1);
    if (auto* items = qobject_cast<QStandardItemModel*>(encoding_->model()))
        items->item(encoding_->count() - 1)->setEnabled(false);
    encodingCaption_->setBuddy(encoding_);
    connect(encoding_, &QComboBox::activated, this, [this](int index) {
        const int e = encoding_->itemData(index).toInt();
        if (e >= 0)
            chooseEncoding(static_cast<importing::TextEncoding>(e));
    });
    sheetCaption_ = new QLabel(S("arkusz:"), page);
    sheet_ = new QComboBox(page);
    sheet_->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    sheetCaption_->setBuddy(sheet_);
    connect(sheet_, &QComboBox::activated, this, &TextImportWindow::chooseSheet);
    headerNotice_ = new QLabel(page);
    headerNotice_->setWordWrap(true);
    cutNotice_ = new QLabel(S("Wiersze dłuższe niż %1 znaków pokazano skrócone - wczytany zostanie cały tekst.")
                                .arg(kShownLineLetters),
        page);
    cutNotice_->setWordWrap(true);
    cutNotice_->setVisible(false);
    auto* sourceRow = new QHBoxLayout;
    sourceRow->addWidget(encodingCaption_);
    sourceRow->addWidget(encoding_);
    sourceRow->addSpacing(16);
    sourceRow->addWidget(sheetCaption_);
    sourceRow->addWidget(sheet_);
    sourceRow->addSpacing(16);
    sourceRow->addWidget(cutNotice_, 1);
    sourceRow->addStretch();

    // "Separator pól:" with its two options; each enables only its own fields.
    byCharacters_ = new QRadioButton(S("znak/znaki:"), page);
    byLines_ = new QRadioButton(S("koniec linii"), page);
    auto* modes = new QButtonGroup(page);
    modes->addButton(byCharacters_);
    modes->addButton(byLines_);
    byCharacters_->setChecked(true);
    separator_ = new QComboBox(page);
    separator_->setEditable(true);
    separator_->setInsertPolicy(QComboBox::NoInsert);
    separator_->addItems({S(";"), S(","), S("tabulator")});
    separator_->setCurrentIndex(0);
    separator_->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    quotes_ = new QCheckBox(S("cudzysłów ogranicza pola"), page);
    quotes_->setChecked(true);
    linesBefore_ = new QLabel(S(" - opis obejmuje"), page);
    lineCount_ = new QLineEdit(S("1"), page);
    lineCount_->setMaximumWidth(50);
    lineCount_->installEventFilter(this);
    linesAfter_ = new QLabel(S("linii"), page);
    connect(byCharacters_, &QRadioButton::toggled, this, &TextImportWindow::modeChanged);
    // The two options one under the other, so the row fits a narrow screen at a big font.
    auto* separatorRow = new QGridLayout;
    separatorRow->addWidget(new QLabel(S("Separator pól:"), page), 0, 0);
    separatorRow->addWidget(byCharacters_, 0, 1);
    auto* characters = new QHBoxLayout;
    characters->addWidget(separator_);
    characters->addSpacing(8);
    characters->addWidget(quotes_);
    characters->addStretch();
    separatorRow->addLayout(characters, 0, 2);
    separatorRow->addWidget(byLines_, 1, 1);
    auto* lineEnds = new QHBoxLayout;
    lineEnds->addWidget(linesBefore_);
    lineEnds->addWidget(lineCount_);
    lineEnds->addWidget(linesAfter_);
    lineEnds->addStretch();
    separatorRow->addLayout(lineEnds, 1, 2);
    separatorRow->setColumnStretch(2, 1);

    header_ = new QCheckBox(S("pierwszy wiersz zawiera nazwy kolumn"), page);
    connect(header_, &QCheckBox::clicked, this, [this] {
        headerGuessed_ = false;
        headerNotice_->clear();
    });

    // The labels of the map carry the header row's captions; they follow the text after a pause in typing.
    relabel_ = new QTimer(this);
    relabel_->setSingleShot(true);
    relabel_->setInterval(200);
    connect(relabel_, &QTimer::timeout, this, &TextImportWindow::refreshMapLabels);
    auto relabelSoon = [this] { relabel_->start(); };
    connect(header_, &QCheckBox::toggled, this, &TextImportWindow::refreshMapLabels);
    connect(quotes_, &QCheckBox::toggled, this, relabelSoon);
    connect(separator_, &QComboBox::editTextChanged, this, relabelSoon);
    connect(lineCount_, &QLineEdit::textChanged, this, relabelSoon);
    connect(byCharacters_, &QRadioButton::toggled, this, relabelSoon);
    connect(text_, &QPlainTextEdit::textChanged, this, [this] {
        if (header_->isChecked())
            relabel_->start();
    });

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
        auto* label = new QLabel(QString::number(n + 1) + QLatin1Char('.'), page);
        label->setBuddy(list);
        mapLabels_[static_cast<size_t>(n)] = label;
        mapGrid->addWidget(label, row, column, Qt::AlignRight);
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
    layout->addLayout(sourceRow);
    layout->addWidget(heading("Definicja struktury wykazu", page));
    layout->addLayout(separatorRow);
    auto* headerRow = new QHBoxLayout;
    headerRow->addWidget(header_);
    headerRow->addSpacing(16);
    headerRow->addWidget(headerNotice_, 1);
    layout->addLayout(headerRow);
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

// --- the text --------------------------------------------------------------------------------

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

// --- the structure ---------------------------------------------------------------------------

void TextImportWindow::modeChanged()
{
    // A workbook's cells need neither a separator nor a line count.
    const bool text = !sheetSource_;
    const bool characters = byCharacters_->isChecked();
    byCharacters_->setEnabled(text);
    byLines_->setEnabled(text);
    separator_->setEnabled(text && characters);
    quotes_->setEnabled(text && characters);
    linesBefore_->setEnabled(text && !characters);
    lineCount_->setEnabled(text && !characters);
    linesAfter_->setEnabled(text && !characters);
}

importing::ImportStructure TextImportWindow::structure() const
{
    importing::ImportStructure s;
    s.mode = byCharacters_->isChecked() ? importing::SeparatorMode::Characters : importing::SeparatorMode::LineEnds;
    s.separator = importing::SeparatorFromText(separator_->currentText());
    s.linesPerRecord = lineCount_->text().trimmed().toInt();
    s.map = mapColumns_;
    s.quotes = quotes_->isChecked();
    s.header = header_->isChecked();
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
    const QStringList headers = importing::ImportHeaders(kind_);
    if (sheetSource_) {
        // cells need no separator
    } else if (chosen.mode == importing::SeparatorMode::Characters) {
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
        read = sheetSource_ ? importing::ReadSheetRecords(kind_, sheetRows_, chosen, &journals_, fieldRead)
                            : importing::ReadRecords(kind_, importText(), chosen, &journals_, fieldRead);
        quotedBreaks_ = std::move(read.quotedBreaks);
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

// The preview grid lays out its rows word-wrapped only as they come into view, so a preview of
// tens of thousands of rows fits as fast as one of a screenful.
void TextImportWindow::fitPreview() { FitGridColumns(preview_); }

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
