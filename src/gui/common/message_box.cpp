#include "gui/common/message_box.h"

#include "gui/common/keyboard_rules.h"

#include <QCheckBox>
#include <QGuiApplication>
#include <QLabel>
#include <QPushButton>
#include <QScreen>

namespace vestrum {
namespace {

constexpr int kAnswerYes = 1;
constexpr int kAnswerNo = 2;
constexpr int kSideMargin = 24; // half of the 48 pixels the box is wider than its text
constexpr int kTextPadding = 16;
constexpr int kMinButtonWidth = 75;

} // namespace

// A fixed dialog without minimize and maximize buttons. Under X11 a window that asks for none of
// the title-bar functions is given all of them, so the box asks for the close function alone
// (closing it answers neither yes nor no, as the keyboard's close command does); its fixed size
// keeps it from being maximized where a window manager draws the buttons anyway.
MessageBox::MessageBox(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint
                          | Qt::WindowStaysOnTopHint),
      text_(new QLabel(this)),
      dontShowAgain_(new QCheckBox(QStringLiteral("nie pokazuj więcej tego komunikatu"), this)),
      left_(new QPushButton(this)),
      right_(new QPushButton(this))
{
    InstallKeyboardRules(); // a box closing gives the focus back to the window under it
    setObjectName(QStringLiteral("f_wiadomosc"));
    setWindowTitle(QStringLiteral("Vestrum"));
    setModal(true);
    text_->setTextFormat(Qt::PlainText); // messages quote user data, which may hold "<"
    text_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    connect(left_, &QPushButton::clicked, this, [this] { done(kAnswerYes); });
    connect(right_, &QPushButton::clicked, this, [this] { done(kAnswerNo); });
}

MessageResponse MessageBox::present(const MessageRequest& request)
{
    prepare(request);
    centreOnScreen();
    const int result = exec();
    MessageResponse response;
    response.answer = result == kAnswerYes ? MessageAnswer::Yes
                    : result == kAnswerNo  ? MessageAnswer::No
                                           : MessageAnswer::None;
    response.dontShowAgain = request.number > 0 && dontShowAgain_->isChecked();
    return response;
}

void MessageBox::prepare(const MessageRequest& request)
{
    const UserFontSpec& userFont = font_ ? *font_ : defaultFont_;
    QFont font(userFont.name);
    font.setPointSize(userFont.size);
    setFont(font);

    text_->setText(request.text);
    dontShowAgain_->setChecked(false);
    dontShowAgain_->setVisible(request.number > 0);
    chooseButtons(request.buttons);
    layOut(request.number > 0);

    QPushButton* first = left_->isVisibleTo(this) ? left_ : right_;
    first->setDefault(true);
    first->setFocus();
}

// The left button always answers yes and the right one no, whatever they read.
void MessageBox::chooseButtons(unsigned buttons)
{
    bool leftShown = false;
    bool rightShown = false;
    if (buttons & (MbYes | MbNo)) {
        leftShown = buttons & MbYes;
        rightShown = buttons & MbNo;
        left_->setText(QStringLiteral("Tak"));
        right_->setText(QStringLiteral("Nie"));
    } else {
        rightShown = buttons & MbCancel;
        leftShown = (buttons & MbOk) || !rightShown; // a box always has a way out
        left_->setText(QStringLiteral("Dalej"));
        right_->setText(QStringLiteral("Wróć"));
    }
    left_->setVisible(leftShown);
    right_->setVisible(rightShown);
    left_->setDefault(false);
    right_->setDefault(false);
}

void MessageBox::layOut(bool withCheckBox)
{
    const QFontMetrics fm(font());
    const int buttonHeight = fm.height() + 8; // "Tj" + 8

    text_->setWordWrap(false);
    QSize textSize = text_->sizeHint();
    if (textSize.width() > kWrapWidth) {
        text_->setWordWrap(true);
        textSize = QSize(kWrapWidth, text_->heightForWidth(kWrapWidth));
    }

    auto buttonWidth = [&](const QPushButton* b) {
        return std::max(fm.horizontalAdvance(b->text()) + 16, kMinButtonWidth);
    };
    const bool two = left_->isVisibleTo(this) && right_->isVisibleTo(this);
    const QSize box = dontShowAgain_->sizeHint();

    int width = textSize.width() + 2 * kSideMargin;
    if (withCheckBox)
        width = std::max(width, box.width() + 8);
    const int buttonsWidth = two ? 2 * (std::max(buttonWidth(left_), buttonWidth(right_)) + 8)
                                 : buttonWidth(left_->isVisibleTo(this) ? left_ : right_);
    width = std::max(width, buttonsWidth + 16);

    // The text sits centred in the space above the check box and the buttons.
    int y = kTextPadding;
    text_->setGeometry((width - textSize.width()) / 2, y, textSize.width(), textSize.height());
    y += textSize.height() + kTextPadding;
    if (withCheckBox) {
        dontShowAgain_->setGeometry((width - box.width()) / 2, y, box.width(), box.height());
        y += box.height() + 8;
    }

    const int centre = width / 2;
    if (two) {
        left_->setGeometry(centre - 4 - buttonWidth(left_), y, buttonWidth(left_), buttonHeight);
        right_->setGeometry(left_->geometry().right() + 1 + 8, y, buttonWidth(right_), buttonHeight);
    } else {
        QPushButton* only = left_->isVisibleTo(this) ? left_ : right_;
        only->setGeometry(centre - buttonWidth(only) / 2, y, buttonWidth(only), buttonHeight);
    }
    y += buttonHeight + 12;
    setFixedSize(width, y);
}

void MessageBox::centreOnScreen()
{
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen)
        return;
    const QRect area = screen->availableGeometry();
    move(area.center() - QPoint(width() / 2, height() / 2));
}

} // namespace vestrum
