// A package launcher that records what the settings window asks the desktop to open.
#pragma once

#include <filesystem>
#include <vector>

#include "update/ui/package_launcher.h"

namespace velqa::test {

// Used on the window thread only.
class RecordingLauncher : public update::PackageLauncher {
  public:
    bool open_with_desktop(const std::filesystem::path& file) override {
        opened.push_back(file);
        return succeed;
    }

    std::vector<std::filesystem::path> opened;
    bool succeed = true;  // false: the desktop "cannot open" the file
};

}  // namespace velqa::test
