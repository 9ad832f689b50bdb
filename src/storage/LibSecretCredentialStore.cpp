#include "storage/LibSecretCredentialStore.h"

#include "storage/CredentialFallbackFile.h"
#include "storage/Log.h"

// GIO's headers name struct members "signals", which Qt defines as a keyword macro.
#pragma push_macro("signals")
#undef signals
#include <libsecret/secret.h>
#pragma pop_macro("signals")

#include <QByteArray>
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

std::optional<QByteArray> lookupSecret(const Attributes &key)
{
    GError *error = nullptr;
    gchar *secret = secret_password_lookup_sync(
            &s_schema, nullptr, &error, "service", key.service.constData(), "account",
            key.account.constData(), "kind", key.kind.constData(), nullptr);
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

bool clearSecret(const Attributes &key)
{
    GError *error = nullptr;
    const gboolean cleared = secret_password_clear_sync(
            &s_schema, nullptr, &error, "service", key.service.constData(), "account",
            key.account.constData(), "kind", key.kind.constData(), nullptr);
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
    return storeSecret(service, account, kind, secret);
}

std::optional<QByteArray>
LibSecretCredentialStore::load(const QString &service, const QString &account, const QString &kind)
{
    if (!m_impl->secretServiceAvailable)
        return CredentialFallbackFile::load(
                CredentialFallbackFile::entryKey(service, account, kind));
    return lookupSecret(Attributes(service, account, kind));
}

bool LibSecretCredentialStore::remove(const QString &service, const QString &account,
                                      const QString &kind)
{
    if (!m_impl->secretServiceAvailable)
        return CredentialFallbackFile::remove(
                CredentialFallbackFile::entryKey(service, account, kind));
    return clearSecret(Attributes(service, account, kind));
}

bool LibSecretCredentialStore::isAvailable() const
{
    return m_impl->secretServiceAvailable;
}

} // namespace Platform
