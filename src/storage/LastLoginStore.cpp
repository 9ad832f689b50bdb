#include "storage/LastLoginStore.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMutex>

#include "storage/Paths.h"
#include "storage/StoreTestHooks.h"

using namespace Qt::StringLiterals;

namespace Storage {

namespace {

const auto emailKey = "email"_L1;

struct State
{
    QMutex mutex;
    bool loaded = false;
    std::optional<QString> cached;
};

// Never destroyed, so a late caller at exit still finds it.
State &state()
{
    static State *const instance = new State;
    return *instance;
}

std::optional<QString> readFile()
{
    QFile file(LastLoginStore::path());
    if (!file.exists() || !file.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QJsonDocument document = QJsonDocument::fromJson(file.readAll());
    if (!document.isObject())
        return std::nullopt;
    const QString email = document.object().value(emailKey).toString();
    if (email.isEmpty())
        return std::nullopt;
    return email;
}

} // namespace

QString LastLoginStore::path()
{
    return Platform::Paths::dataDir() + "/last_login.json"_L1;
}

void LastLoginStore::save(const QString &email)
{
    State &s = state();
    const QMutexLocker lock(&s.mutex);
    const QString trimmed = email.trimmed();
    if (trimmed.isEmpty())
        return;
    s.cached = trimmed;
    s.loaded = true;
    QFile file(path());
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        file.write(
                QJsonDocument(QJsonObject{ { emailKey, trimmed } }).toJson(QJsonDocument::Compact));
}

std::optional<QString> LastLoginStore::load()
{
    State &s = state();
    const QMutexLocker lock(&s.mutex);
    if (!s.loaded) {
        s.loaded = true;
        s.cached = readFile();
    }
    return s.cached;
}

void LastLoginStore::clear()
{
    State &s = state();
    const QMutexLocker lock(&s.mutex);
    s.cached.reset();
    s.loaded = true;
    QFile::remove(path());
}

void LastLoginStoreTestHooks::reset()
{
    State &s = state();
    const QMutexLocker lock(&s.mutex);
    s.cached.reset();
    s.loaded = false;
}

} // namespace Storage
