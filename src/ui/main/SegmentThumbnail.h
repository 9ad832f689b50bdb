#pragma once

#include <QPixmap>
#include <QWidget>

#include <functional>

class QNetworkAccessManager;

namespace UI {

// The 100 x 56 picture of one ten-minute segment on the Screenshots tab: the segment's first
// thumbnail (fetched by a plain GET, without the API's headers) cropped to fill, a count badge, a
// hover overlay, or a grey "No screenshot" placeholder. A failed download keeps the placeholder.
// GUI thread only.
class SegmentThumbnail final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(SegmentThumbnail)

public:
    SegmentThumbnail(int screenshotCount, bool hasScreenshots, QWidget *parent = nullptr);
    ~SegmentThumbnail() override;

    // Nothing for an empty URL or no manager.
    void loadImage(const QString &url, QNetworkAccessManager *manager);

    // Called on a left press when the segment has screenshots.
    std::function<void()> onClicked;

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void enterEvent(QEnterEvent *event) override;
    void leaveEvent(QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    int m_screenshotCount = 0;
    bool m_hasScreenshots = false;
    bool m_hovered = false;
    QPixmap m_image;
};

} // namespace UI
