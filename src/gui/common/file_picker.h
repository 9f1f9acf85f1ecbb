#pragma once

#include <QDialog>

class QAbstractItemView;
class QComboBox;
class QKeyEvent;
class QFileSystemModel;
class QLabel;
class QLineEdit;
class QListView;
class QPushButton;
class QSplitter;
class QTreeView;

namespace vestrum {

class Program;

// "Wskaż zbiór": the program's file picker. A chooser of places (the user's home folder and the
// mounted volumes), a folder tree, the files of the chosen folder matching a mask, an optional
// "Zbiór:" row with a file name, and an action button. Callers set it up, show it and read the
// chosen file back. Keys alone do it all: the arrows or typed letters go through the list with the
// focus (a folder reached shows its files), Enter or Right opens a folder, Backspace goes up, Enter
// on a file chooses it, and a path typed from "/" or "~" (in the name row, shown for it when
// hidden) opens its folder or chooses its file.
class FilePicker : public QDialog {
    Q_OBJECT
public:
    explicit FilePicker(Program& program, QWidget* parent = nullptr);

    // Sets everything a caller chooses in one go; the name row starts with `fileName`.
    void configure(const QString& caption, const QString& mask, const QString& actionCaption,
                   bool showNameRow, const QString& fileName = QStringLiteral("*.*"));
    void setMask(const QString& mask); // several masks separated by ";" or blanks
    void setActionCaption(const QString& caption);
    void setNameRowVisible(bool visible);
    void setFileName(const QString& name);
    void setFolder(const QString& path);

    // Shows the window modally; true when it closed with the action button or a double click.
    bool choose();

    QString folder() const;       // the folder shown, without a trailing "/"
    QString fileName() const;     // the text of the "Zbiór:" field
    QString selectedFile() const; // full path of the file selected in the file list, or empty

    QComboBox* placeChooser() const { return places_; }
    QTreeView* folderTree() const { return tree_; }
    QListView* fileList() const { return files_; }
    QLineEdit* nameField() const { return name_; }
    QPushButton* actionButton() const { return action_; }
    QPushButton* backButton() const { return back_; }

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void fillPlaces();
    // The home folder as the picker shows it, cleaned of "." and "..".
    static QString homeFolder();
    void placeChosen(int index);
    void showFolder(const QString& path);
    void openFolder(const QString& path);
    void goUp();
    bool keyOnList(QAbstractItemView* list, const QKeyEvent* key);
    void startTypedPath(const QString& typed);
    bool openTypedPath();
    void confirm();
    bool refusedSpecialFile(); // tells the user when the choice is no regular file

    Program* program_;
    QFileSystemModel* folderModel_;
    QFileSystemModel* fileModel_;
    QComboBox* places_;
    QSplitter* splitter_;
    QTreeView* tree_;
    QListView* files_;
    QLabel* nameLabel_;
    QLineEdit* name_;
    QPushButton* action_;
    QPushButton* back_;
    QString folder_;
    QString typedFile_;            // a file chosen by its typed path, which the list may not show yet
    bool nameRowForPath_ = false;  // the name row shown only for a typed path
    bool placesFilled_ = false;
    int placeIndex_ = -1; // the place chooser's entry the shown folder belongs to
};

} // namespace vestrum
