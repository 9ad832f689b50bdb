#include "networking/ApiEndpoint.h"

#include "storage/Preferences.h"

using namespace Qt::StringLiterals;

namespace Networking::ApiEndpoint {

namespace {

const QString overrideKey = Storage::PreferenceKeys::apiBaseUrl;
constexpr QLatin1StringView apiSuffix("/api/v1");
constexpr QLatin1StringView apiSuffixWithSlash("/api/v1/");

} // namespace

QUrl baseUrl()
{
    if (const std::optional<QUrl> stored = loadOverride())
        return *stored;
    if (const QUrl environment = fromEnvironment(); environment.isValid())
        return environment;
    return QUrl(QString::fromLatin1(defaultBaseUrl), QUrl::TolerantMode);
}

QUrl fromEnvironment()
{
    const QByteArray raw = qgetenv("TEMBRIX_API_BASE_URL");
    if (raw.isEmpty())
        return {};
    const QString cleaned = cleanEnvironmentValue(QString::fromUtf8(raw));
    // "$(" is a build variable that was never expanded.
    if (cleaned.isEmpty() || cleaned.startsWith("$("_L1))
        return {};
    const QUrl url(cleaned, QUrl::TolerantMode);
    if (!url.isValid() || url.scheme() != "https"_L1)
        return {};
    return url;
}

QString cleanEnvironmentValue(const QString &value)
{
    QString cleaned = value;
    cleaned.remove(u'"');
    if (cleaned.startsWith("https:/"_L1) && !cleaned.startsWith("https://"_L1))
        cleaned.replace(0, 7, u"https://"_s);
    return cleaned;
}

std::optional<QUrl> loadOverride()
{
    const QString text = Storage::Preferences::instance().value(overrideKey).toString();
    if (text.isEmpty())
        return std::nullopt;
    const QUrl url(text, QUrl::TolerantMode);
    if (!url.isValid())
        return std::nullopt;
    return url;
}

void saveOverride(const std::optional<QUrl> &url)
{
    if (url && url->isValid())
        Storage::Preferences::instance().setValue(overrideKey, url->toString());
    else
        Storage::Preferences::instance().remove(overrideKey);
}

std::optional<QString> overrideHost()
{
    const std::optional<QUrl> stored = loadOverride();
    if (!stored)
        return std::nullopt;
    const QString host = stored->host(QUrl::FullyDecoded);
    if (host.isEmpty())
        return std::nullopt;
    return host;
}

QString domainKey()
{
    return overrideHost().value_or(u"global"_s);
}

std::optional<QUrl> normalizeCompanyEndpoint(const QString &text)
{
    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty())
        return std::nullopt;

    const QString lower = trimmed.toLower();
    const bool hasScheme = lower.startsWith("http://"_L1) || lower.startsWith("https://"_L1);
    // A scheme alone would otherwise turn into "https://api/v1/", a host named "api".
    if (hasScheme && trimmed.mid(trimmed.indexOf("://"_L1) + 3).remove(u'/').isEmpty())
        return std::nullopt;

    // The trailing slash goes in both forms, so "host/" does not end up as "host//api/v1/".
    QString base = hasScheme ? trimmed : u"https://"_s + trimmed;
    if (base.endsWith(u'/'))
        base.chop(1);
    if (!base.endsWith(apiSuffix) && !base.endsWith(apiSuffixWithSlash))
        base += apiSuffixWithSlash;
    if (!base.endsWith(u'/'))
        base += u'/';

    const QUrl url(base, QUrl::TolerantMode);
    if (!url.isValid())
        return std::nullopt;
    return url;
}

bool isDowngrade(const QUrl &endpoint, const QUrl &source)
{
    return source.scheme().compare("https"_L1, Qt::CaseInsensitive) == 0
           && endpoint.scheme().compare("https"_L1, Qt::CaseInsensitive) != 0;
}

} // namespace Networking::ApiEndpoint
