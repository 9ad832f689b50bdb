#include "EventCounter.h"
#include "SessionManagerFixture.h"
#include "TestEnvironment.h"

#include "core/SessionManager.h"
#include "ui/main/StatusHeader.h"
#include "ui/theme/ColorVariables.h"

#include <QApplication>
#include <QLabel>
#include <QTest>

using namespace Qt::StringLiterals;
using UI::StatusHeader;

namespace {

const QDateTime t0 = QDateTime::fromString(u"2025-03-01T09:00:00.000Z"_s, Qt::ISODateWithMs);

QString dotStyle(const QString &colour)
{
    return u"color: %1; font-size: 13px;"_s.arg(colour);
}

} // namespace

class TestStatusHeader : public QObject
{
    Q_OBJECT

private slots:
    void stateForPicksTheFirstMatchingRow_data();
    void stateForPicksTheFirstMatchingRow();
    void followsStartPauseResumeAndStop();
    void ticksLeaveTheDotAloneAndHiddenCatchesUp();
};

void TestStatusHeader::stateForPicksTheFirstMatchingRow_data()
{
    QTest::addColumn<bool>("tracking");
    QTest::addColumn<bool>("decision");
    QTest::addColumn<bool>("idle");
    QTest::addColumn<bool>("paused");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("colour");

    // All sixteen combinations: a pending decision wins over idle, idle over paused, and nothing
    // counts while not tracking.
    for (int bits = 0; bits < 16; ++bits) {
        const bool tracking = bits & 8;
        const bool decision = bits & 4;
        const bool idle = bits & 2;
        const bool paused = bits & 1;
        QString text = u"Tracking"_s;
        QString colour = UI::Theme::greenColor;
        if (!tracking) {
            text = u"Not Tracking"_s;
            colour = UI::Theme::mutedColor;
        } else if (decision) {
            text = u"Was Idle"_s;
            colour = UI::Theme::orangeColor;
        } else if (idle) {
            text = u"Idle \u2013 Paused"_s;
            colour = UI::Theme::orangeColor;
        } else if (paused) {
            text = u"Paused"_s;
            colour = UI::Theme::orangeColor;
        }
        QTest::addRow("tracking=%d decision=%d idle=%d paused=%d", tracking, decision, idle, paused)
                << tracking << decision << idle << paused << text << colour;
    }
}

void TestStatusHeader::stateForPicksTheFirstMatchingRow()
{
    QFETCH(bool, tracking);
    QFETCH(bool, decision);
    QFETCH(bool, idle);
    QFETCH(bool, paused);
    QFETCH(QString, text);
    QFETCH(QString, colour);
    const StatusHeader::State state = StatusHeader::stateFor(tracking, decision, idle, paused);
    QCOMPARE(state.text, text);
    QCOMPARE(state.colour, colour);
}

void TestStatusHeader::followsStartPauseResumeAndStop()
{
    SessionManagerFixture fixture(t0);
    StatusHeader header(fixture.engine());
    header.show();
    QVERIFY(QTest::qWaitForWindowExposed(&header));
    auto *state = header.findChild<QLabel *>(u"StatusHeader_StateLabel"_s);
    auto *dot = header.findChild<QLabel *>(u"StatusHeader_DotLabel"_s);
    QVERIFY(state && dot);
    QCOMPARE(state->text(), u"Not Tracking"_s);
    QCOMPARE(dot->text(), u"\u25CF"_s);
    QCOMPARE(dot->styleSheet(), dotStyle(UI::Theme::mutedColor));

    fixture.engine().startTrackingWithoutProject();
    QCOMPARE(state->text(), u"Tracking"_s);
    QCOMPARE(dot->styleSheet(), dotStyle(UI::Theme::greenColor));

    fixture.engine().pause();
    QCOMPARE(state->text(), u"Paused"_s);
    QCOMPARE(dot->styleSheet(), dotStyle(UI::Theme::orangeColor));

    fixture.engine().resumeTracking();
    QCOMPARE(state->text(), u"Tracking"_s);

    fixture.engine().stopTracking(u"Session ended"_s);
    QCOMPARE(state->text(), u"Not Tracking"_s);
    QCOMPARE(dot->styleSheet(), dotStyle(UI::Theme::mutedColor));
}

void TestStatusHeader::ticksLeaveTheDotAloneAndHiddenCatchesUp()
{
    SessionManagerFixture fixture(t0);
    StatusHeader header(fixture.engine());
    header.show();
    auto *state = header.findChild<QLabel *>(u"StatusHeader_StateLabel"_s);
    auto *dot = header.findChild<QLabel *>(u"StatusHeader_DotLabel"_s);
    fixture.engine().startTrackingWithoutProject();
    const EventCounter restyled(QEvent::StyleChange, { dot });
    for (int i = 0; i < 3; ++i)
        fixture.tick();
    QCOMPARE(restyled.count(), 0);
    QCOMPARE(dot->styleSheet(), dotStyle(UI::Theme::greenColor));

    header.hide();
    fixture.engine().pause();
    QCOMPARE(state->text(), u"Tracking"_s);
    header.show();
    QCOMPARE(state->text(), u"Paused"_s);
    QCOMPARE(dot->styleSheet(), dotStyle(UI::Theme::orangeColor));
}

CLOCKWARDEN_TEST_MAIN(TestStatusHeader)
#include "tst_statusheader.moc"
