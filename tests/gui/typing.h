#pragma once

// Typing as a person does: the field is clicked, what it holds is selected and typed over with key
// presses, so validators, length limits, completers and focus checks see real input.

#include <QAbstractScrollArea>
#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QTest>
#include <QWidget>
#include <gtest/gtest.h>
#include <string>

namespace vestrum::testing {

// One key press per character at `target`. Letters outside ASCII (ą, ł, ż ...) go as a key press
// that carries only its text, as a Polish keyboard layout or an input method delivers them;
// QTest::keyClicks would turn them into nothing.
inline void typeKeys(QWidget* target, const QString& text)
{
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar ch = text.at(i);
        if (ch.unicode() < 0x80 && ch.isPrint()) {
            QTest::keyClick(target, ch.toLatin1());
            continue;
        }
        // A character outside the basic plane comes as one key carrying both its halves.
        const qsizetype units = ch.isHighSurrogate() && i + 1 < text.size() ? 2 : 1;
        QTest::sendKeyEvent(QTest::Click, target, Qt::Key_unknown, text.mid(i, units), Qt::NoModifier);
        i += units - 1;
    }
}

// Names the widget with the keyboard focus, for a failure message.
inline std::string focusHolderName()
{
    const QWidget* holder = QApplication::focusWidget();
    if (!holder)
        return "no widget";
    return std::string(holder->metaObject()->className()) + " \"" + holder->objectName().toStdString() + '"';
}

// Where a mouse click puts the caret: the page of a text edit, the line of an editable combo box.
inline QWidget* clickTargetOf(QWidget* field)
{
    if (auto* area = qobject_cast<QAbstractScrollArea*>(field))
        return area->viewport();
    if (auto* combo = qobject_cast<QComboBox*>(field); combo && combo->lineEdit())
        return combo->lineEdit();
    return field;
}

// Clicks `field` (its window comes to the front first, as under a window manager), checks that it
// took the keyboard focus, selects what it holds with Ctrl+A and types `text` over it; an empty
// `text` deletes the selection. For line edits, text edits, editable combo boxes and spin boxes.
// The field keeps the focus: press Tab or Enter afterwards where leaving it commits the value.
inline void typeOver(QWidget* field, const QString& text)
{
    ASSERT_NE(field, nullptr);
    ASSERT_TRUE(field->isVisible()) << "a field that is not shown cannot be typed into: "
                                    << field->objectName().toStdString();
    QWidget* window = field->window();
    if (!window->isActiveWindow()) {
        window->activateWindow();
        // QTest::qWaitForWindowActive would not wait for a dialog whose owner is still the active one.
        ASSERT_TRUE(QTest::qWaitFor([window] { return window->isActiveWindow(); }, 2000))
            << "the window did not come to the front: " << window->windowTitle().toStdString();
    }
    QTest::mouseClick(clickTargetOf(field), Qt::LeftButton);
    ASSERT_TRUE(field->hasFocus()) << "a click did not give the focus to " << field->objectName().toStdString()
                                   << "; it is with " << focusHolderName();
    QWidget* focused = QApplication::focusWidget();
    QTest::keyClick(focused, Qt::Key_A, Qt::ControlModifier);
    if (text.isEmpty())
        QTest::keyClick(focused, Qt::Key_Delete);
    else
        typeKeys(focused, text);
}

// Presses `key` on whatever holds the keyboard focus, as a person does, or on the active window.
inline void pressKey(Qt::Key key, Qt::KeyboardModifiers mods = Qt::NoModifier)
{
    QWidget* target = QApplication::focusWidget() ? QApplication::focusWidget() : QApplication::activeWindow();
    if (target)
        QTest::keyClick(target, key, mods);
}

// Presses Tab until `wanted` holds the focus: the presses it took, or -1 when it never came.
inline int tabUntil(const QWidget* wanted, int most = 100)
{
    for (int i = 1; i <= most; ++i) {
        pressKey(Qt::Key_Tab);
        if (QApplication::focusWidget() == wanted)
            return i;
    }
    return -1;
}

// Brings `window` to the front, as a click on it under a window manager does; false when it never
// became the active window.
inline bool bringToFront(QWidget* window)
{
    window->activateWindow();
    return QTest::qWaitFor([window] { return window->isActiveWindow(); }, 2000);
}

} // namespace vestrum::testing
