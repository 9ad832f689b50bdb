#include "TestEnvironment.h"

#include "networking/ApiEndpoint.h"
#include "storage/Preferences.h"

#include <QTest>

#include <optional>

namespace ApiEndpoint = Networking::ApiEndpoint;
using namespace Qt::StringLiterals;

using OptionalText = std::optional<QString>;
using OptionalBytes = std::optional<QByteArray>;
Q_DECLARE_METATYPE(OptionalText)
Q_DECLARE_METATYPE(OptionalBytes)

namespace {

const QString endpointKey = u"com.tembrix.clockwarden.apiBaseURL"_s;
const QString defaultBase = QString::fromLatin1(ApiEndpoint::defaultBaseUrl);

void setEnvironment(const OptionalBytes &value)
{
    if (value)
        qputenv("TEMBRIX_API_BASE_URL", *value);
    else
        qunsetenv("TEMBRIX_API_BASE_URL");
}

void setStoredEndpoint(const OptionalText &text)
{
    if (text)
        Storage::Preferences::instance().setValue(endpointKey, *text);
    else
        Storage::Preferences::instance().remove(endpointKey);
}

} // namespace

class TestApiEndpoint : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void cleanup();
    void decidesBaseUrlAndDomainKey_data();
    void decidesBaseUrlAndDomainKey();
    void normalizesCompanyEndpoints_data();
    void normalizesCompanyEndpoints();
    void savedEndpointTakesEffectAtOnce();
    void savingNoEndpointRemovesIt_data();
    void savingNoEndpointRemovesIt();
};

void TestApiEndpoint::cleanup()
{
    setEnvironment(std::nullopt);
    setStoredEndpoint(std::nullopt);
}

void TestApiEndpoint::decidesBaseUrlAndDomainKey_data()
{
    QTest::addColumn<OptionalText>("stored");
    QTest::addColumn<OptionalBytes>("environment");
    QTest::addColumn<QString>("baseUrl");
    QTest::addColumn<QString>("configUrl");
    QTest::addColumn<QString>("domainKey");

    const OptionalText none;
    const OptionalBytes unset;
    const QString defaultConfig = defaultBase + u"hr/clockwarden/employees/config"_s;
    const QString acme = u"https://acme.example.com/api/v1/"_s;
    const QString acmeConfig = acme + u"hr/clockwarden/employees/config"_s;
    const QString env = u"https://env.example.com/api/v1/"_s;
    const QString envConfig = env + u"hr/clockwarden/employees/config"_s;

    QTest::newRow("nothing stored, no environment")
            << none << unset << defaultBase << defaultConfig << u"global"_s;
    QTest::newRow("stored endpoint wins over the environment")
            << OptionalText(acme) << OptionalBytes(env.toUtf8()) << acme << acmeConfig
            << u"acme.example.com"_s;
    QTest::newRow("stored plain http endpoint is used")
            << OptionalText(u"http://127.0.0.1:8080/api/v1/"_s) << unset
            << u"http://127.0.0.1:8080/api/v1/"_s
            << u"http://127.0.0.1:8080/api/v1/hr/clockwarden/employees/config"_s << u"127.0.0.1"_s;
    QTest::newRow("empty stored text counts as none")
            << OptionalText(QString()) << unset << defaultBase << defaultConfig << u"global"_s;
    QTest::newRow("unparsable stored text counts as none")
            << OptionalText(u"https://[acme/api/v1/"_s) << OptionalBytes(env.toUtf8()) << env
            << envConfig << u"global"_s;
    QTest::newRow("environment alone keys data as global")
            << none << OptionalBytes(env.toUtf8()) << env << envConfig << u"global"_s;
    QTest::newRow("double quotes are removed")
            << none << OptionalBytes("\"https://env.example.com/api/v1/\"") << env << envConfig
            << u"global"_s;
    QTest::newRow("a lost second slash is put back")
            << none << OptionalBytes("https:/env.example.com/api/v1/") << env << envConfig
            << u"global"_s;
    QTest::newRow("quoted value with a lost slash is repaired")
            << none << OptionalBytes("\"https:/env.example.com/api/v1/\"") << env << envConfig
            << u"global"_s;
    QTest::newRow("upper-case scheme passes")
            << none << OptionalBytes("HTTPS://env.example.com/api/v1/") << env << envConfig
            << u"global"_s;
    QTest::newRow("no slash is added to the environment value")
            << none << OptionalBytes("https://env.example.com/api/v1")
            << u"https://env.example.com/api/v1"_s
            << u"https://env.example.com/api/hr/clockwarden/employees/config"_s << u"global"_s;
    QTest::newRow("unexpanded build variable is ignored")
            << none << OptionalBytes("$(TEMBRIX_API_BASE_URL)") << defaultBase << defaultConfig
            << u"global"_s;
    QTest::newRow("plain http environment is ignored")
            << none << OptionalBytes("http://env.example.com/api/v1/") << defaultBase
            << defaultConfig << u"global"_s;
    QTest::newRow("quotes alone are ignored")
            << none << OptionalBytes("\"\"") << defaultBase << defaultConfig << u"global"_s;
    QTest::newRow("empty environment is ignored")
            << none << OptionalBytes("") << defaultBase << defaultConfig << u"global"_s;
    QTest::newRow("unparsable environment is ignored")
            << none << OptionalBytes("https://[env/api/v1/") << defaultBase << defaultConfig
            << u"global"_s;
}

void TestApiEndpoint::decidesBaseUrlAndDomainKey()
{
    QFETCH(OptionalText, stored);
    QFETCH(OptionalBytes, environment);
    QFETCH(QString, baseUrl);
    QFETCH(QString, configUrl);
    QFETCH(QString, domainKey);
    setStoredEndpoint(stored);
    setEnvironment(environment);

    const QUrl base = ApiEndpoint::baseUrl();

    QCOMPARE(base.toString(), baseUrl);
    QCOMPARE(base.resolved(QUrl(u"hr/clockwarden/employees/config"_s)).toString(), configUrl);
    QCOMPARE(ApiEndpoint::domainKey(), domainKey);
}

void TestApiEndpoint::normalizesCompanyEndpoints_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<OptionalText>("expected");

    const OptionalText acme(u"https://acme.example.com/api/v1/"_s);
    QTest::newRow("bare host") << u"acme.example.com"_s << acme;
    QTest::newRow("bare host with a trailing slash") << u"acme.example.com/"_s << acme;
    QTest::newRow("bare host with the api path") << u"acme.example.com/api/v1/"_s << acme;
    QTest::newRow("full address is kept") << u"https://acme.example.com/api/v1/"_s << acme;
    QTest::newRow("address ending in api/v1 gets only the slash")
            << u"https://acme.example.com/api/v1"_s << acme;
    QTest::newRow("one extra trailing slash is dropped")
            << u"https://acme.example.com/api/v1//"_s << acme;
    QTest::newRow("address without a path") << u"https://acme.example.com"_s << acme;
    QTest::newRow("surrounding blanks are trimmed") << u"  acme.example.com \n"_s << acme;
    QTest::newRow("upper-case scheme is recognised") << u"HTTPS://acme.example.com"_s << acme;
    QTest::newRow("plain http is kept")
            << u"http://acme.example.com/"_s << OptionalText(u"http://acme.example.com/api/v1/"_s);
    QTest::newRow("port and tenant path are kept")
            << u"https://acme.example.com:8443/tenant"_s
            << OptionalText(u"https://acme.example.com:8443/tenant/api/v1/"_s);
    QTest::newRow("api path is matched case-sensitively")
            << u"https://acme.example.com/API/V1"_s
            << OptionalText(u"https://acme.example.com/API/V1/api/v1/"_s);
    QTest::newRow("blank text") << u"   "_s << OptionalText();
    QTest::newRow("scheme without a host") << u"https://"_s << OptionalText();
    QTest::newRow("host with a blank") << u"acme example.com"_s << OptionalText();
}

void TestApiEndpoint::normalizesCompanyEndpoints()
{
    QFETCH(QString, text);
    QFETCH(OptionalText, expected);

    const std::optional<QUrl> url = ApiEndpoint::normalizeCompanyEndpoint(text);

    QCOMPARE(url ? OptionalText(url->toString()) : OptionalText(), expected);
}

void TestApiEndpoint::savedEndpointTakesEffectAtOnce()
{
    qputenv("TEMBRIX_API_BASE_URL", "https://env.example.com/api/v1/");
    const std::optional<QUrl> endpoint
            = ApiEndpoint::normalizeCompanyEndpoint(u"acme.example.com"_s);
    QVERIFY(endpoint);

    ApiEndpoint::saveOverride(endpoint);

    QCOMPARE(Storage::Preferences::instance().value(endpointKey).toString(),
             u"https://acme.example.com/api/v1/"_s);
    QCOMPARE(ApiEndpoint::loadOverride(), endpoint);
    QCOMPARE(ApiEndpoint::baseUrl(), *endpoint);
    QCOMPARE(ApiEndpoint::overrideHost(), OptionalText(u"acme.example.com"_s));
    QCOMPARE(ApiEndpoint::domainKey(), u"acme.example.com"_s);
}

void TestApiEndpoint::savingNoEndpointRemovesIt_data()
{
    QTest::addColumn<std::optional<QUrl>>("url");

    QTest::newRow("absent URL") << std::optional<QUrl>();
    QTest::newRow("invalid URL") << std::optional<QUrl>(QUrl(u"https://[acme"_s));
}

void TestApiEndpoint::savingNoEndpointRemovesIt()
{
    QFETCH(std::optional<QUrl>, url);
    ApiEndpoint::saveOverride(QUrl(u"https://acme.example.com/api/v1/"_s));
    QCOMPARE(ApiEndpoint::domainKey(), u"acme.example.com"_s);

    ApiEndpoint::saveOverride(url);

    QVERIFY(!Storage::Preferences::instance().contains(endpointKey));
    QCOMPARE(ApiEndpoint::loadOverride(), std::optional<QUrl>());
    QCOMPARE(ApiEndpoint::overrideHost(), OptionalText());
    QCOMPARE(ApiEndpoint::domainKey(), u"global"_s);
    QCOMPARE(ApiEndpoint::baseUrl().toString(), defaultBase);
}

CLOCKWARDEN_GUILESS_TEST_MAIN(TestApiEndpoint)
#include "tst_apiendpoint.moc"
