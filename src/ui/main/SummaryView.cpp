#include "ui/main/SummaryView.h"

#include "core/Clock.h"
#include "core/SessionManager.h"
#include "ui/main/PlainLabel.h"
#include "ui/main/RunOnPool.h"
#include "ui/theme/Theme.h"
#include "ui/widgets/ShownRefresh.h"

#include <QButtonGroup>
#include <QFrame>
#include <QGraphicsDropShadowEffect>
#include <QGraphicsOpacityEffect>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>
#include <tuple>

namespace UI {

namespace {

using Row = Storage::SQLiteStore::SessionSummaryRow;
using LoadResult = std::tuple<QList<Row>, double>;

const QString kSmallText = QStringLiteral("font-size: 11px;");

void addPanelShadow(QWidget *widget, int blur, int alpha, int dy)
{
    auto *shadow = new QGraphicsDropShadowEffect(widget);
    shadow->setBlurRadius(blur);
    shadow->setColor(QColor(0, 0, 0, alpha));
    shadow->setOffset(0, dy);
    widget->setGraphicsEffect(shadow);
}

QLabel *smallLabel(const QString &text, const QString &style, QWidget *parent)
{
    auto *label = plainLabel(text, parent);
    label->setStyleSheet(style);
    return label;
}

// Header and rows share the columns: two stretching ones that ignore their texts' widths (a long
// task name would push the next column) and a fixed duration column.
void addColumns(QHBoxLayout *layout, QLabel *start, QLabel *task, QWidget *duration)
{
    constexpr int kColumnSpacing = 8;
    constexpr int kDurationWidth = 64;
    layout->setSpacing(kColumnSpacing);
    for (QLabel *label : { start, task }) {
        label->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
        layout->addWidget(label, 1);
    }
    duration->setFixedWidth(kDurationWidth);
    layout->addWidget(duration);
}

QString mutedSmall()
{
    return QStringLiteral("color: %1; font-size: 11px;").arg(Theme::mutedColor);
}

QString startText(const QDateTime &start)
{
    return start.toLocalTime().toString(QStringLiteral("d MMM HH:mm"));
}

LoadResult loadRange(Storage::SQLiteStore *store, SummaryView::Scope scope)
{
    const auto [start, end] = summaryRange(scope);
    const QList<Row> rows = store->sessionSummaries(start, end);
    const auto [weightedSum, weight] = store->activityTotals(start, end);
    const double average = weight > 0 ? weightedSum / weight : 0.0;
    QList<Row> kept;
    std::copy_if(rows.cbegin(), rows.cend(), std::back_inserter(kept),
                 [](const Row &row) { return row.durationSeconds > 0; });
    return { kept, average };
}

} // namespace

SummaryView::SummaryView(QWidget *parent)
    : SummaryView(Core::SessionManager::instance(), Storage::SQLiteStore::instance(), parent)
{
}

SummaryView::SummaryView(Core::SessionManager &engine, Storage::SQLiteStore *store, QWidget *parent)
    : QWidget(parent)
    , m_engine(engine)
    , m_store(store)
    , m_shownRefresh(new ShownRefresh(this, [this] {
        render();
        loadData();
    }))
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(16, 12, 16, 12);
    layout->setSpacing(0);

    auto *track = new QWidget(this);
    track->setProperty("segtrack", true);
    track->setAttribute(Qt::WA_StyledBackground);
    addPanelShadow(track, 16, 22, 2);
    auto *trackLayout = new QHBoxLayout(track);
    trackLayout->setContentsMargins(3, 3, 3, 3);
    trackLayout->setSpacing(2);
    auto *group = new QButtonGroup(this);
    group->setExclusive(true);
    const auto segment = [&](const QString &text, const QString &name) {
        auto *button = new QPushButton(text, track);
        button->setObjectName(name);
        button->setProperty("segment", true);
        button->setCheckable(true);
        button->setCursor(Qt::PointingHandCursor);
        group->addButton(button);
        trackLayout->addWidget(button);
        return button;
    };
    m_todayButton = segment(QStringLiteral("Today"), QStringLiteral("Summary_TodayButton"));
    m_weekButton = segment(QStringLiteral("This Week"), QStringLiteral("Summary_WeekButton"));
    m_todayButton->setChecked(true);
    layout->addWidget(track, 0, Qt::AlignLeft);
    layout->addSpacing(12);

    m_content = new QWidget(this);
    m_content->setObjectName(QStringLiteral("Summary_Content"));
    auto *contentLayout = new QVBoxLayout(m_content);
    contentLayout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_content, 1);

    connect(m_todayButton, &QPushButton::clicked, this, [this] {
        m_scope = Scope::Today;
        loadData();
    });
    connect(m_weekButton, &QPushButton::clicked, this, [this] {
        m_scope = Scope::Week;
        loadData();
    });
    connect(&m_engine, &Core::SessionManager::stateChanged, this,
            &SummaryView::onSessionStateChanged);
    connect(Theme::Notifier::instance(), &Theme::Notifier::paletteChanged, this, [this] {
        // The content is built with the palette's colours: build it afresh.
        m_shape.reset();
        m_shownRefresh->request();
    });
    loadData();
}

SummaryView::~SummaryView() = default;

void SummaryView::loadData()
{
    if (m_loading) {
        m_reloadPending = true;
        return;
    }
    m_loading = true;
    m_reloadPending = false;
    m_loadedKey = sessionKey();
    ++m_loadCount;
    runOnPool(
            this, [store = m_store, scope = m_scope] { return loadRange(store, scope); },
            [this, scope = m_scope](PoolResult<LoadResult> result) {
                if (const auto *loaded = std::get_if<0>(&result))
                    onLoaded(scope, std::get<0>(*loaded), std::get<1>(*loaded));
                else
                    onLoaded(scope, {}, 0.0);
            });
}

void SummaryView::onSessionStateChanged()
{
    m_shownRefresh->request();
    // Hidden, the store is read only when its rows may have changed, so that the next show finds
    // them current.
    if (m_shownRefresh->isStale() && sessionKey() != m_loadedKey)
        loadData();
}

SummaryView::SessionKey SummaryView::sessionKey() const
{
    const std::optional<Models::Session> session = m_engine.activeSession();
    return { m_engine.isTracking(), m_engine.isPaused(), session ? session->id : QUuid(),
             QDate::currentDate() };
}

void SummaryView::onLoaded(Scope scope, const Rows &rows, double averageActivity)
{
    m_loadedScope = scope;
    m_rows = rows;
    m_averageActivity = averageActivity;
    m_loading = false;
    m_loaded = true;
    if (m_reloadPending) {
        loadData();
        return;
    }
    if (m_shownRefresh->isOnScreen())
        render();
    else
        m_shownRefresh->invalidate();
}

void SummaryView::render()
{
    if (!m_loaded)
        return;
    const std::optional<Models::Session> session = m_engine.activeSession();
    Shape shape{ m_loadedScope, m_rows, m_engine.isTracking() && session.has_value(), {}, {} };
    if (shape.ongoing) {
        shape.ongoingProject = session->projectName;
        if (!session->intervals.isEmpty())
            shape.ongoingStart = session->intervals.constFirst().startedAt;
    }
    if (shape != m_shape)
        rebuild(shape);

    double sum = 0.0;
    for (const Row &row : std::as_const(m_rows))
        sum += row.durationSeconds;
    if (shape.ongoing)
        setLiveTexts(int(m_rows.size()) + 1, sum + m_engine.elapsedSeconds());
    else
        setLiveTexts(int(m_rows.size()), sum);
}

void SummaryView::rebuild(const Shape &shape)
{
    clearLayout(m_content->layout());
    m_shape = shape;
    addTotals(0, 0.0, m_averageActivity);
    if (shape.ongoing)
        addTable(true);
    else if (shape.rows.isEmpty())
        addEmptyCard();
    else
        addTable(false);
    m_totalValue = m_content->findChild<QLabel *>(QStringLiteral("Summary_TotalValue"));
    m_sessionsValue = m_content->findChild<QLabel *>(QStringLiteral("Summary_SessionsValue"));
    m_activityValue = m_content->findChild<QLabel *>(QStringLiteral("Summary_ActivityValue"));
    m_ongoingElapsed = m_content->findChild<QLabel *>(QStringLiteral("Summary_OngoingElapsed"));
}

void SummaryView::setLiveTexts(int count, double seconds)
{
    m_totalValue->setText(formatDuration(seconds));
    m_sessionsValue->setText(QString::number(count));
    m_activityValue->setText(QString::asprintf("%.0f%%", m_averageActivity));
    if (m_ongoingElapsed)
        m_ongoingElapsed->setText(formatDuration(m_engine.elapsedSeconds()));
}

void SummaryView::addTotals(int count, double seconds, double average)
{
    auto *totals = new QHBoxLayout;
    totals->setSpacing(8);
    totals->addWidget(makeStatCard(QStringLiteral("clock"), QStringLiteral("Total"),
                                   formatDuration(seconds), QStringLiteral("Summary_TotalValue")));
    totals->addWidget(makeStatCard(QStringLiteral("sessions"), QStringLiteral("Sessions"),
                                   QString::number(count),
                                   QStringLiteral("Summary_SessionsValue")));
    totals->addWidget(makeStatCard(QStringLiteral("chart"), QStringLiteral("Avg Activity"),
                                   QString::asprintf("%.0f%%", average),
                                   QStringLiteral("Summary_ActivityValue")));
    qobject_cast<QVBoxLayout *>(m_content->layout())->addLayout(totals);
}

QWidget *SummaryView::makeStatCard(const QString &icon, const QString &title, const QString &value,
                                   const QString &name)
{
    auto *card = new QWidget(m_content);
    card->setProperty("card", true);
    card->setAttribute(Qt::WA_StyledBackground);
    card->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    auto *grid = new QGridLayout(card);
    grid->setContentsMargins(0, 0, 0, 0);

    auto *watermark = plainLabel(card);
    watermark->setPixmap(Theme::icon(icon, Theme::brandColor, 40).pixmap(40, 40));
    auto *opacity = new QGraphicsOpacityEffect(watermark);
    opacity->setOpacity(0.12);
    watermark->setGraphicsEffect(opacity);
    grid->addWidget(watermark, 0, 0, Qt::AlignRight | Qt::AlignBottom);

    auto *row = new QHBoxLayout;
    row->setContentsMargins(12, 10, 12, 10);
    row->setSpacing(8);
    auto *badge = plainLabel(card);
    badge->setFixedSize(22, 22);
    badge->setAlignment(Qt::AlignCenter);
    badge->setAttribute(Qt::WA_StyledBackground);
    badge->setStyleSheet(QStringLiteral("background: %1; border-radius: 11px;")
                                 .arg(Theme::currentPalette().chrome));
    badge->setPixmap(Theme::icon(icon, Theme::brandColor, 12).pixmap(12, 12));
    row->addWidget(badge, 0, Qt::AlignTop);
    auto *texts = new QVBoxLayout;
    texts->setSpacing(4);
    texts->addWidget(smallLabel(
            title, QStringLiteral("color: %1; font-size: 12px;").arg(Theme::textColor), card));
    auto *valueLabel = smallLabel(value,
                                  QStringLiteral("color: %1; font-size: 16px; font-weight: 700;")
                                          .arg(Theme::brandTextColor),
                                  card);
    valueLabel->setObjectName(name);
    texts->addWidget(valueLabel);
    row->addLayout(texts, 1);
    grid->addLayout(row, 0, 0);
    return card;
}

void SummaryView::addTable(bool ongoing)
{
    auto *contentLayout = qobject_cast<QVBoxLayout *>(m_content->layout());
    auto *panel = new QWidget(m_content);
    panel->setObjectName(QStringLiteral("Summary_Table"));
    panel->setProperty("paneltable", true);
    panel->setAttribute(Qt::WA_StyledBackground);
    addPanelShadow(panel, 18, 20, 3);
    auto *layout = new QVBoxLayout(panel);
    layout->setContentsMargins(12, 12, 12, 12);
    layout->setSpacing(8);
    contentLayout->addWidget(panel);

    auto *header = new QHBoxLayout;
    header->setContentsMargins(8, 0, 8, 0);
    QLabel *titles[3];
    int column = 0;
    for (const QString &title :
         { QStringLiteral("START"), QStringLiteral("TASK"), QStringLiteral("DURATION") }) {
        titles[column] = smallLabel(title, kSmallText, panel);
        titles[column++]->setProperty("muted", true);
    }
    addColumns(header, titles[0], titles[1], titles[2]);
    layout->addLayout(header);

    auto *rule = new QFrame(panel);
    rule->setFrameShape(QFrame::HLine);
    rule->setFixedHeight(1);
    rule->setStyleSheet(
            QStringLiteral("background: %1; border: none;").arg(Theme::currentPalette().border));
    layout->addWidget(rule);

    Rows sorted = m_rows;
    std::sort(sorted.begin(), sorted.end(),
              [](const Row &a, const Row &b) { return a.startedAt > b.startedAt; });
    for (qsizetype i = 0; i < sorted.size(); ++i) {
        const Row &row = sorted.at(i);
        auto *line = new QWidget(panel);
        line->setObjectName(QStringLiteral("Summary_Row"));
        line->setProperty(i % 2 == 1 ? "zebra" : "plain", true);
        line->setAttribute(Qt::WA_StyledBackground);
        auto *lineLayout = new QHBoxLayout(line);
        lineLayout->setContentsMargins(8, 8, 8, 8);
        QLabel *startLabel = smallLabel(startText(row.startedAt), kSmallText, line);
        QLabel *taskLabel = smallLabel(row.projectName, mutedSmall(), line);
        addColumns(lineLayout, startLabel, taskLabel,
                   smallLabel(formatDuration(row.durationSeconds), kSmallText, line));
        layout->addWidget(line);
    }

    const std::optional<Models::Session> session = m_engine.activeSession();
    if (ongoing && session) {
        auto *line = new QWidget(panel);
        line->setObjectName(QStringLiteral("Summary_OngoingRow"));
        line->setProperty(sorted.size() % 2 == 1 ? "zebra" : "plain", true);
        line->setAttribute(Qt::WA_StyledBackground);
        auto *lineLayout = new QHBoxLayout(line);
        lineLayout->setContentsMargins(8, 7, 8, 7);
        const QDateTime start = session->intervals.isEmpty()
                                        ? Core::Clock::nowUtc()
                                        : session->intervals.constFirst().startedAt;
        QLabel *startLabel = smallLabel(startText(start), kSmallText, line);
        QLabel *taskLabel = smallLabel(session->projectName, mutedSmall(), line);
        auto *stateColumn = new QWidget(line);
        stateColumn->setProperty("plain", true);
        auto *state = new QVBoxLayout(stateColumn);
        state->setContentsMargins(0, 0, 0, 0);
        auto *ongoingLabel = smallLabel(QStringLiteral("Ongoing"),
                                        QStringLiteral("color: %1; font-size: 10px;")
                                                .arg(Theme::readableTextColour(Theme::greenColor)),
                                        line);
        ongoingLabel->setAlignment(Qt::AlignRight);
        state->addWidget(ongoingLabel);
        auto *elapsed = smallLabel(formatDuration(m_engine.elapsedSeconds()), mutedSmall(), line);
        elapsed->setObjectName(QStringLiteral("Summary_OngoingElapsed"));
        elapsed->setAlignment(Qt::AlignRight);
        state->addWidget(elapsed);
        addColumns(lineLayout, startLabel, taskLabel, stateColumn);
        layout->addWidget(line);
    }
    contentLayout->addStretch();
}

void SummaryView::addEmptyCard()
{
    auto *contentLayout = qobject_cast<QVBoxLayout *>(m_content->layout());
    auto *card = new QWidget(m_content);
    card->setObjectName(QStringLiteral("Summary_EmptyCard"));
    card->setProperty("paneltable", true);
    card->setAttribute(Qt::WA_StyledBackground);
    addPanelShadow(card, 18, 20, 3);
    auto *layout = new QVBoxLayout(card);
    layout->setContentsMargins(12, 40, 12, 40);
    auto *label = plainLabel(m_shape->scope == Scope::Week ? QStringLiteral("No sessions this week")
                                                           : QStringLiteral("No sessions today"),
                             card);
    label->setObjectName(QStringLiteral("Summary_EmptyLabel"));
    label->setProperty("muted", true);
    label->setAlignment(Qt::AlignCenter);
    layout->addWidget(label);
    contentLayout->addWidget(card);
    contentLayout->addStretch();
}

std::pair<QDateTime, QDateTime> summaryRange(SummaryView::Scope scope, const QDate &today)
{
    if (scope == SummaryView::Scope::Week) {
        const QDate monday = today.addDays(-(today.dayOfWeek() - 1));
        return { monday.startOfDay(), monday.addDays(7).startOfDay() };
    }
    return { today.startOfDay(), today.addDays(1).startOfDay() };
}

std::pair<QDateTime, QDateTime> summaryRange(SummaryView::Scope scope)
{
    return summaryRange(scope, QDate::currentDate());
}

QString formatDuration(double seconds)
{
    const qint64 s = std::isfinite(seconds) ? qint64(seconds) : 0;
    const qint64 minutes = (s % 3600) / 60;
    if (s < 3600)
        return QStringLiteral("%1m").arg(minutes);
    return QStringLiteral("%1h %2m").arg(s / 3600).arg(minutes);
}

void clearLayout(QLayout *layout)
{
    if (!layout)
        return;
    while (QLayoutItem *item = layout->takeAt(0)) {
        delete item->widget();
        if (QLayout *inner = item->layout())
            clearLayout(inner);
        delete item;
    }
}

} // namespace UI
