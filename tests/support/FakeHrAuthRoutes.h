#pragma once

#include "FakeHrState.h"
#include "RecordedRequest.h"

namespace TestSupport {

// The sign-in family of the service: sign-in and its variants, two-factor verification, e-mail
// codes, password recovery, token refresh with rotation and logout. Each operation answers one
// request from the state and may change it; the caller holds the state's lock. Authenticated
// routes have had their bearer token checked before they get here.
class FakeHrAuthRoutes final
{
public:
    static FakeHrAnswer signIn(FakeHrState &state, const RecordedRequest &request);
    static FakeHrAnswer verifyTwoFactor(FakeHrState &state, const RecordedRequest &request);
    static FakeHrAnswer generateOtp(FakeHrState &state, const RecordedRequest &request);
    static FakeHrAnswer requestPasswordRecovery(FakeHrState &state, const RecordedRequest &request);
    static FakeHrAnswer checkPasswordResetCode(FakeHrState &state, const RecordedRequest &request);
    static FakeHrAnswer resetPassword(FakeHrState &state, const RecordedRequest &request);
    static FakeHrAnswer refresh(FakeHrState &state, const RecordedRequest &request);
    static FakeHrAnswer logout(FakeHrState &state, const RecordedRequest &request);

private:
    // {"data": {"user", "init"?, "data": tokens}} or the loose form, with new tokens.
    static FakeHrAnswer signedIn(FakeHrState &state, bool looseTokens);
    static QJsonObject user(const FakeHrState &state);
};

} // namespace TestSupport
