#pragma once

#include "lists/entry_checks.h"

#include <QDialog>
#include <QHash>
#include <QMap>
#include <memory>
#include <vector>

class QLabel;
class QMenu;
class QPushButton;
class QSplitter;
class QStackedWidget;

namespace vestrum {

class EntryPageWidget;
class HintsPanelWidget;
class Program;
class LongTextWindow;
class JournalSearchWindow;

namespace lists {
class JournalList;
class ListGrid;
} // namespace lists

// "Dane szczegółowe": the modal dialog in which one entry of a list is typed or changed. It shows
// the page of the list kind (page tabs are never shown), checks each field when the user leaves it
// and the whole page on "zapamiętaj zmiany", and hands the entry back as the cells of a list row.
// The values live in a lists::EntryForm; the widgets only show and edit them.
class EntryDialog : public QDialog {
    Q_OBJECT
public:
    explicit EntryDialog(Program& program, QWidget* parent = nullptr);
    ~EntryDialog() override;

    // Journal identification of the publication pages (kinds 3 to 6). Without it "Czasopismo z
    // listy ministerstwa" stays empty and read-only.
    void setJournalSearch(lists::JournalList* list, JournalSearchWindow* search);
    // Maximum lengths by table field, as LoadList gives them (ListEditor::maxLengths()).
    void setMaxLengths(const QMap<QString, int>& lengths);

    // The list editor's entry editor: empty `cells` opens a new entry, a row's cells change that
    // entry. True when the user accepted; `cells` is then the entry's row.
    bool editEntry(int kind, QStringList& cells);
    // "dodaj nową pozycję": on acceptance the entry fills the blank row of an empty list or becomes
    // the last row; `row` gets its index.
    bool addEntry(int kind, lists::ListGrid& grid, int* row = nullptr);
    // "zmień zaznaczoną": the dialog is filled from data row `row` and writes the entry back into it.
    bool changeEntry(int kind, lists::ListGrid& grid, int row);

    // Selects the kind's page and fills it (new entry when `cells` is empty) without showing it.
    void prepare(int kind, const QStringList& cells = {});

    int kind() const { return kind_; }
    const lists::EntryForm& form() const { return *form_; }
    bool accepted() const { return accepted_; }

    // Rows of the current page in tab order (the form's rows).
    QWidget* input(int row) const;
    QWidget* rowPanel(int row) const;
    QLabel* rowCaption(int row) const;
    int rowOfInput(const QWidget* input) const; // -1 when it is not a row's input
    QLabel* headingLabel() const { return heading_; }
    QPushButton* saveButton() const { return save_; }
    QPushButton* discardButton() const { return discard_; }
    HintsPanelWidget* hintsPanel() const { return hints_; }
    EntryPageWidget* currentPage() const;
    LongTextWindow* longTextEditor();
    // The context menu of a text field: "Wytnij", "Kopiuj", "Wklej", "Usuń".
    QMenu* contextMenuFor(QWidget* field);

    // "zapamiętaj zmiany" and "pomiń zmiany".
    void saveChanges();
    void discardChanges();

public slots:
    void reject() override; // the close control and Esc: "pomiń zmiany" unless already closed
    void done(int result) override;

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    struct Shown {
        int panel = 0;
        EntryPageWidget* page = nullptr;
        int pageRow = 0;
    };
    void buildRow(EntryPageWidget* page, int pageRow);
    void loadRow(int row);
    void loadAll(int except = -1);
    void takeText(int row);
    void focusRow(int row);
    void moveOn(int from);
    bool runExitCheck(int row);
    void editLongText(int row);
    void identifyJournal();
    // The journal the ISSN field names, applied; false (nothing changed) when it names none.
    bool identifyByIssn();
    void identifyFromIssnField();
    void openJournalSearch();
    void applyJournal(const lists::Journal& journal);
    void restorePanels();
    void storePanels();
    int maxLengthOf(int row) const;
    QSize firstSize();

    Program& program_;
    lists::JournalList* journals_ = nullptr;
    JournalSearchWindow* search_ = nullptr;
    QMap<QString, int> maxLengths_;
    // The length each multi-line field may reach, fixed when its text is loaded, as a one-line field's limit is:
    // a stored text longer than its field may be edited back up to its own length.
    QHash<int, int> memoLimits_;
    std::unique_ptr<lists::EntryForm> form_;
    int kind_ = -1;
    bool accepted_ = false;
    bool syncing_ = false;
    bool checking_ = false;
    QMap<QString, int> heights_; // panel name -> height the user gave it
    std::vector<Shown> shown_;   // form row -> its widgets

    QLabel* heading_;
    QStackedWidget* pages_;
    std::vector<EntryPageWidget*> pageWidgets_;
    QPushButton* save_;
    QPushButton* discard_;
    HintsPanelWidget* hints_;
    QSplitter* splitter_;
    LongTextWindow* longText_ = nullptr;
};

} // namespace vestrum
