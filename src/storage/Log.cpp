#include "storage/Log.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>

#include <QFile>
#include <QMutex>
#include <QStringList>

#include "storage/Paths.h"
#include "storage/StoreTestHooks.h"

using namespace Qt::StringLiterals;

namespace Core {

namespace {

constexpr qint64 rotationSize = 5 * 1024 * 1024;
constexpr int rotatedCopies = 5;
constexpr auto appendMode = QIODevice::WriteOnly | QIODevice::Append | QIODevice::Text;
// The log records the user's work and server texts: only its owner reads it.
constexpr auto ownerOnly = QFileDevice::ReadOwner | QFileDevice::WriteOwner;

// Plain globals with constant initialisation and nothing to destroy: a store's destructor may still
// write while static objects are being destroyed at exit, after the application object is gone.
// The file object is created once and never deleted.
Q_CONSTINIT QBasicMutex s_mutex;
Q_CONSTINIT bool s_installed = false;
Q_CONSTINIT QFile *s_file = nullptr;
// The open file's size, counted as lines are written, so that the rotation check costs no stat;
// -1 until read from the file.
Q_CONSTINIT qint64 s_size = -1;
Q_CONSTINIT QtMessageHandler s_previousHandler = nullptr;

// True while this thread holds s_mutex. A message raised then (a Qt warning from inside a file
// operation) would come back through the message handler and block on the non-recursive mutex
// this thread already holds; it is dropped instead.
thread_local bool t_holdsLock = false;

class LogLock final
{
public:
    LogLock()
        : m_locker(&s_mutex)
    {
        t_holdsLock = true;
    }
    ~LogLock() { t_holdsLock = false; }

    LogLock(const LogLock &) = delete;
    LogLock &operator=(const LogLock &) = delete;

private:
    QMutexLocker<QBasicMutex> m_locker;
};

// Indexed by the enumerations' values, which run from 0 without gaps.
constexpr std::array categoryNames = { "auth"_L1,   "session"_L1, "activity"_L1,   "capture"_L1,
                                       "upload"_L1, "config"_L1,  "permissions"_L1 };
constexpr std::array levelNames = { "DEBUG"_L1, "INFO"_L1, "WARN"_L1, "ERROR"_L1 };

// "?" for a value outside the table.
template<std::size_t size>
QString printedName(const std::array<QLatin1StringView, size> &names, int value)
{
    if (value < 0 || static_cast<std::size_t>(value) >= size)
        return u"?"_s;
    return names[static_cast<std::size_t>(value)];
}

QString numberedPath(const QString &logPath, int number)
{
    return u"%1.%2"_s.arg(logPath, QString::number(number));
}

// Failed removals and renames are ignored: the numbering then has gaps.
void rotate(QFile &file)
{
    const QString logPath = file.fileName();
    file.close();
    for (int n = rotatedCopies - 1; n >= 0; --n) {
        const QString target = numberedPath(logPath, n);
        QFile::remove(target);
        QFile::rename(n > 0 ? numberedPath(logPath, n - 1) : logPath, target);
    }
    file.setFileName(logPath);
    file.open(appendMode);
    file.setPermissions(ownerOnly);
}

// The current UTC time as ISO 8601 with milliseconds and "Z". Formatted by hand: during static
// destruction at exit QDateTime::toString() yields an empty text, once Qt's own statics are gone.
QString utcTimestamp()
{
    using namespace std::chrono;
    const auto now = time_point_cast<milliseconds>(system_clock::now());
    const auto day = floor<days>(now);
    const year_month_day date(day);
    const hh_mm_ss time(now - day);
    std::array<char, 32> text{};
    std::snprintf(text.data(), text.size(), "%04d-%02u-%02uT%02d:%02d:%02d.%03dZ",
                  static_cast<int>(date.year()), static_cast<unsigned>(date.month()),
                  static_cast<unsigned>(date.day()), static_cast<int>(time.hours().count()),
                  static_cast<int>(time.minutes().count()),
                  static_cast<int>(time.seconds().count()),
                  static_cast<int>(time.subseconds().count()));
    return QString::fromLatin1(text.data());
}

bool isLineControl(char16_t unit)
{
    return unit < 0x20 || unit == 0x7f || (unit >= 0x80 && unit < 0xa0) || unit == 0x2028
           || unit == 0x2029;
}

// Messages carry text from outside (server answers, file names): a line break in it would end the
// line early and let the rest pass for a line of its own, so every control character is written
// as an escape and one message stays one line.
QString escapedControls(const QString &message)
{
    if (std::none_of(message.cbegin(), message.cend(),
                     [](QChar c) { return isLineControl(c.unicode()); }))
        return message;
    QString escaped;
    escaped.reserve(message.size() + 16);
    for (const QChar c : message) {
        const char16_t unit = c.unicode();
        if (!isLineControl(unit))
            escaped += c;
        else if (unit == u'\n')
            escaped += "\\n"_L1;
        else if (unit == u'\r')
            escaped += "\\r"_L1;
        else if (unit == u'\t')
            escaped += "\\t"_L1;
        else
            escaped += u"\\u%1"_s.arg(int(unit), 4, 16, QChar(u'0'));
    }
    return escaped;
}

QString formatLine(Log::Category category, Log::Level level, const QString &message)
{
    return u'[' + utcTimestamp() + "] ["_L1 + Log::levelName(level) + "] ["_L1
           + Log::categoryName(category) + "] "_L1 + escapedControls(message) + u'\n';
}

Log::Level levelFor(QtMsgType type)
{
    switch (type) {
    case QtDebugMsg:
        return Log::Level::Debug;
    case QtWarningMsg:
        return Log::Level::Warn;
    case QtCriticalMsg:
    case QtFatalMsg:
        return Log::Level::Error;
    case QtInfoMsg:
        break;
    }
    return Log::Level::Info;
}

// Oldest first: app.log.4 ... app.log.0, then app.log itself.
QString readAllLogFiles(const QString &logPath)
{
    QStringList paths;
    for (int n = rotatedCopies - 1; n >= 0; --n)
        paths.append(numberedPath(logPath, n));
    paths.append(logPath);

    QString text;
    for (const QString &path : std::as_const(paths)) {
        QFile file(path);
        if (file.exists() && file.open(QIODevice::ReadOnly | QIODevice::Text))
            text += QString::fromUtf8(file.readAll());
    }
    return text;
}

void setError(QString *error, const QString &text)
{
    if (error)
        *error = text;
}

} // namespace

void Log::install()
{
    LogLock lock;
    if (s_installed)
        return;
    s_installed = true;
    s_size = -1;
    s_file = new QFile(Platform::Paths::logFilePath());
    // A file that does not open leaves the log mute; the handler is installed all the same.
    if (s_file->open(appendMode))
        s_file->setPermissions(ownerOnly);
    s_previousHandler = qInstallMessageHandler(&Log::qtMessageHandler);
}

void Log::write(Category category, Level level, const QString &message)
{
    if (t_holdsLock)
        return;
    LogLock lock;
    if (!s_file || !s_file->isOpen())
        return;
    if (s_size < 0)
        s_size = s_file->size();
    if (s_size >= rotationSize) {
        rotate(*s_file);
        s_size = -1;
        // Never write to a closed file: Qt's warning about it would come straight back here.
        if (!s_file->isOpen())
            return;
        s_size = s_file->size();
    }
    const QByteArray line = formatLine(category, level, message).toUtf8();
    s_file->write(line);
    s_file->flush();
    s_size += line.size();
}

void Log::qtMessageHandler(QtMsgType type, const QMessageLogContext &context,
                           const QString &message)
{
    Q_UNUSED(context);
    write(Category::Config, levelFor(type), message);
}

bool Log::exportTo(const QString &destinationPath, QString *error)
{
    QString logPath;
    {
        LogLock lock;
        if (s_file) {
            if (s_file->isOpen())
                s_file->flush();
            logPath = s_file->fileName();
        }
    }
    // Lines written from here on may or may not make it into the export.
    if (logPath.isEmpty())
        logPath = Platform::Paths::logFilePath();

    const QString text = readAllLogFiles(logPath);
    if (text.isEmpty()) {
        setError(error, u"no log content found"_s);
        return false;
    }

    QFile destination(destinationPath);
    if (!destination.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Text)) {
        setError(error, destination.errorString());
        return false;
    }
    destination.setPermissions(ownerOnly);
    const QByteArray bytes = redactForExport(text).toUtf8();
    // The file is buffered: a full disk shows only when the buffer is flushed, and must not pass
    // for a complete export.
    const bool complete = destination.write(bytes) == bytes.size() && destination.flush();
    destination.close();
    if (!complete) {
        setError(error, u"failed to write the log file"_s);
        return false;
    }
    return true;
}

QString Log::categoryName(Category category)
{
    return printedName(categoryNames, static_cast<int>(category));
}

QString Log::levelName(Level level)
{
    return printedName(levelNames, static_cast<int>(level));
}

void LogTestHooks::reset()
{
    LogLock lock;
    if (s_installed)
        qInstallMessageHandler(s_previousHandler);
    delete s_file;
    s_file = nullptr;
    s_size = -1;
    s_installed = false;
    s_previousHandler = nullptr;
}

void LogTestHooks::runWhileLocked(const std::function<void()> &work)
{
    LogLock lock;
    work();
}

} // namespace Core
