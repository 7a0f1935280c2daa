// The program's entry sequence and command line.
#pragma once

#include <filesystem>
#include <memory>
#include <string>

#include "app/startup_trace.h"
#include "device/link/supported_devices.h"
#include "platform/desktop/pointer_settings.h"
#include "platform/diagnostics.h"

namespace velqa::app {

// Runs the program; returns the process exit code (0 on every path of a normal run; 2 for a
// bad command line, 1 when --screenshot cannot save its file). `update_url` is the update
// server's address given to the program (VELQA_UPDATE_URL); empty: the configured one.
// `lock_folder`: where the device link locks are kept (platform::runtime_folder). `devices`: the
// supported devices read at start. `session`: the desktop session, for the diagnostic report.
// `desktop`: the desktop whose pointer settings the System tab changes. `trace`: times the
// start-up phases and prints them once the window has settled (VELQA_TRACE=1).
// `lock_refusal`: why there is no lock folder (empty: there is one, or no reason); the user
// learns that the device locks are off. Without a private data folder
// (platform::user_data_refusal) the program says why and ends (1).
int run(int argc, char** argv, std::string update_url, std::filesystem::path lock_folder,
        std::shared_ptr<const link::DeviceCatalog> devices, platform::SessionFacts session = {},
        platform::desktop::DesktopSession desktop = {}, StartupTrace trace = StartupTrace(false),
        std::string lock_refusal = {});

}  // namespace velqa::app
