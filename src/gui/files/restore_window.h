#pragma once

#include <QDialog>

#include <functional>

class QListWidget;
class QPushButton;

namespace vestrum {

class Program;

// "Przywracanie danych": the list of restore points, oldest first, from which the user picks one to restore.
class RestoreWindow : public QDialog {
public:
    explicit RestoreWindow(Program& program, QWidget* parent = nullptr);

    // Restores the chosen point (its full path); the window closes with OK afterwards.
    std::function<void(const QString&)> restore;

    // Shows the window modally; true when it closed with "przywróć dane".
    bool run();
    // The button "przywróć dane".
    void przywroc();
    // Lists the restore points of the folder "archiwum" again, none of them selected.
    void fillList();

    QListWidget* pointList() const { return list_; }
    QPushButton* restoreButton() const { return restore_; }
    QPushButton* cancelButton() const { return cancel_; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    Program& program_;
    QListWidget* list_;
    QPushButton* restore_;
    QPushButton* cancel_;
};

} // namespace vestrum
