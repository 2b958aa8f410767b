#pragma once

// The application as the runner tests need it: settings and program folder in the
// test's home, the shipped data (profiles, file types, skins) seeded into it by
// the first-run set-up, and the test's event loop as the owner thread.

#include <memory>

#include "core/HXApp.h"
#include "core/HXOwner.h"
#include "shell/HXFirstRun.h"
#include "support/HXSandbox.h"

namespace hx::test
{

inline std::unique_ptr<THXApp> MakeSeededApp(const TTempFolder& home, THXEventLoopOwner& owner)
{
    THXEnvironment environment = THXEnvironment::UnderHome(home.Path().string());
    environment.dataFolder = std::string(HX_SOURCE_DATA_DIR) + "/";
    auto app = std::make_unique<THXApp>(environment);
    FirstRunSetup(*app);
    app->SetOwner(&owner);
    return app;
}

} // namespace hx::test
