#pragma once

#include <QString>
#include <QStringList>

namespace TestSupport {

// Reads the lines an application log file gained since the watcher was made or last marked.
// The caller installs the log; the watcher only reads its file.
class LogWatcher final
{
public:
    explicit LogWatcher(const QString &logFile);

    // Forgets every line written so far.
    void mark();
    QStringList lines() const;
    // Lines since the mark that contain the text.
    QStringList matching(const QString &text) const;
    int count(const QString &text) const { return int(matching(text).size()); }
    bool contains(const QString &text) const { return count(text) > 0; }

private:
    QString m_file;
    qint64 m_offset = 0;
};

} // namespace TestSupport
