// The baseline of the start-up benchmark: an empty Qt main window, shown maximized like the
// program's, that says "first paint" on its standard output once it has been painted and ends, the way the
// program's --quit-after-first-paint does. Its start to first paint is what Qt alone costs on this machine.
#include <QApplication>
#include <QEvent>
#include <QMainWindow>
#include <QTimer>

#include <cstdio>

namespace {

class QuitAfterFirstPaint : public QObject {
public:
    explicit QuitAfterFirstPaint(QMainWindow& window) : QObject(&window), window_(window) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (watched == &window_ && event->type() == QEvent::Paint && !quitting_) {
            quitting_ = true;
            std::fputs("first paint\n", stdout);
            std::fflush(stdout);
            QTimer::singleShot(0, &window_, [this] {
                window_.close();
                QApplication::quit();
            });
        }
        return false;
    }

private:
    QMainWindow& window_;
    bool quitting_ = false;
};

} // namespace

int main(int argc, char** argv)
{
    QApplication application(argc, argv);
    QMainWindow window;
    window.setWindowTitle(QStringLiteral("Vestrum"));
    window.installEventFilter(new QuitAfterFirstPaint(window));
    window.showMaximized();
    return QApplication::exec();
}
