#pragma once

#include <QString>
#include <array>

namespace vestrum {

// The 29 hints of the main window's hints panel. A hint is one paragraph of the survey's
// instructions; "<br>" splits it into lines. Numbers without text stay empty and hide the panel.
class HintTable {
public:
    static constexpr int Count = 29;

    // Reads hint_01.html .. hint_29.html from a folder; missing files leave their hints empty.
    // The default is the program's own resources.
    static HintTable load(const QString& folder = QStringLiteral(":/hints"));

    QString text(int number) const;   // "" outside 1..29
    bool hasText(int number) const { return !text(number).trimmed().isEmpty(); }
    void setText(int number, const QString& text);

    // The lines the panel shows: the hint split at every "<br>".
    QString panelText(int number) const;

private:
    std::array<QString, Count> texts_{};
};

// The hint of a page: sub-page -1 is the section page itself.
int HintForPage(int sectionIndex, int subPageIndex = -1);

} // namespace vestrum
