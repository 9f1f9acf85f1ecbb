#pragma once

#include "survey/form_catalogue.h"

#include <QColor>
#include <QWidget>
#include <vector>

class QLabel;
class QMenu;
class QPushButton;
class QScrollArea;

namespace vestrum {

class CodeChooserWidget;
class ListGridView;

// Background of an input in view mode; in edit mode it is white. Sums keep their own grey.
inline QColor ViewModeColour() { return QColor(244, 244, 234); }
inline QColor SumColour() { return QColor(224, 223, 227); }

// One page (or sub-page) of a section, built from the form catalogue: its rows in tab order,
// each a panel carrying its marker, and its bar of "wpisz/zmień dane" (or "dodaj, usuń lub
// zmień"), "zapisz zmiany" and "pomiń zmiany". The page knows how to look; what its buttons do
// is decided by the main window, which listens to the signals.
class SectionPageWidget : public QWidget {
    Q_OBJECT
public:
    SectionPageWidget(const form::Section& section, const form::Page& page, QWidget* parent = nullptr);

    const form::Section& section() const { return *section_; }
    const form::Page& page() const { return *page_; }
    int tag() const { return page_->tag; }

    QPushButton* editButton() const { return edit_; }
    QPushButton* saveButton() const { return save_; }
    QPushButton* discardButton() const { return discard_; }
    ListGridView* grid() const { return grid_; }
    CodeChooserWidget* chooser() const { return chooser_; }
    QWidget* control(const QString& name) const;
    // Row panels in tab order; each carries the property "marker".
    const std::vector<QWidget*>& rowPanels() const { return rowPanels_; }

    bool inEditMode() const { return editMode_; }

    // Colours and enables every input of the page except inside rows marked 1.
    void setEditable(bool editable);
    // Edit mode without the pending-edit flag (the window sets that): editable inputs, focus on the
    // first usable field, the edit button swapped for "zapisz zmiany" / "pomiń zmiany".
    void enterEditMode();
    void leaveEditMode();

    // The context menu of a text or number field: "Wytnij", "Kopiuj", "Wklej", "Usuń".
    static QMenu* createFieldMenu(QWidget* field, QWidget* parent);

    // Moves the focus on from a field as Enter does.
    void focusNextFrom(QWidget* field);

signals:
    void editClicked(SectionPageWidget* page);
    void saveClicked(SectionPageWidget* page);
    void discardClicked(SectionPageWidget* page);
    void listButtonClicked(SectionPageWidget* page, int buttonTag);
    void gridDoubleClicked(SectionPageWidget* page);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    struct RowEntry {
        const form::Row* row;
        QWidget* panel;
        std::vector<QWidget*> inputs; // focusable controls in tab order
    };

    QWidget* buildRow(const form::Row& row, RowEntry& entry);
    QWidget* buildControl(const form::Control& control, QWidget* parent);
    void buildButtonBar();
    void layOutButtonBar();
    void syncCaptionWidths();
    bool focusRow(size_t index);
    // The control edit mode starts on: the first enabled one of the first row that is neither a
    // note nor a group heading.
    QWidget* firstEditControl() const;

    const form::Section* section_;
    const form::Page* page_;
    QWidget* bar_ = nullptr;
    QPushButton* edit_ = nullptr;
    QPushButton* save_ = nullptr;
    QPushButton* discard_ = nullptr;
    ListGridView* grid_ = nullptr;
    CodeChooserWidget* chooser_ = nullptr;
    std::vector<QWidget*> rowPanels_;
    std::vector<RowEntry> rows_;
    std::vector<QLabel*> captionLabels_;
    bool editMode_ = false;
};

} // namespace vestrum
