#include "update/ui/package_launcher.h"

#include <QDesktopServices>
#include <QString>
#include <QUrl>

#include "platform/debug_output.h"

namespace velqa::update {

bool DesktopPackageLauncher::open_with_desktop(const std::filesystem::path& file) {
    const QUrl url = QUrl::fromLocalFile(QString::fromStdString(file.string()));
    if (QDesktopServices::openUrl(url))
        return true;
    platform::debug_printf("the desktop cannot open %s\n", file.string().c_str());
    return false;
}

}  // namespace velqa::update
