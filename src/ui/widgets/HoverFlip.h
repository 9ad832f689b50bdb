#pragma once

#include <QPixmap>
#include <QWidget>

class QVariantAnimation;

namespace UI {

// A two-sided card: the front at rest, the back while the pointer is over it, turned about its
// vertical axis in 350 ms. During a turn both sides are hidden and snapshots taken when the turn
// started are painted squeezed; the real widgets come back when it ends. Return, Enter and Space
// raise activated(). GUI thread only.
class HoverFlip final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(HoverFlip)

public:
    explicit HoverFlip(QWidget *parent = nullptr);
    ~HoverFlip() override;

    // Takes both sides as children, lays them over the whole card and shows the front.
    void setWidgets(QWidget *front, QWidget *back);
    // Starts a turn to the given side; asked for the side it rests on, it only makes that side
    // visible again.
    void setFlipped(bool flipped);
    bool isFlipped() const { return m_flipped; }
    // Front visible exactly when not flipped, back exactly when flipped.
    void showSide(bool flipped);
    // The widget drawn at the card's device pixel ratio; null for a missing or empty widget.
    QPixmap renderSnapshot(QWidget *widget) const;

    QSize sizeHint() const override;

Q_SIGNALS:
    void activated();
    void flippedChanged(bool flipped);

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void enterEvent(QEnterEvent *event) override;
    void leaveEvent(QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    void layOutSides();

    QWidget *m_front = nullptr;
    QWidget *m_back = nullptr;
    QVariantAnimation *m_animation = nullptr;
    double m_progress = 0.0;
    bool m_flipped = false;
    bool m_animating = false;
    QPixmap m_frontSnapshot;
    QPixmap m_backSnapshot;
};

} // namespace UI
