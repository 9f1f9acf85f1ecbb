#pragma once

#include "lists/list_grid.h"

#include <QDialog>
#include <QMap>
#include <QSize>
#include <array>
#include <functional>
#include <utility>

class QAction;
class QLabel;
class QPushButton;
class QTimer;
class QToolButton;

namespace vestrum {

class HintsPanelWidget;
class Program;
class ListGridView;

// "Wykazy": the one modal window in which every list of the survey is edited. It lays out its
// grid for a list kind, fills it (from the database, or from the main window's grid of the
// section for kinds 0, 13, 14, 49, 50), lets the user sort, add, change and delete entries, and
// writes the whole list in one step ("zapisz zmiany") or drops every change ("pomiń zmiany").
// Nothing reaches the database before "zapisz zmiany".
//
// The grid's content lives in a ListGrid; the ListGridView only shows it. Commands that belong to
// other parts of the program (the entry dialog, the text import, the journal identification, the
// XML exchange) are plugged in with setEntryEditor / setToolCommand; until then their buttons are
// disabled.
class ListEditor : public QDialog {
    Q_OBJECT
public:
    explicit ListEditor(Program& program, QWidget* parent = nullptr);
    ~ListEditor() override;

    // Opens modally on a list kind kept in the database (every kind but 0, 13, 14, 49, 50).
    // True when the window closed with "zapisz zmiany"; count() is then what the list button shows.
    bool openKind(int kind);
    // Opens modally on a kind shown in a grid of the main window: the headers and rows are copied
    // from `sectionGrid`; "zapisz zmiany" copies the list back into it and runs `saveSection`
    // (the section's own save routine, which may throw vestrum::Error). True when saved.
    bool openGridKind(int kind, ListGridView* sectionGrid, std::function<void()> saveSection);

    // Lays out and fills the grid for a kind without showing the window (also what the report
    // builder needs). Throws vestrum::Error when the list cannot be read.
    void prepare(int kind, ListGridView* sectionGrid = nullptr, std::function<void()> saveSection = {});

    int kind() const { return kind_; }
    Program& program() const { return program_; }
    int count() const { return count_; } // 0 for the main-window grid kinds
    QString title() const;
    // Declared widths of the kind's width-limited fields (the entry dialog's maximum lengths).
    const QMap<QString, int>& maxLengths() const { return maxLengths_; }

    // The list being edited: the rows the grid shows (data rows from 0; the grid model reads it in
    // place). A command that changes it (adds rows, sets cells, sorts) calls listChanged() afterwards.
    const lists::ListGrid& list() const;
    lists::ListGrid& list();
    // Shows the list again, selects `selectRow` (a data row, -1 keeps the current one), refits the
    // columns and, when `pending`, marks the edit as pending.
    void listChanged(int selectRow = -1, bool pending = true);
    // The selected data rows (first, last), or (-1, -1) when no data row is selected.
    std::pair<int, int> selectedRows() const;
    void selectRow(int row);
    // The data row the next opening selects instead of the first one (the survey check opens the
    // editor on the row it found at fault).
    void selectOnOpen(int row) { openRow_ = row; }

    // The entry dialog: gets the kind and the row's cells (empty for a new entry), may change the
    // cells, and returns true when the user accepted them. Enables "dodaj nową pozycję" and
    // "zmień zaznaczoną".
    using EntryEditor = std::function<bool(int kind, QStringList& cells)>;
    void setEntryEditor(EntryEditor editor);

    enum class Tool { TextImport, GroupIdentification, XmlExport, XmlImport, UnmatchedJournals, BibliographyImport };
    // A command of the tool row (enables its button). A command that changes the list calls
    // listChanged(), which shows it again and refits the columns.
    void setToolCommand(Tool tool, std::function<void(ListEditor&)> command);
    // Runs after an import of the tool row that changed the list, with the first row it brought
    // (publications are then offered the journals their titles did not find).
    void setAfterImport(std::function<void(ListEditor&, int firstImportedRow)> afterImport);

    // Commands, as the buttons run them.
    void addEntry();
    void changeEntry();
    void deleteSelected();
    void deleteAll();
    void saveChanges();
    void discardChanges();
    void sortByColumn(int column);

    ListGridView* grid() const { return grid_; }
    QLabel* titleLabel() const { return title_; }
    QPushButton* addButton() const { return add_; }
    QPushButton* changeButton() const { return change_; }
    QPushButton* deleteButton() const { return delete_; }
    QPushButton* deleteAllButton() const { return deleteAll_; }
    QPushButton* saveButton() const { return save_; }
    QPushButton* discardButton() const { return discard_; }
    QAction* toolAction(Tool tool) const { return tools_[static_cast<size_t>(tool)]; }
    // The row of tool commands; it wraps onto more lines rather than hide one.
    QWidget* toolRow() const { return toolRow_; }
    QToolButton* toolButton(Tool tool) const { return toolButtons_[static_cast<size_t>(tool)]; }
    HintsPanelWidget* hintsPanel() const { return hints_; }

public slots:
    void reject() override; // the window's close control and Esc: "pomiń zmiany" unless already closed by a command

protected:
    void showEvent(QShowEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void fit();
    void setPending();
    void updateMinimumSize();
    void growToShowAll();
    int currentDataRow() const;

    Program& program_;
    int kind_ = -1;
    int count_ = 0;
    int openRow_ = -1;
    bool closeGuard_ = false;
    QMap<QString, int> maxLengths_;
    ListGridView* sectionGrid_ = nullptr;
    std::function<void()> saveSection_;
    EntryEditor entryEditor_;
    std::array<std::function<void(ListEditor&)>, 6> toolCommands_;
    std::function<void(ListEditor&, int)> afterImport_;
    int changes_ = 0;           // listChanged() calls so far
    int lastChangedFrom_ = -1;  // the row the last of them selected

    QWidget* toolRow_;
    std::array<QAction*, 6> tools_{};
    std::array<QToolButton*, 6> toolButtons_{};
    QLabel* title_;
    QPushButton* add_;
    QPushButton* change_;
    QPushButton* delete_;
    QPushButton* deleteAll_;
    ListGridView* grid_;
    QPushButton* save_;
    QPushButton* discard_;
    HintsPanelWidget* hints_;
    QWidget* commandRow_;
    QWidget* bottomRow_;
    QTimer* refit_;
    QSize fittedSize_;
};

} // namespace vestrum
