// Handing a downloaded package to the desktop. We never execute a package ourselves: the
// desktop's default handler for its type (a software centre for a .deb, say) opens it.
#pragma once

#include <filesystem>

namespace velqa::update {

class PackageLauncher {
  public:
    virtual ~PackageLauncher() = default;
    // Opens `file` with the desktop's default handler without waiting for it. False when the
    // desktop could not open it.
    virtual bool open_with_desktop(const std::filesystem::path& file) = 0;
};

// The desktop's own handler (QDesktopServices, which asks the portal or xdg-open).
class DesktopPackageLauncher : public PackageLauncher {
  public:
    bool open_with_desktop(const std::filesystem::path& file) override;
};

}  // namespace velqa::update
