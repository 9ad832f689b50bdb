#pragma once

#include <QImage>
#include <QPointer>
#include <QWidget>

namespace UI {

// The rounded card of the sign-in pages (the sheet's "panelcard") with its soft drop shadow: the
// shadow a drop-shadow effect of blur radius 20, black at alpha 12 and 4 px down casts from the
// card's shape. It is worked out once per size and painted into the parent under the card, so a
// repaint inside the card (a blinking cursor) no longer renders and blurs the whole card again.
// GUI thread only.
class PanelCard final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(PanelCard)

public:
    explicit PanelCard(QWidget *parent = nullptr);
    ~PanelCard() override;

    // The area the shadow covers, in the parent's coordinates.
    QRect shadowRect() const;

protected:
    bool event(QEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void watchParent();
    const QImage &shadow();
    QImage shapeMask(qreal ratio) const;

    QPointer<QWidget> m_watched;
    QImage m_shadow;
    QSize m_shadowSize;
};

} // namespace UI
