#pragma once

#include "program/messages.h"
#include "program/run_state.h"

#include <QDialog>

class QCheckBox;
class QLabel;
class QPushButton;

namespace vestrum {

// The program's own message box: caption "Vestrum", the text, optionally "nie pokazuj więcej
// tego komunikatu", and one or two buttons. It is the Messages of the running program; the
// silencing of messages is done around it by ProgramMessage.
class MessageBox : public QDialog, public Messages {
    Q_OBJECT
public:
    static constexpr int kWrapWidth = 400; // wider texts wrap at this width

    explicit MessageBox(QWidget* parent = nullptr);

    // The box takes this font each time it is shown; the run state's UserFont is passed once
    // at start and followed from then on.
    void useFont(const UserFontSpec& font) { font_ = &font; }

    MessageResponse present(const MessageRequest& request) override;

    // Builds and lays out the box for a request without showing it (present() does this first;
    // tests look at the result).
    void prepare(const MessageRequest& request);

    QLabel* textLabel() const { return text_; }
    QCheckBox* dontShowAgainBox() const { return dontShowAgain_; }
    QPushButton* leftButton() const { return left_; }
    QPushButton* rightButton() const { return right_; }

private:
    void chooseButtons(unsigned buttons);
    void layOut(bool withCheckBox);
    void centreOnScreen();

    const UserFontSpec* font_ = nullptr;
    UserFontSpec defaultFont_;
    QLabel* text_;
    QCheckBox* dontShowAgain_;
    QPushButton* left_;
    QPushButton* right_;
};

} // namespace vestrum
