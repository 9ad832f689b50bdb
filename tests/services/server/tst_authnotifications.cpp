#include "TestEnvironment.h"

#include "services/server/AuthNotifications.h"

#include <QCoreApplication>
#include <QTest>
#include <QThread>

#include <memory>

using Services::AuthNotifications;
using Services::ServerTodayTotal;
using namespace Qt::StringLiterals;

namespace {

// Runs body on a fresh thread and waits for it to end.
template<typename Body>
void runOnWorkerThread(Body body)
{
    std::unique_ptr<QThread> worker(QThread::create(body));
    worker->start();
    QVERIFY(worker->wait(5000));
}

} // namespace

class TestAuthNotifications : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void livesOnTheGuiThread();
    void todayTotalFromWorkerArrivesOnGuiThread();
    void takeOverFromWorkerArrivesOnGuiThread();
    void postedInvalidationArrivesAfterTheRefreshReturns();
    void invalidationPostedFromWorkerRunsDirectReceiversOnGuiThread();
};

void TestAuthNotifications::livesOnTheGuiThread()
{
    QCOMPARE(AuthNotifications::instance().thread(), QCoreApplication::instance()->thread());
    QCOMPARE(&AuthNotifications::instance(), &AuthNotifications::instance());
}

void TestAuthNotifications::todayTotalFromWorkerArrivesOnGuiThread()
{
    QObject receiver;
    QThread *deliveredOn = nullptr;
    std::optional<ServerTodayTotal> delivered;
    connect(&AuthNotifications::instance(), &AuthNotifications::serverTodayTotalDidUpdate,
            &receiver, [&](const ServerTodayTotal &total) {
                deliveredOn = QThread::currentThread();
                delivered = total;
            });

    runOnWorkerThread([] {
        Q_EMIT AuthNotifications::instance().serverTodayTotalDidUpdate({ 7200, u"2025-03-01"_s });
    });

    QVERIFY(!delivered); // not on the worker: it waits for the GUI thread's event loop
    QTRY_VERIFY(delivered.has_value());
    QCOMPARE(deliveredOn, QCoreApplication::instance()->thread());
    QCOMPARE(delivered->seconds, 7200);
    QCOMPARE(delivered->date, u"2025-03-01"_s);
}

void TestAuthNotifications::takeOverFromWorkerArrivesOnGuiThread()
{
    QObject receiver;
    QThread *deliveredOn = nullptr;
    QUuid deliveredId;
    int deliveredStatus = 0;
    connect(&AuthNotifications::instance(), &AuthNotifications::sessionTakenOverByOtherDevice,
            &receiver, [&](QUuid id, int status) {
                deliveredOn = QThread::currentThread();
                deliveredId = id;
                deliveredStatus = status;
            });
    const QUuid sessionId = QUuid::createUuid();

    runOnWorkerThread([sessionId] {
        Q_EMIT AuthNotifications::instance().sessionTakenOverByOtherDevice(sessionId, 409);
    });

    QTRY_COMPARE(deliveredStatus, 409);
    QCOMPARE(deliveredOn, QCoreApplication::instance()->thread());
    QCOMPARE(deliveredId, sessionId);
}

void TestAuthNotifications::postedInvalidationArrivesAfterTheRefreshReturns()
{
    QObject receiver;
    int deliveries = 0;
    bool refreshReturned = false;
    bool deliveredAfterReturn = false;
    connect(&AuthNotifications::instance(), &AuthNotifications::authSessionDidInvalidate, &receiver,
            [&] {
                ++deliveries;
                deliveredAfterReturn = refreshReturned;
            });
    const auto refresh = [] {
        QMetaObject::invokeMethod(&AuthNotifications::instance(),
                                  &AuthNotifications::authSessionDidInvalidate,
                                  Qt::QueuedConnection);
    };

    refresh();
    refreshReturned = true;

    QCOMPARE(deliveries, 0);
    QTRY_COMPARE(deliveries, 1);
    QVERIFY(deliveredAfterReturn);
}

void TestAuthNotifications::invalidationPostedFromWorkerRunsDirectReceiversOnGuiThread()
{
    QObject receiver;
    QThread *deliveredOn = nullptr;
    connect(
            &AuthNotifications::instance(), &AuthNotifications::authSessionDidInvalidate, &receiver,
            [&] { deliveredOn = QThread::currentThread(); }, Qt::DirectConnection);

    runOnWorkerThread([] {
        QMetaObject::invokeMethod(&AuthNotifications::instance(),
                                  &AuthNotifications::authSessionDidInvalidate,
                                  Qt::QueuedConnection);
    });

    QTRY_VERIFY(deliveredOn != nullptr);
    QCOMPARE(deliveredOn, QCoreApplication::instance()->thread());
}

CLOCKWARDEN_GUILESS_TEST_MAIN(TestAuthNotifications)
#include "tst_authnotifications.moc"
