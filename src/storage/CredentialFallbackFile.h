#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

class QJsonObject;

namespace Platform {

// The credential store's file back end, used when no secret service answered at start:
// "credentials.fallback.json" in the data directory, one compact JSON object whose values are the
// secrets in Base64, keyed by "service|account|kind". Every change rewrites the whole file through
// a temporary file (owner read and write only) renamed over the old one, so the file is never
// readable by others and a crash leaves either the old or the new content. One process-wide lock
// keeps operations from different threads from overlapping.
class CredentialFallbackFile final
{
public:
    static QString path();
    static QString entryKey(const QString &service, const QString &account, const QString &kind);

    // True only when the new file is in place.
    static bool store(const QString &key, const QByteArray &secret);
    static std::optional<QByteArray> load(const QString &key);
    // False when there was no such entry or the new file could not be written.
    static bool remove(const QString &key);

private:
    static QJsonObject read(const QString &path);
    static bool write(const QString &path, const QJsonObject &object);
};

} // namespace Platform
