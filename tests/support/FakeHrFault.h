#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QString>

namespace TestSupport {

// A scripted misbehaviour of one route. Faults of a route form a queue: each matching request
// takes the first one, which is spent after `times` requests (-1: never spent). Build them with the
// factories and chain `repeated`/`after`:
//   FakeHrFault::answer(503).repeated(3)          // a burst of three 503s, then normal answers
//   FakeHrFault::errors(422, "code", "Invalid.")  // 422 with {"message", "errors": {"code":
//   [...]}} FakeHrFault::delay(1500)                      // the normal answer, 1.5 s late
//   FakeHrFault::hang()                           // never answers; the connection stays open
struct FakeHrFault
{
    enum class Kind {
        Answer,  // answer `status` with `body` instead of the route's own answer
        Delay,   // the route's own answer, `delayMs` late
        Hang,    // no answer at all; later requests on that connection wait behind it
        Partial, // status line, headers and half the body, then silence
        Close,   // close the connection without answering
    };

    Kind kind = Kind::Answer;
    int status = 500;
    QByteArray body;
    QByteArray contentType = "application/json";
    int delayMs = 0; // also delays Answer, Partial and Close
    int times = 1;
    QByteArray location;        // the Location header of an Answer, when not empty
    bool announceLength = true; // false: no Content-Length, the connection closes after the body

    // Any status with any body (JSON by default; pass a content type for HTML and the like).
    static FakeHrFault answer(int status, const QByteArray &body = {},
                              const QByteArray &contentType = "application/json");
    // `status` with {"message": message}.
    static FakeHrFault message(int status, const QString &message);
    // `status` with {"message": message, "errors": {field: [message]}}.
    static FakeHrFault errors(int status, const QString &field, const QString &message);
    // 200 with a body that is not valid JSON.
    static FakeHrFault malformedJson(int status = 200);
    // `status` with a JSON object of exactly `size` bytes whose "message" is a short text.
    static FakeHrFault oversizedBody(int status = 500, int size = 8192);
    // `status` (301, 302, 303, 307, 308) with "Location: target" and no body.
    static FakeHrFault redirect(int status, const QByteArray &target);
    // 200 with a JSON object of `size` bytes; with announced false the length is not sent, so a
    // client learns the size only as the bytes arrive.
    static FakeHrFault hugeBody(int size, bool announced = true);
    static FakeHrFault delay(int milliseconds);
    static FakeHrFault hang();
    static FakeHrFault partial();
    // Qt's network access manager sends a request once more when a reused keep-alive connection
    // closes before any answer, so a single close may go unseen: repeat it to be sure.
    static FakeHrFault closeWithoutAnswer();

    FakeHrFault &repeated(int count);
    FakeHrFault &after(int milliseconds);

    // The control interface's form: {"kind": "answer"|"delay"|"hang"|"partial"|"close",
    // "status": 503, "body": "<text>" or "json": {...}, "contentType": "...", "delayMs": 0,
    // "times": 1, "errors": {"field": "message"}, "size": 8192 (with "kind": "oversized"),
    // "kind": "malformed", "location": "<url>" (with "kind": "redirect")}. Throws
    // std::invalid_argument on an unknown kind.
    static FakeHrFault fromJson(const QJsonObject &object);
};

} // namespace TestSupport
