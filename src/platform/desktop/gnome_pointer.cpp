// GNOME's pointer settings through GIO's GSettings.
#include <gio/gio.h>

#include <cstring>

#include "platform/debug_output.h"
#include "platform/desktop/pointer_settings.h"

namespace velqa::platform::desktop {
namespace {

constexpr char kSchema[] = "org.gnome.desktop.peripherals.mouse";
constexpr char kSpeed[] = "speed";
constexpr char kAccelProfile[] = "accel-profile";
constexpr char kDoubleClick[] = "double-click";
// Acceleration on leaves the profile to the device ("default" is adaptive for mice), so a
// desktop that never changed it reads back as it was.
constexpr char kAccelOn[] = "default";
constexpr char kAccelOff[] = "flat";

class GnomePointerSettings final : public PointerSettings {
  public:
    GnomePointerSettings() {
        // Looked up first: g_settings_new() aborts the program on a schema that is not there.
        GSettingsSchemaSource* source = g_settings_schema_source_get_default();
        GSettingsSchema* schema =
            source != nullptr ? g_settings_schema_source_lookup(source, kSchema, TRUE) : nullptr;
        if (schema == nullptr) {
            debug_printf("pointer settings: GSettings schema %s is not installed", kSchema);
            return;
        }
        speed_ = g_settings_schema_has_key(schema, kSpeed);
        accel_ = g_settings_schema_has_key(schema, kAccelProfile);
        double_click_ = g_settings_schema_has_key(schema, kDoubleClick);
        settings_ = g_settings_new_full(schema, nullptr, nullptr);
        g_settings_schema_unref(schema);
    }
    ~GnomePointerSettings() override {
        if (settings_ == nullptr)
            return;
        // dconf sends writes in the background: the last change must not be lost at exit.
        g_settings_sync();
        g_object_unref(settings_);
    }
    GnomePointerSettings(const GnomePointerSettings&) = delete;
    GnomePointerSettings& operator=(const GnomePointerSettings&) = delete;

    std::string desktop_name() const override { return "GNOME"; }

    bool supports(PointerSetting which) const override {
        if (settings_ == nullptr)
            return false;
        switch (which) {
            case PointerSetting::Speed:
                return speed_;
            case PointerSetting::DoubleClick:
                return double_click_;
            case PointerSetting::Precision:
                return accel_;
            case PointerSetting::WheelLines:
            case PointerSetting::ScrollPage:
                return false;
        }
        return false;
    }

    // dconf's locks (an administrator's mandatory settings) make a key unwritable.
    std::string refusal(PointerSetting which) const override {
        const char* key = key_of(which);
        if (key == nullptr || !supports(which) || g_settings_is_writable(settings_, key))
            return {};
        return std::string("an administrator has locked its key ") + key + ".";
    }

    PointerValues read() override {
        PointerValues values;
        if (supports(PointerSetting::Speed))
            values.speed = g_settings_get_double(settings_, kSpeed);
        if (supports(PointerSetting::DoubleClick))
            values.double_click_ms = g_settings_get_int(settings_, kDoubleClick);
        if (supports(PointerSetting::Precision)) {
            gchar* profile = g_settings_get_string(settings_, kAccelProfile);
            values.precision = std::strcmp(profile, kAccelOff) != 0;
            g_free(profile);
        }
        return values;
    }

    std::string apply(const PointerValues& values) override {
        std::string failed;
        auto note = [&failed](bool ok, const char* key) {
            if (!ok)
                failed += failed.empty() ? std::string("GSettings refused ") + key
                                         : std::string(", ") + key;
        };
        if (values.speed && supports(PointerSetting::Speed))
            note(g_settings_set_double(settings_, kSpeed, *values.speed), kSpeed);
        if (values.double_click_ms && supports(PointerSetting::DoubleClick))
            note(g_settings_set_int(settings_, kDoubleClick, *values.double_click_ms),
                 kDoubleClick);
        if (values.precision && supports(PointerSetting::Precision))
            note(g_settings_set_string(settings_, kAccelProfile,
                                       *values.precision ? kAccelOn : kAccelOff),
                 kAccelProfile);
        return failed;
    }

  private:
    static const char* key_of(PointerSetting which) {
        switch (which) {
            case PointerSetting::Speed:
                return kSpeed;
            case PointerSetting::DoubleClick:
                return kDoubleClick;
            case PointerSetting::Precision:
                return kAccelProfile;
            case PointerSetting::WheelLines:
            case PointerSetting::ScrollPage:
                return nullptr;
        }
        return nullptr;
    }

    GSettings* settings_ = nullptr;
    bool speed_ = false;
    bool accel_ = false;
    bool double_click_ = false;
};

}  // namespace

std::unique_ptr<PointerSettings> make_gnome_pointer_settings() {
    return std::make_unique<GnomePointerSettings>();
}

}  // namespace velqa::platform::desktop
