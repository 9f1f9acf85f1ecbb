#pragma once

#include "print/report_builder.h"

#include <QDialog>

class QListWidget;
class QListWidgetItem;
class QPushButton;

namespace vestrum {

class Program;

// "Wydruk": the check list of the 38 report entries, "wszystkie" and "żaden" above it, "drukuj"
// and "wróć" below. Every entry starts cleared; a parent entry gives its parts its own state.
// "drukuj" hands the ticked entries to the print command and closes the window.
class ReportChoiceWindow : public QDialog {
    Q_OBJECT
public:
    ReportChoiceWindow(Program& program, std::function<void(const report::TickedEntries&)> print,
                       QWidget* parent = nullptr);

    report::TickedEntries ticked() const;
    void setTicked(const report::TickedEntries& ticked);

    QListWidget* entryList() const { return list_; }
    QPushButton* allButton() const { return all_; }
    QPushButton* noneButton() const { return none_; }
    QPushButton* printButton() const { return print_; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    void itemChanged(QListWidgetItem* item);

    std::function<void(const report::TickedEntries&)> printCommand_;
    QListWidget* list_;
    QPushButton* all_;
    QPushButton* none_;
    QPushButton* print_;
    QPushButton* back_;
    bool updating_ = false;
};

} // namespace vestrum
