#pragma once

#include <QDialog>
#include <QPair>
#include <QVector>

class QTableWidget;

namespace vestrum {

// "O programie ...": the product line, contact notes and the versions of the program's parts.
class AboutWindow : public QDialog {
public:
    explicit AboutWindow(QWidget* parent = nullptr);

    void setVersions(const QVector<QPair<QString, QString>>& rows);
    QVector<QPair<QString, QString>> versions() const;

private:
    QTableWidget* table_;
};

} // namespace vestrum
