// velqactl shoot ...: the mouse's four shooting patterns, the same files and the same rules as
// the window's shooting-pattern editor; download writes all four to the mouse.
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "command_registry.h"
#include "device/link/report.h"
#include "key_download.h"
#include "macro/shoot_data.h"
#include "mouse_link.h"
#include "platform/number_text.h"
#include "profile/profile_files.h"
#include "progress.h"

namespace velqa::ctl {

namespace {

using macro::Bullet;
using macro::ShootPatterns;
using macro::ShootResult;
using macro::ShootStatus;

constexpr const char* kUsageText =
    "  shoot show GUN             gun GUN's (0-3) 30 bullets (JSON)\n"
    "  shoot set GUN BULLET X Y DELAY\n"
    "                             bullet BULLET (0-29): X steps (> 0 right, < 0 left), Y steps\n"
    "                             (> 0 down, < 0 up), -255 to 255, DELAY 0-65535 ms after it\n"
    "  shoot reset GUN            gun GUN's shipped pattern\n"
    "  shoot import GUN FILE      a .Shoot file as gun GUN's pattern (checked first)\n"
    "  shoot export GUN FILE      gun GUN's .Shoot file, copied to FILE\n"
    "  shoot download [--link cable|receiver]\n"
    "                             write the four patterns to the mouse (set, reset and import\n"
    "                             change only the files until then)";

int usage(const std::string& message) {
    std::fprintf(stderr, "velqactl shoot: %s\nusage:\n%s\n", message.c_str(), kUsageText);
    return UsageError;
}

int failed(const char* what, const ShootResult& r) {
    std::fprintf(stderr, "velqactl shoot %s: %s%s%s\n", what, macro::shoot_status_text(r.status),
                 r.detail.empty() ? "" : ": ", r.detail.c_str());
    // Refusing what the user asked for is a usage error; a failing disk is not.
    return r.status == ShootStatus::Refused || r.status == ShootStatus::NoSuchGun ||
                   r.status == ShootStatus::NoSuchBullet
               ? UsageError
               : Failed;
}

std::optional<int> number(const std::string& name, const std::string& text, int min, int max) {
    if (const auto n = platform::parse_number(text, min, max))
        return static_cast<int>(*n);
    std::fprintf(stderr, "velqactl shoot: %s\n",
                 platform::number_error(name, text, min, max).c_str());
    return std::nullopt;
}

int show_gun(const ShootPatterns& patterns, int gun) {
    const auto bullets = patterns.load_bullets(gun);
    if (!bullets) {
        return failed("show", {ShootStatus::ReadFailed,
                               patterns.pattern_path(gun).string() + ": not a JSON file"});
    }
    Json::Value out(Json::objectValue);
    out["gun"] = gun;
    out["file"] = patterns.pattern_path(gun).string();
    Json::Value& list = out["bullets"] = Json::Value(Json::arrayValue);
    for (std::size_t b = 0; b < bullets->size(); ++b) {
        const Bullet& bullet = (*bullets)[b];
        Json::Value j(Json::objectValue);
        j["bullet"] = static_cast<int>(b);
        j["x"] = macro::signed_x(bullet);
        j["y"] = macro::signed_y(bullet);
        j["delay"] = bullet.delay;
        list.append(j);
    }
    std::fputs(profile::styled_json(out).c_str(), stdout);
    return Success;
}

int download(const Context& context, const ShootPatterns& patterns,
             const std::optional<std::string>& link) {
    link::CommandChannel channel(context.hid);
    if (const int rc = open_mouse(context, channel, link); rc != Success)
        return rc;
    int res = link::result::WriteFailed;
    {
        const Progress progress("writing the shooting patterns to the mouse");
        res = macro::download_shooting_patterns(channel, patterns);
    }
    if (res != link::result::Success)
        return fail(channel, "writing the shooting patterns", res);
    std::printf("wrote the four shooting patterns (%zu bytes)\n", patterns.image().size());
    return Success;
}

int run_shoot(const Context& context, const std::vector<std::string>& args) {
    const LinkOptions o = parse_link_options(args);
    if (!o.ok)
        return usage("--link takes cable or receiver");
    if (o.rest.empty())
        return usage("which shoot command?");
    const std::string& what = o.rest[0];
    const std::vector<std::string> w(o.rest.begin() + 1, o.rest.end());

    ShootPatterns patterns(mouse_macro_folder(), profile::default_data_folder());
    // As the window's editor starts: a gun whose file does not read gets its shipped pattern.
    if (const ShootResult r = patterns.restore_unreadable(); !r.ok()) {
        std::fprintf(stderr, "velqactl shoot: warning: %s: %s\n",
                     macro::shoot_status_text(r.status), r.detail.c_str());
    }
    if (what == "download")
        return w.empty() ? download(context, patterns, o.link)
                         : usage("download takes no arguments");

    struct Shape {
        const char* word;
        std::size_t count;
        const char* usage;
    };
    static const Shape shapes[] = {{"show", 1, "show GUN"},
                                   {"set", 5, "set GUN BULLET X Y DELAY"},
                                   {"reset", 1, "reset GUN"},
                                   {"import", 2, "import GUN FILE"},
                                   {"export", 2, "export GUN FILE"}};
    const Shape* shape = nullptr;
    for (const Shape& s : shapes) {
        if (what == s.word)
            shape = &s;
    }
    if (!shape)
        return usage("no shoot command \"" + what + "\"");
    if (w.size() != shape->count)
        return usage(shape->usage);
    const auto gun = number("GUN", w[0], 0, macro::GunCount - 1);
    if (!gun)
        return UsageError;

    if (what == "show")
        return show_gun(patterns, *gun);
    if (what == "reset") {
        if (const ShootResult r = patterns.reset(*gun); !r.ok())
            return failed("reset", r);
        std::printf("gun %d: the shipped pattern\n", *gun);
        return Success;
    }
    if (what == "import") {
        if (const ShootResult r = patterns.import_file(*gun, w[1]); !r.ok())
            return failed("import", r);
        std::printf("gun %d: imported %s\n", *gun, w[1].c_str());
        return Success;
    }
    if (what == "export") {
        const ShootResult r = patterns.export_file(*gun, w[1]);
        if (!r.ok())
            return failed("export", r);
        std::printf("gun %d: exported to %s\n", *gun, shown(w[1]).c_str());
        return Success;
    }
    const auto bullet = number("BULLET", w[1], 0, macro::BulletCount - 1);
    const auto x =
        bullet ? number("X", w[2], -macro::MaxBulletSteps, macro::MaxBulletSteps) : std::nullopt;
    const auto y =
        x ? number("Y", w[3], -macro::MaxBulletSteps, macro::MaxBulletSteps) : std::nullopt;
    const auto delay = y ? number("DELAY", w[4], 0, macro::MaxDelay) : std::nullopt;
    if (!delay)
        return UsageError;
    const auto value = macro::bullet_from_steps(*x, *y, static_cast<std::uint16_t>(*delay));
    if (const ShootResult r = patterns.save_bullet(*gun, *bullet, *value); !r.ok())
        return failed("set", r);
    std::printf("gun %d bullet %d: x %d y %d delay %d\n", *gun, *bullet, *x, *y, *delay);
    return Success;
}

const RegisterCommand reg_shoot("shoot", kUsageText, run_shoot);

}  // namespace

}  // namespace velqa::ctl
