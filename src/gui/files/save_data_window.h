#pragma once

#include <QDialog>

class QLineEdit;
class QPushButton;

namespace vestrum {

class DataFileBrowser;
class Program;

// "Zapisywanie danych": the window in which the user names the data file the working data are written to.
// "Zapisz dane jako ...", "Zapisz dane" without a current data file and "Zrób kopię zapasową danych" show it.
class SaveDataWindow : public QDialog {
public:
    explicit SaveDataWindow(Program& program, QWidget* parent = nullptr);

    // Shows the window modally; true when a data file was written (it is then CurrentDataFile).
    bool run();
    // The button "zapisz".
    void zapisz();

    DataFileBrowser* browser() const { return browser_; }
    QLineEdit* nameField() const { return name_; }
    QPushButton* saveButton() const { return save_; }
    QPushButton* cancelButton() const { return cancel_; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    Program& program_;
    DataFileBrowser* browser_;
    QLineEdit* name_;
    QPushButton* save_;
    QPushButton* cancel_;
};

} // namespace vestrum
