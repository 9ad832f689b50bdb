#pragma once

#include "storage/ICredentialStore.h"

#include <QtGlobal>

#include <memory>

namespace Platform {

// The credential store over the desktop's secret service (libsecret), with a file in the data
// directory when no secret service answered at construction. The back end is chosen once, in the
// constructor, and kept for the life of the object: no later switch and no migration. Any thread
// may call; a call that reaches the secret service blocks its thread until it answers.
//
// What the secret service answers or is given is remembered for the life of the object, so only
// the first read of a key, and every write, reach it: a change another program makes to the same
// item is not seen. A read or write that failed is not remembered.
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
