#include "gui/import/text_import_window.h"
#include "gui/import/text_import_window_internal.h"

#include "base/error.h"
#include "gui/common/list_grid_view.h"
#include "gui/common/progress_window.h"
#include "program/program.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFocusEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStandardItemModel>
#include <QTimer>
#include <QVBoxLayout>

// The "Struktura" page: the text with its source, the separator mode, the header box and the field map, and
// reading the text into the preview with what was chosen.
namespace vestrum {
namespace {

using textimport::BusyPointer;
using textimport::button;
using textimport::heading;
using textimport::S;
using textimport::kPreviewHeading;
using textimport::kShownLineLetters;
using textimport::kWorkbookItem;

constexpr int kIdentificationNotice = 12;
constexpr int kProgressRepaintMs = 40;

} // namespace

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

} // namespace vestrum
