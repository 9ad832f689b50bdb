#pragma once

#include "models/AuthTokens.h"
#include "models/LoginCompany.h"

#include <QList>
#include <QString>

namespace Models {

// Sign-in outcome: signed in, and the user must choose the company whose endpoint to use.
struct SingleLoginCompanySelection
{
    // In the answer's order.
    QList<LoginCompany> companies;
    QString userName;
    // Already saved in the token store.
    AuthTokens tokens;

    friend bool operator==(const SingleLoginCompanySelection &, const SingleLoginCompanySelection &)
            = default;
};

} // namespace Models
