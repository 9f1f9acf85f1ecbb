#include "gui/common/progress_window.h"

#include <QApplication>
#include <QGuiApplication>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

namespace vestrum {

ProgressWindow::ProgressWindow(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint), Pasek(new QProgressBar(this)),
      Lbl(new QLabel(this)), Przerwij(new QPushButton(QStringLiteral("Przerwij"), this))
{
    setWindowTitle(QStringLiteral("Wczytywanie danych"));
    setObjectName(QStringLiteral("ProgressWindow"));
    Pasek->setObjectName(QStringLiteral("Pasek"));
    Pasek->setRange(0, 100);
    Pasek->setTextVisible(false);
    Lbl->setObjectName(QStringLiteral("Lbl"));
    Lbl->setAlignment(Qt::AlignCenter);
    Lbl->setWordWrap(true);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(16, 16, 16, 16);
    layout->addWidget(Pasek);
    layout->addWidget(Lbl);
    Przerwij->setObjectName(QStringLiteral("Przerwij"));
    Przerwij->setAutoDefault(false);
    Przerwij->hide();
    layout->addWidget(Przerwij, 0, Qt::AlignHCenter);
    connect(Przerwij, &QPushButton::clicked, this, &ProgressWindow::reject);
    setFixedWidth(420);
}

void ProgressWindow::allowStopping(std::function<void()> stop)
{
    stop_ = std::move(stop);
    Przerwij->setEnabled(true);
    Przerwij->setVisible(bool(stop_));
    adjustSize();
}

void ProgressWindow::reject()
{
    if (!stop_) {
        QDialog::reject();
        return;
    }
    // Pressed once: the operation stops at its next step and closes the window itself.
    Przerwij->setEnabled(false);
    stop_();
}

void ProgressWindow::setLabel(const QString& text)
{
    Lbl->setText(text);
    refresh();
}

QString ProgressWindow::label() const
{
    return Lbl->text();
}

void ProgressWindow::setMaximum(int maximum)
{
    // The bar resets itself when its value falls outside a new range; keep the position clamped instead.
    Pasek->setMaximum(std::max(0, maximum));
    setPosition(position_);
}

int ProgressWindow::maximum() const
{
    return Pasek->maximum();
}

void ProgressWindow::setPosition(int position)
{
    position_ = std::clamp(position, Pasek->minimum(), Pasek->maximum());
    refresh();
}

int ProgressWindow::position() const
{
    return position_;
}

void ProgressWindow::step()
{
    setPosition(position_ + 1);
}

void ProgressWindow::start(const QString& caption, const QString& labelText, int maximumValue, const QFont& font)
{
    setWindowTitle(caption);
    setFont(font);
    position_ = 0;
    Pasek->setValue(0);
    setMaximum(maximumValue);
    setLabel(labelText);
    adjustSize();
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
    show();
    sinceRepaint_.invalidate(); // the window is painted at once
    refresh();
}

void ProgressWindow::finish()
{
    hide();
}

void ProgressWindow::refresh()
{
    // Long operations run on the interface thread; let the window repaint between steps. Many quick
    // steps (the tables of a load) repaint a few times a second, not at every step; an operation that
    // may be stopped keeps listening at every step.
    constexpr qint64 kRepaintMs = 40;
    if (!isVisible()) {
        Pasek->setValue(position_);
        return;
    }
    if (!stop_ && sinceRepaint_.isValid() && sinceRepaint_.elapsed() < kRepaintMs)
        return;
    Pasek->setValue(position_);
    QApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    sinceRepaint_.start();
}

} // namespace vestrum
