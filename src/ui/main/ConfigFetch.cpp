#include "ui/main/ConfigFetch.h"

#include "core/AppStateManager.h"
#include "core/SessionManager.h"
#include "services/server/RemoteConfigService.h"
#include "storage/Log.h"
#include "ui/main/RunOnPool.h"

namespace UI {

ConfigFetch &ConfigFetch::instance()
{
    static ConfigFetch fetch;
    return fetch;
}

void ConfigFetch::start()
{
    if (m_running)
        return;
    m_running = true;
    Q_EMIT changed();
    runOnPool(
            this, [] { return Services::RemoteConfigService::instance().fetchConfig({}); },
            [this](const PoolResult<Models::RemoteConfig> &result) {
                m_running = false;
                if (const auto *config = std::get_if<Models::RemoteConfig>(&result)) {
                    m_lastFailure.clear();
                    auto &state = Core::AppStateManager::instance();
                    // A configuration that arrives after a sign-out belongs to nobody.
                    if (state.isAuthenticated()) {
                        state.setRemoteConfig(*config);
                        Core::SessionManager::instance().applyRemoteConfig(*config);
                    }
                } else {
                    m_lastFailure = std::get<QString>(result);
                    Core::Log::write(Core::Log::Category::Config, Core::Log::Level::Warn,
                                     QStringLiteral("Company configuration not loaded: %1")
                                             .arg(m_lastFailure));
                }
                Q_EMIT changed();
            });
}

} // namespace UI
