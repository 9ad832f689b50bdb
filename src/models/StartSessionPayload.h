#pragma once

#include <QByteArray>

namespace Models {

struct Session;

// The body that tells the service a session began. Times are written in the company zone in force
// when the body is built.
class StartSessionPayload final
{
public:
    // Compact UTF-8 JSON; empty when the session has no interval, since then it has no start.
    static QByteArray build(const Session &session);
};

} // namespace Models
