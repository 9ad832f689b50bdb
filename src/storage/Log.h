#pragma once

#include <QString>
#include <QtGlobal>

class QMessageLogContext;

namespace Core {

// The single application log: "app.log" in the state directory's "logs" folder, one line per
// message ("[<UTC time with ms>] [<LEVEL>] [<category>] <message>"), flushed at once, rotated at
// 5 MiB into app.log.0 (newest) to app.log.4 (oldest).
//
// All operations are static and may run on any thread, also while static objects are destroyed at
// exit. One non-recursive mutex serialises them; a message raised on a thread while that thread
// holds the log's own lock (a Qt warning from inside the log) is dropped. Writes before install()
// are dropped. Messages are not redacted here (callers redact what they log), but their control
// characters are escaped ("\n", "\r", "\t", "\u001b"), so one message is always one line.
class Log final
{
public:
    enum class Category : int {
        Auth = 0,
        Session = 1,
        Activity = 2,
        Capture = 3,
        Upload = 4,
        Config = 5,
        Permissions = 6,
    };

    enum class Level : int {
        Debug = 0,
        Info = 1,
        Warn = 2,
        Error = 3,
    };

    Log() = delete;

    // Opens the log and installs qtMessageHandler; only the first call does anything.
    static void install();
    static void write(Category category, Level level, const QString &message);
    // Records every Qt message under Config; once installed, Qt messages no longer reach stderr.
    static void qtMessageHandler(QtMsgType type, const QMessageLogContext &context,
                                 const QString &message);

    // Writes the redacted concatenation of all log files, oldest first, to destinationPath. On
    // failure returns false and, when error is given, sets it to "no log content found", the
    // destination's own error text, or "failed to write the log file".
    static bool exportTo(const QString &destinationPath, QString *error = nullptr);
    // Hides JSON Web Tokens, secret JSON fields, recovery codes in paths and bearer credentials.
    static QString redactForExport(const QString &text);

    // "auth", "session", ...; "?" for a value outside the enumeration.
    static QString categoryName(Category category);
    // "DEBUG", "INFO", "WARN", "ERROR"; "?" for a value outside the enumeration.
    static QString levelName(Level level);
};

} // namespace Core
