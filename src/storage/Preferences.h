#pragma once

#include <QDateTime>
#include <QLatin1StringView>
#include <QMutex>
#include <QString>
#include <QUuid>
#include <QVariant>

#include <optional>

class QSettings;

namespace Storage {

// Every key the program keeps in "preferences.ini". Keys without "/" land in the INI file's
// [General] section; "wayland/screencast_restore_token" lands in [wayland].
namespace PreferenceKeys {

inline constexpr QLatin1StringView palette("com.tembrix.clockwarden.palette");
inline constexpr QLatin1StringView deviceId("com.tembrix.clockwarden.device_id");
// Followed by the session identifier (lower-case UUID without braces).
inline constexpr QLatin1StringView heartbeatPrefix("com.tembrix.clockwarden.heartbeat.");
inline constexpr QLatin1StringView userName("com.tembrix.clockwarden.userName");
inline constexpr QLatin1StringView companyName("com.tembrix.clockwarden.companyName");
inline constexpr QLatin1StringView apiBaseUrl("com.tembrix.clockwarden.apiBaseURL");
inline constexpr QLatin1StringView
        apiTimezoneIdentifier("com.tembrix.clockwarden.apiTimezoneIdentifier");
// Seconds (integer); absent reads as dailyTargetSecondsDefault.
inline constexpr QLatin1StringView dailyTargetSeconds("dailyTargetSeconds");
inline constexpr int dailyTargetSecondsDefault = 28800;
// Empty reads as none.
inline constexpr QLatin1StringView lastSelectedCompanyEndpoint("lastSelectedCompanyEndpoint");
inline constexpr QLatin1StringView screencastRestoreToken("wayland/screencast_restore_token");

} // namespace PreferenceKeys

namespace PreferencesTestHooks {
void reopen(); // see StoreTestHooks.h
int deliverQueuedEvents();
} // namespace PreferencesTestHooks

// The process-wide key and value store over configDir() + "/preferences.ini" (INI format). Created
// on first use and never destroyed (a destructor running at exit may still use it); it depends only
// on the directory layout, so it may be used before the application object exists. Every operation
// holds one non-recursive mutex for its whole duration, the file sync of a write included, so any
// thread may call it. Nothing is reported: a file that cannot be written keeps the value in memory
// for the rest of the run.
class Preferences final
{
public:
    static Preferences &instance();

    // The stored value, or defaultValue when the key is absent.
    QVariant value(const QString &key, const QVariant &defaultValue = QVariant()) const;
    // Stores the value and syncs the file.
    void setValue(const QString &key, const QVariant &value);
    // Removes the key and syncs the file.
    void remove(const QString &key);
    bool contains(const QString &key) const;
    void sync();

private:
    Preferences();
    ~Preferences() = default;
    Q_DISABLE_COPY_MOVE(Preferences)

    // Syncs the file; the caller holds m_mutex.
    void syncLocked();

    friend QString deviceId();
    friend void PreferencesTestHooks::reopen();
    friend int PreferencesTestHooks::deliverQueuedEvents();

    mutable QMutex m_mutex;
    QSettings *m_settings = nullptr;
};

// The device identifier: upper-case UUID text without braces, made and stored on the first call.
// Two first calls on different threads return the same identifier.
QString deviceId();

// Per-session heartbeat markers: the last moment a session was known to be running.
QString heartbeatMarkerKey(const QUuid &sessionId);
void setLastHeartbeat(const QUuid &sessionId, const QDateTime &moment);
// None when the marker is absent, not a number, or not after the Unix epoch. Millisecond precision.
std::optional<QDateTime> lastHeartbeat(const QUuid &sessionId);
void clearLastHeartbeat(const QUuid &sessionId);

// The signed-in user's names for display. A present value is stored (even an empty text), an
// absent one removes its key; the user name is written first. Not atomic as a whole.
void saveUserProfile(const std::optional<QString> &userName,
                     const std::optional<QString> &companyName);
// None when the key is absent or its text is empty.
std::optional<QString> savedUserName();
std::optional<QString> savedCompanyName();
void clearUserProfile();

} // namespace Storage
