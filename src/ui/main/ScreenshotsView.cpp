#include "ui/main/ScreenshotsView.h"

#include "services/server/ScreenshotReportFetch.h"
#include "ui/main/PlainLabel.h"
#include "ui/main/RunOnPool.h"
#include "ui/main/SegmentThumbnail.h"
#include "ui/theme/Theme.h"
#include "ui/widgets/ActivityBar.h"

#include <QGraphicsDropShadowEffect>
#include <QHBoxLayout>
#include <QLabel>
#include <QLocale>
#include <QNetworkAccessManager>
#include <QPushButton>
#include <QScrollArea>
#include <QVBoxLayout>

namespace UI {

namespace {

constexpr qint64 kReuseMs = 119999;
constexpr double kWorkDaySeconds = 28800.0;

QString segmentRange(const Models::ScreenshotReport::Segment &segment)
{
    return QStringLiteral("%1 - %2").arg(segment.segmentNumberFrom, segment.segmentNumberTo);
}

// Empties the layout; widgets go on the next turn of the event loop, not at once.
void clearLayoutLater(QLayout *layout)
{
    while (QLayoutItem *item = layout->takeAt(0)) {
        if (QWidget *widget = item->widget())
            widget->deleteLater();
        if (QLayout *inner = item->layout())
            clearLayoutLater(inner);
        delete item;
    }
}

QLabel *iconLabel(const QString &glyph, int size, QWidget *parent)
{
    auto *label = plainLabel(parent);
    label->setPixmap(Theme::icon(glyph, QStringLiteral("#b0b0b5"), size).pixmap(size, size));
    label->setAlignment(Qt::AlignCenter);
    return label;
}

} // namespace

ScreenshotsView::ScreenshotsView(QWidget *parent)
    : ScreenshotsView(&Services::fetchScreenshotReport, parent)
{
}

ScreenshotsView::ScreenshotsView(ReportFetch fetch, QWidget *parent)
    : QWidget(parent)
    , m_fetch(std::move(fetch))
    , m_selectedDate(QDate::currentDate())
    , m_imageManager(new QNetworkAccessManager(this))
{
    auto *layout = new QVBoxLayout(this);
    layout->setSpacing(12);

    auto *bar = new QWidget(this);
    bar->setProperty("paneltable", true);
    bar->setAttribute(Qt::WA_StyledBackground);
    auto *shadow = new QGraphicsDropShadowEffect(bar);
    shadow->setBlurRadius(18);
    shadow->setColor(QColor(0, 0, 0, 20));
    shadow->setOffset(0, 3);
    bar->setGraphicsEffect(shadow);
    auto *barLayout = new QHBoxLayout(bar);
    barLayout->setSpacing(6);
    barLayout->setContentsMargins(12, 8, 12, 8);

    m_todayButton = new QPushButton(QStringLiteral("Today"), bar);
    m_todayButton->setObjectName(QStringLiteral("Screenshots_TodayButton"));
    m_todayButton->setProperty("navtoday", true);
    m_todayButton->setCursor(Qt::PointingHandCursor);
    barLayout->addWidget(m_todayButton);

    m_dateLabel = plainLabel(bar);
    m_dateLabel->setObjectName(QStringLiteral("Screenshots_DateLabel"));
    m_dateLabel->setAlignment(Qt::AlignCenter);
    m_dateLabel->setStyleSheet(QStringLiteral("font-size: 12px;"));
    barLayout->addWidget(m_dateLabel, 1);

    const Theme::Palette &palette = Theme::currentPalette();
    const QString chevronStyle
            = QStringLiteral(
                      "QPushButton#navChevron { padding: 6px 11px; background-color: %1; "
                      "border: 1px solid %2; border-radius: 9px; }QPushButton#navChevron:hover "
                      "{ background-color: %3; }QPushButton#navChevron:disabled { color: %4; }")
                      .arg(palette.surface, palette.border, palette.chrome, Theme::mutedColor);
    const auto chevron = [&](const QString &glyph, const QString &accessibleName) {
        auto *button = new QPushButton(bar);
        button->setObjectName(QStringLiteral("navChevron"));
        button->setAccessibleName(accessibleName);
        button->setIcon(Theme::icon(glyph, Theme::textColor, 8));
        button->setCursor(Qt::PointingHandCursor);
        button->setStyleSheet(chevronStyle);
        barLayout->addWidget(button);
        return button;
    };
    m_prevDayButton = chevron(QStringLiteral("chevron-left"), QStringLiteral("Previous day"));
    m_nextDayButton = chevron(QStringLiteral("chevron-right"), QStringLiteral("Next day"));
    layout->addWidget(bar);

    m_scrollArea = new QScrollArea(this);
    m_scrollArea->setWidgetResizable(true);
    m_content = new QWidget;
    m_content->setObjectName(QStringLiteral("Screenshots_Content"));
    m_contentLayout = new QVBoxLayout(m_content);
    m_scrollArea->setWidget(m_content);
    layout->addWidget(m_scrollArea, 1);

    connect(m_todayButton, &QPushButton::clicked, this, &ScreenshotsView::onTodayClicked);
    connect(m_prevDayButton, &QPushButton::clicked, this, &ScreenshotsView::onPrevDayClicked);
    connect(m_nextDayButton, &QPushButton::clicked, this, &ScreenshotsView::onNextDayClicked);
    connect(Theme::Notifier::instance(), &Theme::Notifier::paletteChanged, this,
            &ScreenshotsView::load);
}

ScreenshotsView::~ScreenshotsView() = default;

bool ScreenshotsView::isViewingToday() const
{
    return m_selectedDate == QDate::currentDate();
}

void ScreenshotsView::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (m_loading)
        return;
    const bool fresh = (m_cachedReport || !m_errorMessage.isEmpty())
                       && m_selectedDate == m_lastLoadedDate && m_lastLoadTimer.isValid()
                       && m_lastLoadTimer.elapsed() <= kReuseMs;
    if (!fresh)
        load();
}

void ScreenshotsView::load()
{
    m_loading = true;
    m_errorMessage.clear();
    m_dateLabel->setText(m_selectedDate.toString(QStringLiteral("d MMM yyyy")));
    m_nextDayButton->setEnabled(!isViewingToday());
    showLoading();
    const QDate date = m_selectedDate;
    runOnPool(
            this, [fetch = m_fetch, date] { return fetch(date.startOfDay()); },
            [this, date](PoolResult<Models::ScreenshotReport> result) { loadDone(date, result); });
}

void ScreenshotsView::loadDone(const QDate &date,
                               const std::variant<Models::ScreenshotReport, QString> &result)
{
    // The request for the date now selected is already running.
    if (date != m_selectedDate)
        return;
    m_loading = false;
    m_lastLoadedDate = date;
    m_lastLoadTimer.restart();
    if (const auto *message = std::get_if<QString>(&result)) {
        m_cachedReport.reset();
        m_errorMessage = *message;
        showError(*message);
        return;
    }
    m_cachedReport = std::get<Models::ScreenshotReport>(result);
    renderReport(*m_cachedReport);
}

void ScreenshotsView::onTodayClicked()
{
    m_selectedDate = QDate::currentDate();
    load();
}

void ScreenshotsView::onPrevDayClicked()
{
    m_selectedDate = m_selectedDate.addDays(-1);
    load();
}

void ScreenshotsView::onNextDayClicked()
{
    if (isViewingToday())
        return;
    m_selectedDate = m_selectedDate.addDays(1);
    load();
}

void ScreenshotsView::onTryAgainClicked()
{
    load();
}

void ScreenshotsView::clearContent()
{
    clearLayoutLater(m_contentLayout);
}

void ScreenshotsView::showLoading()
{
    clearContent();
    auto *label = plainLabel(QStringLiteral("Loading…"), m_content);
    label->setObjectName(QStringLiteral("Screenshots_LoadingLabel"));
    label->setAlignment(Qt::AlignCenter);
    label->setProperty("muted", true);
    m_contentLayout->addWidget(label);
}

void ScreenshotsView::showError(const QString &message)
{
    clearContent();
    m_contentLayout->addStretch();
    m_contentLayout->addWidget(iconLabel(QStringLiteral("triangle-alert"), 26, m_content));
    auto *label = plainLabel(message, m_content);
    label->setObjectName(QStringLiteral("Screenshots_ErrorLabel"));
    label->setAlignment(Qt::AlignCenter);
    label->setWordWrap(true);
    label->setProperty("muted", true);
    m_contentLayout->addWidget(label);
    auto *retry = new QPushButton(QStringLiteral("Try Again"), m_content);
    retry->setObjectName(QStringLiteral("Screenshots_TryAgainButton"));
    connect(retry, &QPushButton::clicked, this, &ScreenshotsView::onTryAgainClicked);
    m_contentLayout->addWidget(retry, 0, Qt::AlignHCenter);
    m_contentLayout->addStretch();
}

void ScreenshotsView::showEmpty()
{
    m_contentLayout->addStretch();
    m_contentLayout->addWidget(iconLabel(QStringLiteral("photo"), 28, m_content));
    auto *label = plainLabel(QStringLiteral("No screenshots"), m_content);
    label->setObjectName(QStringLiteral("Screenshots_EmptyLabel"));
    label->setAlignment(Qt::AlignCenter);
    label->setProperty("muted", true);
    m_contentLayout->addWidget(label);
    m_contentLayout->addStretch();
}

void ScreenshotsView::renderReport(const Models::ScreenshotReport &report)
{
    clearContent();
    renderSummaryCards(report);
    if (report.hours.isEmpty()) {
        showEmpty();
        return;
    }
    for (const Models::ScreenshotReport::Hour &hour : report.hours)
        renderHourBlock(hour);
    // A short day keeps its natural height at the top instead of spreading over the view.
    m_contentLayout->addStretch();
}

void ScreenshotsView::renderSummaryCards(const Models::ScreenshotReport &report)
{
    const Models::ScreenshotReport::Stats &stats = report.summary;
    const double ratio = stats.totalSeconds / kWorkDaySeconds;
    const double workPercent = ratio < 1 ? 100.0 * ratio : 100.0;
    auto *row = new QHBoxLayout;
    QWidget *working = makeStatCard(QStringLiteral("clock"), QStringLiteral("Working Time"),
                                    stats.totalSecondsFormatted, Theme::greenColor, workPercent);
    working->setObjectName(QStringLiteral("Screenshots_WorkingTimeCard"));
    working->setToolTip(QString::asprintf("%.0f%% out of 8 hours", workPercent));
    row->addWidget(working);
    QWidget *activity = makeStatCard(QStringLiteral("chart"), QStringLiteral("Activity"),
                                     QStringLiteral("%1%").arg(stats.activityRate, 0, 'f', 2),
                                     Theme::brandColor, stats.activityRate);
    activity->setObjectName(QStringLiteral("Screenshots_ActivityCard"));
    row->addWidget(activity);
    m_contentLayout->addLayout(row);
    QWidget *mouse = makeStatCard(QStringLiteral("mouse"), QStringLiteral("Mouse Movements"),
                                  QLocale(QLocale::Indonesian).toString(stats.mouseMovements),
                                  Theme::purpleColor, -1);
    mouse->setObjectName(QStringLiteral("Screenshots_MouseCard"));
    m_contentLayout->addWidget(mouse);
}

QWidget *ScreenshotsView::makeStatCard(const QString &icon, const QString &title,
                                       const QString &value, const QString &colour, double percent)
{
    auto *card = new QWidget(m_content);
    card->setProperty("card", true);
    card->setAttribute(Qt::WA_StyledBackground);
    card->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    auto *layout = new QHBoxLayout(card);
    layout->setContentsMargins(12, 10, 12, 10);
    layout->setSpacing(8);
    auto *badge = plainLabel(card);
    badge->setFixedSize(22, 22);
    badge->setAlignment(Qt::AlignCenter);
    badge->setAttribute(Qt::WA_StyledBackground);
    badge->setStyleSheet(QStringLiteral("background: %1; border-radius: 11px;")
                                 .arg(Theme::currentPalette().chrome));
    badge->setPixmap(Theme::icon(icon, colour, 12).pixmap(12, 12));
    layout->addWidget(badge, 0, Qt::AlignTop);
    auto *texts = new QVBoxLayout;
    texts->setSpacing(4);
    auto *titleLabel = plainLabel(title, card);
    titleLabel->setStyleSheet(QStringLiteral("color: %1; font-size: 12px;").arg(Theme::textColor));
    texts->addWidget(titleLabel);
    auto *valueLabel = plainLabel(value, card);
    valueLabel->setObjectName(QStringLiteral("Screenshots_StatValue"));
    valueLabel->setStyleSheet(QStringLiteral("color: %1; font-size: 16px; font-weight: 700;")
                                      .arg(Theme::readableTextColour(colour)));
    texts->addWidget(valueLabel);
    if (percent >= 0)
        texts->addWidget(new ActivityBar(percent, colour, 4, card));
    layout->addLayout(texts, 1);
    return card;
}

void ScreenshotsView::renderHourBlock(const Models::ScreenshotReport::Hour &hour)
{
    auto *block = new QWidget(m_content);
    block->setObjectName(QStringLiteral("Screenshots_HourBlock"));
    auto *layout = new QVBoxLayout(block);
    layout->setSpacing(6);

    auto *header = new QHBoxLayout;
    header->setSpacing(8);
    auto *range = plainLabel(
            hour.segments.isEmpty()
                    ? QString()
                    : QStringLiteral("%1 - %2").arg(hour.segments.constFirst().segmentNumberFrom,
                                                    hour.segments.constLast().segmentNumberTo),
            block);
    QFont rangeFont = range->font();
    rangeFont.setWeight(QFont::Medium);
    range->setFont(rangeFont);
    header->addWidget(range);
    header->addWidget(new ActivityBar(hour.stats.activityRate,
                                      hourBarColour(hour.stats.activityRate), 5, block),
                      1);
    auto *rate = plainLabel(QString::asprintf("%.0f%%", hour.stats.activityRate), block);
    rate->setProperty("muted", true);
    rate->setStyleSheet(QStringLiteral("font-size: 11px;"));
    header->addWidget(rate);
    layout->addLayout(header);

    QHBoxLayout *row = nullptr;
    for (const Models::ScreenshotReport::Segment &segment : hour.segments) {
        if (!row) {
            row = new QHBoxLayout;
            row->setSpacing(10);
        }
        row->addWidget(makeSegmentCard(segment, block));
        if (row->count() == 3) {
            layout->addLayout(row);
            row = nullptr;
        }
    }
    if (row) {
        row->addStretch();
        layout->addLayout(row);
    }
    m_contentLayout->addWidget(block);
}

QWidget *ScreenshotsView::makeSegmentCard(const Models::ScreenshotReport::Segment &segment,
                                          QWidget *parent)
{
    auto *card = new QWidget(parent);
    card->setObjectName(QStringLiteral("Screenshots_SegmentCard"));
    card->setAttribute(Qt::WA_StyledBackground);
    card->setProperty("segmentcard", true);
    auto *layout = new QVBoxLayout(card);
    layout->setContentsMargins(8, 8, 8, 8);
    layout->setSpacing(6);
    layout->setAlignment(Qt::AlignHCenter);

    const int count = int(segment.screenshots.size());
    auto *thumbnail = new SegmentThumbnail(count, count > 0, card);
    layout->addWidget(thumbnail, 0, Qt::AlignHCenter);
    if (count > 0) {
        QList<QString> urls;
        for (const Models::ScreenshotReport::Screenshot &shot : segment.screenshots) {
            if (shot.urlAvailable)
                urls.append(shot.url);
        }
        const QString title = segmentRange(segment);
        thumbnail->onClicked = [this, title, urls] { openViewer(this, title, urls); };
        thumbnail->loadImage(segment.screenshots.constFirst().thumbnailUrl, m_imageManager);
    }

    auto *bar = new ActivityBar(segment.stats.activityRate,
                                segmentBarColour(segment.indicatorColor), 4, card);
    bar->setFixedWidth(100);
    layout->addWidget(bar, 0, Qt::AlignHCenter);
    auto *label = plainLabel(segmentRange(segment), card);
    label->setProperty("muted", true);
    label->setStyleSheet(QStringLiteral("font-size: 10px;"));
    label->setAlignment(Qt::AlignCenter);
    layout->addWidget(label);
    return card;
}

QString ScreenshotsView::hourBarColour(double activityRate)
{
    const double r = activityRate / 100.0;
    if (r < 0.35)
        return Theme::brand700Color;
    if (r < 0.6)
        return QStringLiteral("#FF6B00");
    return QStringLiteral("#17B83F");
}

QString ScreenshotsView::segmentBarColour(const QString &indicatorColor)
{
    if (indicatorColor == QStringLiteral("green"))
        return QStringLiteral("#17B83F");
    if (indicatorColor == QStringLiteral("orange"))
        return QStringLiteral("#FF6B00");
    return Theme::brand700Color;
}

} // namespace UI
