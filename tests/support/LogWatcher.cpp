#include "LogWatcher.h"

#include <QFile>
#include <QFileInfo>

namespace TestSupport {

LogWatcher::LogWatcher(const QString &logFile)
    : m_file(logFile)
{
    mark();
}

void LogWatcher::mark()
{
    m_offset = QFileInfo(m_file).size();
}

QStringList LogWatcher::lines() const
{
    QFile file(m_file);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    file.seek(m_offset);
    return QString::fromUtf8(file.readAll()).split(u'\n', Qt::SkipEmptyParts);
}

QStringList LogWatcher::matching(const QString &text) const
{
    return lines().filter(text);
}

} // namespace TestSupport
