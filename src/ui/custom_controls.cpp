#include "ui/custom_controls.h"

#include "platform/ui/color_palette.h"
#include "platform/ui/control_factory.h"
#include "ui/about_wnd.h"
#include "ui/button_map.h"
#include "ui/device_key_button.h"
#include "ui/device_option.h"
#include "ui/mp_device_power.h"

namespace velqa::ui {

PlaceholderControl::PlaceholderControl(QString class_name, QWidget* parent)
    : QFrame(parent), class_name_(std::move(class_name)) {
    setProperty("placeholderClass", class_name_);
}

void register_custom_controls() {
    auto& factory = platform::ui::ControlFactory::instance();
    // The framework's own colour palette, named "ColorPalette" in layouts.
    if (!factory.is_registered(QStringLiteral("CColorPaletteUI"))) {
        factory.regist_control(QStringLiteral("CColorPaletteUI"),
                               [] { return new platform::ui::ColorPalette; });
    }
    // The about pane, shared by the About tab and the about window.
    register_about_panel();
    // The Buttons tab's map of the mouse, named by its class in layouts.
    if (!factory.is_registered(QStringLiteral("ButtonMap")))
        register_button_map();
    for (const char* name : kCustomControlClasses) {
        const QString class_name = QString::fromLatin1(name);
        if (factory.is_registered(class_name))
            continue;
        // Classes built so far take their place in the order instead of a placeholder.
        if (class_name == QLatin1String("CMpDevicePowerUI")) {
            register_power_widget();
            continue;
        }
        if (class_name == QLatin1String("CDeviceKeyButtonUI")) {
            register_device_key_button();
            continue;
        }
        if (class_name == QLatin1String("CDeviceOptionUI")) {
            register_device_option();
            continue;
        }
        factory.regist_control(class_name,
                               [class_name] { return new PlaceholderControl(class_name); });
    }
}

}  // namespace velqa::ui
