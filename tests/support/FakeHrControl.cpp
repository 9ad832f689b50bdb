#include "FakeHrControl.h"

#include "FakeHrBackend.h"
#include "FakeHrListener.h"

#include <QJsonArray>

#include <stdexcept>

using namespace Qt::StringLiterals;

namespace TestSupport {

namespace {

constexpr int MaxRefusalMs = 600000;

FakeHrAnswer ok()
{
    return FakeHrAnswer::json(200, QJsonObject{ { u"ok"_s, true } });
}

FakeHrAnswer badRequest(const QString &message)
{
    return FakeHrAnswer::message(400, message);
}

std::optional<FakeHrRoute> routeOf(const QJsonObject &object)
{
    return fakeHrRouteFromName(object.value("route"_L1).toString(u"any"_s));
}

} // namespace

FakeHrAnswer FakeHrControl::handle(const RecordedRequest &request, FakeHrListener &listener,
                                   FakeHrConnection *caller)
{
    FakeHrBackend &backend = listener.backend();
    const QString command = request.path.mid(QLatin1StringView("/__control/").size());
    const QByteArray &method = request.method;
    const QJsonObject body = request.jsonObject();

    if (command == "requests"_L1 && method == "GET") {
        QJsonArray array;
        for (const RecordedRequest &recorded : backend.requests())
            array.append(recorded.toJson());
        return FakeHrAnswer::json(200, QJsonObject{ { u"requests"_s, array } });
    }
    if (command == "requests"_L1 && method == "DELETE") {
        backend.clearRequests();
        return ok();
    }
    if (command == "reset"_L1 && method == "POST") {
        listener.releaseBarriers(backend.reset());
        return ok();
    }
    if (command == "scenario"_L1 && method == "GET")
        return FakeHrAnswer::json(200, backend.scenario().toJson());
    if (command == "scenario"_L1 && method == "POST") {
        try {
            backend.updateScenario([&](FakeHrScenario &scenario) { scenario.applyJson(body); });
        } catch (const std::invalid_argument &error) {
            return badRequest(QString::fromStdString(error.what()));
        }
        return FakeHrAnswer::json(200, backend.scenario().toJson());
    }
    if (command == "faults"_L1 || command == "barriers"_L1)
        return handleFaults(request, listener);
    if (command.startsWith("tokens"_L1))
        return handleTokens(request, listener);
    if (command == "refuse"_L1 && method == "POST") {
        const int duration = body.value("durationMs"_L1).toInt(-1);
        if (duration < 0 || duration > MaxRefusalMs)
            return badRequest(u"durationMs must be 0 to %1"_s.arg(MaxRefusalMs));
        listener.refuseFor(duration, caller);
        return ok();
    }
    return FakeHrAnswer::message(
            404, u"Unknown control call %1 %2"_s.arg(QString::fromLatin1(method), command));
}

FakeHrAnswer FakeHrControl::handleFaults(const RecordedRequest &request, FakeHrListener &listener)
{
    FakeHrBackend &backend = listener.backend();
    const bool faults = request.path.endsWith("faults"_L1);
    if (request.method == "DELETE") {
        if (faults)
            backend.clearFaults();
        else
            listener.releaseBarriers(backend.clearBarriers());
        return ok();
    }
    if (request.method != "POST" || !request.json.isObject())
        return badRequest(u"POST a JSON object"_s);
    const QJsonObject body = request.jsonObject();
    const std::optional<FakeHrRoute> route = routeOf(body);
    if (!route)
        return badRequest(u"unknown route"_s);
    if (!faults) {
        backend.addBarrier(*route, body.value("count"_L1).toInt(0));
        return ok();
    }
    try {
        backend.addFault(*route, FakeHrFault::fromJson(body));
    } catch (const std::invalid_argument &error) {
        return badRequest(QString::fromStdString(error.what()));
    }
    return ok();
}

FakeHrAnswer FakeHrControl::handleTokens(const RecordedRequest &request, FakeHrListener &listener)
{
    FakeHrBackend &backend = listener.backend();
    const QString command = request.path.section(u'/', -1);
    if (command == "expire"_L1 && request.method == "POST") {
        backend.expireAccessToken();
        return ok();
    }
    if (command == "tokens"_L1 && request.method == "POST")
        return FakeHrAnswer::json(200, backend.issueTokens().toJson());
    if (command == "tokens"_L1 && request.method == "GET") {
        const std::optional<FakeHrTokens> tokens = backend.currentTokens();
        return tokens ? FakeHrAnswer::json(200, tokens->toJson())
                      : FakeHrAnswer::message(404, u"No tokens issued."_s);
    }
    return FakeHrAnswer::message(404, u"Unknown control call"_s);
}

} // namespace TestSupport
