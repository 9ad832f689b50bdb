#pragma once

#include <QObject>
#include <QString>
#include <QUrl>

class QNetworkAccessManager;
class QNetworkReply;
class QNetworkRequest;

namespace Networking {

// Keeps one reply with the origin it was sent to and within a size bound. A redirect within the
// origin (same scheme, host and port) is followed as the network library would; one to any other
// origin, https to http included, is refused and the reply aborted, so no header of the request
// (the bearer token, a sign-in body) ever reaches another host. An answer announced or growing
// beyond the bound is aborted as it arrives, before it is buffered whole.
//
// Ownership and threading: the guard is a child of its reply and lives on the reply's thread;
// the reply's owner reads the outcome after the reply has finished.
class ReplyGuard final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ReplyGuard)

public:
    enum class Refusal { None, Redirect, TooLarge };
    Q_ENUM(Refusal)

    // The bound of every answer: JSON answers and screenshot images alike.
    static constexpr qint64 maximumAnswerBytes = 32 * 1024 * 1024;

    // Lets the guard decide each redirect of a request sent with this request object.
    static void prepare(QNetworkRequest &request);
    // Guards a reply sent with a prepared request, right after it was sent.
    static ReplyGuard *watch(QNetworkReply *reply, qint64 maximumBytes = maximumAnswerBytes);
    // The guard of a watched reply; null for any other.
    static const ReplyGuard *of(const QNetworkReply *reply);
    // A finished reply without error that its guard did not refuse: the last bytes beyond the
    // bound may arrive together with the end, too late for the abort to mark the reply.
    static bool succeeded(const QNetworkReply *reply);

    static bool sameOrigin(const QUrl &first, const QUrl &second);
    // An absolute http or https address with a host.
    static bool isWebAddress(const QUrl &url);
    // A guarded plain GET of a web address (images of the screenshot report); null, with nothing
    // sent, for any other address.
    static QNetworkReply *get(QNetworkAccessManager &manager, const QUrl &url);

    Refusal refusal() const { return m_refusal; }
    // The status of the refused redirect (301, 302, 303, 307, 308).
    int redirectStatus() const { return m_redirectStatus; }
    // One sentence on the refusal for the log and the user; empty without one.
    QString refusalText() const;
    static QString refusalText(Refusal refusal, int redirectStatus, qint64 maximumBytes);

private:
    ReplyGuard(QNetworkReply *reply, qint64 maximumBytes);

    void onRedirected(const QUrl &target);
    void onMetaDataChanged();
    void onDownloadProgress(qint64 received);
    void refuse(Refusal refusal);

    QNetworkReply *m_reply;
    QUrl m_origin;
    qint64 m_maximumBytes;
    Refusal m_refusal = Refusal::None;
    int m_redirectStatus = 0;
};

} // namespace Networking
