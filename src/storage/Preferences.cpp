#include "storage/Preferences.h"

#include <cmath>

#include <QCoreApplication>
#include <QSettings>
#include <QThread>

#include "storage/Paths.h"
#include "storage/StoreTestHooks.h"

using namespace Qt::StringLiterals;

namespace Storage {

namespace {

QSettings *openSettings()
{
    auto *settings = new QSettings(Platform::Paths::configDir() + "/preferences.ini"_L1,
                                   QSettings::IniFormat);
    // QSettings posts itself a deferred-sync event on every change, which its thread would then
    // handle outside our mutex. Every write is synced at once under the mutex instead, so the
    // object belongs to no thread and syncLocked() drops those events.
    settings->moveToThread(nullptr);
    return settings;
}

std::optional<QString> nonEmptyText(const QString &key)
{
    const QString text = Preferences::instance().value(key).toString();
    if (text.isEmpty())
        return std::nullopt;
    return text;
}

// Counts the events an object receives.
class EventCounter final : public QObject
{
public:
    explicit EventCounter(int *count)
        : m_count(count)
    {
    }

protected:
    bool eventFilter(QObject *, QEvent *) override
    {
        ++*m_count;
        return false;
    }

private:
    int *m_count;
};

void storeOrRemove(const QString &key, const std::optional<QString> &value)
{
    if (value)
        Preferences::instance().setValue(key, *value);
    else
        Preferences::instance().remove(key);
}

} // namespace

Preferences::Preferences()
    : m_settings(openSettings())
{
}

Preferences &Preferences::instance()
{
    // Never destroyed, its mutex included: a destructor that runs at exit may still use it.
    static Preferences *const preferences = new Preferences;
    return *preferences;
}

QVariant Preferences::value(const QString &key, const QVariant &defaultValue) const
{
    const QMutexLocker lock(&m_mutex);
    return m_settings->value(key, defaultValue);
}

void Preferences::setValue(const QString &key, const QVariant &value)
{
    const QMutexLocker lock(&m_mutex);
    // Start-up stores values that are there already (the cached configuration's time zone,
    // twice): writing one again would rewrite the whole file and wait for the disk.
    if (m_settings->contains(key) && m_settings->value(key) == value)
        return;
    m_settings->setValue(key, value);
    syncLocked();
}

void Preferences::remove(const QString &key)
{
    const QMutexLocker lock(&m_mutex);
    m_settings->remove(key);
    syncLocked();
}

bool Preferences::contains(const QString &key) const
{
    const QMutexLocker lock(&m_mutex);
    return m_settings->contains(key);
}

void Preferences::sync()
{
    const QMutexLocker lock(&m_mutex);
    syncLocked();
}

void Preferences::syncLocked()
{
    m_settings->sync();
    // The change queued a deferred-sync event that no thread will ever deliver: without this it
    // would stay queued for the rest of the process, one more with every write.
    QCoreApplication::removePostedEvents(m_settings, QEvent::UpdateRequest);
}

QString deviceId()
{
    Preferences &preferences = Preferences::instance();
    // Check and creation are one step, so two first callers agree on the identifier.
    const QMutexLocker lock(&preferences.m_mutex);
    const QString stored = preferences.m_settings->value(PreferenceKeys::deviceId).toString();
    if (!stored.isEmpty())
        return stored.toUpper();
    const QString created = QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper();
    preferences.m_settings->setValue(PreferenceKeys::deviceId, created);
    preferences.syncLocked();
    return created;
}

QString heartbeatMarkerKey(const QUuid &sessionId)
{
    return PreferenceKeys::heartbeatPrefix + sessionId.toString(QUuid::WithoutBraces);
}

void setLastHeartbeat(const QUuid &sessionId, const QDateTime &moment)
{
    Preferences::instance().setValue(heartbeatMarkerKey(sessionId),
                                     static_cast<double>(moment.toMSecsSinceEpoch()) / 1000.0);
}

std::optional<QDateTime> lastHeartbeat(const QUuid &sessionId)
{
    // Text that is not a number reads as 0, and an absent key as an invalid value, which reads as
    // 0.
    const double seconds = Preferences::instance().value(heartbeatMarkerKey(sessionId)).toDouble();
    // Beyond this the milliseconds no longer fit a 64-bit integer.
    constexpr double maxSeconds = 9.0e15;
    if (!std::isfinite(seconds) || seconds <= 0 || seconds > maxSeconds)
        return std::nullopt;
    // Rounded, not truncated: seconds * 1000 can land just below the whole millisecond that was
    // stored (for example at 2039-09-01T19:35:06.693Z), which would read back 1 ms early.
    return QDateTime::fromMSecsSinceEpoch(qRound64(seconds * 1000.0), Qt::UTC);
}

void clearLastHeartbeat(const QUuid &sessionId)
{
    Preferences::instance().remove(heartbeatMarkerKey(sessionId));
}

void saveUserProfile(const std::optional<QString> &userName,
                     const std::optional<QString> &companyName)
{
    storeOrRemove(PreferenceKeys::userName, userName);
    storeOrRemove(PreferenceKeys::companyName, companyName);
}

std::optional<QString> savedUserName()
{
    return nonEmptyText(PreferenceKeys::userName);
}

std::optional<QString> savedCompanyName()
{
    return nonEmptyText(PreferenceKeys::companyName);
}

void clearUserProfile()
{
    Preferences::instance().remove(PreferenceKeys::userName);
    Preferences::instance().remove(PreferenceKeys::companyName);
}

void PreferencesTestHooks::reopen()
{
    Preferences &preferences = Preferences::instance();
    const QMutexLocker lock(&preferences.m_mutex);
    delete preferences.m_settings;
    preferences.m_settings = openSettings();
}

int PreferencesTestHooks::deliverQueuedEvents()
{
    Preferences &preferences = Preferences::instance();
    const QMutexLocker lock(&preferences.m_mutex);
    QSettings *settings = preferences.m_settings;
    // An object without a thread may be taken over by the current one, with its queued events.
    settings->moveToThread(QThread::currentThread());
    int delivered = 0;
    EventCounter counter(&delivered);
    settings->installEventFilter(&counter);
    QCoreApplication::sendPostedEvents(settings);
    settings->removeEventFilter(&counter);
    settings->moveToThread(nullptr);
    return delivered;
}

} // namespace Storage
