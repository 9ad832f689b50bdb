#include "TestEnvironment.h"

#include "models/Session.h"
#include "models/StartSessionPayload.h"
#include "storage/Preferences.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>
#include <QTimeZone>

using namespace Qt::StringLiterals;
using namespace Models;

namespace {

const QDateTime base(QDate(2025, 3, 4), QTime(2, 15, 7, 999), Qt::UTC);

Session session(QList<Interval> intervals)
{
    return Session(QUuid(u"0b5c7e0e-3f57-4e1a-9d55-3a0c4f0f7a11"_s), u"DEVICE-1"_s, u""_s,
                   u"Project"_s, std::move(intervals), 1, 2, 3.0, SessionStatus::active,
                   std::nullopt, std::nullopt);
}

void setCompanyZone(const std::optional<QString> &identifier)
{
    auto &preferences = Storage::Preferences::instance();
    if (identifier)
        preferences.setValue(Storage::PreferenceKeys::apiTimezoneIdentifier, *identifier);
    else
        preferences.remove(Storage::PreferenceKeys::apiTimezoneIdentifier);
}

} // namespace

// Runs under several TZ values; the company zone is set apart from them.
class TestStartSessionPayload : public QObject
{
    Q_OBJECT

private slots:
    void writesStartOfFirstInterval_data();
    void writesStartOfFirstInterval();
    void isEmptyWithoutIntervals();
};

void TestStartSessionPayload::writesStartOfFirstInterval_data()
{
    QTest::addColumn<std::optional<QString>>("zone");
    QTest::addColumn<QString>("startedAt");

    QTest::newRow("company zone seven hours ahead")
            << std::optional(u"Asia/Bangkok"_s) << u"2025-03-04T09:15:07+07:00"_s;
    QTest::newRow("UTC company zone writes +00:00")
            << std::optional(u"UTC"_s) << u"2025-03-04T02:15:07+00:00"_s;
    QTest::newRow("no company zone uses the system zone")
            << std::optional<QString>()
            << base.toTimeZone(QTimeZone::systemTimeZone()).toString(Qt::ISODate);
}

void TestStartSessionPayload::writesStartOfFirstInterval()
{
    QFETCH(std::optional<QString>, zone);
    QFETCH(QString, startedAt);
    setCompanyZone(zone);
    const Session record = session({ Interval(QUuid::createUuid(), base, base.addSecs(60)),
                                     Interval(QUuid::createUuid(), base.addSecs(120), {}) });

    const QByteArray bytes = StartSessionPayload::build(record);

    const QJsonObject body = QJsonDocument::fromJson(bytes).object();
    const QJsonObject expected{
        { u"device_uuid"_s, u"DEVICE-1"_s },
        { u"session_uuid"_s, u"0B5C7E0E-3F57-4E1A-9D55-3A0C4F0F7A11"_s },
        { u"task_id"_s, u""_s },
        { u"started_at"_s, startedAt },
    };
    QCOMPARE(body, expected);
    QCOMPARE(bytes, QJsonDocument(expected).toJson(QJsonDocument::Compact));
}

void TestStartSessionPayload::isEmptyWithoutIntervals()
{
    setCompanyZone(u"Asia/Bangkok"_s);

    QCOMPARE(StartSessionPayload::build(session({})), QByteArray());
}

CLOCKWARDEN_GUILESS_TEST_MAIN(TestStartSessionPayload)
#include "tst_startsessionpayload.moc"
