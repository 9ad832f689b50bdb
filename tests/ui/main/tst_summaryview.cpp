#include "SessionManagerFixture.h"
#include "TestEnvironment.h"

#include "core/SessionManager.h"
#include "storage/Preferences.h"
#include "ui/main/SummaryView.h"

#include <QApplication>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QTest>

using namespace Qt::StringLiterals;
using UI::SummaryView;
using Scope = UI::SummaryView::Scope;

namespace {

// A finished session of the given length, starting minutesIntoToday after local midnight.
Models::Session finished(const QString &project, int minutesIntoToday, int seconds)
{
    const QDateTime start = QDate::currentDate().startOfDay().addSecs(minutesIntoToday * 60);
    Models::Session session;
    session.id = QUuid::createUuid();
    session.deviceId = Storage::deviceId();
    session.projectName = project;
    session.intervals = { Models::Interval(QUuid::createUuid(), start.toUTC(),
                                           start.addSecs(seconds).toUTC()) };
    session.status = Models::SessionStatus::completed;
    session.reportedTotalSeconds = seconds;
    return session;
}

QString text(const SummaryView &view, const QString &name)
{
    const auto *label = view.findChild<QLabel *>(name);
    return label ? label->text() : u"(none)"_s;
}

QList<QWidget *> rows(const SummaryView &view)
{
    return view.findChildren<QWidget *>(u"Summary_Row"_s);
}

QWidget *ongoingRow(const SummaryView &view)
{
    return view.findChild<QWidget *>(u"Summary_OngoingRow"_s);
}

QStringList rowTexts(QWidget *row)
{
    QStringList texts;
    for (const QLabel *label : row->findChildren<QLabel *>())
        texts.append(label->text());
    return texts;
}

} // namespace

class TestSummaryView : public QObject
{
    Q_OBJECT

private slots:
    void summaryRangeIsLocalDays_data();
    void summaryRangeIsLocalDays();
    void formatDuration_data();
    void formatDuration();
    void emptyStoreShowsZeroTotals();
    void sessionsAreListedNewestFirst();
    void namesAreLiteralInLinedUpColumns();
    void trackingAddsTheOngoingRow_data();
    void trackingAddsTheOngoingRow();
    void requestsDuringALoadCollapseIntoOne();
    void ticksUpdateTheRunningSessionInPlace();
    void hiddenViewCatchesUpWhenShown();
};

void TestSummaryView::summaryRangeIsLocalDays_data()
{
    QTest::addColumn<int>("scope");
    QTest::addColumn<QDate>("today");
    QTest::addColumn<QDate>("start");
    QTest::addColumn<QDate>("end");

    QTest::newRow("week from a Sunday")
            << int(Scope::Week) << QDate(2024, 6, 9) << QDate(2024, 6, 3) << QDate(2024, 6, 10);
    QTest::newRow("week from a Monday")
            << int(Scope::Week) << QDate(2024, 6, 3) << QDate(2024, 6, 3) << QDate(2024, 6, 10);
    QTest::newRow("today") << int(Scope::Today) << QDate(2024, 6, 9) << QDate(2024, 6, 9)
                           << QDate(2024, 6, 10);
    QTest::newRow("today at the end of a year")
            << int(Scope::Today) << QDate(2024, 12, 31) << QDate(2024, 12, 31) << QDate(2025, 1, 1);
}

void TestSummaryView::summaryRangeIsLocalDays()
{
    QFETCH(int, scope);
    QFETCH(QDate, today);
    QFETCH(QDate, start);
    QFETCH(QDate, end);
    const auto [from, to] = UI::summaryRange(Scope(scope), today);
    QCOMPARE(from, start.startOfDay());
    QCOMPARE(to, end.startOfDay());
    QCOMPARE(from.toLocalTime().time(), QTime(0, 0));
    QCOMPARE(to.toLocalTime().time(), QTime(0, 0));
}

void TestSummaryView::formatDuration_data()
{
    QTest::addColumn<double>("seconds");
    QTest::addColumn<QString>("expected");
    QTest::newRow("59.9 s") << 59.9 << u"0m"_s;
    QTest::newRow("3599 s") << 3599.0 << u"59m"_s;
    QTest::newRow("3600 s") << 3600.0 << u"1h 0m"_s;
    QTest::newRow("3661 s") << 3661.0 << u"1h 1m"_s;
    QTest::newRow("25 hours") << 90000.0 << u"25h 0m"_s;
}

void TestSummaryView::formatDuration()
{
    QFETCH(double, seconds);
    QFETCH(QString, expected);
    QCOMPARE(UI::formatDuration(seconds), expected);
}

void TestSummaryView::emptyStoreShowsZeroTotals()
{
    SessionManagerFixture fixture(QDateTime::currentDateTimeUtc());
    SummaryView view(fixture.engine(), fixture.store.get());
    view.show();
    QTRY_COMPARE(text(view, u"Summary_EmptyLabel"_s), u"No sessions today"_s);
    QCOMPARE(text(view, u"Summary_TotalValue"_s), u"0m"_s);
    QCOMPARE(text(view, u"Summary_SessionsValue"_s), u"0"_s);
    QCOMPARE(text(view, u"Summary_ActivityValue"_s), u"0%"_s);

    QTest::mouseClick(view.findChild<QPushButton *>(u"Summary_WeekButton"_s), Qt::LeftButton);
    QTRY_COMPARE(text(view, u"Summary_EmptyLabel"_s), u"No sessions this week"_s);
}

void TestSummaryView::sessionsAreListedNewestFirst()
{
    SessionManagerFixture fixture(QDateTime::currentDateTimeUtc());
    fixture.store->appendSessionHistory(finished(u"Design"_s, 60, 1800));
    fixture.store->appendSessionHistory(finished(u"Review"_s, 120, 3660));
    fixture.store->appendSessionHistory(finished(QString(), 180, 600));
    fixture.store->appendSessionHistory(finished(u"Nothing"_s, 240, 0));
    SummaryView view(fixture.engine(), fixture.store.get());
    view.show();
    QTRY_COMPARE(text(view, u"Summary_SessionsValue"_s), u"3"_s);
    QCOMPARE(text(view, u"Summary_TotalValue"_s), u"1h 41m"_s);

    const QList<QWidget *> listed = rows(view);
    QCOMPARE(listed.size(), 3);
    QCOMPARE(rowTexts(listed.at(0)).mid(1), (QStringList{ QString(), u"10m"_s }));
    QCOMPARE(rowTexts(listed.at(1)).mid(1), (QStringList{ u"Review"_s, u"1h 1m"_s }));
    QCOMPARE(rowTexts(listed.at(2)).mid(1), (QStringList{ u"Design"_s, u"30m"_s }));
    const QDateTime firstStart = QDate::currentDate().startOfDay().addSecs(3 * 3600);
    QCOMPARE(rowTexts(listed.at(0)).first(), firstStart.toString(u"d MMM HH:mm"_s));
    QCOMPARE(listed.at(0)->property("zebra").isValid(), false);
    QCOMPARE(listed.at(1)->property("zebra").toBool(), true);
    QCOMPARE(listed.at(2)->property("zebra").isValid(), false);
    QVERIFY(!ongoingRow(view));
}

void TestSummaryView::namesAreLiteralInLinedUpColumns()
{
    SessionManagerFixture fixture(QDateTime::currentDateTimeUtc());
    const QString markup[] = { u"<b>Design</b>"_s, u"<img src=\"/etc/hostname\">"_s,
                               u"A task name far too long to fit into its column at all"_s };
    int minutes = 60;
    for (const QString &name : markup) {
        minutes += 60;
        fixture.store->appendSessionHistory(finished(name, minutes, 600 + minutes));
    }
    SummaryView view(fixture.engine(), fixture.store.get());
    view.resize(460, 640);
    view.show();
    QTRY_COMPARE(text(view, u"Summary_SessionsValue"_s), u"3"_s);

    const auto *table = view.findChild<QWidget *>(u"Summary_Table"_s);
    QVERIFY(table);
    const auto x = [table](const QLabel *label) { return label->mapTo(table, QPoint()).x(); };
    QList<const QLabel *> header;
    for (const QLabel *label : table->findChildren<QLabel *>(Qt::FindDirectChildrenOnly))
        header.append(label);
    QCOMPARE(header.size(), 3);
    QCOMPARE(header.at(1)->text(), u"TASK"_s);
    QStringList shown;
    for (QWidget *row : table->findChildren<QWidget *>(u"Summary_Row"_s)) {
        const QList<QLabel *> cells = row->findChildren<QLabel *>();
        QCOMPARE(cells.size(), 3);
        shown.append(cells.at(1)->text());
        QCOMPARE(cells.at(1)->textFormat(), Qt::PlainText);
        for (int column = 0; column < 3; ++column)
            QCOMPARE(x(cells.at(column)), x(header.at(column)));
    }
    shown.sort();
    QStringList expected(std::begin(markup), std::end(markup));
    expected.sort();
    QCOMPARE(shown, expected);
}

void TestSummaryView::trackingAddsTheOngoingRow_data()
{
    QTest::addColumn<int>("finishedSessions");
    QTest::addColumn<bool>("paused");
    QTest::addColumn<QString>("sessions");
    QTest::addColumn<bool>("zebra");

    QTest::newRow("alone") << 0 << false << u"1"_s << false;
    QTest::newRow("after three") << 3 << false << u"4"_s << true;
    QTest::newRow("paused is still ongoing") << 0 << true << u"1"_s << false;
}

void TestSummaryView::trackingAddsTheOngoingRow()
{
    QFETCH(int, finishedSessions);
    QFETCH(bool, paused);
    QFETCH(QString, sessions);
    QFETCH(bool, zebra);
    SessionManagerFixture fixture(QDateTime::currentDateTimeUtc());
    for (int i = 0; i < finishedSessions; ++i)
        fixture.store->appendSessionHistory(finished(u"Earlier"_s, 10 * i, 60));
    fixture.engine().startTracking({ u"p1"_s, u"Design"_s });
    for (int i = 0; i < 125; ++i)
        fixture.tick();
    if (paused)
        fixture.engine().pause();
    SummaryView view(fixture.engine(), fixture.store.get());
    view.show();
    QTRY_VERIFY(ongoingRow(view));
    QCOMPARE(text(view, u"Summary_SessionsValue"_s), sessions);
    QCOMPARE(text(view, u"Summary_TotalValue"_s), UI::formatDuration(125 + 60 * finishedSessions));
    QWidget *row = ongoingRow(view);
    QCOMPARE(row->property("zebra").toBool(), zebra);
    QCOMPARE(rowTexts(row).mid(1), (QStringList{ u"Design"_s, u"Ongoing"_s, u"2m"_s }));
    QCOMPARE(rows(view).size(), finishedSessions);
}

void TestSummaryView::requestsDuringALoadCollapseIntoOne()
{
    SessionManagerFixture fixture(QDateTime::currentDateTimeUtc());
    SummaryView view(fixture.engine(), fixture.store.get());
    view.show();
    QTRY_VERIFY(view.findChild<QLabel *>(u"Summary_EmptyLabel"_s));
    const int before = view.loadCount();
    for (int i = 0; i < 5; ++i)
        view.loadData();
    QTRY_COMPARE(view.loadCount(), before + 2);
    // Settled: no further load follows.
    QTest::qWait(100);
    QCOMPARE(view.loadCount(), before + 2);
}

void TestSummaryView::ticksUpdateTheRunningSessionInPlace()
{
    SessionManagerFixture fixture(QDateTime::currentDateTimeUtc());
    fixture.store->appendSessionHistory(finished(u"Earlier"_s, 0, 60));
    fixture.engine().startTracking({ u"p1"_s, u"Design"_s });
    SummaryView view(fixture.engine(), fixture.store.get());
    view.show();
    QTRY_VERIFY(ongoingRow(view));
    const QPointer<QWidget> row = ongoingRow(view);
    const QPointer<QWidget> finishedRow = rows(view).value(0);
    for (int i = 0; i < 60; ++i)
        fixture.tick();
    QCOMPARE(rowTexts(row).last(), u"1m"_s);
    QCOMPARE(text(view, u"Summary_TotalValue"_s), u"2m"_s);
    QTRY_VERIFY(!view.isLoading());
    // The same rows, not rebuilt ones.
    QVERIFY(row && finishedRow);
    QCOMPARE(ongoingRow(view), row.data());
}

void TestSummaryView::hiddenViewCatchesUpWhenShown()
{
    SessionManagerFixture fixture(QDateTime::currentDateTimeUtc());
    fixture.engine().startTracking({ u"p1"_s, u"Design"_s });
    SummaryView view(fixture.engine(), fixture.store.get());
    view.show();
    QTRY_VERIFY(ongoingRow(view));
    QTRY_VERIFY(!view.isLoading());
    view.hide();
    const int loads = view.loadCount();
    for (int i = 0; i < 125; ++i)
        fixture.tick();
    // Ticks while hidden neither read the store nor touch the widgets.
    QCOMPARE(view.loadCount(), loads);
    QCOMPARE(rowTexts(ongoingRow(view)).last(), u"0m"_s);

    // A finished session changes the stored rows: they are read now and shown when looked at.
    fixture.engine().stopTracking(u"Session ended"_s);
    QTRY_COMPARE(view.loadCount(), loads + 1);
    QTRY_VERIFY(!view.isLoading());
    QVERIFY(ongoingRow(view));

    view.show();
    QVERIFY(!ongoingRow(view));
    QCOMPARE(rows(view).size(), 1);
    QCOMPARE(rowTexts(rows(view).at(0)).mid(1), (QStringList{ u"Design"_s, u"2m"_s }));
    QCOMPARE(text(view, u"Summary_SessionsValue"_s), u"1"_s);
    QCOMPARE(text(view, u"Summary_TotalValue"_s), u"2m"_s);
}

CLOCKWARDEN_TEST_MAIN(TestSummaryView)
#include "tst_summaryview.moc"
