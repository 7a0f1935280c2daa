// velqactl key ...: the mouse's button assignments, decoded with the naming table and the
// editor's lists, and changed the way the Buttons tab changes them: the editor's code for the
// chosen function goes into the selected profile, then the used macros and the key table are
// written to the mouse.
#include <cstdio>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "command_registry.h"
#include "key_download.h"
#include "macro/key_assignment.h"
#include "macro/key_names.h"
#include "macro/key_tables.h"
#include "macro/macro_files.h"
#include "macro/shoot_data.h"
#include "mouse_link.h"
#include "mouse_session.h"
#include "platform/number_text.h"
#include "profile/profile_files.h"
#include "progress.h"

namespace velqa::ctl {

namespace {

using macro::KeyEditorState;
using profile::KeyCode;

constexpr const char* kUsageText =
    "  key list                   each button's assignment, default and the mouse's entry (JSON)\n"
    "  key set BUTTON ASSIGNMENT  BUTTON 0..n-1 of the key list takes ASSIGNMENT in the selected\n"
    "                             profile, and the buttons and their macros are written to the\n"
    "                             mouse at once; ASSIGNMENT one of:\n"
    "                             key:[ctrl+|shift+|alt+|win+]KEY (or a modifier alone),\n"
    "                             combo:KEY, mouse:left|middle|right|forward|back,\n"
    "                             media:NAME, system:power|sleep|wakeup, dpi:up|down|cycle,\n"
    "                             fire:INTERVAL:COUNT, wheel|swing:DIR:COUNT:DELAY:SPEED,\n"
    "                             macro:N[:MODE 0-3|:repeat:COUNT], gun:0-3, default\n"
    "  key write                  write the selected profile's buttons and macros to the mouse\n"
    "                             again (after a change in another program, or a new mouse)\n"
    "      every key command takes [--link cable|receiver]";

// Words of the editor lists, in the lists' item order.
constexpr std::array<const char*, 18> MediaWords = {
    "media-player", "play",      "stop",   "prev",     "next",       "volume-down",
    "volume-up",    "mute",      "home",   "refresh",  "web-stop",   "back",
    "forward",      "bookmarks", "search", "computer", "calculator", "mail"};
constexpr std::array<const char*, 3> SystemWords = {"power", "sleep", "wakeup"};
// The firmware gives the three DPI functions their meaning; these are their usual roles.
constexpr std::array<const char*, 3> DpiWords = {"up", "down", "cycle"};
constexpr std::array<const char*, 5> ModifierWords = {"", "ctrl", "shift", "alt", "win"};

int usage(const std::string& message) {
    std::fprintf(stderr, "velqactl key: %s\nusage:\n%s\n", message.c_str(), kUsageText);
    return UsageError;
}

template <std::size_t N>
std::optional<int> word_index(const std::array<const char*, N>& words, const std::string& w) {
    for (std::size_t i = 0; i < N; ++i) {
        if (macro::same_name(w, words[i]))
            return static_cast<int>(i);
    }
    return std::nullopt;
}

// A key of the key table by name (spaces may be typed as '-'), from `first` on.
std::optional<std::size_t> key_row_named(const std::string& w, std::size_t first) {
    return macro::key_row_for_word(macro::input_key_rows(), w, first);
}

std::string mouse_button_word(std::uint8_t bit) {
    for (const auto& row : macro::mouse_event_table()) {
        if (row.button == bit && row.label.rfind("mouse_key_", 0) == 0)
            return std::string(row.label.substr(10));
    }
    return std::to_string(bit);
}

std::optional<int> list_index(std::span<const macro::ListItem> list, const KeyCode& c) {
    for (std::size_t i = 0; i < list.size(); ++i) {
        if (list[i].first == c.first && list[i].second == c.second)
            return static_cast<int>(i);
    }
    return std::nullopt;
}

// ---- Decoding: the words `key set` takes back ----

std::string code_text(const KeyCode& c, int macro_count) {
    namespace fc = macro::function_class;
    const KeyEditorState s = macro::show(c, macro_count).state;
    auto n = [](int v) { return std::to_string(v); };
    switch (c.function_class) {
        case fc::None:
            return "none";
        case fc::MouseButton:
            return "mouse:" + mouse_button_word(c.first);
        case fc::Swing:
        case fc::Wheel: {
            const bool swing = c.function_class == fc::Swing;
            return (swing ? "swing:" : "wheel:") +
                   n(swing ? s.swing_direction : s.wheel_direction) + ":" +
                   n(swing ? s.swing_count : s.wheel_count) + ":" +
                   n(swing ? s.swing_delay : s.wheel_delay) + ":" +
                   n(swing ? s.swing_speed : s.wheel_speed);
        }
        case fc::Dpi:
            if (const auto i = list_index(macro::dpi_list(), c))
                return std::string("dpi:") + DpiWords[static_cast<std::size_t>(*i)];
            break;
        case fc::Fire:
            return "fire:" + n(c.first) + ":" + n(c.second);
        case fc::Keyboard: {
            if (c.first == macro::ComboMarker) {
                const auto row = macro::row_for_usage(c.second);
                if (row)
                    return "combo:" + macro::key_word(macro::key_table()[*row].name);
                break;
            }
            if (s.modifier < 0 && s.key_row < 0)
                break;
            std::string text = "key:";
            if (s.modifier > 0)
                text += ModifierWords[static_cast<std::size_t>(s.modifier)];
            if (s.key_row >= 0) {
                text +=
                    (s.modifier > 0 ? "+" : "") +
                    macro::key_word(macro::key_table()[static_cast<std::size_t>(s.key_row)].name);
            }
            if (text != "key:")
                return text;
            break;
        }
        case fc::Media:
            if (const auto i = list_index(macro::media_list(), c))
                return std::string("media:") + MediaWords[static_cast<std::size_t>(*i)];
            break;
        case fc::System:
            if (const auto i = list_index(macro::system_list(), c))
                return std::string("system:") + SystemWords[static_cast<std::size_t>(*i)];
            break;
        case fc::Macro:
            return "macro:" + n(c.first) + ":" + n(c.second);
        case fc::MacroRepeated:
            return "macro:" + n(c.first) + ":repeat:" + n(c.second);
        case fc::GunKey:
            return "gun:" + n(c.first);
        default:
            break;
    }
    return "";  // a code the editor offers no words for
}

Json::Value code_json(const KeyCode& c, const macro::MacroLibrary& library) {
    char bytes[16];
    std::snprintf(bytes, sizeof bytes, "%02X %02X %02X", c.function_class, c.first, c.second);
    Json::Value o(Json::objectValue);
    o["bytes"] = bytes;
    o["text"] = code_text(c, library.size());
    o["label"] = macro::function_label(c);
    if (const auto group = macro::group_of(c))
        o["group"] = *group;
    else
        o["group"] = Json::Value();
    if (macro::is_macro_code(c)) {
        // A macro the list no longer has goes to the mouse as the key's default.
        if (c.first < library.size())
            o["macro"] = library.entries()[c.first].name;
        else
            o["macro"] = Json::Value();
    }
    return o;
}

// ---- Encoding: the editor's read() over the controls the words choose ----

struct Choice {
    std::optional<KeyEditorState> state;  // nothing: "default"
    std::string error;
};

std::optional<int> number(const std::string& name, const std::string& text, int min, int max,
                          std::string& error) {
    const auto v = platform::parse_number(text, min, max);
    if (!v)
        error = platform::number_error(name, text, min, max);
    return v ? std::optional<int>(static_cast<int>(*v)) : std::nullopt;
}

Choice parse_assignment(const std::string& text, int macro_count) {
    using namespace macro;
    Choice out;
    KeyEditorState s;
    std::string& err = out.error;
    const auto p = split(text, ':');
    const std::string& kind = p[0];
    auto args = [&](std::size_t n) {
        if (p.size() == n + 1)
            return true;
        err = "\"" + kind + "\" takes " + std::to_string(n) + " value(s) after it";
        return false;
    };
    auto pick = [&](std::optional<int> i, int& field, const char* what) {
        if (!i) {
            err = std::string("no ") + what + " \"" + (p.size() > 1 ? p[1] : "") + "\"";
            return false;
        }
        field = *i;
        return true;
    };
    if (kind == "default" && p.size() == 1) {
        return out;
    } else if (kind == "mouse") {
        s.group = GroupMouseButton;
        if (!args(1))
            return out;
        std::optional<int> index;
        for (std::size_t i = 0; i < mouse_button_list().size(); ++i) {
            if (same_name(p[1], mouse_button_word(mouse_button_list()[i].first)))
                index = static_cast<int>(i);
        }
        if (!pick(index, s.mouse_button, "mouse button"))
            return out;
    } else if (kind == "dpi") {
        s.group = GroupDpi;
        if (!args(1))
            return out;
        std::optional<int> i = word_index(DpiWords, p[1]);
        if (!i) {
            if (const auto v = platform::parse_number(p[1], 1, 3))
                i = static_cast<int>(*v) - 1;
        }
        if (!pick(i, s.dpi, "DPI function"))
            return out;
    } else if (kind == "media") {
        s.group = GroupMedia;
        if (!args(1) || !pick(word_index(MediaWords, p[1]), s.media, "media function"))
            return out;
    } else if (kind == "system") {
        s.group = GroupSystem;
        if (!args(1) || !pick(word_index(SystemWords, p[1]), s.system, "system function"))
            return out;
    } else if (kind == "combo") {
        s.group = GroupCombo;
        if (!args(1))
            return out;
        std::optional<int> index;
        const auto row = key_row_named(p[1], ModifierRowCount);
        for (std::size_t i = 0; row && i < combo_key_list().size(); ++i) {
            if (combo_key_list()[i].second == key_table()[*row].usage)
                index = static_cast<int>(i);
        }
        if (!pick(index, s.combo_key, "key combination with"))
            return out;
    } else if (kind == "key") {
        s.group = GroupKey;
        if (!args(1))
            return out;
        // One modifier at most, as the editor offers; a modifier alone is a valid key.
        const auto parts = split(p[1], '+');
        if (parts.size() > 2 || parts.back().empty()) {
            err = "a key is [MODIFIER+]KEY with one modifier (ctrl, shift, alt, win)";
            return out;
        }
        s.modifier = 0;
        std::string key = parts.back();
        if (parts.size() == 2) {
            const auto m = word_index(ModifierWords, parts[0]);
            if (!m || *m == 0) {
                err = "no modifier \"" + parts[0] + "\" (ctrl, shift, alt, win)";
                return out;
            }
            s.modifier = *m;
        } else if (const auto m = word_index(ModifierWords, key); m && *m > 0) {
            s.modifier = *m;
            key.clear();
        }
        if (!key.empty()) {
            const auto row = key_row_named(key, ModifierRowCount);
            if (!row) {
                err = "no key \"" + key + "\" in the key table";
                return out;
            }
            s.key_row = static_cast<int>(*row);
        }
    } else if (kind == "fire") {
        s.group = GroupFire;
        if (!args(2))
            return out;
        const auto interval = number("INTERVAL", p[1], 0, 255, err);
        const auto count = interval ? number("COUNT", p[2], 0, 255, err) : std::nullopt;
        if (!count)
            return out;
        s.fire_interval = *interval;
        s.fire_count = *count;
    } else if (kind == "wheel" || kind == "swing") {
        const bool wheel = kind == "wheel";
        s.group = wheel ? GroupWheel : GroupSwing;
        if (!args(4))
            return out;
        const auto dir = number("DIR", p[1], 0, 1, err);
        const auto count = dir ? number("COUNT", p[2], 0, 127, err) : std::nullopt;
        const auto delay = count ? number("DELAY", p[3], 0, 15, err) : std::nullopt;
        const auto speed = delay ? number("SPEED", p[4], 0, 15, err) : std::nullopt;
        if (!speed)
            return out;
        (wheel ? s.wheel_direction : s.swing_direction) = *dir;
        (wheel ? s.wheel_count : s.swing_count) = *count;
        (wheel ? s.wheel_delay : s.swing_delay) = *delay;
        (wheel ? s.wheel_speed : s.swing_speed) = *speed;
    } else if (kind == "macro") {
        s.group = GroupMacro;
        if (macro_count == 0) {
            err = "there are no macros";
            return out;
        }
        if (p.size() < 2 || p.size() > 4) {
            err = "a macro is macro:N, macro:N:MODE or macro:N:repeat:COUNT";
            return out;
        }
        const auto index = number("N", p[1], 0, macro_count - 1, err);
        if (!index)
            return out;
        s.macro = *index;
        s.macro_mode = 0;
        if (p.size() == 3) {
            const auto mode = number("MODE", p[2], 0, 3, err);
            if (!mode)
                return out;
            s.macro_mode = *mode;
        } else if (p.size() == 4) {
            const auto count = p[2] == "repeat" ? number("COUNT", p[3], 0, 255, err) : std::nullopt;
            if (!count) {
                if (err.empty())
                    err = "a macro is macro:N, macro:N:MODE or macro:N:repeat:COUNT";
                return out;
            }
            s.macro_mode = CycleModeItem;
            s.cycle_count = *count;
        }
    } else if (kind == "gun") {
        s.group = GroupGunKey;
        if (!args(1))
            return out;
        // The four guns of the shooting patterns, as the editor's gun list offers them.
        const auto g = number("N", p[1], 0, macro::GunCount - 1, err);
        if (!g)
            return out;
        s.gun_key = *g;
    } else {
        err = "no function \"" + kind + "\"";
        return out;
    }
    out.state = s;
    return out;
}

// ---- Commands ----

std::optional<MouseSession*> open_session(MouseSession& session,
                                          const std::optional<std::string>& link, int& rc) {
    const std::filesystem::path default_data = profile::default_data_folder();
    rc = session.open(link, selected_mouse_profile(default_data), default_data);
    return rc == Success ? std::optional<MouseSession*>(&session) : std::nullopt;
}

int list_keys(MouseSession& s, const macro::MacroLibrary& library) {
    const auto keys = s.profile().read_key_list();
    const int key_count = s.core().info().key_count;
    const auto positions = mouse_key_positions(keys.size());
    Json::Value out(Json::objectValue);
    out["profile"] = s.profile().profile_path().string();
    out["deviceKeys"] = key_count;
    Json::Value& list = out["buttons"] = Json::Value(Json::arrayValue);
    const auto& table = s.core().key_tables();
    for (std::size_t i = 0; i < keys.size(); ++i) {
        Json::Value b(Json::objectValue);
        b["button"] = static_cast<Json::UInt>(i);
        b["assignment"] = code_json(keys[i].current, library);
        b["default"] = code_json(keys[i].default_code, library);
        if (macro::has_position(positions, i, key_count)) {
            const std::size_t at = static_cast<std::size_t>(positions[i]) * 3;
            b["device"] = code_json({table[at], table[at + 1], table[at + 2]}, library);
        } else {
            b["device"] = Json::Value();
        }
        list.append(b);
    }
    print_json(out);
    return Success;
}

int write_buttons_with_progress(MouseSession& s, const std::vector<profile::KeyAssignment>& keys) {
    const Progress progress("writing the buttons and macros to the mouse");
    return write_keys_and_macros(s, keys);
}

int set_key(MouseSession& s, const macro::MacroLibrary& library, const std::string& button_text,
            const KeyEditorState* state) {
    auto keys = s.profile().read_key_list();
    if (keys.empty()) {
        std::fprintf(stderr, "velqactl key: the profile %s has no key list\n",
                     s.profile().profile_path().c_str());
        return Failed;
    }
    const int last = static_cast<int>(keys.size()) - 1;
    const auto button = platform::parse_number(button_text, 0, last);
    if (!button)
        return usage(platform::number_error("BUTTON", button_text, 0, last));
    const profile::KeyAssignment& key = keys[static_cast<std::size_t>(*button)];
    const profile::KeyCode code =
        state ? macro::read(*state, key.current, key.default_code, library.size())
              : key.default_code;
    if (!s.apply(model::mouse::KeyAssignment{static_cast<int>(*button), code}).ok()) {
        std::fprintf(stderr, "velqactl: the profile %s could not be saved\n",
                     s.profile().profile_path().c_str());
        return Failed;
    }
    if (const int rc = write_buttons_with_progress(s, s.profile().read_key_list()); rc != Success)
        return rc;
    const std::string text = code_text(code, library.size());
    std::printf("button %lld: %s\n", static_cast<long long>(*button), text.c_str());
    return Success;
}

int run_key(const Context& context, const std::vector<std::string>& args) {
    const LinkOptions o = parse_link_options(args);
    if (!o.ok)
        return usage("--link takes cable or receiver");
    if (o.rest.empty())
        return usage("which key command?");
    const std::string& what = o.rest[0];
    macro::MacroLibrary library(mouse_macro_folder());
    library.load();

    Choice choice;
    if (what == "set") {
        // "macro:N:repeat COUNT" may come as two words.
        if (o.rest.size() < 3)
            return usage("set BUTTON ASSIGNMENT");
        std::string text = o.rest[2];
        for (std::size_t i = 3; i < o.rest.size(); ++i)
            text += ":" + o.rest[i];
        choice = parse_assignment(text, library.size());
        if (!choice.state && !choice.error.empty())
            return usage(choice.error);
    } else if ((what != "list" && what != "write") || o.rest.size() != 1) {
        return usage(what == "list" || what == "write" ? what + " takes no arguments"
                                                       : "no key command \"" + what + "\"");
    }

    MouseSession session(context);
    int rc = Success;
    if (!open_session(session, o.link, rc))
        return rc;
    if (what == "list")
        return list_keys(session, library);
    if (what == "write") {
        const auto keys = session.profile().read_key_list();
        rc = write_buttons_with_progress(session, keys);
        if (rc == Success)
            std::printf("wrote %zu buttons and their macros to the mouse\n", keys.size());
        return rc;
    }
    return set_key(session, library, o.rest[1], choice.state ? &*choice.state : nullptr);
}

// ASSIGNMENT word by word: the kinds first ("mouse:"), then the kind's own words.
std::vector<Candidate> assignment_values(std::string_view typed) {
    const auto colon = typed.find(':');
    if (colon == std::string_view::npos) {
        std::vector<Candidate> kinds;
        for (const char* kind : {"key:", "combo:", "mouse:", "media:", "system:", "dpi:", "fire:",
                                 "wheel:", "swing:", "macro:", "gun:"})
            kinds.push_back({kind, {}});
        kinds.push_back({"default", "the button's own function"});
        return kinds;
    }
    const std::string kind(typed.substr(0, colon + 1));
    std::vector<Candidate> values;
    auto add = [&](const std::string& word) { values.push_back({kind + word, {}}); };
    if (kind == "mouse:") {
        for (const macro::ListItem& item : macro::mouse_button_list())
            add(mouse_button_word(item.first));
    } else if (kind == "media:") {
        for (const char* word : MediaWords)
            add(word);
    } else if (kind == "system:") {
        for (const char* word : SystemWords)
            add(word);
    } else if (kind == "dpi:") {
        for (const char* word : DpiWords)
            add(word);
    } else if (kind == "gun:") {
        for (int gun = 0; gun < macro::GunCount; ++gun)
            add(std::to_string(gun));
    } else if (kind == "macro:") {
        for (const Candidate& m : listed_macros())
            values.push_back({kind + m.value, m.description});
    } else if (kind == "key:" || kind == "combo:") {
        // "key:ctrl+" goes on with a key; a modifier alone is a key too.
        std::string prefix = kind;
        if (kind == "key:") {
            const auto plus = typed.find('+', colon);
            if (plus != std::string_view::npos) {
                prefix = std::string(typed.substr(0, plus + 1));
            } else {
                for (std::size_t m = 1; m < ModifierWords.size(); ++m) {
                    values.push_back({kind + ModifierWords[m], {}});
                    values.push_back({kind + ModifierWords[m] + "+", {}});
                }
            }
        }
        if (kind == "combo:") {
            for (const macro::ListItem& item : macro::combo_key_list()) {
                if (const auto row = macro::row_for_usage(item.second))
                    values.push_back({prefix + macro::key_word(macro::key_table()[*row].name), {}});
            }
            return values;
        }
        const auto rows = macro::input_key_rows();
        for (std::size_t row = macro::ModifierRowCount; row < rows.size(); ++row)
            values.push_back({prefix + macro::key_word(rows[row].name), {}});
    }
    return values;
}

std::vector<Candidate> key_values(const std::vector<std::string>&, std::string_view placeholder,
                                  std::string_view typed) {
    if (placeholder == "ASSIGNMENT")
        return assignment_values(typed);
    return {};
}

const RegisterCommand reg_key("key", kUsageText, run_key, key_values);

}  // namespace

}  // namespace velqa::ctl
