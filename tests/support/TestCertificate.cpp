#include "TestCertificate.h"

#include <QFile>
#include <QNetworkAccessManager>

using namespace Qt::StringLiterals;

namespace TestSupport {

namespace {

QByteArray readResource(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        qFatal("missing test resource %s", qPrintable(path));
    return file.readAll();
}

} // namespace

QByteArray TestCertificate::certificatePem()
{
    return readResource(u":/clockwarden-fake-hr/fake-hr-server.crt"_s);
}

QSslCertificate TestCertificate::certificate()
{
    return QSslCertificate(certificatePem(), QSsl::Pem);
}

QSslKey TestCertificate::privateKey()
{
    return QSslKey(readResource(u":/clockwarden-fake-hr/fake-hr-server.key"_s), QSsl::Rsa,
                   QSsl::Pem, QSsl::PrivateKey);
}

QSslConfiguration TestCertificate::serverConfiguration()
{
    QSslConfiguration configuration = QSslConfiguration::defaultConfiguration();
    configuration.setLocalCertificate(certificate());
    configuration.setPrivateKey(privateKey());
    configuration.setPeerVerifyMode(QSslSocket::VerifyNone);
    configuration.setProtocol(QSsl::TlsV1_2OrLater);
    return configuration;
}

void TestCertificate::trustInProcess(QNetworkAccessManager *manager)
{
    const QSslCertificate ours = certificate();
    QSslConfiguration configuration = QSslConfiguration::defaultConfiguration();
    if (!configuration.caCertificates().contains(ours)) {
        configuration.addCaCertificate(ours);
        QSslConfiguration::setDefaultConfiguration(configuration);
    }
    if (manager)
        manager->clearConnectionCache();
}

} // namespace TestSupport
