#pragma once

#include <QColor>
#include <QPixmap>
#include <QString>
#include <QWidget>

namespace UI {

class ShownRefresh;

// The picture panel at the top of the sign-in cards and the Tracker pages. It paints a banner
// chosen by key and the current palette, either scaled to its height (mode 0) or zoomed onto a
// focal point (mode 1), optionally over the palette's gradient (darkened where white text would
// not read on it) and faded out to the left, and paints its outer corners in the colour behind
// it. Callers lay their own widgets over it. The decoded picture is dropped whenever the banner
// goes off screen and read again at its next paint.
// Setters store what they are given without checks and repaint. GUI thread only.
class HeroBanner final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(HeroBanner)

public:
    explicit HeroBanner(QWidget *parent = nullptr);
    ~HeroBanner() override;

    // Stores the key and loads its picture; from the first call on, the banner reloads by itself
    // on every palette change.
    void setImageKey(const QString &key);
    // Loads the picture of the key for the current palette; nothing without a key.
    void reload();
    // A missing or unreadable file leaves no picture: only the background and corners are drawn.
    // The file is read when the banner is first painted.
    void setImagePath(const QString &path);
    QString imagePath() const { return m_imagePath; }

    void setScaleMode(int mode);
    void setCornerRadius(double radius);
    // Focal zoom: the fraction of the drawn picture's width placed at the banner's centre.
    void setFocusX(double focusX);
    // Focal zoom: the banner's width as a fraction of the drawn picture's width.
    void setVisibleFraction(double fraction);
    // Focal zoom: 0 puts the picture's top at the top, 1 its bottom at the bottom.
    void setFocusY(double focusY);
    void setBackgroundColor(const QColor &colour);
    void setFadeImage(bool fade);
    void setGradientBackground(bool gradient);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    void drawImage(QPainter &painter, const QRectF &target) const;
    QRectF imageTarget() const;
    void releaseImage();

    QString m_imageKey;
    bool m_paletteHooked = false;
    QPixmap m_image;
    bool m_imageLoaded = true;
    int m_scaleMode = 0;
    double m_cornerRadius = 16.0;
    double m_focusX = 0.5;
    double m_visibleFraction = 0.58;
    double m_focusY = 0.2;
    QColor m_backgroundColor;
    bool m_fadeImage = false;
    bool m_gradientBackground = false;
    QString m_imagePath;
    ShownRefresh *m_onScreen = nullptr;
};

} // namespace UI
