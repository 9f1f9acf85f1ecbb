#pragma once

#include "app/program.h"
#include "app/startup.h"

#include <QMainWindow>

namespace vestrum {

class TProgressFrm;
class Tf_about;

// The main window: owns the start-up and closing of the program and shows the survey.
class Tf_main : public QMainWindow {
public:
    explicit Tf_main(Program& program, QWidget* parent = nullptr);
    ~Tf_main() override;

    // The start when the window is first shown. Returns false when the program must end
    // (a database that cannot be opened); the reason has then been shown to the user.
    bool startUp(const QStringList& arguments, const QString& programFolder);

    Program& program() { return program_; }
    ShellSteps& steps() { return steps_; }
    TProgressFrm& progress() { return *progress_; }
    Tf_about& about() { return *about_; }

    // Closes the window without the closing questions (used when the start fails).
    void closeWithoutQuestions();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void buildMenu();
    void showAbout();

    Program& program_;
    ShellSteps steps_;
    TProgressFrm* progress_;
    Tf_about* about_;
    bool closingConfirmed_ = false;
};

} // namespace vestrum
