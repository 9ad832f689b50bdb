// The Tracker view's active page: today's clock, the progress card and the daily target.
#include "ui/main/TrackerView.h"

#include "core/SessionManager.h"
#include "storage/Preferences.h"
#include "ui/main/Greetings.h"
#include "ui/main/PlainLabel.h"
#include "ui/theme/Theme.h"
#include "ui/widgets/HeroBanner.h"
#include "ui/widgets/HoverFlip.h"

#include <QDialog>
#include <QFontMetrics>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QStackedWidget>
#include <QVBoxLayout>

#include <cmath>

namespace UI {

namespace {

constexpr int kProgressLineWidth = 280;
constexpr int kDefaultTarget = Storage::PreferenceKeys::dailyTargetSecondsDefault;
const QString kChipStyle = QStringLiteral(
        "color: #ffffff; font-weight: %1; font-size: %2px; background: rgba(0,0,0,0.45); "
        "border-radius: 8px; padding: 2px 8px;");

// A colour with its opacity for an inline sheet.
QString cssColour(const QColor &colour)
{
    return QStringLiteral("rgba(%1,%2,%3,%4)")
            .arg(colour.red())
            .arg(colour.green())
            .arg(colour.blue())
            .arg(colour.alphaF(), 0, 'f', 2);
}

// The activity figure, large bold text on its white card, and its icon: the brand colour where
// it reads at 3:1; muted while there is no figure.
QString activityColour(bool known)
{
    return known ? Theme::readableTextColour(Theme::brandColor, Theme::kLargeTextContrast)
                 : Theme::mutedColor;
}

QString twoDigits(qint64 value)
{
    return QStringLiteral("%1").arg(value, 2, 10, QLatin1Char('0'));
}

QWidget *transparentSide(const QString &name)
{
    auto *side = new QWidget;
    side->setObjectName(name);
    side->setStyleSheet(QStringLiteral("QWidget#%1 { background: transparent; }").arg(name));
    return side;
}

QPushButton *largeButton(const QString &text, const char *property, const QString &glyph,
                         const QString &colour, QWidget *parent)
{
    auto *button = new QPushButton(text, parent);
    button->setProperty(property, true);
    button->setIcon(Theme::icon(glyph, colour, 15));
    Theme::setButtonHeight(button, 44);
    button->setCursor(Qt::PointingHandCursor);
    return button;
}

} // namespace

QWidget *TrackerView::buildActivePage()
{
    m_dailyTarget = Storage::Preferences::instance()
                            .value(Storage::PreferenceKeys::dailyTargetSeconds, kDefaultTarget)
                            .toInt();

    auto *page = new QWidget(m_pageStack);
    page->setObjectName(QStringLiteral("Tracker_ActivePage"));
    auto *layout = new QVBoxLayout(page);
    layout->setSpacing(12);
    layout->setContentsMargins(16, 16, 16, 16);

    auto *banner = new HeroBanner(page);
    banner->setImageKey(QStringLiteral("active"));
    banner->setScaleMode(1);
    banner->setVisibleFraction(1.0);
    banner->setFocusX(0.4);
    banner->setFocusY(0.3);
    banner->setCornerRadius(18);
    banner->setGradientBackground(true);
    banner->setFadeImage(true);
    auto *bannerLayout = new QVBoxLayout(banner);
    bannerLayout->setContentsMargins(18, 16, 18, 16);
    bannerLayout->setSpacing(6);

    m_taskLabel = plainLabel(banner);
    m_taskLabel->setObjectName(QStringLiteral("Tracker_TaskLabel"));
    m_taskLabel->setStyleSheet(QStringLiteral("color: rgba(255,255,255,0.8);"));
    bannerLayout->addWidget(m_taskLabel);

    m_timerLabel = plainLabel(QStringLiteral("00:00:00"), banner);
    m_timerLabel->setObjectName(QStringLiteral("Tracker_TimerLabel"));
    QFont timerFont = m_timerLabel->font();
    timerFont.setPixelSize(40);
    timerFont.setWeight(QFont::Bold);
#if QT_VERSION >= QT_VERSION_CHECK(6, 7, 0)
    timerFont.setFeature(QFont::Tag("tnum"), 1);
#endif
    m_timerLabel->setFont(timerFont);
    // Without tabular figures the label would change width every second: reserve the widest.
    m_timerLabel->setMinimumWidth(
            QFontMetrics(timerFont).horizontalAdvance(QStringLiteral("00:00:00")));
    m_timerLabel->setStyleSheet(QStringLiteral("color: #ffffff;"));
    bannerLayout->addWidget(m_timerLabel);

    m_progressLineLabel = plainLabel(banner);
    m_progressLineLabel->setObjectName(QStringLiteral("Tracker_ProgressLineLabel"));
    m_progressLineLabel->setStyleSheet(QStringLiteral("color: rgba(255,255,255,0.85);"));
    m_progressLineLabel->setWordWrap(true);
    m_progressLineLabel->setMaximumWidth(kProgressLineWidth);
    m_progressLineFont = m_progressLineLabel->font();
    m_progressLineLabel->installEventFilter(this);
    bannerLayout->addWidget(m_progressLineLabel);

    auto *activityRow = new QHBoxLayout;
    activityRow->setContentsMargins(0, 0, 0, 0);
    auto *activityCard = new QWidget(banner);
    activityCard->setAttribute(Qt::WA_StyledBackground);
    activityCard->setProperty("innercard", true);
    activityCard->setMinimumWidth(180);
    activityCard->setSizePolicy(QSizePolicy::Maximum, QSizePolicy::Fixed);
    auto *activityLayout = new QHBoxLayout(activityCard);
    activityLayout->setContentsMargins(12, 7, 12, 7);
    activityLayout->setSpacing(8);
    m_activityIconLabel = plainLabel(activityCard);
    activityLayout->addWidget(m_activityIconLabel, 0, Qt::AlignVCenter);
    m_activityPercentLabel = plainLabel(QStringLiteral("–"), activityCard);
    m_activityPercentLabel->setObjectName(QStringLiteral("Tracker_ActivityPercentLabel"));
    QFont percentFont = m_activityPercentLabel->font();
    percentFont.setWeight(QFont::Bold);
    percentFont.setPointSizeF(percentFont.pointSizeF() + 4);
    m_activityPercentLabel->setFont(percentFont);
    m_activityPercentLabel->setStyleSheet(QStringLiteral("color: %1;").arg(activityColour(true)));
    activityLayout->addWidget(m_activityPercentLabel);
    auto *activityCaption = plainLabel(QStringLiteral("Recent Activity"), activityCard);
    activityCaption->setProperty("muted", true);
    activityLayout->addWidget(activityCaption);
    activityRow->addWidget(activityCard);
    activityRow->addStretch();
    bannerLayout->addLayout(activityRow);

    bannerLayout->addWidget(buildProgressCard());
    layout->addWidget(banner);

    auto *buttons = new QHBoxLayout;
    m_pauseResumeButton = largeButton(QStringLiteral("Pause"), "primary", QStringLiteral("pause"),
                                      QStringLiteral("#ffffff"), page);
    m_pauseResumeButton->setObjectName(QStringLiteral("Tracker_PauseResumeButton"));
    m_stopButton = largeButton(QStringLiteral("Stop"), "outline", QStringLiteral("stop"),
                               Theme::brandColor, page);
    m_stopButton->setObjectName(QStringLiteral("Tracker_StopButton"));
    buttons->addWidget(m_pauseResumeButton);
    buttons->addWidget(m_stopButton);
    layout->addLayout(buttons);
    layout->addStretch();
    connect(m_pauseResumeButton, &QPushButton::clicked, this, &TrackerView::onPauseResumeClicked);
    connect(m_stopButton, &QPushButton::clicked, this, &TrackerView::onStopClicked);
    return page;
}

QWidget *TrackerView::buildProgressCard()
{
    m_progressFlip = new HoverFlip;
    m_progressFlip->setObjectName(QStringLiteral("TrackerProgressFlip"));
    m_progressFlip->setStyleSheet(
            QStringLiteral("QWidget#TrackerProgressFlip { background: transparent; }"));
    m_progressFlip->setToolTip(QStringLiteral("Set your daily work target"));
    m_progressFlip->setAccessibleName(QStringLiteral("Today's progress — set daily work target"));

    QWidget *front = transparentSide(QStringLiteral("TrackerProgressFront"));
    auto *frontLayout = new QVBoxLayout(front);
    frontLayout->setContentsMargins(0, 4, 0, 0);
    frontLayout->setSpacing(5);
    auto *headRow = new QHBoxLayout;
    headRow->setSpacing(6);
    auto *heading = plainLabel(QStringLiteral("Today's Progress"), front);
    heading->setStyleSheet(QStringLiteral("color: #ffffff; font-weight: 600; font-size: 13px;"));
    headRow->addWidget(heading);
    headRow->addStretch();
    m_percentChip = plainLabel(QStringLiteral("0%"), front);
    m_percentChip->setObjectName(QStringLiteral("Tracker_PercentChip"));
    m_percentChip->setStyleSheet(kChipStyle.arg(700).arg(12));
    headRow->addWidget(m_percentChip);
    frontLayout->addLayout(headRow);

    m_progressBar = new QProgressBar(front);
    m_progressBar->setRange(0, 100);
    m_progressBar->setValue(0);
    m_progressBar->setTextVisible(false);
    m_progressBar->setFixedHeight(8);
    applyProgressBarColours();
    frontLayout->addWidget(m_progressBar);

    auto *targetRow = new QHBoxLayout;
    targetRow->setSpacing(6);
    m_targetLabel = plainLabel(front);
    m_targetLabel->setObjectName(QStringLiteral("Tracker_TargetLabel"));
    m_targetLabel->setStyleSheet(QStringLiteral("color: rgba(255,255,255,0.85); font-size: 12px;"));
    targetRow->addWidget(m_targetLabel);
    targetRow->addStretch();
    m_ratioChip = plainLabel(front);
    m_ratioChip->setObjectName(QStringLiteral("Tracker_RatioChip"));
    m_ratioChip->setStyleSheet(kChipStyle.arg(500).arg(11));
    targetRow->addWidget(m_ratioChip);
    frontLayout->addLayout(targetRow);

    QWidget *back = transparentSide(QStringLiteral("TrackerProgressBack"));
    auto *backLayout = new QVBoxLayout(back);
    backLayout->setContentsMargins(0, 4, 0, 0);
    backLayout->addStretch();
    auto *buttonRow = new QHBoxLayout;
    buttonRow->addStretch();
    auto *setTarget = new QPushButton(QStringLiteral("Set Target"), back);
    setTarget->setObjectName(QStringLiteral("Tracker_SetTargetButton"));
    setTarget->setProperty("ongradientchip", true);
    setTarget->setCursor(Qt::PointingHandCursor);
    setTarget->setIcon(Theme::icon(QStringLiteral("target"), Theme::brandColor, 14));
    setTarget->setSizePolicy(QSizePolicy::Maximum, QSizePolicy::Fixed);
    buttonRow->addWidget(setTarget);
    buttonRow->addStretch();
    backLayout->addLayout(buttonRow);
    backLayout->addStretch();

    m_progressFlip->setWidgets(front, back);
    connect(setTarget, &QPushButton::clicked, this, &TrackerView::onSetTargetClicked);
    connect(m_progressFlip, &HoverFlip::activated, this, &TrackerView::onSetTargetClicked);
    return m_progressFlip;
}

void TrackerView::applyProgressBarColours()
{
    // The track lies on the gradient at its left and on the picture at its right: its veil and
    // edge keep it visible on both.
    const Theme::BannerColours colours = Theme::bannerColours(Theme::currentPalette());
    m_progressBar->setStyleSheet(
            QStringLiteral("QProgressBar { background: %1; border: 1px solid %2; "
                           "border-radius: 4px; }QProgressBar::chunk { background: #ffffff; "
                           "border-radius: 3px; }")
                    .arg(cssColour(colours.trackFill), cssColour(colours.trackEdge)));
    m_shownPaused.reset();
}

void TrackerView::refreshActivePage()
{
    ensurePage(m_activePage, &TrackerView::buildActivePage);
    const double today = m_engine.todayTotalSeconds();
    const bool paused = m_engine.isPaused();

    const std::optional<Models::Session> session = m_engine.activeSession();
    const bool haveTask = session && !session->projectName.isEmpty();
    if (haveTask)
        m_taskLabel->setText(session->projectName);
    m_taskLabel->setVisible(haveTask);

    // Style sheets and icons are set again only when what they show changes: each set re-polishes.
    m_timerLabel->setText(formatHms(today));
    if (m_shownPaused != paused) {
        const QColor faded = Theme::bannerColours(Theme::currentPalette()).pausedClock;
        m_timerLabel->setStyleSheet(
                QStringLiteral("color: %1;")
                        .arg(paused ? cssColour(faded) : QStringLiteral("#ffffff")));
        m_pauseResumeButton->setText(paused ? QStringLiteral("Resume") : QStringLiteral("Pause"));
        m_pauseResumeButton->setIcon(
                Theme::icon(paused ? QStringLiteral("play") : QStringLiteral("pause"),
                            QStringLiteral("#ffffff"), 15));
        m_shownPaused = paused;
    }

    const QString progressLine = Greetings::progressLine(m_greetingIndex, today);
    if (progressLine != m_shownProgressLine) {
        setFittedText(m_progressLineLabel, progressLine, m_progressLineFont, kProgressLineWidth);
        m_shownProgressLine = progressLine;
    }

    if (m_progressBar) {
        const int percent = progressPercent(m_dailyTarget, today);
        m_progressBar->setValue(percent);
        m_percentChip->setText(QStringLiteral("%1%").arg(percent));
        m_targetLabel->setText(targetLabelText(m_dailyTarget));
        m_ratioChip->setText(
                QStringLiteral("%1 / %2").arg(formatHm(today), formatHm(m_dailyTarget)));
    }

    const std::optional<double> activity = m_engine.activityPercent();
    m_activityPercentLabel->setText(activity ? QString::asprintf("%.0f%%", *activity)
                                             : QStringLiteral("–"));
    if (m_shownActivity != activity.has_value()) {
        const QString colour = activityColour(activity.has_value());
        m_activityPercentLabel->setStyleSheet(QStringLiteral("color: %1;").arg(colour));
        m_activityIconLabel->setPixmap(
                Theme::icon(activity ? QStringLiteral("activity") : QStringLiteral("chart"), colour,
                            15)
                        .pixmap(15, 15));
        m_shownActivity = activity.has_value();
    }

    m_pageStack->setCurrentWidget(m_activePage);
}

QString TrackerView::formatHms(double seconds)
{
    const qint64 s = std::isfinite(seconds) ? qint64(seconds) : 0;
    return QStringLiteral("%1:%2:%3")
            .arg(twoDigits(s / 3600), twoDigits((s % 3600) / 60), twoDigits(s % 60));
}

QString TrackerView::formatHm(double seconds)
{
    const qint64 s = seconds > 0 && std::isfinite(seconds) ? qint64(seconds) : 0;
    return QStringLiteral("%1:%2").arg(twoDigits(s / 3600), twoDigits((s % 3600) / 60));
}

QString TrackerView::targetLabelText(int targetSeconds)
{
    const int minutes = (targetSeconds % 3600) / 60;
    if (minutes != 0)
        return QStringLiteral("Target: %1h %2m of work").arg(targetSeconds / 3600).arg(minutes);
    return QStringLiteral("Target: %1 work hours").arg(targetSeconds / 3600);
}

int TrackerView::progressPercent(int targetSeconds, double workedSeconds)
{
    const double ratio = workedSeconds / (targetSeconds > 0 ? targetSeconds : 1);
    if (!(ratio > 0))
        return 0;
    return ratio < 1 ? int(ratio * 100) : 100;
}

int TrackerView::targetSeconds(int hours, int minutes)
{
    const int total = hours * 3600 + minutes * 60;
    return total > 0 ? total : kDefaultTarget;
}

void TrackerView::onSetTargetClicked()
{
    showDailyTargetDialog();
    // The dialog took the pointer: show the back only while it is still over the card.
    m_progressFlip->setFlipped(m_progressFlip->testAttribute(Qt::WA_UnderMouse));
}

void TrackerView::showDailyTargetDialog()
{
    QDialog dialog(this);
    dialog.setWindowTitle(QStringLiteral("Daily Work Target"));
    dialog.setStyleSheet(
            QStringLiteral("QDialog { background: %1; }").arg(Theme::currentPalette().surface));
    auto *layout = new QVBoxLayout(&dialog);
    layout->setContentsMargins(16, 16, 16, 16);
    layout->setSpacing(14);

    auto *heading = plainLabel(QStringLiteral("Daily Work Target"), &dialog);
    heading->setStyleSheet(
            QStringLiteral("color: %1; font-size: 13px; font-weight: 600;").arg(Theme::textColor));
    layout->addWidget(heading);

    auto *fields = new QHBoxLayout;
    fields->setSpacing(6);
    auto *hours = new QSpinBox(&dialog);
    hours->setRange(0, 24);
    hours->setValue(m_dailyTarget / 3600);
    hours->setAccessibleName(QStringLiteral("Target hours"));
    auto *minutes = new QSpinBox(&dialog);
    minutes->setRange(0, 59);
    minutes->setSingleStep(5);
    minutes->setValue((m_dailyTarget % 3600) / 60);
    minutes->setAccessibleName(QStringLiteral("Target minutes"));
    fields->addWidget(hours);
    fields->addWidget(plainLabel(QStringLiteral("hours"), &dialog));
    fields->addSpacing(8);
    fields->addWidget(minutes);
    fields->addWidget(plainLabel(QStringLiteral("minutes"), &dialog));
    fields->addStretch();
    layout->addLayout(fields);

    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    auto *cancel = new QPushButton(QStringLiteral("Cancel"), &dialog);
    cancel->setProperty("flat", true);
    cancel->setCursor(Qt::PointingHandCursor);
    auto *save = new QPushButton(QStringLiteral("Save"), &dialog);
    save->setProperty("primary", true);
    Theme::setButtonHeight(save, 34);
    save->setCursor(Qt::PointingHandCursor);
    buttons->addWidget(cancel);
    buttons->addWidget(save);
    layout->addLayout(buttons);
    connect(save, &QPushButton::clicked, &dialog, &QDialog::accept);
    connect(cancel, &QPushButton::clicked, &dialog, &QDialog::reject);

    if (dialog.exec() != QDialog::Accepted)
        return;
    m_dailyTarget = targetSeconds(hours->value(), minutes->value());
    Storage::Preferences::instance().setValue(Storage::PreferenceKeys::dailyTargetSeconds,
                                              m_dailyTarget);
    refreshState();
}

} // namespace UI
