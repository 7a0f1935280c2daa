// The mouse profile's pointer settings on the desktop: applied when the user changes one on the
// System tab and when a profile is applied; the desktop's own values, kept before the first
// change, come back with "Restore default".
#pragma once

#include <QObject>
#include <QPointer>
#include <memory>
#include <vector>

#include "platform/desktop/pointer_settings.h"
#include "platform/ui/settings_store.h"

namespace velqa::model {
class CZentovaMouseDevice;
}
namespace velqa::platform::ui {
class Window;
}

namespace velqa::app {

class DesktopPointer : public QObject {
    Q_OBJECT

  public:
    // `backend` (null: no desktop we can change) is read at once; `store` keeps the desktop's
    // values from before our first change, across restarts. A change the desktop refuses is
    // told to the user over `owner` (may be null).
    DesktopPointer(std::shared_ptr<platform::desktop::PointerSettings> backend,
                   platform::SettingsStore store, platform::ui::Window* owner = nullptr);

    // The page's System tab: settings the desktop lacks are disabled and say why; its changes
    // and its applied profiles reach the desktop.
    void bind(model::CZentovaMouseDevice& page);
    // The page's profile values of every setting reach the desktop.
    void apply_profile(model::CZentovaMouseDevice& page);
    // The desktop's values from before our first change: shown on the page, kept in its profile
    // and given back to the desktop.
    void restore(model::CZentovaMouseDevice& page);
    // The tooltips in the current language, on every bound page.
    void retranslate();

    // The desktop's values read at start, and those kept before our first change.
    const platform::desktop::PointerValues& at_start() const { return at_start_; }
    platform::desktop::PointerValues originals() const;

  private:
    void apply(const platform::desktop::PointerValues& values);
    void show_support(model::CZentovaMouseDevice& page);
    bool supports(platform::desktop::PointerSetting which) const;

    QPointer<platform::ui::Window> owner_;
    std::shared_ptr<platform::desktop::PointerSettings> backend_;
    platform::SettingsStore store_;
    platform::desktop::PointerValues at_start_;
    std::vector<QPointer<model::CZentovaMouseDevice>> pages_;
};

}  // namespace velqa::app
