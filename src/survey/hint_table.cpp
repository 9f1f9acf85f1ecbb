#include "survey/hint_table.h"

#include "survey/form_catalogue.h"

#include <QFile>

namespace vestrum {

HintTable HintTable::load(const QString& folder)
{
    HintTable table;
    for (int n = 1; n <= Count; ++n) {
        QFile file(QStringLiteral("%1/hint_%2.html").arg(folder).arg(n, 2, 10, QLatin1Char('0')));
        if (file.open(QIODevice::ReadOnly))
            table.setText(n, QString::fromUtf8(file.readAll()).trimmed());
    }
    return table;
}

QString HintTable::text(int number) const
{
    return number >= 1 && number <= Count ? texts_[number - 1] : QString();
}

void HintTable::setText(int number, const QString& text)
{
    if (number >= 1 && number <= Count)
        texts_[number - 1] = text;
}

QString HintTable::panelText(int number) const
{
    // Hint files are wrapped for editing; only "<br>" makes a line of the panel.
    QString t = text(number);
    t.replace(QLatin1Char('\n'), QLatin1Char(' '));
    QStringList lines = t.split(QStringLiteral("<br>"));
    for (QString& line : lines)
        line = line.simplified();
    return lines.join(QLatin1Char('\n'));
}

int HintForPage(int sectionIndex, int subPageIndex)
{
    const auto& all = form::FormCatalogue();
    if (sectionIndex < 0 || sectionIndex >= static_cast<int>(all.size()))
        return 0;
    const form::Section& s = all[sectionIndex];
    if (subPageIndex < 0)
        return s.hint;
    if (subPageIndex >= static_cast<int>(s.pages.size()))
        return 0;
    return s.pages[subPageIndex].hint;
}

} // namespace vestrum
