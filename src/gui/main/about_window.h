#pragma once

#include <QDialog>
#include <QPair>
#include <QVector>

class QLabel;
class QTableWidget;

namespace vestrum {

// "O programie ...": the product line, contact notes and the versions of the program's parts.
class AboutWindow : public QDialog {
public:
    explicit AboutWindow(QWidget* parent = nullptr);

    void setVersions(const QVector<QPair<QString, QString>>& rows);
    QVector<QPair<QString, QString>> versions() const;
    // A line about program updates under the versions (why there are none); hidden while empty.
    void setUpdateNote(const QString& note);
    QString updateNote() const;

private:
    QTableWidget* table_;
    QLabel* updateNote_;
};

} // namespace vestrum
