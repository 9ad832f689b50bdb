#include "FakeHrFault.h"

#include <QJsonArray>
#include <QJsonDocument>

#include <stdexcept>

using namespace Qt::StringLiterals;

namespace TestSupport {

FakeHrFault FakeHrFault::answer(int status, const QByteArray &body, const QByteArray &contentType)
{
    FakeHrFault fault;
    fault.status = status;
    fault.body = body;
    fault.contentType = contentType;
    return fault;
}

FakeHrFault FakeHrFault::message(int status, const QString &message)
{
    return FakeHrFault::answer(
            status,
            QJsonDocument(QJsonObject{ { u"message"_s, message } }).toJson(QJsonDocument::Compact));
}

FakeHrFault FakeHrFault::errors(int status, const QString &field, const QString &message)
{
    const QJsonObject body{ { u"message"_s, message },
                            { u"errors"_s, QJsonObject{ { field, QJsonArray{ message } } } } };
    return FakeHrFault::answer(status, QJsonDocument(body).toJson(QJsonDocument::Compact));
}

FakeHrFault FakeHrFault::malformedJson(int status)
{
    return FakeHrFault::answer(status, R"({"data": {"access_token": "unterminated)");
}

FakeHrFault FakeHrFault::oversizedBody(int status, int size)
{
    const QByteArray head = R"({"message":"Too big to read","padding":")";
    const QByteArray tail = R"("})";
    const qsizetype padding = qMax<qsizetype>(0, size - head.size() - tail.size());
    return FakeHrFault::answer(status, head + QByteArray(padding, 'x') + tail);
}

FakeHrFault FakeHrFault::redirect(int status, const QByteArray &target)
{
    FakeHrFault fault = FakeHrFault::answer(status, {}, {});
    fault.location = target;
    return fault;
}

FakeHrFault FakeHrFault::hugeBody(int size, bool announced)
{
    FakeHrFault fault = FakeHrFault::oversizedBody(200, size);
    fault.announceLength = announced;
    return fault;
}

FakeHrFault FakeHrFault::delay(int milliseconds)
{
    FakeHrFault fault;
    fault.kind = Kind::Delay;
    fault.delayMs = milliseconds;
    return fault;
}

FakeHrFault FakeHrFault::hang()
{
    FakeHrFault fault;
    fault.kind = Kind::Hang;
    return fault;
}

FakeHrFault FakeHrFault::partial()
{
    FakeHrFault fault;
    fault.kind = Kind::Partial;
    return fault;
}

FakeHrFault FakeHrFault::closeWithoutAnswer()
{
    FakeHrFault fault;
    fault.kind = Kind::Close;
    return fault;
}

FakeHrFault &FakeHrFault::repeated(int count)
{
    times = count;
    return *this;
}

FakeHrFault &FakeHrFault::after(int milliseconds)
{
    delayMs = milliseconds;
    return *this;
}

FakeHrFault FakeHrFault::fromJson(const QJsonObject &object)
{
    const QString kind = object.value(u"kind"_s).toString(u"answer"_s);
    const int status = object.value(u"status"_s).toInt(500);
    FakeHrFault fault;
    if (kind == "answer"_L1) {
        QByteArray body = object.value(u"body"_s).toString().toUtf8();
        if (object.value(u"json"_s).isObject())
            body = QJsonDocument(object.value(u"json"_s).toObject()).toJson(QJsonDocument::Compact);
        const QJsonObject errors = object.value(u"errors"_s).toObject();
        fault = errors.isEmpty() ? FakeHrFault::answer(
                        status, body,
                        object.value(u"contentType"_s).toString(u"application/json"_s).toUtf8())
                                 : FakeHrFault::errors(status, errors.begin().key(),
                                                       errors.begin()->toString());
    } else if (kind == "malformed"_L1) {
        fault = FakeHrFault::malformedJson(object.value(u"status"_s).toInt(200));
    } else if (kind == "oversized"_L1) {
        fault = FakeHrFault::oversizedBody(status, object.value(u"size"_s).toInt(8192));
    } else if (kind == "redirect"_L1) {
        fault = FakeHrFault::redirect(object.value(u"status"_s).toInt(307),
                                      object.value(u"location"_s).toString().toUtf8());
    } else if (kind == "delay"_L1) {
        fault = FakeHrFault::delay(0);
    } else if (kind == "hang"_L1) {
        fault = FakeHrFault::hang();
    } else if (kind == "partial"_L1) {
        fault = FakeHrFault::partial();
    } else if (kind == "close"_L1) {
        fault = FakeHrFault::closeWithoutAnswer();
    } else {
        throw std::invalid_argument("unknown fault kind: " + kind.toStdString());
    }
    fault.delayMs = object.value(u"delayMs"_s).toInt(0);
    fault.times = object.value(u"times"_s).toInt(1);
    return fault;
}

} // namespace TestSupport
