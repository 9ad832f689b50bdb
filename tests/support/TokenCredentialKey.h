#pragma once

#include <QString>

// The credential key under which the token store keeps its record, spelled out here rather than
// taken from the code under test, so that the tests pin the texts.
namespace TestSupport::TokenCredentialKey {

inline const QString service = QStringLiteral("com.tembrix.clockwarden");
inline const QString account = QStringLiteral("auth_tokens");
inline const QString kind = QStringLiteral("authTokens");

} // namespace TestSupport::TokenCredentialKey
