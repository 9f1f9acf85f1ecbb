#pragma once

#include "program/run_state.h"

#include <QDialog>

class QLineEdit;
class QListWidget;
class QPushButton;

namespace vestrum {

// "Wybierz czcionkę": the user's font, chosen from the fonts installed on the system and the
// sizes 8 to 16.
class FontWindow : public QDialog {
    Q_OBJECT
public:
    explicit FontWindow(UserFontSpec& userFont, QWidget* parent = nullptr);

    // Shows the window modally; true when "zastosuj" stored a new font in the user's font.
    bool chooseFont();

    QListWidget* fontList() const { return fonts_; }
    QListWidget* sizeList() const { return sizes_; }
    QLineEdit* nameField() const { return name_; }
    QLineEdit* sizeField() const { return size_; }
    QPushButton* applyButton() const { return apply_; }
    QPushButton* backButton() const { return back_; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    void showUserFont();
    void applyChoice();

    UserFontSpec* userFont_;
    QListWidget* fonts_;
    QListWidget* sizes_;
    QLineEdit* name_;
    QLineEdit* size_;
    QPushButton* apply_;
    QPushButton* back_;
};

} // namespace vestrum
