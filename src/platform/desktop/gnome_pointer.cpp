// GNOME's pointer settings through GIO's GSettings. GIO (with GObject and five more libraries)
// is opened when a GNOME session first asks for them, not linked: other desktops never use it,
// and linking it cost every start a few milliseconds.
#include <gio/gio.h>

#include <cstring>
#include <string>

#include "platform/debug_output.h"
#include "platform/desktop/pointer_settings.h"
#include "platform/loaded_library.h"

namespace velqa::platform::desktop {
namespace {

// Every GIO, GObject and GLib function used here, resolved through GIO (which links the other
// two). Member names are the functions' own without their "g_".
struct Gio {
    decltype(&::g_settings_schema_source_get_default) settings_schema_source_get_default = nullptr;
    decltype(&::g_settings_schema_source_lookup) settings_schema_source_lookup = nullptr;
    decltype(&::g_settings_schema_has_key) settings_schema_has_key = nullptr;
    decltype(&::g_settings_schema_unref) settings_schema_unref = nullptr;
    decltype(&::g_settings_new_full) settings_new_full = nullptr;
    decltype(&::g_settings_sync) settings_sync = nullptr;
    decltype(&::g_settings_is_writable) settings_is_writable = nullptr;
    decltype(&::g_settings_get_double) settings_get_double = nullptr;
    decltype(&::g_settings_get_int) settings_get_int = nullptr;
    decltype(&::g_settings_get_string) settings_get_string = nullptr;
    decltype(&::g_settings_set_double) settings_set_double = nullptr;
    decltype(&::g_settings_set_int) settings_set_int = nullptr;
    decltype(&::g_settings_set_string) settings_set_string = nullptr;
    decltype(&::g_object_unref) object_unref = nullptr;
    decltype(&::g_free) free = nullptr;
};

// GIO's functions, or null (with the reason in `why`) when it cannot be loaded. Loaded once,
// by the first caller; the answer never changes afterwards.
const Gio* gio(std::string* why) {
    struct Loaded {
        Gio api;
        std::string error;
        bool ok = false;
    };
    static const Loaded loaded = [] {
        Loaded l;
        LoadedLibrary lib("libgio-2.0.so.0");
        Gio& g = l.api;
        l.ok = lib.resolve("g_settings_schema_source_get_default",
                           g.settings_schema_source_get_default) &&
               lib.resolve("g_settings_schema_source_lookup", g.settings_schema_source_lookup) &&
               lib.resolve("g_settings_schema_has_key", g.settings_schema_has_key) &&
               lib.resolve("g_settings_schema_unref", g.settings_schema_unref) &&
               lib.resolve("g_settings_new_full", g.settings_new_full) &&
               lib.resolve("g_settings_sync", g.settings_sync) &&
               lib.resolve("g_settings_is_writable", g.settings_is_writable) &&
               lib.resolve("g_settings_get_double", g.settings_get_double) &&
               lib.resolve("g_settings_get_int", g.settings_get_int) &&
               lib.resolve("g_settings_get_string", g.settings_get_string) &&
               lib.resolve("g_settings_set_double", g.settings_set_double) &&
               lib.resolve("g_settings_set_int", g.settings_set_int) &&
               lib.resolve("g_settings_set_string", g.settings_set_string) &&
               lib.resolve("g_object_unref", g.object_unref) && lib.resolve("g_free", g.free);
        l.error = lib.error();
        return l;
    }();
    if (why != nullptr)
        *why = loaded.error;
    return loaded.ok ? &loaded.api : nullptr;
}

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
        std::string why;
        g_ = gio(&why);
        if (g_ == nullptr) {
            debug_printf("pointer settings: %s", why.c_str());
            return;
        }
        // Looked up first: g_settings_new() aborts the program on a schema that is not there.
        GSettingsSchemaSource* source = g_->settings_schema_source_get_default();
        GSettingsSchema* schema =
            source != nullptr ? g_->settings_schema_source_lookup(source, kSchema, TRUE) : nullptr;
        if (schema == nullptr) {
            debug_printf("pointer settings: GSettings schema %s is not installed", kSchema);
            return;
        }
        speed_ = g_->settings_schema_has_key(schema, kSpeed);
        accel_ = g_->settings_schema_has_key(schema, kAccelProfile);
        double_click_ = g_->settings_schema_has_key(schema, kDoubleClick);
        settings_ = g_->settings_new_full(schema, nullptr, nullptr);
        g_->settings_schema_unref(schema);
    }
    ~GnomePointerSettings() override {
        if (settings_ == nullptr)
            return;
        // dconf sends writes in the background: the last change must not be lost at exit.
        g_->settings_sync();
        g_->object_unref(settings_);
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
        if (key == nullptr || !supports(which) || g_->settings_is_writable(settings_, key))
            return {};
        return std::string("an administrator has locked its key ") + key + ".";
    }

    PointerValues read() override {
        PointerValues values;
        if (supports(PointerSetting::Speed))
            values.speed = g_->settings_get_double(settings_, kSpeed);
        if (supports(PointerSetting::DoubleClick))
            values.double_click_ms = g_->settings_get_int(settings_, kDoubleClick);
        if (supports(PointerSetting::Precision)) {
            gchar* profile = g_->settings_get_string(settings_, kAccelProfile);
            values.precision = std::strcmp(profile, kAccelOff) != 0;
            g_->free(profile);
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
            note(g_->settings_set_double(settings_, kSpeed, *values.speed), kSpeed);
        if (values.double_click_ms && supports(PointerSetting::DoubleClick))
            note(g_->settings_set_int(settings_, kDoubleClick, *values.double_click_ms),
                 kDoubleClick);
        if (values.precision && supports(PointerSetting::Precision))
            note(g_->settings_set_string(settings_, kAccelProfile,
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

    const Gio* g_ = nullptr;
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
