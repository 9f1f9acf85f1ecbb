#pragma once

#include "check/survey_check.h"

#include <QDialog>
#include <functional>
#include <vector>

class QLabel;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

namespace vestrum {

class ListEditor;
class MainWindow;
class Program;

// "Sprawdzenie ankiety": what the whole-survey check found, grouped by section with the counts of
// errors and warnings. The window stays open beside the main window while the user fixes the
// survey; a double click on a finding opens its place, "sprawdź ponownie" runs the check again.
class SurveyCheckWindow : public QDialog {
    Q_OBJECT
public:
    explicit SurveyCheckWindow(Program& program, QWidget* parent = nullptr);

    // Runs the check (the caller has ended a pending edit) and shows what it found.
    std::function<std::vector<check::Finding>()> runCheck;
    // Opens the page field or the list row of a finding.
    std::function<void(const check::Finding&)> openPlace;

    void setFindings(std::vector<check::Finding> findings);
    const std::vector<check::Finding>& findings() const { return findings_; }
    // Runs runCheck and shows the result; a failure is told through the program's message box.
    void checkAgain();
    // Opens the place of the finding the item shows (section rows open nothing).
    void open(QTreeWidgetItem* item);

    QTreeWidget* tree() const { return tree_; }
    QLabel* summary() const { return summary_; }
    QPushButton* againButton() const { return again_; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    void fill();

    Program& program_;
    std::vector<check::Finding> findings_;
    QLabel* summary_;
    QTreeWidget* tree_;
    QPushButton* again_;
    QPushButton* close_;
};

// The menu command "Sprawdź ankietę" and the way from a finding to its place: the section page
// with the field in edit mode, or the list editor on the row.
class SurveyCheckCommands : public QObject {
public:
    // The list editor is asked for only when a finding leads to a list.
    SurveyCheckCommands(Program& program, MainWindow& mainWindow, std::function<ListEditor&()> listEditor);

    SurveyCheckWindow& window() { return *window_; }
    void openPlace(const check::Finding& finding);

private:
    void openField(const QString& control);
    void openListRow(int kind, int row);

    Program& program_;
    MainWindow& main_;
    std::function<ListEditor&()> listEditor_;
    SurveyCheckWindow* window_;
};

} // namespace vestrum
