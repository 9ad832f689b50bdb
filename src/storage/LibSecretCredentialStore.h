#pragma once

#include "storage/ICredentialStore.h"

#include <QtGlobal>

#include <memory>

namespace Platform {

// The credential store over the desktop's secret service (libsecret), with a file in the data
// directory when no secret service answered at construction. The back end is chosen once, in the
// constructor, and kept for the life of the object: no later switch and no migration. Every call
// blocks its thread until the secret service answers; any thread may call.
class LibSecretCredentialStore final : public Storage::ICredentialStore
{
public:
    LibSecretCredentialStore();
    ~LibSecretCredentialStore() override;

    Q_DISABLE_COPY_MOVE(LibSecretCredentialStore)

    bool store(const QString &service, const QString &account, const QString &kind,
               const QByteArray &secret) override;
    std::optional<QByteArray> load(const QString &service, const QString &account,
                                   const QString &kind) override;
    bool remove(const QString &service, const QString &account, const QString &kind) override;

    // Whether the secret service was found at construction.
    bool isAvailable() const;

private:
    struct Private;
    std::unique_ptr<Private> m_impl;
};

} // namespace Platform
