#pragma once

#include <QString>
#include <QUrl>

#include <optional>

// Where requests go and under which key local data is filed. Nothing is cached: every call reads
// the preferences and the environment afresh, so a saved or removed company endpoint takes effect
// with the next request. Stateless; callable from any thread.
namespace Networking::ApiEndpoint {

// The service's own API host, used when no company endpoint is stored and the environment names
// none.
inline constexpr char defaultBaseUrl[] = "https://api.tembrix.com/api/v1/";

// The stored company endpoint, else TEMBRIX_API_BASE_URL, else the default. Request paths are
// resolved against it by RFC 3986 rules, so a base that does not end in "/" loses its last segment.
QUrl baseUrl();

// The environment's base URL after cleanEnvironmentValue, used unchanged; an empty URL when the
// variable is unset, blank, an unexpanded "$(...)", unparsable or not https.
QUrl fromEnvironment();
// Removes every double quote and puts back the second slash of a leading "https:/".
QString cleanEnvironmentValue(const QString &value);

// The stored company endpoint; none when absent, empty or not a valid URL.
std::optional<QUrl> loadOverride();
// Stores a present, valid URL; removes the stored endpoint otherwise.
void saveOverride(const std::optional<QUrl> &url);
// The host of the stored company endpoint; none when nothing is stored or the host is empty.
std::optional<QString> overrideHost();
// overrideHost(), else "global". The environment and the default never decide it.
QString domainKey();

// The API base for an endpoint typed or received as text: "https://" is put in front of a bare
// host, "/api/v1/" is added unless present, and the result always ends in "/". None for a blank
// text, a scheme without a host, or a result that is not a valid URL.
std::optional<QUrl> normalizeCompanyEndpoint(const QString &text);

// True when a company endpoint that arrived in an answer from `source` would leave https: such an
// address could only come from someone between the program and the service. An endpoint that is
// plain http from the start (stored by an administrator) never passes through here.
bool isDowngrade(const QUrl &endpoint, const QUrl &source);

} // namespace Networking::ApiEndpoint
