#pragma once

#include "datafile/merge.h"

#include <QDialog>

#include <functional>

class QListWidget;
class QPushButton;
class QStackedWidget;

namespace vestrum {

class DataFileBrowser;
class Program;

// "Łączenie danych": page 1 ticks the parts of the survey to merge, page 2 picks the other data file.
// The ticks stay as the user left them until the program closes.
class MergeWindow : public QDialog {
public:
    explicit MergeWindow(Program& program, QWidget* parent = nullptr);

    // Merges the ticked items of the chosen file into the working survey; throws vestrum::Error with the
    // refusal or failure, after which the working survey is as it was and the window stays open.
    std::function<void(const QString& path, const merge::ItemChoice& items)> merge;

    // Shows the window modally at page 1; true when the merge was done ("połącz dane" closed it with OK).
    bool run();

    merge::ItemChoice ticked() const;
    void setTicked(const merge::ItemChoice& items);

    // The buttons of page 1 and page 2.
    void wszystkie();
    void zaden();
    void dalej();
    void wroc(); // page 2: back to page 1
    void polaczDane();

    int currentPage() const; // 0 or 1
    QListWidget* itemList() const { return items_; }
    DataFileBrowser* browser() const { return browser_; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    QWidget* buildRangePage();
    QWidget* buildFilePage();
    void tickAll(bool on);

    Program& program_;
    QStackedWidget* pages_;
    QListWidget* items_ = nullptr;
    DataFileBrowser* browser_ = nullptr;
};

} // namespace vestrum
