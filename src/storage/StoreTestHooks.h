#pragma once

#include <functional>

// For tests only: the process-wide stores keep their state for the life of the process, so a test
// that wants to start from nothing on disk resets them here after pointing the XDG variables at a
// fresh root. The program never calls these.
namespace Core::LogTestHooks {

// Closes the log file, forgets install() and gives the Qt message handler back to whoever had it.
void reset();
// Runs work on this thread while it holds the log's own lock.
void runWhileLocked(const std::function<void()> &work);

} // namespace Core::LogTestHooks

namespace Storage::PreferencesTestHooks {

// Replaces the store's settings object with a new one on the current configuration directory, as a
// restart would.
void reopen();
// Delivers, on this thread, the events still queued for the store's settings object and returns
// how many there were.
int deliverQueuedEvents();

} // namespace Storage::PreferencesTestHooks

namespace Storage::LastLoginStoreTestHooks {

// Forgets the cached e-mail, so that the next load reads the file again, as after a restart.
void reset();

} // namespace Storage::LastLoginStoreTestHooks

namespace Storage {

class SQLiteStore;

class SQLiteStoreTestHooks final
{
public:
    // The sync setting of the store's connection as SQLite reports it (2 is FULL); -1 when it
    // cannot be read.
    static int synchronousSetting(SQLiteStore &store);
};

} // namespace Storage
