#include "program/messages.h"
#include "gui/common/message_box.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QTimer>

using namespace vestrum;

namespace {

// Answers the box that present() is about to show, once its event loop runs.
void answerWith(MessageBox& box, QPushButton* (MessageBox::*button)() const, bool tick = false)
{
    QTimer::singleShot(0, &box, [&box, button, tick] {
        if (tick)
            box.dontShowAgainBox()->setChecked(true);
        (box.*button)()->click();
    });
}

int textWidth(const MessageBox& box, const QString& text)
{
    return QFontMetrics(box.font()).horizontalAdvance(text);
}

} // namespace

TEST(MessageBox, ShortQuestionLayout)
{
    MessageBox box;
    box.prepare({QStringLiteral("Czy na pewno chcesz zakończyć pracę programu?"), MessageKind::Warning, 0, MbYesNo});

    EXPECT_EQ(box.windowTitle(), QStringLiteral("Vestrum"));
    EXPECT_TRUE(box.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    // No minimize or maximize button; under X11 asking for the close function alone is what keeps
    // them away.
    EXPECT_FALSE(box.windowFlags().testFlag(Qt::WindowMinimizeButtonHint));
    EXPECT_FALSE(box.windowFlags().testFlag(Qt::WindowMaximizeButtonHint));
    EXPECT_EQ(box.font().family(), QStringLiteral("Arial"));
    EXPECT_EQ(box.font().pointSize(), 12);

    const QLabel* label = box.textLabel();
    EXPECT_FALSE(label->wordWrap());
    EXPECT_LE(label->width(), MessageBox::kWrapWidth);
    EXPECT_EQ(box.width(), label->width() + 48);
    EXPECT_EQ(label->geometry().center().x(), box.rect().center().x());
    EXPECT_FALSE(box.dontShowAgainBox()->isVisibleTo(&box));

    QPushButton* left = box.leftButton();
    QPushButton* right = box.rightButton();
    EXPECT_EQ(left->text(), QStringLiteral("Tak"));
    EXPECT_EQ(right->text(), QStringLiteral("Nie"));
    const int centre = box.width() / 2;
    EXPECT_EQ(left->geometry().right() + 1, centre - 4);
    EXPECT_EQ(right->x(), centre + 4);
    EXPECT_EQ(left->height(), QFontMetrics(box.font()).height() + 8);
    EXPECT_GT(left->y(), label->geometry().bottom());
    EXPECT_TRUE(left->isDefault());
}

TEST(MessageBox, ButtonCaptionsFollowTheButtonSet)
{
    MessageBox box;
    box.prepare({QStringLiteral("Eksport został zakończony"), MessageKind::Information, 13, MbOk});
    EXPECT_TRUE(box.leftButton()->isVisibleTo(&box));
    EXPECT_FALSE(box.rightButton()->isVisibleTo(&box));
    EXPECT_EQ(box.leftButton()->text(), QStringLiteral("Dalej"));
    EXPECT_EQ(box.leftButton()->geometry().center().x(), box.rect().center().x()); // one button, centred

    QCheckBox* check = box.dontShowAgainBox();
    EXPECT_TRUE(check->isVisibleTo(&box));
    EXPECT_EQ(check->text(), QStringLiteral("nie pokazuj więcej tego komunikatu"));
    EXPECT_GE(box.width(), check->width() + 8);
    EXPECT_LT(check->geometry().bottom(), box.leftButton()->y());

    box.prepare({QStringLiteral("x"), MessageKind::Information, 0, MbOk | MbCancel});
    EXPECT_EQ(box.leftButton()->text(), QStringLiteral("Dalej"));
    EXPECT_EQ(box.rightButton()->text(), QStringLiteral("Wróć"));
    EXPECT_FALSE(box.dontShowAgainBox()->isVisibleTo(&box));

    box.prepare({QStringLiteral("x"), MessageKind::Information, 0, MbCancel});
    EXPECT_FALSE(box.leftButton()->isVisibleTo(&box));
    EXPECT_EQ(box.rightButton()->text(), QStringLiteral("Wróć"));
}

TEST(MessageBox, WideTextWrapsAt400Pixels)
{
    MessageBox box;
    QString text = QStringLiteral("Przypominamy o konieczności tworzenia kopii zapasowych danych");
    while (textWidth(box, text) < 800)
        text += QStringLiteral(" na nośnikach wymiennych");
    box.prepare({text, MessageKind::Warning, 0, MbYesNo});

    EXPECT_TRUE(box.textLabel()->wordWrap());
    EXPECT_EQ(box.textLabel()->width(), 400);
    EXPECT_EQ(box.width(), 448);
    EXPECT_GE(box.textLabel()->height(), 2 * QFontMetrics(box.font()).lineSpacing());

    // The box follows the user's font.
    UserFontSpec small{QStringLiteral("Arial"), 8};
    box.useFont(small);
    box.prepare({QStringLiteral("Dalej?"), MessageKind::Warning, 0, MbOk});
    EXPECT_EQ(box.font().pointSize(), 8);
    EXPECT_FALSE(box.textLabel()->wordWrap());
}

TEST(MessageBox, AnswersOfTheButtonsAndTheCheckBox)
{
    MessageBox box;
    answerWith(box, &MessageBox::leftButton);
    MessageResponse r = box.present({QStringLiteral("Pytanie"), MessageKind::Warning, 3, MbYesNo});
    EXPECT_EQ(r.answer, MessageAnswer::Yes);
    EXPECT_FALSE(r.dontShowAgain);

    answerWith(box, &MessageBox::rightButton, true);
    r = box.present({QStringLiteral("Pytanie"), MessageKind::Warning, 3, MbYesNo});
    EXPECT_EQ(r.answer, MessageAnswer::No);
    EXPECT_TRUE(r.dontShowAgain);

    // "Wróć" is the right button and answers no, like "Nie".
    answerWith(box, &MessageBox::rightButton);
    r = box.present({QStringLiteral("Dalej czy wróć"), MessageKind::Information, 0, MbOk | MbCancel});
    EXPECT_EQ(r.answer, MessageAnswer::No);

    // Closing the box without a button answers neither.
    QTimer::singleShot(0, &box, [&box] { box.reject(); });
    r = box.present({QStringLiteral("Pytanie"), MessageKind::Warning, 0, MbYesNo});
    EXPECT_EQ(r.answer, MessageAnswer::None);
}

TEST(MessageBox, TickedBoxSilencesLaterMessages)
{
    MessageBox box;
    MessageFlags flags;
    const QString quit = QStringLiteral("Czy na pewno chcesz zakończyć pracę programu?");

    // "Nie" keeps the program open this time; every later close asks nothing and goes on.
    answerWith(box, &MessageBox::rightButton, true);
    EXPECT_EQ(ProgramMessage(box, flags, quit, MessageKind::Warning, 1, MbYesNo), MessageAnswer::No);
    EXPECT_EQ(ProgramMessage(box, flags, quit, MessageKind::Warning, 1, MbYesNo), MessageAnswer::Yes);

    // Message 3 keeps the answer given: later section changes discard silently.
    answerWith(box, &MessageBox::rightButton, true);
    ProgramMessage(box, flags, QStringLiteral("Dane widoczne na ekranie zostały zmienione."), MessageKind::Warning,
                   3, MbYesNo);
    EXPECT_EQ(flags.flag(3), 0);

    // The restore-point notice, once silenced, simply stays away.
    answerWith(box, &MessageBox::leftButton, true);
    ProgramMessage(box, flags, QStringLiteral("Punkt przywracania danych został pomyślnie utworzony."),
                   MessageKind::Information, 7, MbOk);
    EXPECT_EQ(flags.flag(7), 0);
    EXPECT_EQ(flags.flag(2), 1);
}
