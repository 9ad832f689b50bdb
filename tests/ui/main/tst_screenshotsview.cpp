#include "TestEnvironment.h"

#include "networking/APIError.h"
#include "ui/main/ScreenshotsView.h"
#include "ui/theme/Theme.h"

#include <QApplication>
#include <QLabel>
#include <QLayout>
#include <QMutex>
#include <QPushButton>
#include <QSemaphore>
#include <QTest>
#include <QThreadPool>

#include <atomic>
#include <map>
#include <memory>

using namespace Qt::StringLiterals;
using Models::ScreenshotReport;
using UI::ScreenshotsView;

namespace {

ScreenshotReport::Segment segment(int index)
{
    ScreenshotReport::Segment segment;
    segment.segmentNumber = index;
    segment.segmentNumberFrom = u"09:%1"_s.arg(index * 10, 2, 10, QLatin1Char('0'));
    segment.segmentNumberTo = u"09:%1"_s.arg(index * 10 + 10, 2, 10, QLatin1Char('0'));
    segment.indicatorColor = u"green"_s;
    segment.stats.activityRate = 50;
    return segment;
}

ScreenshotReport report(int totalSeconds, double activity, int mouse, QList<int> segmentsPerHour)
{
    ScreenshotReport report;
    report.summary.totalSeconds = totalSeconds;
    report.summary.totalSecondsFormatted = u"%1 s"_s.arg(totalSeconds);
    report.summary.activityRate = activity;
    report.summary.mouseMovements = mouse;
    for (int count : segmentsPerHour) {
        ScreenshotReport::Hour hour;
        hour.stats.activityRate = 40;
        for (int i = 0; i < count; ++i)
            hour.segments.append(segment(i));
        report.hours.append(hour);
    }
    return report;
}

// A report fetch the test controls: counts calls per date and, when holding, keeps each call
// waiting until the test releases its date.
class FetchControl
{
public:
    FetchControl() = default;
    FetchControl(const FetchControl &) = delete;
    FetchControl &operator=(const FetchControl &) = delete;

    // A test that failed half-way must not leave pool threads waiting for it.
    ~FetchControl()
    {
        holding = false;
        {
            QMutexLocker locker(&m_mutex);
            for (auto &[date, gate] : m_gates)
                gate.release(1000);
        }
        QThreadPool::globalInstance()->waitForDone(5000);
    }

    ScreenshotsView::ReportFetch fetch()
    {
        return [this](const QDateTime &day) { return answer(day.date()); };
    }

    ScreenshotReport answer(const QDate &date)
    {
        ++calls;
        QSemaphore *gate = nullptr;
        {
            QMutexLocker locker(&m_mutex);
            if (holding)
                gate = &m_gates[date];
        }
        if (gate)
            gate->acquire();
        if (failure)
            throw *failure;
        ScreenshotReport result = next;
        // The date travels in the formatted total, so a test sees which answer was shown.
        result.summary.totalSecondsFormatted = date.toString(Qt::ISODate);
        return result;
    }

    void release(const QDate &date)
    {
        QMutexLocker locker(&m_mutex);
        m_gates[date].release();
    }

    std::atomic<int> calls = 0;
    std::atomic<bool> holding = false;
    std::optional<Networking::APIError> failure;
    ScreenshotReport next;

private:
    QMutex m_mutex;
    std::map<QDate, QSemaphore> m_gates;
};

QString statValue(const ScreenshotsView &view, const QString &card)
{
    const auto *widget = view.findChild<QWidget *>(card);
    const auto *label = widget ? widget->findChild<QLabel *>(u"Screenshots_StatValue"_s) : nullptr;
    return label ? label->text() : u"(none)"_s;
}

QString labelText(const ScreenshotsView &view, const QString &name)
{
    const auto *label = view.findChild<QLabel *>(name);
    return label ? label->text() : u"(none)"_s;
}

// Between two renders the old card may be gone before the new one comes.
QString workingTimeTip(const ScreenshotsView &view)
{
    const auto *card = view.findChild<QWidget *>(u"Screenshots_WorkingTimeCard"_s);
    return card ? card->toolTip() : u"(none)"_s;
}

QPushButton *chevron(const ScreenshotsView &view, const QString &accessibleName)
{
    for (QPushButton *button : view.findChildren<QPushButton *>(u"navChevron"_s)) {
        if (button->accessibleName() == accessibleName)
            return button;
    }
    return nullptr;
}

} // namespace

class TestScreenshotsView : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();
    void hourColoursFollowTheRate_data();
    void hourColoursFollowTheRate();
    void segmentColoursFollowTheIndicator();
    void showsLoadOnceWithinTwoMinutes();
    void showWhileLoadingStartsNothing();
    void nextDayIsDisabledOnToday();
    void onlyTheSelectedDateRenders();
    void summaryCardsShowTheDay();
    void segmentGridRowsHoldThree_data();
    void segmentGridRowsHoldThree();
    void reportTextIsLiteral_data();
    void reportTextIsLiteral();
    void failureShowsItsTextAndRetries();
    void paletteChangeReloadsTheShownDay();
};

void TestScreenshotsView::initTestCase()
{
    // Held fetches each keep a pool thread; the program starts with at least eight, too.
    QThreadPool::globalInstance()->setMaxThreadCount(
            qMax(8, QThreadPool::globalInstance()->maxThreadCount()));
}

void TestScreenshotsView::cleanup()
{
    QVERIFY(QThreadPool::globalInstance()->waitForDone(5000));
}

void TestScreenshotsView::hourColoursFollowTheRate_data()
{
    QTest::addColumn<double>("rate");
    QTest::addColumn<QString>("expected");
    QTest::newRow("34.9") << 34.9 << UI::Theme::brand700Color;
    QTest::newRow("35") << 35.0 << u"#FF6B00"_s;
    QTest::newRow("59.99") << 59.99 << u"#FF6B00"_s;
    QTest::newRow("60") << 60.0 << u"#17B83F"_s;
}

void TestScreenshotsView::hourColoursFollowTheRate()
{
    QFETCH(double, rate);
    QFETCH(QString, expected);
    QCOMPARE(ScreenshotsView::hourBarColour(rate), expected);
}

void TestScreenshotsView::segmentColoursFollowTheIndicator()
{
    QCOMPARE(ScreenshotsView::segmentBarColour(u"green"_s), u"#17B83F"_s);
    QCOMPARE(ScreenshotsView::segmentBarColour(u"orange"_s), u"#FF6B00"_s);
    QCOMPARE(ScreenshotsView::segmentBarColour(u"Green"_s), UI::Theme::brand700Color);
    QCOMPARE(ScreenshotsView::segmentBarColour(QString()), UI::Theme::brand700Color);
}

void TestScreenshotsView::showsLoadOnceWithinTwoMinutes()
{
    FetchControl control;
    ScreenshotsView view(control.fetch());
    QCOMPARE(control.calls.load(), 0);
    view.show();
    QTRY_COMPARE(labelText(view, u"Screenshots_EmptyLabel"_s), u"No screenshots"_s);
    QCOMPARE(control.calls.load(), 1);
    QCOMPARE(labelText(view, u"Screenshots_DateLabel"_s),
             QDate::currentDate().toString(u"d MMM yyyy"_s));

    view.hide();
    view.show();
    QTest::qWait(50);
    QCOMPARE(control.calls.load(), 1);
}

void TestScreenshotsView::showWhileLoadingStartsNothing()
{
    FetchControl control;
    control.holding = true;
    ScreenshotsView view(control.fetch());
    view.show();
    QTRY_COMPARE(control.calls.load(), 1);
    QCOMPARE(labelText(view, u"Screenshots_LoadingLabel"_s), u"Loading…"_s);
    view.hide();
    view.show();
    control.release(QDate::currentDate());
    QTRY_COMPARE(labelText(view, u"Screenshots_EmptyLabel"_s), u"No screenshots"_s);
    QCOMPARE(control.calls.load(), 1);
}

void TestScreenshotsView::nextDayIsDisabledOnToday()
{
    FetchControl control;
    ScreenshotsView view(control.fetch());
    view.show();
    QPushButton *next = chevron(view, u"Next day"_s);
    QPushButton *previous = chevron(view, u"Previous day"_s);
    QVERIFY(next && previous);
    QTRY_VERIFY(view.findChild<QLabel *>(u"Screenshots_EmptyLabel"_s));
    QVERIFY(!next->isEnabled());

    QTest::mouseClick(previous, Qt::LeftButton);
    QCOMPARE(view.selectedDate(), QDate::currentDate().addDays(-1));
    QVERIFY(next->isEnabled());
    QTest::mouseClick(next, Qt::LeftButton);
    QVERIFY(view.isViewingToday());
    QVERIFY(!next->isEnabled());

    QTest::mouseClick(previous, Qt::LeftButton);
    QTest::mouseClick(previous, Qt::LeftButton);
    QTest::mouseClick(view.findChild<QPushButton *>(u"Screenshots_TodayButton"_s), Qt::LeftButton);
    QVERIFY(view.isViewingToday());
    QTRY_COMPARE(statValue(view, u"Screenshots_WorkingTimeCard"_s),
                 QDate::currentDate().toString(Qt::ISODate));
}

void TestScreenshotsView::onlyTheSelectedDateRenders()
{
    FetchControl control;
    control.holding = true;
    ScreenshotsView view(control.fetch());
    view.show();
    const QDate today = QDate::currentDate();
    QPushButton *previous = chevron(view, u"Previous day"_s);
    QTest::mouseClick(previous, Qt::LeftButton);
    QTest::mouseClick(previous, Qt::LeftButton);
    QTRY_COMPARE(control.calls.load(), 3);

    // The newest request answers first, the older ones after it.
    control.release(today.addDays(-2));
    QTRY_COMPARE(statValue(view, u"Screenshots_WorkingTimeCard"_s),
                 today.addDays(-2).toString(Qt::ISODate));
    control.release(today);
    control.release(today.addDays(-1));
    QVERIFY(QThreadPool::globalInstance()->waitForDone(5000));
    QTest::qWait(50);
    QCOMPARE(statValue(view, u"Screenshots_WorkingTimeCard"_s),
             today.addDays(-2).toString(Qt::ISODate));
    QCOMPARE(labelText(view, u"Screenshots_DateLabel"_s),
             today.addDays(-2).toString(u"d MMM yyyy"_s));
}

void TestScreenshotsView::summaryCardsShowTheDay()
{
    FetchControl control;
    control.next = report(14400, 45.5, 1234567, {});
    ScreenshotsView view(control.fetch());
    view.show();
    QTRY_VERIFY(view.findChild<QLabel *>(u"Screenshots_EmptyLabel"_s));
    QCOMPARE(statValue(view, u"Screenshots_ActivityCard"_s), u"45.50%"_s);
    QCOMPARE(statValue(view, u"Screenshots_MouseCard"_s), u"1.234.567"_s);
    QCOMPARE(workingTimeTip(view), u"50% out of 8 hours"_s);

    control.next = report(40000, 0, 0, {});
    view.load();
    QTRY_COMPARE(workingTimeTip(view), u"100% out of 8 hours"_s);
}

void TestScreenshotsView::segmentGridRowsHoldThree_data()
{
    QTest::addColumn<int>("segments");
    QTest::addColumn<QList<int>>("rowItems");

    // Items of each row: cards, plus one for the trailing stretch of a shorter last row.
    QTest::newRow("seven") << 7 << QList<int>{ 3, 3, 2 };
    QTest::newRow("six") << 6 << QList<int>{ 3, 3 };
    QTest::newRow("one") << 1 << QList<int>{ 2 };
    QTest::newRow("none") << 0 << QList<int>{};
}

void TestScreenshotsView::segmentGridRowsHoldThree()
{
    QFETCH(int, segments);
    QFETCH(QList<int>, rowItems);
    FetchControl control;
    control.next = report(3600, 40, 10, { segments });
    ScreenshotsView view(control.fetch());
    view.show();
    QTRY_VERIFY(view.findChild<QWidget *>(u"Screenshots_HourBlock"_s));
    QWidget *block = view.findChild<QWidget *>(u"Screenshots_HourBlock"_s);
    QLayout *layout = block->layout();
    // The header row first, then the grid.
    QList<int> items;
    for (int i = 1; i < layout->count(); ++i)
        items.append(layout->itemAt(i)->layout()->count());
    QCOMPARE(items, rowItems);
    QCOMPARE(block->findChildren<QWidget *>(u"Screenshots_SegmentCard"_s).size(), segments);
    QVERIFY(!view.findChild<QLabel *>(u"Screenshots_EmptyLabel"_s));
}

void TestScreenshotsView::reportTextIsLiteral_data()
{
    QTest::addColumn<QString>("from");
    QTest::addColumn<QString>("to");

    QTest::newRow("bold tag") << u"<b>09:00</b>"_s << u"<i>09:10</i>"_s;
    QTest::newRow("image tag") << u"<img src=\"face.png\">"_s << u"09:10<img src=\"face.png\">"_s;
}

void TestScreenshotsView::reportTextIsLiteral()
{
    QFETCH(QString, from);
    QFETCH(QString, to);
    FetchControl control;
    control.next = report(3600, 40, 10, { 1 });
    control.next.hours[0].segments[0].segmentNumberFrom = from;
    control.next.hours[0].segments[0].segmentNumberTo = to;
    ScreenshotsView view(control.fetch());
    view.show();
    QTRY_VERIFY(view.findChild<QWidget *>(u"Screenshots_SegmentCard"_s));

    // The hour's range and the segment's range, both shown as sent.
    const QString range = u"%1 - %2"_s.arg(from, to);
    int shown = 0;
    for (const QLabel *label : view.findChildren<QLabel *>()) {
        if (label->text() != range)
            continue;
        ++shown;
        QCOMPARE(label->textFormat(), Qt::PlainText);
    }
    QCOMPARE(shown, 2);
}

void TestScreenshotsView::failureShowsItsTextAndRetries()
{
    FetchControl control;
    Networking::APIError error = Networking::APIError::serverError(502);
    error.httpStatus.reset();
    control.failure = error;
    ScreenshotsView view(control.fetch());
    view.show();
    QTRY_COMPARE(labelText(view, u"Screenshots_ErrorLabel"_s), u"Server error (0)."_s);

    // The failure is kept: showing the tab again soon does not refetch.
    view.hide();
    view.show();
    QTest::qWait(50);
    QCOMPARE(control.calls.load(), 1);

    control.failure.reset();
    QTest::mouseClick(view.findChild<QPushButton *>(u"Screenshots_TryAgainButton"_s),
                      Qt::LeftButton);
    QTRY_VERIFY(view.findChild<QLabel *>(u"Screenshots_EmptyLabel"_s));
    QCOMPARE(control.calls.load(), 2);
}

void TestScreenshotsView::paletteChangeReloadsTheShownDay()
{
    FetchControl control;
    ScreenshotsView view(control.fetch());
    view.show();
    QTest::mouseClick(chevron(view, u"Previous day"_s), Qt::LeftButton);
    const QDate yesterday = QDate::currentDate().addDays(-1);
    QTRY_COMPARE(statValue(view, u"Screenshots_WorkingTimeCard"_s),
                 yesterday.toString(Qt::ISODate));
    const int before = control.calls.load();
    auto *app = qobject_cast<QApplication *>(QCoreApplication::instance());
    UI::Theme::applyPalette(*app, u"teal"_s);
    QTRY_COMPARE(control.calls.load(), before + 1);
    QCOMPARE(view.selectedDate(), yesterday);
    QTRY_COMPARE(statValue(view, u"Screenshots_WorkingTimeCard"_s),
                 yesterday.toString(Qt::ISODate));
}

CLOCKWARDEN_TEST_MAIN(TestScreenshotsView)
#include "tst_screenshotsview.moc"
