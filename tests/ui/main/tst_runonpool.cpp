#include "TestEnvironment.h"

#include "networking/APIError.h"
#include "ui/main/ApiErrorMessage.h"
#include "ui/main/RunOnPool.h"

#include <QCoreApplication>
#include <QPointer>
#include <QSemaphore>
#include <QSignalSpy>
#include <QTest>
#include <QThread>
#include <QThreadPool>

#include <memory>
#include <stdexcept>

using namespace Qt::StringLiterals;
using Networking::APIError;

class TestRunOnPool : public QObject
{
    Q_OBJECT

private slots:
    void cleanup();
    void valueArrivesOnTheContextThread();
    void voidWorkArrivesAsMonostate();
    void failuresArriveAsText_data();
    void failuresArriveAsText();
    void destroyedContextDropsTheResult();
    void apiErrorTextsCoverEveryKind_data();
    void apiErrorTextsCoverEveryKind();
};

void TestRunOnPool::cleanup()
{
    QVERIFY(QThreadPool::globalInstance()->waitForDone(5000));
}

void TestRunOnPool::valueArrivesOnTheContextThread()
{
    QObject context;
    QThread *workThread = nullptr;
    QThread *resultThread = nullptr;
    std::optional<UI::PoolResult<int>> received;
    UI::runOnPool(
            &context,
            [&workThread] {
                workThread = QThread::currentThread();
                return 42;
            },
            [&](UI::PoolResult<int> result) {
                resultThread = QThread::currentThread();
                received = std::move(result);
            });
    QTRY_VERIFY(received.has_value());
    QCOMPARE(std::get<int>(*received), 42);
    QVERIFY(workThread != QCoreApplication::instance()->thread());
    QCOMPARE(resultThread, QCoreApplication::instance()->thread());
}

void TestRunOnPool::voidWorkArrivesAsMonostate()
{
    QObject context;
    int calls = 0;
    UI::runOnPool(
            &context, [] {},
            [&calls](UI::PoolResult<std::monostate> result) {
                QCOMPARE(result.index(), std::size_t(0));
                ++calls;
            });
    QTRY_COMPARE(calls, 1);
    // Only once, also after the event loop has run on.
    QTest::qWait(50);
    QCOMPARE(calls, 1);
}

void TestRunOnPool::failuresArriveAsText_data()
{
    QTest::addColumn<int>("thrown");
    QTest::addColumn<QString>("expected");

    QTest::newRow("server error by its own type") << 0 << u"Server error (503)."_s;
    QTest::newRow("standard exception") << 1 << u"Something went wrong."_s;
    QTest::newRow("anything else") << 2 << u"Something went wrong."_s;
}

void TestRunOnPool::failuresArriveAsText()
{
    QFETCH(int, thrown);
    QFETCH(QString, expected);
    QObject context;
    std::optional<UI::PoolResult<QString>> received;
    UI::runOnPool(
            &context,
            [thrown]() -> QString {
                if (thrown == 0)
                    throw APIError::serverError(503);
                if (thrown == 1)
                    throw std::runtime_error("disk on fire");
                throw 7;
            },
            [&received](UI::PoolResult<QString> result) { received = std::move(result); });
    QTRY_VERIFY(received.has_value());
    // The value alternative is a text too: the failure must arrive as the second one.
    QCOMPARE(received->index(), std::size_t(1));
    QCOMPARE(std::get<1>(*received), expected);
}

void TestRunOnPool::destroyedContextDropsTheResult()
{
    auto context = std::make_unique<QObject>();
    QSemaphore started;
    QSemaphore release;
    QSemaphore finished;
    int calls = 0;
    UI::runOnPool(
            context.get(),
            [&] {
                started.release();
                release.acquire();
                finished.release();
                return 1;
            },
            [&calls](UI::PoolResult<int>) { ++calls; });
    QVERIFY(started.tryAcquire(1, 5000));
    context.reset();
    release.release();
    QVERIFY(finished.tryAcquire(1, 5000));
    QVERIFY(QThreadPool::globalInstance()->waitForDone(5000));
    // Let any queued delivery run: none may reach the dead context.
    QTest::qWait(50);
    QCOMPARE(calls, 0);
}

void TestRunOnPool::apiErrorTextsCoverEveryKind_data()
{
    QTest::addColumn<APIError>("error");
    QTest::addColumn<QString>("expected");

    QTest::newRow("invalid URL") << APIError::invalidUrl() << u"Invalid request."_s;
    QTest::newRow("unauthorized") << APIError::unauthorized()
                                  << u"Session expired. Please sign in again."_s;
    QTest::newRow("server with status") << APIError::serverError(500) << u"Server error (500)."_s;
    APIError statusless = APIError::serverError(500);
    statusless.httpStatus.reset();
    QTest::newRow("server without status") << statusless << u"Server error (0)."_s;
    QTest::newRow("decoding") << APIError::decodingFailed(u"x"_s) << u"Failed to read data."_s;
    QTest::newRow("network") << APIError::networkFailure(u"x"_s) << u"No internet connection."_s;
    QTest::newRow("refresh deferred")
            << APIError::refreshDeferred() << u"Refreshing your session. Please try again."_s;
    APIError unknown;
    unknown.kind = APIError::Kind(42);
    QTest::newRow("unknown kind") << unknown << u"Something went wrong."_s;
}

void TestRunOnPool::apiErrorTextsCoverEveryKind()
{
    QFETCH(APIError, error);
    QFETCH(QString, expected);
    QCOMPARE(UI::apiErrorMessage(error), expected);
}

CLOCKWARDEN_GUILESS_TEST_MAIN(TestRunOnPool)
#include "tst_runonpool.moc"
