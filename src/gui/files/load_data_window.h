#pragma once

#include <QDialog>
#include <QWidget>

#include <functional>

class QComboBox;
class QLabel;
class QListWidget;
class QListWidgetItem;
class QPushButton;

namespace vestrum {

class Program;

// The drive list, folder list and file list that the load and save windows share. The drive list holds the
// user's home folder and the mounted volumes; the folder list shows the way down to the folder in view and
// its subfolders (activating one opens it); the file list shows the folder's files matching the mask.
class DataFileBrowser : public QWidget {
public:
    explicit DataFileBrowser(QWidget* parent = nullptr);

    void setMask(const QString& mask);
    // Shows `path`, or the home folder when it is not a readable folder.
    void setFolder(const QString& path);
    QString folder() const; // without a trailing "/" (except the root itself)
    QString selectedFile() const; // full path of the file chosen in the file list, or empty
    void refreshDrives();

    // The drive list's choice, as the user makes it; returns to the drive of the folder in view when the
    // chosen one cannot be read.
    void chooseDrive(int index);

    // Called when a chosen drive cannot be read (the window says "Dysk jest niedostępny").
    std::function<void()> onDriveUnavailable;
    // A file was clicked in the file list (its name) / double-clicked (its full path).
    std::function<void(const QString&)> onFileClicked;
    std::function<void(const QString&)> onFileActivated;

    QComboBox* driveList() const { return drives_; }
    QListWidget* folderList() const { return folders_; }
    QListWidget* fileList() const { return files_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void fillFolders();
    void fillFiles();
    void folderActivated(QListWidgetItem* item);
    void selectDriveOfFolder();

    QComboBox* drives_;
    QLabel* path_;
    QListWidget* folders_;
    QListWidget* files_;
    QString folder_;
    QString mask_ = QStringLiteral("*.naj");
    bool drivesFilled_ = false;
    bool filled_ = false; // the folder's subfolders and files are in the lists
};

// "Wczytaj dane za rok": the window in which the user picks the data file to load.
class LoadDataWindow : public QDialog {
public:
    explicit LoadDataWindow(Program& program, QWidget* parent = nullptr);

    // Loads the chosen file; the window closes with OK afterwards whatever the load's outcome.
    std::function<void(const QString&)> load;

    void setMask(const QString& mask);
    // Shows the window modally; true when it closed with "wczytaj".
    bool run();
    // The button "wczytaj" (a double click on a file does the same).
    void wczytaj();

    DataFileBrowser* browser() const { return browser_; }
    QPushButton* loadButton() const { return load_; }
    QPushButton* backButton() const { return back_; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    Program& program_;
    DataFileBrowser* browser_;
    QPushButton* load_;
    QPushButton* back_;
};

} // namespace vestrum
