#pragma once

#include "models/AuthTokens.h"

#include <optional>

namespace Storage {

class ICredentialStore;

// Keeps the one sign-in token record as compact JSON under a fixed credential key. Holds no state
// beyond its pointer and takes no lock: the credential store serialises its own back end. Without
// a credential store every operation does nothing. Failures are not reported: a record that cannot
// be read or decoded counts as none, which callers treat as signed out.
class TokenStore final
{
public:
    // Does not take ownership; the store must outlive this object.
    explicit TokenStore(ICredentialStore *credentialStore);

    void save(const Models::AuthTokens &tokens);
    std::optional<Models::AuthTokens> load() const;
    void clear();

    void setCredentialStore(ICredentialStore *credentialStore);

private:
    ICredentialStore *m_credentialStore = nullptr;
};

} // namespace Storage
