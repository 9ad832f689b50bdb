#include "storage/LibSecretCredentialStore.h"

#include "storage/CredentialFallbackFile.h"
#include "storage/Log.h"

// GIO's headers name struct members "signals", which Qt defines as a keyword macro.
#pragma push_macro("signals")
#undef signals
#include <libsecret/secret.h>
#pragma pop_macro("signals")

#include <QByteArray>
#include <QHash>
#include <QMutex>
#include <QString>

using namespace Qt::StringLiterals;

namespace Platform {

namespace {

const SecretSchema s_schema = {
    "com.tembrix.clockwarden.Schema",
    SECRET_SCHEMA_NONE,
    {
            { "service", SECRET_SCHEMA_ATTRIBUTE_STRING },
            { "account", SECRET_SCHEMA_ATTRIBUTE_STRING },
            { "kind", SECRET_SCHEMA_ATTRIBUTE_STRING },
            { nullptr, SECRET_SCHEMA_ATTRIBUTE_STRING },
    },
    0,
    nullptr,
    nullptr,
    nullptr,
    nullptr,
    nullptr,
    nullptr,
    nullptr,
};

// The three attributes of one credential key, as UTF-8 kept alive for the libsecret call.
struct Attributes
{
    QByteArray service;
    QByteArray account;
    QByteArray kind;

    Attributes(const QString &service, const QString &account, const QString &kind)
        : service(service.toUtf8())
        , account(account.toUtf8())
        , kind(kind.toUtf8())
    {
    }
};

// Logs and frees a libsecret error; the messages name the operation, never the secret.
void dropError(GError *error, const char *operation)
{
    Core::Log::write(Core::Log::Category::Auth, Core::Log::Level::Warn,
                     u"Secret service %1 failed: %2"_s.arg(QLatin1StringView(operation),
                                                           QString::fromUtf8(error->message)));
    g_error_free(error);
}

bool probeSecretService()
{
    GError *error = nullptr;
    SecretService *service = secret_service_get_sync(SECRET_SERVICE_OPEN_SESSION, nullptr, &error);
    const bool available = !error && service;
    if (error)
        dropError(error, "connection");
    if (service)
        g_object_unref(service);
    Core::Log::write(Core::Log::Category::Auth, Core::Log::Level::Info,
                     available ? u"Credentials are kept in the secret service"_s
                               : u"No secret service: credentials are kept in the fallback file"_s);
    return available;
}

bool storeSecret(const QString &service, const QString &account, const QString &kind,
                 const QByteArray &secret)
{
    // libsecret takes the secret as a zero-terminated text: a zero byte would cut it short.
    if (secret.contains('\0'))
        return false;
    const QByteArray label
            = u"Tembrix Clockwarden \u2014 %1 \u2014 %2"_s.arg(kind, account).toUtf8();
    const Attributes key(service, account, kind);
    GError *error = nullptr;
    // An item with the same attributes is replaced in place, so a reader never finds none.
    const gboolean stored = secret_password_store_sync(
            &s_schema, SECRET_COLLECTION_DEFAULT, label.constData(), secret.constData(), nullptr,
            &error, "service", key.service.constData(), "account", key.account.constData(), "kind",
            key.kind.constData(), nullptr);
    if (error) {
        dropError(error, "store");
        return false;
    }
    return stored;
}

// *failed tells an answer of "no such item" from a lookup that got no answer.
std::optional<QByteArray> lookupSecret(const Attributes &key, bool *failed)
{
    GError *error = nullptr;
    gchar *secret = secret_password_lookup_sync(
            &s_schema, nullptr, &error, "service", key.service.constData(), "account",
            key.account.constData(), "kind", key.kind.constData(), nullptr);
    *failed = error != nullptr;
    if (error) {
        dropError(error, "lookup");
        if (secret)
            secret_password_free(secret);
        return std::nullopt;
    }
    if (!secret)
        return std::nullopt;
    QByteArray bytes(secret);
    secret_password_free(secret);
    return bytes;
}

bool clearSecret(const Attributes &key, bool *failed)
{
    GError *error = nullptr;
    const gboolean cleared = secret_password_clear_sync(
            &s_schema, nullptr, &error, "service", key.service.constData(), "account",
            key.account.constData(), "kind", key.kind.constData(), nullptr);
    *failed = error != nullptr;
    if (error) {
        dropError(error, "clear");
        return false;
    }
    return cleared;
}

} // namespace

struct LibSecretCredentialStore::Private
{
    bool secretServiceAvailable = false;

    // What the secret service last answered or was given for each key, so that the tokens read
    // for every request cost no round trip to it. Writers take writeMutex for their whole call,
    // so the remembered values follow the service's order; a read that met a write on the way
    // keeps its answer to itself (the generation moved on).
    QMutex writeMutex;
    QMutex knownMutex;
    QHash<QString, std::optional<QByteArray>> known;
    quint64 generation = 0;

    void remember(const QString &key, const std::optional<QByteArray> &value)
    {
        const QMutexLocker locker(&knownMutex);
        ++generation;
        known.insert(key, value);
    }

    // The service may hold either value now: the next read asks it.
    void forget(const QString &key)
    {
        const QMutexLocker locker(&knownMutex);
        ++generation;
        known.remove(key);
    }
};

LibSecretCredentialStore::LibSecretCredentialStore()
    : m_impl(std::make_unique<Private>())
{
    m_impl->secretServiceAvailable = probeSecretService();
}

LibSecretCredentialStore::~LibSecretCredentialStore() = default;

bool LibSecretCredentialStore::store(const QString &service, const QString &account,
                                     const QString &kind, const QByteArray &secret)
{
    if (!m_impl->secretServiceAvailable)
        return CredentialFallbackFile::store(
                CredentialFallbackFile::entryKey(service, account, kind), secret);
    const QMutexLocker writing(&m_impl->writeMutex);
    const bool stored = storeSecret(service, account, kind, secret);
    const QString key = CredentialFallbackFile::entryKey(service, account, kind);
    if (stored)
        m_impl->remember(key, secret);
    else
        m_impl->forget(key);
    return stored;
}

std::optional<QByteArray>
LibSecretCredentialStore::load(const QString &service, const QString &account, const QString &kind)
{
    const QString key = CredentialFallbackFile::entryKey(service, account, kind);
    if (!m_impl->secretServiceAvailable)
        return CredentialFallbackFile::load(key);
    quint64 generation = 0;
    {
        const QMutexLocker locker(&m_impl->knownMutex);
        const auto found = m_impl->known.constFind(key);
        if (found != m_impl->known.cend())
            return *found;
        generation = m_impl->generation;
    }
    bool failed = false;
    std::optional<QByteArray> secret = lookupSecret(Attributes(service, account, kind), &failed);
    if (!failed) {
        const QMutexLocker locker(&m_impl->knownMutex);
        if (m_impl->generation == generation)
            m_impl->known.insert(key, secret);
    }
    return secret;
}

bool LibSecretCredentialStore::remove(const QString &service, const QString &account,
                                      const QString &kind)
{
    if (!m_impl->secretServiceAvailable)
        return CredentialFallbackFile::remove(
                CredentialFallbackFile::entryKey(service, account, kind));
    const QMutexLocker writing(&m_impl->writeMutex);
    bool failed = false;
    const bool cleared = clearSecret(Attributes(service, account, kind), &failed);
    const QString key = CredentialFallbackFile::entryKey(service, account, kind);
    if (failed)
        m_impl->forget(key);
    else
        m_impl->remember(key, std::nullopt);
    return cleared;
}

bool LibSecretCredentialStore::isAvailable() const
{
    return m_impl->secretServiceAvailable;
}

} // namespace Platform
