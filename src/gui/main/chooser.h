#pragma once

#include "survey/form_catalogue.h"
#include "survey/reference_tables.h"

#include <QStringList>
#include <QWidget>
#include <functional>
#include <vector>

class QLineEdit;
class QListWidget;
class QPushButton;
class QTreeWidget;

namespace vestrum {

// The discipline / activity-code chooser of section 1: a two-column catalogue (code, name) with
// a header-click sort, a search on the name column, and the list of chosen lines
// ("code - name") filled with "Dodaj" and emptied with "Usuń".
class CodeChooserWidget : public QWidget {
    Q_OBJECT
public:
    // `row` is the catalogue row of the chooser (its control names and captions);
    // `notFound` is the message shown when a search finds nothing.
    CodeChooserWidget(const form::Row& row, QString notFound, QWidget* parent = nullptr);

    void setCatalogue(const QVector<CodeName>& rows);
    // Sorts the catalogue by a column as a header click does (nothing when it already is).
    void sortByColumn(int column);
    int sortColumn() const { return sortColumn_; }

    // Adds the selected catalogue row; false when none is selected or the line is there already.
    bool addSelected();
    void removeSelected();
    // Selects the first catalogue row, from the top, whose name contains the text (lower case);
    // shows the not-found message through `notify` when none does.
    bool search();
    void setSearchText(const QString& text);

    QStringList chosenLines() const;
    void setChosenLines(const QStringList& lines);
    void selectCatalogueRow(int row);
    int selectedCatalogueRow() const;
    QString catalogueName(int row) const;
    QStringList catalogueHeaders() const;

    QTreeWidget* catalogue() const { return catalogue_; }
    QListWidget* chosen() const { return chosen_; }
    QLineEdit* searchField() const { return search_; }

    std::function<void(const QString&)> notify;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void fill();

    QString notFound_;
    std::vector<QStringList> rows_;
    QStringList headers_;
    int sortColumn_ = -1;
    QTreeWidget* catalogue_;
    QListWidget* chosen_;
    QLineEdit* search_;
    QPushButton* find_;
    QPushButton* add_;
    QPushButton* remove_;
};

} // namespace vestrum
