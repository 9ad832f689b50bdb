// The Tracker view's notice and the three pages other than the active one.
#include "ui/main/TrackerView.h"

#include "ui/main/PlainLabel.h"
#include "ui/theme/Theme.h"
#include "ui/widgets/HeroBanner.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QStackedWidget>
#include <QVBoxLayout>

namespace UI {

namespace {

QWidget *makeCard(QWidget *parent)
{
    auto *card = new QWidget(parent);
    card->setProperty("card", true);
    card->setAttribute(Qt::WA_StyledBackground);
    return card;
}

QLabel *iconLabel(const QString &glyph, const QString &colour, int size, QWidget *parent)
{
    auto *label = plainLabel(parent);
    label->setPixmap(Theme::icon(glyph, colour, size).pixmap(size, size));
    return label;
}

// 15 px bold is not large text: the warning orange darkens on light palettes to read.
QString permissionsTitleSheet()
{
    return QStringLiteral("color: %1; font-size: 15px; font-weight: 700;")
            .arg(Theme::readableTextColour(Theme::orangeColor));
}

QPushButton *pointingButton(const QString &text, QWidget *parent)
{
    auto *button = new QPushButton(text, parent);
    button->setCursor(Qt::PointingHandCursor);
    return button;
}

} // namespace

void TrackerView::buildCrossedMidnightNotice()
{
    m_crossedMidnightNotice = new QWidget(this);
    m_crossedMidnightNotice->setObjectName(QStringLiteral("Tracker_CrossedMidnightNotice"));
    m_crossedMidnightNotice->setAttribute(Qt::WA_StyledBackground);
    m_crossedMidnightNotice->hide();
    auto *layout = new QVBoxLayout(m_crossedMidnightNotice);
    layout->setContentsMargins(14, 12, 14, 14);

    auto *title = plainLabel(QStringLiteral("Session crossed midnight"), m_crossedMidnightNotice);
    QFont titleFont = font();
    titleFont.setWeight(QFont::Bold);
    title->setFont(titleFont);
    layout->addWidget(title);

    m_noticeDetailLabel = plainLabel(m_crossedMidnightNotice);
    m_noticeDetailLabel->setObjectName(QStringLiteral("Tracker_NoticeDetailLabel"));
    layout->addWidget(m_noticeDetailLabel);

    auto *row = new QHBoxLayout;
    auto *startNew = new QPushButton(QStringLiteral("Start new session"), m_crossedMidnightNotice);
    startNew->setObjectName(QStringLiteral("Tracker_StartNewSessionButton"));
    startNew->setIcon(Theme::icon(QStringLiteral("play"), Theme::brandColor, 15));
    auto *later = new QPushButton(QStringLiteral("Later"), m_crossedMidnightNotice);
    later->setObjectName(QStringLiteral("Tracker_LaterButton"));
    row->addWidget(startNew);
    row->addWidget(later);
    layout->addLayout(row);
    connect(startNew, &QPushButton::clicked, this, &TrackerView::onStartNewSessionClicked);
    connect(later, &QPushButton::clicked, this, &TrackerView::onLaterClicked);
}

void TrackerView::applyTextColours()
{
    if (m_permissionsTitle)
        m_permissionsTitle->setStyleSheet(permissionsTitleSheet());

    const Theme::NoticeColours colours = Theme::noticeColours(Theme::currentPalette());
    // By name, so the strip is the notice alone and not each label and button inside it.
    m_crossedMidnightNotice->setStyleSheet(
            QStringLiteral("QWidget#Tracker_CrossedMidnightNotice { background-color: "
                           "rgba(%1,%2,%3,%4); border-radius: 10px; }")
                    .arg(colours.strip.red())
                    .arg(colours.strip.green())
                    .arg(colours.strip.blue())
                    .arg(colours.strip.alpha()));
    // The muted text of the window, darkened or lightened where the amber under it needs it.
    m_noticeDetailLabel->setStyleSheet(
            QStringLiteral("color: %1;").arg(colours.mutedText.name(QColor::HexRgb)));
}

QWidget *TrackerView::buildPermissionsPage()
{
    auto *page = new QWidget(m_pageStack);
    page->setObjectName(QStringLiteral("Tracker_PermissionsPage"));
    auto *pageLayout = new QVBoxLayout(page);
    pageLayout->setContentsMargins(14, 14, 14, 14);
    QWidget *card = makeCard(page);
    auto *layout = new QVBoxLayout(card);
    layout->setContentsMargins(18, 18, 18, 18);
    layout->setSpacing(12);

    auto *titleRow = new QHBoxLayout;
    titleRow->setSpacing(8);
    titleRow->addWidget(iconLabel(QStringLiteral("shield-alert"), Theme::orangeColor, 18, card));
    m_permissionsTitle = plainLabel(QStringLiteral("Permissions Required"), card);
    m_permissionsTitle->setStyleSheet(permissionsTitleSheet());
    titleRow->addWidget(m_permissionsTitle, 1);
    layout->addLayout(titleRow);

    auto *description = plainLabel(QStringLiteral("Tembrix Clockwarden needs Screen Recording and "
                                                  "Input Monitoring to track your activity."),
                                   card);
    description->setWordWrap(true);
    description->setProperty("secondary", true);
    layout->addWidget(description);

    const auto addPermissionRow = [&](const QString &glyph, const QString &name) {
        auto *row = new QWidget(card);
        row->setProperty("softrow", true);
        row->setAttribute(Qt::WA_StyledBackground);
        auto *rowLayout = new QHBoxLayout(row);
        rowLayout->setContentsMargins(12, 9, 12, 9);
        rowLayout->setSpacing(10);
        rowLayout->addWidget(iconLabel(glyph, Theme::text2Color, 15, row));
        rowLayout->addWidget(plainLabel(name, row), 1);
        auto *status = plainLabel(row);
        status->setFixedSize(16, 16);
        rowLayout->addWidget(status);
        layout->addWidget(row);
        return status;
    };
    m_screenRecordingStatus
            = addPermissionRow(QStringLiteral("photo"), QStringLiteral("Screen Recording"));
    m_screenRecordingStatus->setObjectName(QStringLiteral("Tracker_ScreenRecordingStatus"));
    m_inputMonitoringStatus
            = addPermissionRow(QStringLiteral("mouse"), QStringLiteral("Input Monitoring"));
    m_inputMonitoringStatus->setObjectName(QStringLiteral("Tracker_InputMonitoringStatus"));

    auto *buttons = new QHBoxLayout;
    buttons->setSpacing(8);
    auto *openSettings = pointingButton(QStringLiteral("Open Settings"), card);
    openSettings->setObjectName(QStringLiteral("Tracker_OpenSettingsButton"));
    openSettings->setProperty("primary", true);
    auto *checkAgain = pointingButton(QStringLiteral("Check Again"), card);
    checkAgain->setObjectName(QStringLiteral("Tracker_CheckAgainButton"));
    checkAgain->setIcon(Theme::icon(QStringLiteral("refresh"), Theme::brandColor, 15));
    buttons->addWidget(openSettings, 1);
    buttons->addWidget(checkAgain, 1);
    layout->addLayout(buttons);
    connect(openSettings, &QPushButton::clicked, this, &TrackerView::onOpenSettingsClicked);
    connect(checkAgain, &QPushButton::clicked, this, &TrackerView::onCheckAgainClicked);

    pageLayout->addWidget(card);
    pageLayout->addStretch();
    return page;
}

QWidget *TrackerView::buildInterruptedPage()
{
    auto *page = new QWidget(m_pageStack);
    page->setObjectName(QStringLiteral("Tracker_InterruptedPage"));
    auto *pageLayout = new QVBoxLayout(page);
    pageLayout->setContentsMargins(14, 14, 14, 14);
    QWidget *card = makeCard(page);
    auto *layout = new QVBoxLayout(card);
    layout->setContentsMargins(24, 24, 24, 24);
    layout->setSpacing(4);

    auto *disc = iconLabel(QStringLiteral("triangle-alert"), Theme::orangeColor, 26, card);
    disc->setFixedSize(56, 56);
    disc->setAlignment(Qt::AlignCenter);
    disc->setAttribute(Qt::WA_StyledBackground);
    disc->setProperty("warndisc", true);
    layout->addWidget(disc, 0, Qt::AlignHCenter);
    layout->addSpacing(12);

    auto *title = plainLabel(QStringLiteral("Unfinished Session Found"), card);
    title->setProperty("strong", true);
    title->setStyleSheet(QStringLiteral("font-size: 15px; font-weight: 700;"));
    title->setAlignment(Qt::AlignCenter);
    layout->addWidget(title);

    m_projectLabel = plainLabel(card);
    m_projectLabel->setObjectName(QStringLiteral("InterruptedSession_ProjectLabel"));
    m_projectLabel->setAlignment(Qt::AlignCenter);
    m_projectLabel->setWordWrap(true);
    m_projectLabel->setProperty("secondary", true);
    layout->addWidget(m_projectLabel);

    m_startedLabel = plainLabel(card);
    m_startedLabel->setObjectName(QStringLiteral("InterruptedSession_StartedLabel"));
    m_startedLabel->setAlignment(Qt::AlignCenter);
    m_startedLabel->setProperty("muted", true);
    m_startedLabel->setStyleSheet(QStringLiteral("font-size: 11px;"));
    layout->addWidget(m_startedLabel);
    layout->addSpacing(14);

    auto *resume = pointingButton(QStringLiteral("Resume"), card);
    resume->setObjectName(QStringLiteral("InterruptedSession_ResumeButton"));
    resume->setProperty("primary", true);
    resume->setIcon(Theme::icon(QStringLiteral("play"), QStringLiteral("#ffffff"), 15));
    Theme::setButtonHeight(resume, 44);
    resume->setFixedWidth(220);
    layout->addWidget(resume, 0, Qt::AlignHCenter);
    connect(resume, &QPushButton::clicked, this, &TrackerView::onResumeClicked);

    pageLayout->addWidget(card);
    pageLayout->addStretch();
    return page;
}

QWidget *TrackerView::buildIdlePage()
{
    auto *page = new QWidget(m_pageStack);
    page->setObjectName(QStringLiteral("Tracker_StartPage"));
    auto *layout = new QVBoxLayout(page);
    layout->setSpacing(12);
    layout->setContentsMargins(14, 14, 14, 14);

    auto *banner = new HeroBanner(page);
    banner->setImageKey(QStringLiteral("tracker"));
    banner->setScaleMode(0);
    banner->setCornerRadius(18);
    banner->setFixedHeight(180);
    auto *bannerLayout = new QVBoxLayout(banner);
    bannerLayout->setContentsMargins(18, 14, 120, 14);
    bannerLayout->setSpacing(8);
    bannerLayout->addStretch();

    m_greetingLabel = plainLabel(banner);
    m_greetingLabel->setObjectName(QStringLiteral("Tracker_GreetingLabel"));
    QFont greetingFont = m_greetingLabel->font();
    greetingFont.setPointSizeF(greetingFont.pointSizeF() + 6);
    greetingFont.setWeight(QFont::Bold);
    m_greetingLabel->setFont(greetingFont);
    m_greetingFont = greetingFont;
    m_greetingLabel->setProperty("strong", true);
    m_greetingLabel->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    m_greetingLabel->setWordWrap(true);
    m_greetingLabel->setMaximumWidth(185);
    m_greetingLabel->installEventFilter(this);
    bannerLayout->addWidget(m_greetingLabel);

    auto *subtitle
            = plainLabel(QStringLiteral("Start tracking your time\nand stay productive."), banner);
    subtitle->setProperty("secondary", true);
    subtitle->setWordWrap(true);
    bannerLayout->addWidget(subtitle);

    m_startButton = pointingButton(QStringLiteral("Start Tracking"), banner);
    m_startButton->setObjectName(QStringLiteral("Tracker_PrimaryButton"));
    m_startButton->setProperty("primary", true);
    m_startButton->setIcon(Theme::icon(QStringLiteral("play"), QStringLiteral("#ffffff"), 15));
    Theme::setButtonHeight(m_startButton, 38);
    // 140 px unless the label needs more: a wider system font must not cut "Start Tracking".
    m_startButton->ensurePolished();
    m_startButton->setMaximumWidth(qMax(140, m_startButton->sizeHint().width()));
    bannerLayout->addWidget(m_startButton);
    bannerLayout->addStretch();
    connect(m_startButton, &QPushButton::clicked, this, &TrackerView::onStartClicked);
    layout->addWidget(banner);

    QWidget *taskCard = makeCard(page);
    auto *taskLayout = new QHBoxLayout(taskCard);
    taskLayout->setContentsMargins(14, 14, 14, 14);
    taskLayout->setSpacing(12);
    taskLayout->addWidget(makeIconDisc(QStringLiteral("clipboard"), taskCard), 0, Qt::AlignTop);
    auto *taskColumn = new QVBoxLayout;
    taskColumn->setSpacing(6);
    auto *taskTitle = plainLabel(QStringLiteral("Task (optional)"), taskCard);
    taskTitle->setProperty("strong", true);
    taskColumn->addWidget(taskTitle);
    m_taskPicker = new QComboBox(taskCard);
    m_taskPicker->setObjectName(QStringLiteral("Tracker_TaskPicker"));
    m_taskPicker->setAccessibleName(QStringLiteral("Task"));
    m_taskPicker->setCursor(Qt::PointingHandCursor);
    taskColumn->addWidget(m_taskPicker);
    taskLayout->addLayout(taskColumn, 1);
    connect(m_taskPicker, &QComboBox::currentIndexChanged, this, &TrackerView::onTaskSelected);
    layout->addWidget(taskCard);

    QWidget *tipsCard = makeCard(page);
    auto *tipsLayout = new QHBoxLayout(tipsCard);
    tipsLayout->setContentsMargins(14, 14, 14, 14);
    tipsLayout->setSpacing(12);
    tipsLayout->addWidget(makeIconDisc(QStringLiteral("lightbulb"), tipsCard), 0, Qt::AlignTop);
    auto *tipsColumn = new QVBoxLayout;
    tipsColumn->setSpacing(3);
    auto *tipsTitle = plainLabel(QStringLiteral("Tips"), tipsCard);
    tipsTitle->setProperty("strong", true);
    tipsColumn->addWidget(tipsTitle);
    auto *tip = plainLabel(QStringLiteral("Pick a task to make time analysis and reports easier."),
                           tipsCard);
    tip->setProperty("secondary", true);
    tip->setWordWrap(true);
    tipsColumn->addWidget(tip);
    tipsLayout->addLayout(tipsColumn, 1);
    layout->addWidget(tipsCard);

    m_statusLabel = plainLabel(page);
    m_statusLabel->setObjectName(QStringLiteral("Tracker_StatusLabel"));
    m_statusLabel->setProperty("muted", true);
    m_statusLabel->setWordWrap(true);
    m_statusLabel->hide();
    layout->addWidget(m_statusLabel);
    layout->addStretch();
    return page;
}

QLabel *TrackerView::makeIconDisc(const QString &glyph, QWidget *parent)
{
    auto *disc = plainLabel(parent);
    disc->setFixedSize(44, 44);
    disc->setAlignment(Qt::AlignCenter);
    disc->setAttribute(Qt::WA_StyledBackground);
    disc->setProperty("icondisc", true);
    disc->setProperty("glyph", glyph);
    disc->setPixmap(Theme::icon(glyph, Theme::brandColor, 18).pixmap(18, 18));
    return disc;
}

} // namespace UI
