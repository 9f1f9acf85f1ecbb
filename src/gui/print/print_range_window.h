#pragma once

#include "print/print_range.h"

#include <QDialog>

#include <optional>

class QComboBox;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace vestrum {

// "Zakres drukowania": which pages of the preview go to the printer.
class PrintRangeWindow : public QDialog {
public:
    explicit PrintRangeWindow(QWidget* parent = nullptr);

    // Fills the fields for a document of `pageCount` pages and shows the window modally;
    // the chosen range after "drukuj", nothing after "wróć".
    std::optional<PrintRange> chooseRange(int pageCount);

    // Sets the window up for a document without showing it, and reads the range as it stands.
    void prepare(int pageCount);
    PrintRange range() const;

    QComboBox* parityList() const { return parity_; }
    QRadioButton* wholeChoice() const { return whole_; }
    QRadioButton* pagesChoice() const { return pages_; }
    QLineEdit* fromField() const { return from_; }
    QLineEdit* toField() const { return to_; }
    QPushButton* printButton() const { return print_; }
    QPushButton* backButton() const { return back_; }

private:
    void enableFields();

    int pageCount_ = 0;
    QComboBox* parity_;
    QRadioButton* whole_;
    QRadioButton* pages_;
    QLineEdit* from_;
    QLineEdit* to_;
    QPushButton* print_;
    QPushButton* back_;
};

} // namespace vestrum
