#pragma once

#include <QComboBox>

namespace vestrum {

// "Zakres danych:": the drop-down of the 24 sections, drawn by the program. Each item sits 4 px
// from the left of its row, the selected one white on the menu highlight, the others navy; a row
// is as tall as "Tj" plus 3 px and the list opens 26 rows tall.
class SectionChooserWidget : public QComboBox {
    Q_OBJECT
public:
    explicit SectionChooserWidget(QWidget* parent = nullptr);

    int rowHeight() const;
    void showPopup() override;

protected:
    void paintEvent(QPaintEvent* event) override;
};

} // namespace vestrum
