#pragma once

#include <QByteArray>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QSslKey>

class QNetworkAccessManager;

namespace TestSupport {

// The stand-in's self-signed certificate for IP 127.0.0.1 and DNS localhost (valid 2020 to 2129),
// compiled into the support library. Tests trust it in-process: Qt 6.4 ignores SSL_CERT_FILE.
class TestCertificate final
{
public:
    static QSslCertificate certificate();
    static QByteArray certificatePem();
    static QSslKey privateKey();

    // What the stand-in's TLS listener presents.
    static QSslConfiguration serverConfiguration();

    // Adds the certificate to the process's default TLS configuration, which every later
    // connection of every thread starts from, and clears `manager`'s connection cache, since a
    // manager reuses a pooled connection made under the old trust. Other threads' managers must
    // be cleared by their own threads.
    static void trustInProcess(QNetworkAccessManager *manager = nullptr);
};

} // namespace TestSupport
