#pragma once

#include <QLayout>
#include <QList>

namespace vestrum {

// Lays its widgets out left to right and starts a new line when the next one would not fit, so a
// row of commands too long for a narrow window or a big font wraps instead of hiding some of them.
// Its size hint is the one line everything fits on; its height follows the width it is given.
class FlowLayout : public QLayout {
public:
    explicit FlowLayout(QWidget* parent = nullptr, int spacing = 4);
    ~FlowLayout() override;

    void addItem(QLayoutItem* item) override;
    int count() const override { return static_cast<int>(items_.size()); }
    QLayoutItem* itemAt(int index) const override { return items_.value(index); }
    QLayoutItem* takeAt(int index) override;

    Qt::Orientations expandingDirections() const override { return {}; }
    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override;
    QSize sizeHint() const override;
    QSize minimumSize() const override;
    void setGeometry(const QRect& rect) override;

    // Lines the items take at the width the layout was last given.
    int lineCount() const { return lines_; }

private:
    // Places (when `place`) the visible items in `rect`; returns the height they take.
    int arrange(const QRect& rect, bool place) const;

    QList<QLayoutItem*> items_;
    int gap_;
    mutable int lines_ = 0;
};

} // namespace vestrum
