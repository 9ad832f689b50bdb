#include "FakeHrState.h"

#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QTimeZone>

using namespace Qt::StringLiterals;

namespace TestSupport {

namespace {

// The service writes its times as local times of UTC+07:00 without zone.
QString serviceTime(qint64 secondsFromNow)
{
    return QDateTime::currentDateTimeUtc()
            .addSecs(secondsFromNow)
            .toOffsetFromUtc(7 * 3600)
            .toString(u"yyyy-MM-dd HH:mm:ss"_s);
}

} // namespace

QJsonObject FakeHrTokens::toJson() const
{
    return QJsonObject{ { u"access_token"_s, accessToken },
                        { u"refresh_token"_s, refreshToken },
                        { u"token_type"_s, tokenType },
                        { u"expires_at"_s, expiresAt },
                        { u"refresh_expires_at"_s, refreshExpiresAt } };
}

FakeHrAnswer FakeHrAnswer::json(int status, const QJsonObject &object)
{
    return FakeHrAnswer{ status, "application/json",
                         QJsonDocument(object).toJson(QJsonDocument::Compact) };
}

FakeHrAnswer FakeHrAnswer::message(int status, const QString &message)
{
    return json(status, QJsonObject{ { u"message"_s, message } });
}

FakeHrAnswer FakeHrAnswer::validation(const QString &field, const QString &message)
{
    return json(422,
                QJsonObject{ { u"message"_s, message },
                             { u"errors"_s, QJsonObject{ { field, QJsonArray{ message } } } } });
}

FakeHrTokens FakeHrState::issueTokens()
{
    ++tokenSerial;
    FakeHrTokens issued;
    issued.accessToken = u"access-token-%1"_s.arg(tokenSerial);
    issued.refreshToken = u"refresh-token-%1"_s.arg(tokenSerial);
    issued.expiresAt = serviceTime(scenario.accessTokenLifetimeSeconds);
    issued.refreshExpiresAt = serviceTime(scenario.refreshTokenLifetimeSeconds);
    tokens = issued;
    accessTokenExpired = false;
    return issued;
}

int FakeHrState::todayTotalSeconds() const
{
    int total = scenario.todayTotalSeconds;
    for (int seconds : sessionTotals)
        total += seconds;
    return total;
}

QString FakeHrState::todayDate() const
{
    if (!scenario.todayDate.isEmpty())
        return scenario.todayDate;
    return QDateTime::currentDateTimeUtc().toTimeZone(companyZone()).date().toString(Qt::ISODate);
}

QTimeZone FakeHrState::companyZone() const
{
    const QTimeZone zone(scenario.configuration.value("app_timezone"_L1).toString().toUtf8());
    return zone.isValid() ? zone : QTimeZone::utc();
}

QString FakeHrState::missingKey(const QJsonObject &object, const QList<const char *> &keys)
{
    for (const char *key : keys) {
        const QJsonValue value = object.value(QLatin1StringView(key));
        if (value.isUndefined() || value.isNull())
            return QString::fromLatin1(key);
    }
    return {};
}

} // namespace TestSupport
