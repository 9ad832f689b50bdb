#include "networking/ReplyGuard.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>

using namespace Qt::StringLiterals;

namespace Networking {

namespace {

int defaultPort(const QString &scheme)
{
    if (scheme == "https"_L1)
        return 443;
    if (scheme == "http"_L1)
        return 80;
    return -1;
}

} // namespace

ReplyGuard::ReplyGuard(QNetworkReply *reply, qint64 maximumBytes)
    : QObject(reply)
    , m_reply(reply)
    , m_origin(reply->url())
    , m_maximumBytes(maximumBytes)
{
    connect(reply, &QNetworkReply::redirected, this, &ReplyGuard::onRedirected);
    connect(reply, &QNetworkReply::metaDataChanged, this, &ReplyGuard::onMetaDataChanged);
    connect(reply, &QNetworkReply::downloadProgress, this,
            [this](qint64 received, qint64) { onDownloadProgress(received); });
}

void ReplyGuard::prepare(QNetworkRequest &request)
{
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::UserVerifiedRedirectPolicy);
}

ReplyGuard *ReplyGuard::watch(QNetworkReply *reply, qint64 maximumBytes)
{
    return new ReplyGuard(reply, maximumBytes);
}

const ReplyGuard *ReplyGuard::of(const QNetworkReply *reply)
{
    return reply ? reply->findChild<ReplyGuard *>(QString(), Qt::FindDirectChildrenOnly) : nullptr;
}

bool ReplyGuard::sameOrigin(const QUrl &first, const QUrl &second)
{
    const QString scheme = first.scheme().toLower();
    return scheme == second.scheme().toLower()
           && first.host().compare(second.host(), Qt::CaseInsensitive) == 0
           && first.port(defaultPort(scheme)) == second.port(defaultPort(scheme));
}

bool ReplyGuard::isWebAddress(const QUrl &url)
{
    const QString scheme = url.scheme().toLower();
    return url.isValid() && (scheme == "http"_L1 || scheme == "https"_L1) && !url.host().isEmpty();
}

bool ReplyGuard::succeeded(const QNetworkReply *reply)
{
    const ReplyGuard *guard = of(reply);
    return reply->error() == QNetworkReply::NoError
           && (!guard || guard->refusal() == Refusal::None);
}

QNetworkReply *ReplyGuard::get(QNetworkAccessManager &manager, const QUrl &url)
{
    if (!isWebAddress(url))
        return nullptr;
    QNetworkRequest request(url);
    prepare(request);
    QNetworkReply *reply = manager.get(request);
    watch(reply);
    return reply;
}

QString ReplyGuard::refusalText() const
{
    return refusalText(m_refusal, m_redirectStatus, m_maximumBytes);
}

QString ReplyGuard::refusalText(Refusal refusal, int redirectStatus, qint64 maximumBytes)
{
    switch (refusal) {
    case Refusal::None:
        break;
    case Refusal::Redirect:
        return u"redirect (HTTP %1) to another address refused"_s.arg(redirectStatus);
    case Refusal::TooLarge:
        return u"answer larger than %1 MiB"_s.arg(maximumBytes / (1024 * 1024));
    }
    return {};
}

void ReplyGuard::onRedirected(const QUrl &target)
{
    if (m_refusal != Refusal::None)
        return;
    if (sameOrigin(m_origin, m_origin.resolved(target))) {
        Q_EMIT m_reply->redirectAllowed();
        return;
    }
    m_redirectStatus = m_reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    refuse(Refusal::Redirect);
}

void ReplyGuard::onMetaDataChanged()
{
    const QVariant length = m_reply->header(QNetworkRequest::ContentLengthHeader);
    if (length.isValid() && length.toLongLong() > m_maximumBytes)
        refuse(Refusal::TooLarge);
}

void ReplyGuard::onDownloadProgress(qint64 received)
{
    if (received > m_maximumBytes)
        refuse(Refusal::TooLarge);
}

void ReplyGuard::refuse(Refusal refusal)
{
    if (m_refusal != Refusal::None)
        return;
    m_refusal = refusal;
    m_reply->abort();
}

} // namespace Networking
