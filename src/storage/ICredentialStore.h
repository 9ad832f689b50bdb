#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

namespace Storage {

// One secret per (service, account, kind) in the desktop's credential storage. Implementations
// may block the calling thread (the secret service answers over D-Bus) and are called from any
// thread; they report failures only through their results.
class ICredentialStore
{
public:
    virtual ~ICredentialStore() = default;

    // Creates or replaces the secret; true when it is stored.
    virtual bool store(const QString &service, const QString &account, const QString &kind,
                       const QByteArray &secret)
            = 0;
    virtual std::optional<QByteArray> load(const QString &service, const QString &account,
                                           const QString &kind)
            = 0;
    // True when a secret was there and is gone.
    virtual bool remove(const QString &service, const QString &account, const QString &kind) = 0;

protected:
    ICredentialStore() = default;
    ICredentialStore(const ICredentialStore &) = default;
    ICredentialStore &operator=(const ICredentialStore &) = default;
};

} // namespace Storage
