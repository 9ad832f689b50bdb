#pragma once

// The lines the application log gained since the object was made, for tests that check what the
// code under test logged. Header-only: a test that includes it links Clockwarden::Data and has
// called Core::Log::install().

#include "storage/Paths.h"

#include <QFile>
#include <QString>
#include <QStringList>

class LogTail final
{
public:
    LogTail()
        : m_offset(QFile(Platform::Paths::logFilePath()).size())
    {
    }

    // Every new line, with its time stamp.
    QStringList lines() const
    {
        QFile file(Platform::Paths::logFilePath());
        if (!file.open(QIODevice::ReadOnly) || !file.seek(m_offset))
            return {};
        return QString::fromUtf8(file.readAll()).split(u'\n', Qt::SkipEmptyParts);
    }

    // The new lines that end with "[LEVEL] [category] message".
    int count(const QString &levelAndCategory, const QString &message) const
    {
        const QString tail = levelAndCategory + u' ' + message;
        int found = 0;
        for (const QString &line : lines()) {
            if (line.endsWith(tail))
                ++found;
        }
        return found;
    }

    bool contains(const QString &levelAndCategory, const QString &message) const
    {
        return count(levelAndCategory, message) > 0;
    }

private:
    qint64 m_offset = 0;
};
