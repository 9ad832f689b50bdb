#include "storage/TokenStore.h"

#include "models/JsonReaders.h"
#include "storage/ICredentialStore.h"

#include <QJsonDocument>
#include <QString>

using namespace Qt::StringLiterals;

namespace Storage {

namespace {

const QString s_service = u"com.tembrix.clockwarden"_s;
const QString s_account = u"auth_tokens"_s;
const QString s_kind = u"authTokens"_s;

} // namespace

TokenStore::TokenStore(ICredentialStore *credentialStore)
    : m_credentialStore(credentialStore)
{
}

void TokenStore::save(const Models::AuthTokens &tokens)
{
    if (!m_credentialStore)
        return;
    const QByteArray secret = QJsonDocument(tokens.toJson()).toJson(QJsonDocument::Compact);
    // Stored over the old record, never removed first: a failed store keeps the tokens held so
    // far, and a reader on another thread never finds a gap with no record.
    m_credentialStore->store(s_service, s_account, s_kind, secret);
}

std::optional<Models::AuthTokens> TokenStore::load() const
{
    if (!m_credentialStore)
        return std::nullopt;
    const std::optional<QByteArray> secret = m_credentialStore->load(s_service, s_account, s_kind);
    if (!secret)
        return std::nullopt;
    return Models::decodeStoredObject<Models::AuthTokens>(*secret);
}

void TokenStore::clear()
{
    if (m_credentialStore)
        m_credentialStore->remove(s_service, s_account, s_kind);
}

void TokenStore::setCredentialStore(ICredentialStore *credentialStore)
{
    m_credentialStore = credentialStore;
}

} // namespace Storage
