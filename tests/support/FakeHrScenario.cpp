#include "FakeHrScenario.h"

#include <QJsonArray>

#include <array>
#include <stdexcept>
#include <utility>

using namespace Qt::StringLiterals;

namespace TestSupport {

namespace {

constexpr std::array s_signInNames{
    std::pair{ FakeHrScenario::SignIn::DirectNested, "directNested" },
    std::pair{ FakeHrScenario::SignIn::DirectLoose, "directLoose" },
    std::pair{ FakeHrScenario::SignIn::CompanySelection, "companySelection" },
    std::pair{ FakeHrScenario::SignIn::EmailCode, "emailCode" },
    std::pair{ FakeHrScenario::SignIn::TwoFactor, "twoFactor" },
};

void readText(const QJsonObject &object, const char *key, QString &target)
{
    const QJsonValue value = object.value(QLatin1StringView(key));
    if (value.isString())
        target = value.toString();
}

void readFlag(const QJsonObject &object, const char *key, bool &target)
{
    const QJsonValue value = object.value(QLatin1StringView(key));
    if (value.isBool())
        target = value.toBool();
}

void readInt(const QJsonObject &object, const char *key, int &target)
{
    const QJsonValue value = object.value(QLatin1StringView(key));
    if (value.isDouble())
        target = value.toInt();
}

} // namespace

QJsonObject FakeHrScenario::defaultConfiguration()
{
    const QJsonArray projects{
        QJsonObject{ { u"project_id"_s, u"101"_s }, { u"project_name"_s, u"Website redesign"_s } },
        QJsonObject{ { u"project_id"_s, u"102"_s }, { u"project_name"_s, u"Customer support"_s } },
    };
    return QJsonObject{
        { u"device_id"_s, u"7D3F6A0E-5B1C-4E2A-9C47-1B2D3E4F5A60"_s },
        { u"projects"_s, projects },
        { u"screenshot_interval_minutes"_s, 10 },
        { u"idle_minutes_threshold"_s, 5 },
        { u"discard_idle_time"_s, false },
        { u"upload_batch_size"_s, 50 },
        { u"idle_action"_s, u"pause"_s },
        { u"name"_s, u"Ada Lovelace"_s },
        { u"company_name"_s, u"Acme Works"_s },
        { u"latest_client_version_linux"_s, u"0.1.0"_s },
        { u"client_download_url_linux"_s, u"{origin}/downloads/clockwarden-0.1.0.AppImage"_s },
        { u"app_timezone"_s, u"Asia/Bangkok"_s },
    };
}

QString FakeHrScenario::signInName(SignIn signIn)
{
    for (const auto &[value, name] : s_signInNames) {
        if (value == signIn)
            return QString::fromLatin1(name);
    }
    return {};
}

std::optional<FakeHrScenario::SignIn> FakeHrScenario::signInFromName(const QString &name)
{
    for (const auto &[value, text] : s_signInNames) {
        if (name == QLatin1StringView(text))
            return value;
    }
    return std::nullopt;
}

void FakeHrScenario::applyJson(const QJsonObject &object)
{
    if (object.contains("signIn"_L1)) {
        const auto variant = signInFromName(object.value("signIn"_L1).toString());
        if (!variant)
            throw std::invalid_argument("unknown sign-in variant");
        signIn = *variant;
    }
    readText(object, "email", email);
    readText(object, "password", password);
    readText(object, "userName", userName);
    readText(object, "emailCode", emailCode);
    readText(object, "twoFactorCode", twoFactorCode);
    readText(object, "twoFactorRecoveryCode", twoFactorRecoveryCode);
    readText(object, "passwordResetCode", passwordResetCode);
    readFlag(object, "includeInit", includeInit);
    readText(object, "companyEndpoint", companyEndpoint);
    if (object.value("companies"_L1).isArray()) {
        companies.clear();
        for (const QJsonValue &entry : object.value("companies"_L1).toArray()) {
            companies.append({ entry["name"_L1].toString(), entry["endpoint"_L1].toString() });
        }
    }
    readFlag(object, "twoFactorStillRequired", twoFactorStillRequired);
    readFlag(object, "refreshNested", refreshNested);
    readFlag(object, "refreshOmitsRefreshToken", refreshOmitsRefreshToken);
    readInt(object, "accessTokenLifetimeSeconds", accessTokenLifetimeSeconds);
    readInt(object, "refreshTokenLifetimeSeconds", refreshTokenLifetimeSeconds);
    if (object.value("configuration"_L1).isObject())
        configuration = object.value("configuration"_L1).toObject();
    readInt(object, "todayTotalSeconds", todayTotalSeconds);
    readText(object, "todayDate", todayDate);
    if (object.contains("acceptedSegmentIndices"_L1)) {
        const QJsonValue value = object.value("acceptedSegmentIndices"_L1);
        acceptedSegmentIndices.reset();
        if (value.isArray()) {
            QList<int> indices;
            for (const QJsonValue &index : value.toArray())
                indices.append(index.toInt());
            acceptedSegmentIndices = indices;
        }
    }
    if (object.value("screenshotReport"_L1).isObject())
        screenshotReport = object.value("screenshotReport"_L1).toObject();
    readFlag(object, "reportFromUploads", reportFromUploads);
}

QJsonObject FakeHrScenario::toJson() const
{
    QJsonArray companyArray;
    for (const Company &company : companies)
        companyArray.append(
                QJsonObject{ { u"name"_s, company.name }, { u"endpoint"_s, company.endpoint } });
    QJsonObject object{ { u"signIn"_s, signInName(signIn) },
                        { u"email"_s, email },
                        { u"password"_s, password },
                        { u"userName"_s, userName },
                        { u"emailCode"_s, emailCode },
                        { u"twoFactorCode"_s, twoFactorCode },
                        { u"twoFactorRecoveryCode"_s, twoFactorRecoveryCode },
                        { u"passwordResetCode"_s, passwordResetCode },
                        { u"includeInit"_s, includeInit },
                        { u"companyEndpoint"_s, companyEndpoint },
                        { u"companies"_s, companyArray },
                        { u"twoFactorStillRequired"_s, twoFactorStillRequired },
                        { u"refreshNested"_s, refreshNested },
                        { u"refreshOmitsRefreshToken"_s, refreshOmitsRefreshToken },
                        { u"accessTokenLifetimeSeconds"_s, accessTokenLifetimeSeconds },
                        { u"refreshTokenLifetimeSeconds"_s, refreshTokenLifetimeSeconds },
                        { u"configuration"_s, configuration },
                        { u"todayTotalSeconds"_s, todayTotalSeconds },
                        { u"todayDate"_s, todayDate },
                        { u"screenshotReport"_s, screenshotReport },
                        { u"reportFromUploads"_s, reportFromUploads } };
    if (acceptedSegmentIndices) {
        QJsonArray indices;
        for (int index : *acceptedSegmentIndices)
            indices.append(index);
        object.insert(u"acceptedSegmentIndices"_s, indices);
    } else {
        object.insert(u"acceptedSegmentIndices"_s, QJsonValue::Null);
    }
    return object;
}

} // namespace TestSupport
