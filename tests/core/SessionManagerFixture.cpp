#include "SessionManagerFixture.h"

#include "FileFixtures.h"

#include "core/AppStateManager.h"
#include "core/ClockTestHooks.h"
#include "networking/ApiEndpoint.h"
#include "services/tracking/PermissionService.h"
#include "storage/ApiTimezone.h"
#include "storage/Log.h"
#include "storage/Paths.h"

#include <QTest>
#include <QThreadPool>
#include <QTimeZone>
#include <QUrl>

namespace {

QString logText()
{
    return QString::fromUtf8(TestSupport::readFile(Platform::Paths::logFilePath()));
}

} // namespace

SessionManagerFixture::SessionManagerFixture(const QDateTime &start, Endpoint endpoint)
{
    Core::Log::install();
    m_logOffset = logText().size();
    Core::ClockTestHooks::set(start);
    Core::AppStateManager::instance().resetForSignOut();
    Services::PermissionService::instance().setScreenCapturer(nullptr);
    Services::PermissionService::instance().setInputMonitor(nullptr);
    Services::ApiTimezone::clear();
    if (endpoint == Endpoint::Stored)
        Networking::ApiEndpoint::saveOverride(QUrl(QStringLiteral("https://acme.example/api/v1/")));
    else
        Networking::ApiEndpoint::saveOverride(std::nullopt);
    store = std::make_unique<Storage::SQLiteStore>();
    store->clearAll();
    store->setDomainKey(Networking::ApiEndpoint::domainKey());
    m_engine = std::make_unique<Core::SessionManager>(Core::SessionManager::TestInstance());
    m_engine->initialize(store.get(), &platform);
}

SessionManagerFixture::~SessionManagerFixture()
{
    m_engine.reset();
    // A view's read of the store may still run on the pool after the view is gone.
    QThreadPool::globalInstance()->waitForDone();
    store.reset();
    Networking::ApiEndpoint::saveOverride(std::nullopt);
    Services::ApiTimezone::clear();
    Core::ClockTestHooks::reset();
}

void SessionManagerFixture::restartEngine()
{
    replaceEngineUninitialized();
    m_engine->initialize(store.get(), &platform);
}

void SessionManagerFixture::replaceEngineUninitialized()
{
    m_engine.reset();
    m_engine = std::make_unique<Core::SessionManager>(Core::SessionManager::TestInstance());
}

void SessionManagerFixture::advance(double seconds)
{
    Core::ClockTestHooks::advance(qRound64(seconds * 1000.0));
}

void SessionManagerFixture::tick(double seconds)
{
    advance(seconds);
    invoke("onTick");
}

void SessionManagerFixture::invoke(const char *slot)
{
    QVERIFY(QMetaObject::invokeMethod(m_engine.get(), slot, Qt::DirectConnection));
}

QStringList SessionManagerFixture::logLines() const
{
    return logText().mid(m_logOffset).split(u'\n', Qt::SkipEmptyParts);
}

QDateTime at(const QString &localTime, const QByteArray &zone)
{
    const QDateTime moment = QDateTime::fromString(localTime, Qt::ISODateWithMs);
    return QDateTime(moment.date(), moment.time(), QTimeZone(zone)).toUTC();
}
