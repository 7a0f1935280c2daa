// The mouse profile's pointer settings on the desktop. A profile sets only the settings its user
// set on the System tab; applying it (by hand or on a focus switch) changes exactly those and
// gives every other setting we changed back to the user's own value. "Restore default" gives
// back every value we changed, exactly as it was read. What we changed, and the user's values
// under it, are kept in the settings store across restarts.
#pragma once

#include <QObject>
#include <QPointer>
#include <memory>
#include <span>
#include <vector>

#include "platform/desktop/pointer_ledger.h"
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
    // `backend` (null: no desktop we can change); `store` keeps what we changed across
    // restarts. A change the desktop refuses is told to the user over `owner` (may be null).
    DesktopPointer(std::shared_ptr<platform::desktop::PointerSettings> backend,
                   platform::SettingsStore store, platform::ui::Window* owner = nullptr);

    // The page's System tab: settings the desktop lacks or locks are disabled and say why, rows
    // the profile leaves to the desktop show the desktop's values; its changes and its applied
    // profiles reach the desktop.
    void bind(model::CZentovaMouseDevice& page);
    // The page's profile reaches the desktop: the settings it sets, and the user's own values of
    // those it does not.
    void apply_profile(model::CZentovaMouseDevice& page);
    // Every setting we changed back to the user's own value; the page shows them.
    void restore(model::CZentovaMouseDevice& page);
    // The tooltips and names in the current language, on every bound page.
    void retranslate();

    // What we changed and the user's values under it.
    const platform::desktop::PointerLedger& ledger() const { return ledger_; }

  private:
    void apply(const platform::desktop::PointerValues& target,
               std::span<const platform::desktop::PointerSetting> which);
    void write(const platform::desktop::PointerValues& values);
    void keep_ledger();
    // Rows: enabled or why not, their boxes' names and tips, and the desktop's values in the
    // rows the profile leaves to it.
    void show_rows(model::CZentovaMouseDevice& page);
    bool changeable(platform::desktop::PointerSetting which) const;

    QPointer<platform::ui::Window> owner_;
    std::shared_ptr<platform::desktop::PointerSettings> backend_;
    platform::SettingsStore store_;
    platform::desktop::PointerLedger ledger_;
    std::vector<QPointer<model::CZentovaMouseDevice>> pages_;
};

}  // namespace velqa::app
