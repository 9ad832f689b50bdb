#include "ui/main/SegmentThumbnail.h"

#include "networking/ReplyGuard.h"
#include "ui/theme/Theme.h"

#include <QMouseEvent>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QPainter>
#include <QPainterPath>

namespace UI {

namespace {

QFont sizedFont(QFont font, int points, QFont::Weight weight)
{
    font.setPointSize(points);
    font.setWeight(weight);
    return font;
}

} // namespace

SegmentThumbnail::SegmentThumbnail(int screenshotCount, bool hasScreenshots, QWidget *parent)
    : QWidget(parent)
    , m_screenshotCount(screenshotCount)
    , m_hasScreenshots(hasScreenshots)
{
    setFixedSize(100, 56);
    setCursor(hasScreenshots ? Qt::PointingHandCursor : Qt::ArrowCursor);
    setAttribute(Qt::WA_Hover);
}

SegmentThumbnail::~SegmentThumbnail() = default;

void SegmentThumbnail::loadImage(const QString &url, QNetworkAccessManager *manager)
{
    if (url.isEmpty() || !manager)
        return;
    // Only a web address is fetched, within its origin and 32 MiB: a file address would show a
    // local file, and a failed fetch leaves the placeholder.
    QNetworkReply *reply = Networking::ReplyGuard::get(*manager, QUrl(url));
    if (!reply)
        return;
    // A reply that outlives the thumbnail is still released.
    connect(reply, &QNetworkReply::finished, reply, &QObject::deleteLater);
    connect(reply, &QNetworkReply::finished, this, [this, reply] {
        if (!Networking::ReplyGuard::succeeded(reply))
            return;
        QPixmap image;
        if (image.loadFromData(reply->readAll())) {
            m_image = image;
            update();
        }
    });
}

void SegmentThumbnail::mousePressEvent(QMouseEvent *event)
{
    if (m_hasScreenshots && event->button() == Qt::LeftButton && onClicked) {
        onClicked();
        return;
    }
    QWidget::mousePressEvent(event);
}

void SegmentThumbnail::enterEvent(QEnterEvent *event)
{
    QWidget::enterEvent(event);
    if (m_hasScreenshots) {
        m_hovered = true;
        update();
    }
}

void SegmentThumbnail::leaveEvent(QEvent *event)
{
    QWidget::leaveEvent(event);
    if (m_hovered) {
        m_hovered = false;
        update();
    }
}

void SegmentThumbnail::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    const QRect r(0, 0, width(), height());
    QPainterPath clip;
    clip.addRoundedRect(r, 8, 8);
    painter.setClipPath(clip);

    const Theme::ThumbnailColours colours = Theme::thumbnailColours(Theme::currentPalette());
    if (m_image.isNull()) {
        painter.fillRect(r, m_hasScreenshots ? colours.waiting : colours.empty);
    } else {
        const QPixmap scaled
                = m_image.scaled(size(), Qt::KeepAspectRatioByExpanding, Qt::SmoothTransformation);
        const QPoint offset((scaled.width() - width()) / 2, (scaled.height() - height()) / 2);
        painter.drawPixmap(r, scaled, QRect(offset, size()));
    }

    if (!m_hasScreenshots) {
        painter.setPen(colours.emptyText);
        painter.setFont(sizedFont(font(), 9, QFont::Normal));
        painter.drawText(r, Qt::AlignCenter, QStringLiteral("No screenshot"));
        return;
    }
    if (m_hovered) {
        painter.fillRect(r, QColor(0, 0, 0, 120));
        painter.setPen(QColor("#ffffff"));
        painter.setFont(sizedFont(font(), 7, QFont::Normal));
        painter.drawText(r, Qt::AlignCenter | Qt::TextWordWrap,
                         QStringLiteral("Lihat\nScreenshot"));
    }
    painter.setClipping(false);
    const QRect badge(r.right() - 4 - 14 + 1, r.bottom() - 4 - 14 + 1, 14, 14);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0, 0, 0, 150));
    painter.drawEllipse(badge);
    painter.setPen(QColor("#ffffff"));
    painter.setFont(sizedFont(font(), 7, QFont::DemiBold));
    painter.drawText(badge, Qt::AlignCenter, QString::number(m_screenshotCount));
}

} // namespace UI
