// velqactl macro ...: the mouse's macro list, the same folder and the same list rules as the
// window's Macros tab. Events are typed as ACTION:KIND:NAME:DELAY words.
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "command_registry.h"
#include "key_download.h"
#include "macro/button_download.h"
#include "macro/key_tables.h"
#include "macro/macro_files.h"
#include "mouse_link.h"
#include "mouse_session.h"
#include "platform/folders.h"
#include "platform/number_text.h"
#include "profile/profile_data.h"
#include "profile/profile_files.h"
#include "profile/profile_list.h"
#include "progress.h"

namespace velqa::ctl {

namespace {

using macro::MacroEvent;
using macro::MacroLibrary;
using macro::MacroResult;
using macro::MacroStatus;

constexpr const char* kUsageText =
    "  macro list                 the mouse's macros (JSON)\n"
    "  macro show N               macro N's events (JSON)\n"
    "  macro create [NAME]        a new macro (\"macro_N\" without NAME)\n"
    "  macro delete N [--force] [--link cable|receiver]\n"
    "                             delete macro N; buttons on it get their default, in every\n"
    "                             profile (--force when the selected profile uses it), and\n"
    "                             when the selected profile changed its buttons are written to\n"
    "                             the mouse\n"
    "  macro import FILE          a new macro from a .mac file\n"
    "  macro export N FILE        macro N's .mac file, copied to FILE\n"
    "  macro add N EVENT...       append events: ACTION:KIND:NAME:DELAY, ACTION down|up,\n"
    "                             KIND key (NAME from the key table, spaces as '-'), mouse\n"
    "                             (left|right|middle|back|forward), move-x or move-y (NAME:\n"
    "                             steps 0-255; down is left/up), DELAY 0-65535 ms\n"
    "                             e.g. down:key:A:20 up:key:A:0 down:mouse:left:10";

int usage(const std::string& message) {
    std::fprintf(stderr, "velqactl macro: %s\nusage:\n%s\n", message.c_str(), kUsageText);
    return UsageError;
}

const char* status_text(MacroStatus s) {
    switch (s) {
        case MacroStatus::Ok:
            return "done";
        case MacroStatus::Unchanged:
            return "nothing changed";
        case MacroStatus::ListFull:
            return "the list already holds 50 macros";
        case MacroStatus::NameTaken:
            return "a macro already has that name";
        case MacroStatus::TooManyEvents:
            return "a macro holds at most 250 events";
        case MacroStatus::NoSuchMacro:
            return "no such macro";
        case MacroStatus::Refused:
            return "refused";
        case MacroStatus::ReadFailed:
            return "a file could not be read";
        case MacroStatus::WriteFailed:
            return "a file could not be written";
    }
    return "failed";
}

int failed(const char* what, const MacroResult& r) {
    std::fprintf(stderr, "velqactl macro %s: %s%s%s\n", what, status_text(r.status),
                 r.detail.empty() ? "" : ": ", shown(r.detail).c_str());
    // Refusing what the user asked for is a usage error; a failing disk is not.
    return r.status == MacroStatus::ReadFailed || r.status == MacroStatus::WriteFailed ? Failed
                                                                                       : UsageError;
}

std::optional<int> macro_index(const MacroLibrary& library, const std::string& text) {
    if (library.size() == 0) {
        std::fprintf(stderr, "velqactl macro: there are no macros\n");
        return std::nullopt;
    }
    const int last = library.size() - 1;
    if (const auto n = platform::parse_number(text, 0, last))
        return static_cast<int>(*n);
    std::fprintf(stderr, "velqactl macro: %s\n",
                 platform::number_error("N", text, 0, last).c_str());
    return std::nullopt;
}

// ---- Event words ----

std::optional<std::size_t> key_row_named(std::string_view word) {
    return macro::key_row_for_word(macro::key_table(), word);
}

// "mouse_key_left" -> "left".
std::string mouse_word(std::string_view label) {
    constexpr std::string_view prefix = "mouse_key_";
    return std::string(label.substr(label.rfind(prefix, 0) == 0 ? prefix.size() : 0));
}

std::optional<MacroEvent> parse_event_word(const std::string& word, std::string& error) {
    const auto p = split(word, ':');
    if (p.size() != 4) {
        error = "an event is ACTION:KIND:NAME:DELAY";
        return std::nullopt;
    }
    MacroEvent e;
    if (p[0] != "down" && p[0] != "up") {
        error = "ACTION must be down or up";
        return std::nullopt;
    }
    e.down = p[0] == "down";
    const auto delay = platform::parse_number(p[3], 0, macro::MaxDelay);
    if (!delay) {
        error = platform::number_error("DELAY", p[3], 0, macro::MaxDelay);
        return std::nullopt;
    }
    e.delay = static_cast<std::uint16_t>(*delay);
    if (p[1] == "key") {
        const auto row = key_row_named(p[2]);
        if (!row) {
            error = "no key \"" + p[2] + "\" in the key table";
            return std::nullopt;
        }
        const macro::KeyRow& k = macro::key_table()[*row];
        e.type = *row < macro::ModifierRowCount ? macro::TypeModifier : macro::TypeKey;
        e.button = *row < macro::ModifierRowCount ? k.modifier : k.usage;
    } else if (p[1] == "mouse") {
        const auto rows = macro::mouse_event_table();
        bool found = false;
        for (std::size_t i = 0; i < 10 && !found; ++i) {
            if (macro::same_name(p[2], mouse_word(rows[i].label))) {
                e.type = macro::TypeMouseButton;
                e.button = rows[i].button;
                found = true;
            }
        }
        if (!found) {
            error = "a mouse button is left, right, middle, back or forward";
            return std::nullopt;
        }
    } else if (p[1] == "move-x" || p[1] == "move-y") {
        const auto steps = platform::parse_number(p[2], 0, 255);
        if (!steps) {
            error = platform::number_error("steps", p[2], 0, 255);
            return std::nullopt;
        }
        e.type = p[1] == "move-x" ? macro::TypeMoveX : macro::TypeMoveY;
        e.button = static_cast<std::uint8_t>(*steps);
    } else {
        error = "KIND must be key, mouse, move-x or move-y";
        return std::nullopt;
    }
    return e;
}

// The word parse_event_word reads back; codes without a name keep their number.
std::string event_word(const MacroEvent& e) {
    std::string kind, name = std::to_string(e.button);
    switch (e.type) {
        case macro::TypeKey:
        case macro::TypeModifier: {
            kind = "key";
            const auto row = e.type == macro::TypeKey ? macro::row_for_usage(e.button)
                                                      : macro::row_for_modifier(e.button);
            if (row)
                name = macro::key_word(macro::key_table()[*row].name);
            break;
        }
        case macro::TypeMouseButton:
            kind = "mouse";
            for (std::size_t i = 0; i < 10; i += 2) {
                if (macro::mouse_event_table()[i].button == e.button) {
                    name = mouse_word(macro::mouse_event_table()[i].label);
                    break;
                }
            }
            break;
        case macro::TypeMoveX:
            kind = "move-x";
            break;
        case macro::TypeMoveY:
            kind = "move-y";
            break;
        default:
            kind = "type" + std::to_string(e.type);
    }
    return std::string(e.down ? "down" : "up") + ":" + kind + ":" + name + ":" +
           std::to_string(e.delay);
}

// ---- Commands ----

int list_macros(const MacroLibrary& library) {
    Json::Value out(Json::objectValue);
    out["folder"] = library.folder().string();
    Json::Value& macros = out["macros"] = Json::Value(Json::arrayValue);
    for (int i = 0; i < library.size(); ++i) {
        const auto& e = library.entries()[static_cast<std::size_t>(i)];
        Json::Value m(Json::objectValue);
        m["index"] = i;
        m["name"] = e.name;
        m["guid"] = e.guid;
        m["events"] = static_cast<Json::UInt>(library.load_events(i).size());
        macros.append(m);
    }
    print_json(out);
    return Success;
}

int show_macro(const MacroLibrary& library, int index) {
    const auto selection = library.select(index);
    if (!selection) {
        MacroResult r;
        r.status = MacroStatus::NoSuchMacro;
        return failed("show", r);
    }
    Json::Value out(Json::objectValue);
    out["index"] = index;
    out["name"] = selection->name;
    out["guid"] = library.entries()[static_cast<std::size_t>(index)].guid;
    out["file"] = library.macro_path(index).string();
    Json::Value& events = out["events"] = Json::Value(Json::arrayValue);
    for (const MacroEvent& e : selection->events) {
        Json::Value j = macro::event_json(e);
        j["text"] = event_word(e);
        events.append(j);
    }
    print_json(out);
    return Success;
}

int add_events(MacroLibrary& library, int index, const std::vector<std::string>& words) {
    std::vector<MacroEvent> added;
    for (const std::string& w : words) {
        std::string error;
        const auto e = parse_event_word(w, error);
        if (!e)
            return usage("\"" + w + "\": " + error);
        added.push_back(*e);
    }
    std::vector<MacroEvent> events = library.load_events(index);
    events.insert(events.end(), added.begin(), added.end());
    const MacroResult r = library.save_events(index, events);
    if (!r.ok())
        return failed("add", r);
    std::printf("macro %d \"%s\": %zu events\n", index, shown(r.name).c_str(), events.size());
    return Success;
}

int delete_macro(const Context& context, MacroLibrary& library, int index, bool force,
                 const std::optional<std::string>& link) {
    const std::filesystem::path folder = profile::profile_folder(profile::KindMouse);
    const std::filesystem::path defaults = profile::default_profile_path(profile::KindMouse);
    profile::ProfileList list(folder, defaults);
    if (const auto r = list.load(); !r.ok()) {
        std::fprintf(stderr, "velqactl macro: the profile list %s: %s (%s)\n",
                     list.list_path().c_str(), profile::status_text(r.status), r.detail.c_str());
        return Failed;
    }
    const std::filesystem::path selected = list.selected_file();
    profile::CMouseProfiledata current;
    current.set_device_index(0);
    current.set_default_path(defaults);
    current.set_profile_path(selected);
    current.load_section(selected);
    std::vector<profile::KeyAssignment> keys = current.read_key_list();
    // "message_text_2": the window asks; here the user says so up front.
    if (macro::uses_macro(keys, index) && !force) {
        std::fprintf(stderr,
                     "velqactl macro delete: macro %d is on a button of the selected profile; "
                     "add --force to delete it and give those buttons their default\n",
                     index);
        return UsageError;
    }
    const std::string name = library.entries()[static_cast<std::size_t>(index)].name;
    // The macro goes first: while it stays, the references may not move.
    if (const MacroResult r = library.remove(index); !r.ok())
        return failed("delete", r);
    int rc = Success;
    const macro::ProfileFixOutcome others =
        macro::fix_macro_references_in_profiles(folder, defaults, index, selected);
    for (const auto& file : others.failed) {
        std::fprintf(stderr, "velqactl macro delete: the profile %s could not be saved\n",
                     file.c_str());
        rc = Failed;
    }
    bool selected_changed = false;
    if (macro::fix_macro_references(keys, index)) {
        current.write_key_list(keys);
        if (!current.save()) {
            std::fprintf(stderr, "velqactl macro delete: the profile %s could not be saved\n",
                         selected.c_str());
            rc = Failed;
        }
        selected_changed = true;
    }
    std::printf("deleted macro %d \"%s\"\n", index, shown(name).c_str());
    if (rc != Success || !selected_changed)
        return rc;
    // The mouse holds the selected profile's buttons: write them as the Buttons tab does.
    MouseSession session(context);
    const std::filesystem::path default_data = profile::default_data_folder();
    if (const int open = session.open(link, selected_mouse_profile(default_data), default_data);
        open != Success) {
        std::fprintf(stderr, "velqactl macro delete: the mouse was not updated\n");
        return open;
    }
    int written = Failed;
    {
        const Progress progress("writing the buttons and macros to the mouse");
        written = write_keys_and_macros(session, session.profile().read_key_list());
    }
    if (written == Success)
        std::printf("wrote the selected profile's buttons to the mouse\n");
    return written;
}

int run_macro(const Context& context, const std::vector<std::string>& args) {
    const LinkOptions o = parse_link_options(args);
    if (!o.ok)
        return usage("--link takes cable or receiver");
    if (o.rest.empty())
        return usage("which macro command?");
    const std::string& what = o.rest[0];
    const std::vector<std::string> w(o.rest.begin() + 1, o.rest.end());
    auto want = [&](std::size_t min, std::size_t max) {
        return w.size() >= min && w.size() <= max;
    };

    MacroLibrary library(mouse_macro_folder());
    library.load();
    if (what == "list") {
        return want(0, 0) ? list_macros(library) : usage("list takes no arguments");
    }
    if (what == "create") {
        if (!want(0, 1))
            return usage("create [NAME]");
        const MacroResult r = w.empty() ? library.create() : library.create_named(w[0]);
        if (!r.ok())
            return failed("create", r);
        std::printf("created macro %d \"%s\"\n", r.index, shown(r.name).c_str());
        return Success;
    }
    if (what == "import") {
        if (!want(1, 1))
            return usage("import FILE");
        const MacroResult r = library.import_file(w[0]);
        if (!r.ok())
            return failed("import", r);
        std::printf("imported macro %d \"%s\"\n", r.index, shown(r.name).c_str());
        return Success;
    }
    if (what == "show" || what == "delete" || what == "export" || what == "add") {
        if (w.empty())
            return usage(what + " needs N");
        const auto index = macro_index(library, w[0]);
        if (!index)
            return UsageError;
        if (what == "show")
            return want(1, 1) ? show_macro(library, *index) : usage("show N");
        if (what == "export") {
            if (!want(2, 2))
                return usage("export N FILE");
            const MacroResult r = library.export_file(*index, w[1]);
            if (!r.ok())
                return failed("export", r);
            std::printf("exported macro %d to %s\n", *index, shown(w[1]).c_str());
            return Success;
        }
        if (what == "add")
            return want(2, SIZE_MAX) ? add_events(library, *index, {w.begin() + 1, w.end()})
                                     : usage("add N EVENT...");
        const bool force = want(2, 2) && w[1] == "--force";
        if (!want(1, 1) && !force)
            return usage("delete N [--force]");
        return delete_macro(context, library, *index, force, o.link);
    }
    return usage("no macro command \"" + what + "\"");
}

std::vector<Candidate> macro_values(const std::vector<std::string>&, std::string_view placeholder,
                                    std::string_view) {
    return placeholder == "N" ? listed_macros() : std::vector<Candidate>{};
}

const RegisterCommand reg_macro("macro", kUsageText, run_macro, macro_values);

}  // namespace

}  // namespace velqa::ctl
