// velqactl profile: the kind's profile list as the window's profile control keeps it (list,
// create, copy, rename, delete, reset, select, import, export), and show [KIND] [--file PATH]:
// the kind's profile folder and default profile file, and the records decoded from a profile
// (the selected mouse profile without a kind, the factory profile of KIND, or --file), as JSON
// on stdout. bind, unbind, bindings, default and auto: which profile follows which focused
// application.
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "command_registry.h"
#include "device/model/mouse_core.h"
#include "mouse_session.h"
#include "platform/folder_lock.h"
#include "platform/folders.h"
#include "platform/number_text.h"
#include "profile/app_bindings.h"
#include "profile/json_access.h"
#include "profile/profile_data.h"
#include "profile/profile_files.h"
#include "profile/profile_list.h"
#include "profile/record_fields.h"
#include "progress.h"

namespace {

namespace fs = std::filesystem;
using namespace velqa::profile;
using velqa::ctl::RegisterCommand;
using velqa::ctl::shown;

struct KindInfo {
    std::string_view name;  // the kind's folder, as the JSON output names it
    std::string_view word;  // what users type
    int model_index;
};

constexpr KindInfo Kinds[] = {{KindMouse, "mouse", 0},
                              {KindKeyboard, "keyboard", 0},
                              {KindMousePad, "mousepad", 2},
                              {KindHeadset, "headset", 3}};
constexpr char kKindWords[] = "mouse, keyboard, mousepad or headset";

bool same_letters(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

// A kind as typed: its word or its folder's name, in any case ("MousePad", "mousepad", "HD",
// "headset"); nullptr for anything else.
const KindInfo* find_kind(std::string_view text) {
    for (const KindInfo& k : Kinds) {
        if (same_letters(text, k.word) || same_letters(text, k.name))
            return &k;
    }
    return nullptr;
}

Json::Value keys_json(const std::vector<KeyAssignment>& keys) {
    Json::Value list(Json::arrayValue);
    char text[16];
    for (const KeyAssignment& k : keys) {
        Json::Value o(Json::objectValue);
        o["key"] = k.key_index;
        std::snprintf(text, sizeof text, "%02X %02X %02X", k.current.function_class,
                      k.current.first, k.current.second);
        o["assignment"] = text;
        std::snprintf(text, sizeof text, "%02X %02X %02X", k.default_code.function_class,
                      k.default_code.first, k.default_code.second);
        o["default"] = text;
        list.append(o);
    }
    return list;
}

// The set is named after the first sensor the device files give it.
Json::Value stages_json(CMouseProfiledata& data, int set, const SensorTable& sensors) {
    // A fresh reader per set: reads merge into the held list and never shorten it.
    CMouseProfiledata reader;
    reader.set_section(data.section());
    const std::vector<DpiStage> list = reader.read_dpi_stages(set);
    Json::Value s(Json::objectValue);
    for (const SensorSpec& sensor : sensors.sensors()) {
        if (sensor.stage_set == set) {
            char id[8];
            std::snprintf(id, sizeof id, "0x%04x", sensor.sensor_id);
            s["sensor"] = id;
            break;
        }
    }
    s["activeStage"] = reader.active_stage();
    Json::Value& stages = s["stages"] = Json::Value(Json::arrayValue);
    for (const DpiStage& st : list) {
        Json::Value j = shown_fields(DpiStageFields, st);
        char colour[8];
        std::snprintf(colour, sizeof colour, "#%02X%02X%02X", st.red, st.green, st.blue);
        j["colour"] = colour;
        stages.append(j);
    }
    return s;
}

int show(const velqa::ctl::Context& context, const std::vector<std::string>& args) {
    std::string kind_name(KindMouse);
    fs::path file;
    bool kind_given = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--file" && i + 1 < args.size()) {
            file = args[++i];
        } else if (args[i] == "--kind" && i + 1 < args.size() && !kind_given) {
            // The same option as the binding commands take; KIND alone still works.
            kind_name = args[++i];
            kind_given = true;
        } else if (!args[i].empty() && args[i][0] != '-' && !kind_given) {
            kind_name = args[i];
            kind_given = true;
        } else {
            std::fprintf(stderr, "velqactl profile show: unexpected '%s'\n",
                         shown(args[i]).c_str());
            return velqa::ctl::UsageError;
        }
    }
    const KindInfo* kind = find_kind(kind_name);
    if (kind == nullptr) {
        std::fprintf(stderr, "velqactl profile show: unknown kind '%s' (%s)\n",
                     shown(kind_name).c_str(), kKindWords);
        return velqa::ctl::UsageError;
    }
    const fs::path default_path = default_profile_path(kind->name);
    // Without a kind or a file: the profile the mouse follows.
    if (!kind_given && file.empty()) {
        file = selected_profile_path(profile_folder(kind->name), default_path);
        if (file.empty()) {
            std::fprintf(stderr, "velqactl profile show: the profile list of %s cannot be read\n",
                         profile_folder(kind->name).c_str());
            return velqa::ctl::Failed;
        }
    }
    const fs::path source = file.empty() ? default_path : file;
    const Json::Value document = read_json(source);
    if (document.isNull()) {
        std::fprintf(stderr, "velqactl profile show: %s is missing or not JSON\n", source.c_str());
        return velqa::ctl::Failed;
    }

    Json::Value out(Json::objectValue);
    out["kind"] = std::string(kind->name);
    out["profileFolder"] = profile_folder(kind->name).string();
    out["defaultProfile"] = default_path.string();
    out["source"] = source.string();

    // Decoded from the file as it is: showing a profile never writes it.
    const Json::Value& section =
        element(member(document, "Device"), static_cast<Json::ArrayIndex>(kind->model_index));
    if (!section.isObject()) {
        std::fprintf(stderr, "velqactl profile show: %s has no device element %d\n", source.c_str(),
                     kind->model_index);
        return velqa::ctl::Failed;
    }
    CMouseProfiledata data;
    data.set_device_index(kind->model_index);
    data.set_section(section);
    Json::Value records(Json::objectValue);
    records["light"] = shown_fields(LightFields, data.read_light_info());
    records["keys"] = keys_json(data.read_key_list());
    if (kind->name == KindMouse) {
        const SensorTable sensors = velqa::model::sensor_table(context.devices);
        records["stageSets"].append(stages_json(data, StageSet3395, sensors));
        records["stageSets"].append(stages_json(data, StageSet3950, sensors));
        records["system"] = shown_fields(MouseSettingsFields, data.read_system_settings());
    }
    out["records"] = records;
    velqa::ctl::print_json(out);
    return velqa::ctl::Success;
}

// ---- The profile list ----------------------------------------------------------------------

// The table's lines of the command: --help, the manual page and the completion read them.
constexpr char kUsageText[] =
    "  profile list                     the mouse profiles as JSON (index, name, file, selected)\n"
    "  profile create [NAME]            a new profile from the factory settings\n"
    "  profile copy N                   a new profile with the settings of profile N\n"
    "  profile rename N NAME            profile N takes the name NAME\n"
    "  profile delete N                 profile N and its file are deleted\n"
    "  profile reset N                  profile N goes back to the factory settings (the mouse\n"
    "                                   keeps its settings until the profile is selected again)\n"
    "  profile select N [--link cable|receiver]  select profile N and write it to the mouse\n"
    "                                   when one is connected (writes to the mouse)\n"
    "  profile import FILE              a new profile from a profile file, checked first\n"
    "  profile export N FILE            profile N's file, copied to FILE\n"
    "  profile show [KIND] [--kind KIND] [--file PATH]  profile folder, default profile and the "
    "decoded records as JSON (without KIND: the selected mouse profile)\n"
    "  profile bind N APP_ID            switch to profile N while the application APP_ID\n"
    "                                   (Wayland app_id or X11 WM_CLASS) has the focus\n"
    "  profile unbind N APP_ID          APP_ID no longer switches to profile N\n"
    "  profile bindings                 each profile's applications and the default, as JSON\n"
    "  profile default N|none           the profile for applications bound to none\n"
    "                                   (bind, unbind, bindings and default take [--kind KIND],\n"
    "                                   KIND mouse, keyboard, mousepad or headset in any case;\n"
    "                                   the mouse without it)\n"
    "  profile auto on|off              switch profiles by the focused application, for every "
    "kind";

int usage_error(const std::string& message) {
    std::fprintf(stderr, "velqactl profile: %s\nusage:\n%s\n", message.c_str(), kUsageText);
    return velqa::ctl::UsageError;
}

// The list of mouse profiles, loaded; nullopt (with the reason on stderr) when it cannot be.
std::optional<ProfileList> open_list(const velqa::ctl::Context& context) {
    ProfileList list(profile_folder(KindMouse), default_profile_path(KindMouse));
    list.set_sensors(velqa::model::sensor_table(context.devices));
    if (const ListResult r = list.load(); !r.ok()) {
        std::fprintf(stderr, "velqactl profile: the profile list %s: %s (%s)\n",
                     list.list_path().c_str(), status_text(r.status), r.detail.c_str());
        return std::nullopt;
    }
    return list;
}

// N of the command line against the list's range; nullopt with the message printed.
std::optional<int> profile_index(const ProfileList& list, const std::string& text) {
    const int last = list.size() - 1;
    if (const auto n = velqa::platform::parse_number(text, 0, last))
        return static_cast<int>(*n);
    std::fprintf(stderr, "velqactl profile: %s\n",
                 velqa::platform::number_error("N", text, 0, last).c_str());
    return std::nullopt;
}

int failed(const char* what, const ListResult& r) {
    std::fprintf(stderr, "velqactl profile %s: %s%s%s\n", what, status_text(r.status),
                 r.detail.empty() ? "" : ": ", shown(r.detail).c_str());
    // A refusal of what the user asked for is a usage error; a failing disk is not.
    switch (r.status) {
        case ListStatus::WriteFailed:
        case ListStatus::NoSource:
            return velqa::ctl::Failed;
        default:
            return velqa::ctl::UsageError;
    }
}

void say(const ProfileList& list, const char* verb, int index) {
    const ProfileEntry& e = list.entries()[static_cast<std::size_t>(index)];
    std::printf("%s profile %d \"%s\" (%s)\n", verb, index, shown(e.name).c_str(),
                shown(list.file_of(index).string()).c_str());
}

// Entry i as the JSON listings show it: index, name and identifier.
Json::Value entry_json(const ProfileList& list, int i) {
    const ProfileEntry& e = list.entries()[static_cast<std::size_t>(i)];
    Json::Value p(Json::objectValue);
    p["index"] = i;
    p["name"] = e.name;
    p["uuid"] = e.uuid;
    return p;
}

int list_profiles(const ProfileList& list) {
    Json::Value out(Json::objectValue);
    out["kind"] = std::string(KindMouse);
    out["profileFolder"] = list.folder().string();
    out["selected"] = list.selected();
    Json::Value& profiles = out["profiles"] = Json::Value(Json::arrayValue);
    for (int i = 0; i < list.size(); ++i) {
        Json::Value p = entry_json(list, i);
        p["file"] = list.file_of(i).string();
        p["selected"] = i == list.selected();
        profiles.append(p);
    }
    velqa::ctl::print_json(out);
    return velqa::ctl::Success;
}

// Writes the selected profile to the mouse, as the window applies a selection.
int apply_to_mouse(const velqa::ctl::Context& context, const std::optional<std::string>& link,
                   const fs::path& file) {
    // Opening a session mirrors what the mouse holds into the profile it is given; the selected
    // profile must reach the mouse instead, so the session opens on a scratch profile and then
    // follows the selected one.
    // It lives in our private cache folder: at a guessable name in the shared temporary folder
    // another user could plant a link or a file there first.
    const fs::path private_folder = context.download_folder.parent_path();
    std::string error;
    if (!velqa::platform::make_private_folder(private_folder, &error)) {
        std::fprintf(stderr, "velqactl: %s\n", error.c_str());
        return velqa::ctl::Failed;
    }
    const fs::path scratch =
        private_folder / ("velqactl-apply-" + std::to_string(::getpid()) + ".Json");
    velqa::ctl::MouseSession session(context);
    const int rc = session.open(link, scratch, default_data_folder());
    std::error_code ec;
    fs::remove(scratch, ec);
    if (rc != velqa::ctl::Success)
        return rc;
    velqa::model::attach_mouse_profile(session.profile(), session.core(), file,
                                       default_data_folder());
    if (const int set = session.core().sensor().stage_set; set >= 0)
        session.profile().read_dpi_stages(set);
    return session.outcome(session.apply(velqa::model::mouse::WholeProfile{true}));
}

int run_list_command(const velqa::ctl::Context& context, const std::string& word,
                     const std::vector<std::string>& args) {
    std::optional<std::string> link;
    std::vector<std::string> rest;
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (word == "select" && args[i] == "--link") {
            if (i + 1 >= args.size() || (args[i + 1] != "cable" && args[i + 1] != "receiver"))
                return usage_error("--link takes cable or receiver");
            link = args[++i];
        } else {
            rest.push_back(args[i]);
        }
    }
    auto arity = [&](std::size_t low, std::size_t high) {
        return rest.size() >= low && rest.size() <= high;
    };

    // A command is one read-modify-write: N names the entry at N when the command runs, so no
    // other program may change the list between our read and our change. select holds it only
    // in its list steps, as it writes to the mouse in between.
    std::optional<velqa::platform::FolderLock> held;
    if (word != "select") {
        held.emplace(profile_folder(KindMouse));
        if (!held->ok()) {
            std::fprintf(stderr, "velqactl profile: %s\n", held->error().c_str());
            return velqa::ctl::Failed;
        }
    }
    std::optional<ProfileList> list = open_list(context);
    if (!list)
        return velqa::ctl::Failed;

    if (word == "list") {
        if (!arity(0, 0))
            return usage_error("list takes no arguments");
        return list_profiles(*list);
    }
    if (word == "create") {
        if (!arity(0, 1))
            return usage_error("create takes at most one NAME");
        const ListResult r = list->create(rest.empty() ? std::string() : rest[0]);
        if (!r.ok())
            return failed("create", r);
        say(*list, "created", r.index);
        return velqa::ctl::Success;
    }
    if (word == "import") {
        if (!arity(1, 1))
            return usage_error("import takes one FILE");
        const ListResult r = list->import_file(rest[0]);
        if (!r.ok())
            return failed("import", r);
        say(*list, "imported", r.index);
        if (!r.corrections.empty()) {
            std::printf("corrected %zu value(s) in the stored copy:\n", r.corrections.size());
            for (const std::string& line : r.corrections)
                std::printf("  %s\n", line.c_str());
        }
        return velqa::ctl::Success;
    }

    // The rest name an entry first.
    const std::size_t needed = (word == "rename" || word == "export") ? 2 : 1;
    if (!arity(needed, needed)) {
        return usage_error(word +
                           (needed == 2 ? " takes N and one more argument" : " takes one N"));
    }
    const std::optional<int> n = profile_index(*list, rest[0]);
    if (!n)
        return velqa::ctl::UsageError;
    const int index = *n;

    if (word == "copy") {
        const ListResult r = list->copy(index);
        if (!r.ok())
            return failed("copy", r);
        say(*list, "created", r.index);
    } else if (word == "rename") {
        const ListResult r = list->rename(index, rest[1]);
        if (!r.ok())
            return failed("rename", r);
        say(*list, "renamed", index);
    } else if (word == "delete") {
        const std::string name = list->entries()[static_cast<std::size_t>(index)].name;
        const ListResult r = list->remove(index);
        if (!r.ok())
            return failed("delete", r);
        std::printf("deleted profile %d \"%s\"\n", index, shown(name).c_str());
        say(*list, "selected", list->selected());
    } else if (word == "reset") {
        const ListResult r = list->reset(index);
        if (!r.ok())
            return failed("reset", r);
        say(*list, "reset", index);
        if (index == list->selected())
            std::printf("select it again to write it to the mouse\n");
    } else if (word == "export") {
        const ListResult r = list->export_file(index, rest[1]);
        if (!r.ok())
            return failed("export", r);
        std::printf("exported profile %d to %s\n", index, rest[1].c_str());
    } else if (word == "select") {
        const int before = list->selected();
        const ListResult r = list->select(index);
        if (!r.ok())
            return failed("select", r);
        int rc = velqa::ctl::Failed;
        {
            const velqa::ctl::Progress progress("writing the profile to the mouse");
            rc = apply_to_mouse(context, link, list->file_of(index));
        }
        if (rc != velqa::ctl::Success && rc != velqa::ctl::NoDevice) {
            // The reason is on stderr already. The list goes back to the profile the mouse
            // still follows.
            const bool restored = before == index || list->select(before).ok();
            std::fprintf(stderr,
                         "velqactl profile select: profile %d \"%s\" was not written to "
                         "the mouse; %s\n",
                         index,
                         shown(list->entries()[static_cast<std::size_t>(index)].name).c_str(),
                         restored ? "the selection is unchanged" : "it stays selected");
            return rc;
        }
        say(*list, "selected", index);
        if (rc == velqa::ctl::NoDevice) {
            std::printf(
                "no mouse connected: selected only; select it again with the mouse "
                "connected to write it\n");
            return velqa::ctl::Success;
        }
        std::printf("written to the mouse\n");
    } else {
        return usage_error("unknown command '" + word + "'");
    }
    return velqa::ctl::Success;
}

// ---- Application bindings ------------------------------------------------------------------

bool is_binding_command(const std::string& word) {
    return word == "bind" || word == "unbind" || word == "bindings" || word == "default" ||
           word == "auto";
}

int binding_failed(const char* what, const BindingResult& r) {
    std::fprintf(stderr, "velqactl profile %s: %s%s%s\n", what, status_text(r.status),
                 r.detail.empty() ? "" : ": ", shown(r.detail).c_str());
    return r.status == BindingStatus::WriteFailed ? velqa::ctl::Failed : velqa::ctl::UsageError;
}

int show_bindings(const ProfileList& list, const AppBindings& bindings, std::string_view kind) {
    Json::Value out(Json::objectValue);
    out["kind"] = std::string(kind);
    out["auto"] = bindings.auto_switch();
    out["file"] = bindings.file().string();
    Json::Value& profiles = out["profiles"] = Json::Value(Json::arrayValue);
    for (int i = 0; i < list.size(); ++i) {
        const ProfileEntry& e = list.entries()[static_cast<std::size_t>(i)];
        Json::Value p = entry_json(list, i);
        p["default"] = e.uuid == bindings.default_uuid();
        Json::Value& apps = p["apps"] = Json::Value(Json::arrayValue);
        for (const std::string& app : bindings.apps_of(e.uuid))
            apps.append(app);
        profiles.append(p);
    }
    velqa::ctl::print_json(out);
    return velqa::ctl::Success;
}

// The index of the listed profile `uuid`, or -1.
int index_of(const ProfileList& list, const std::string& uuid) {
    for (int i = 0; i < list.size(); ++i) {
        if (list.entries()[static_cast<std::size_t>(i)].uuid == uuid)
            return i;
    }
    return -1;
}

// bind, unbind, bindings, default (for --kind KIND, the mouse without it) and auto (every kind).
int run_binding_command(const std::string& word, const std::vector<std::string>& args) {
    std::string_view kind = KindMouse;
    std::vector<std::string> rest;
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--kind" && word != "auto") {
            const KindInfo* found = i + 1 < args.size() ? find_kind(args[i + 1]) : nullptr;
            if (found == nullptr)
                return usage_error(std::string("--kind takes ") + kKindWords);
            kind = found->name;
            ++i;
        } else {
            rest.push_back(args[i]);
        }
    }

    if (word == "auto") {
        if (rest.size() != 1 || (rest[0] != "on" && rest[0] != "off"))
            return usage_error("auto takes on or off");
        AppBindings bindings(profile_folder(KindMouse));
        if (const BindingResult r = bindings.set_auto_switch(rest[0] == "on"); !r.ok())
            return binding_failed("auto", r);
        std::printf("switching profiles by the focused application: %s\n", rest[0].c_str());
        return velqa::ctl::Success;
    }
    const std::size_t needed = word == "bindings" ? 0 : word == "default" ? 1 : 2;
    if (rest.size() != needed) {
        return usage_error(word + (needed == 0   ? " takes no arguments"
                                   : needed == 1 ? " takes one N (or none)"
                                                 : " takes N and one APP_ID"));
    }

    // One read-modify-write of the list and the bindings, as the list commands are.
    const velqa::platform::FolderLock held(profile_folder(kind));
    if (!held.ok()) {
        std::fprintf(stderr, "velqactl profile: %s\n", held.error().c_str());
        return velqa::ctl::Failed;
    }
    ProfileList list(profile_folder(kind), default_profile_path(kind));
    if (const ListResult r = list.load(); !r.ok()) {
        std::fprintf(stderr, "velqactl profile: the profile list %s: %s (%s)\n",
                     list.list_path().c_str(), status_text(r.status), r.detail.c_str());
        return velqa::ctl::Failed;
    }
    AppBindings bindings(list.folder());
    // A damaged file is kept aside by load; the command goes on with what could be read.
    if (const BindingResult r = bindings.load(); !r.ok())
        std::fprintf(stderr, "velqactl profile: %s\n", r.detail.c_str());
    if (word == "bindings")
        return show_bindings(list, bindings, kind);

    if (word == "default" && rest[0] == "none") {
        if (const BindingResult r = bindings.set_default({}); !r.ok())
            return binding_failed("default", r);
        std::printf("no profile is the default\n");
        return velqa::ctl::Success;
    }
    const std::optional<int> n = profile_index(list, rest[0]);
    if (!n)
        return velqa::ctl::UsageError;
    const ProfileEntry& entry = list.entries()[static_cast<std::size_t>(*n)];
    if (word == "default") {
        if (const BindingResult r = bindings.set_default(entry.uuid); !r.ok())
            return binding_failed("default", r);
        std::printf("profile %d \"%s\" is the default\n", *n, shown(entry.name).c_str());
        return velqa::ctl::Success;
    }
    const std::string& app = rest[1];
    if (word == "bind") {
        const std::string before = bindings.bound_uuid(app);
        if (const BindingResult r = bindings.bind(entry.uuid, app); !r.ok())
            return binding_failed("bind", r);
        std::printf("bound \"%s\" to profile %d \"%s\"\n", app.c_str(), *n,
                    shown(entry.name).c_str());
        if (const int from = index_of(list, before); from >= 0 && before != entry.uuid) {
            std::printf("it was bound to profile %d \"%s\"\n", from,
                        shown(list.entries()[static_cast<std::size_t>(from)].name).c_str());
        }
        return velqa::ctl::Success;
    }
    if (const BindingResult r = bindings.unbind(entry.uuid, app); !r.ok())
        return binding_failed("unbind", r);
    std::printf("unbound \"%s\" from profile %d \"%s\"\n", shown(app).c_str(), *n,
                shown(entry.name).c_str());
    return velqa::ctl::Success;
}

int run_profile(const velqa::ctl::Context& context, const std::vector<std::string>& args) {
    if (args.empty())
        return usage_error("a command is needed");
    const std::vector<std::string> rest(args.begin() + 1, args.end());
    if (args[0] == "show")
        return show(context, rest);
    if (is_binding_command(args[0]))
        return run_binding_command(args[0], rest);
    return run_list_command(context, args[0], rest);
}

// The profiles as `profile list` prints them (number and name), read without changing
// anything: pressing Tab creates no folder or profile, moves no damaged list aside and waits
// on no lock (while another program holds it, nothing is offered).
std::vector<velqa::ctl::Candidate> listed_profiles() {
    const fs::path data = velqa::platform::user_data_location();
    if (data.empty())
        return {};
    ProfileList list(data / KindMouse, {});
    if (!list.peek().ok())
        return {};
    std::vector<velqa::ctl::Candidate> out;
    for (int i = 0; i < list.size(); ++i) {
        // One candidate per line, and nothing a terminal would act on: a name is shown as text.
        out.push_back({std::to_string(i), shown(list.entries()[static_cast<std::size_t>(i)].name)});
    }
    return out;
}

std::vector<velqa::ctl::Candidate> profile_values(const std::vector<std::string>&,
                                                  std::string_view placeholder, std::string_view) {
    if (placeholder == "N" || placeholder == "N|none") {
        auto values = listed_profiles();
        if (placeholder == "N|none")
            values.push_back({"none", {}});
        return values;
    }
    if (placeholder == "KIND") {
        std::vector<velqa::ctl::Candidate> values;
        for (const KindInfo& k : Kinds)
            values.push_back({std::string(k.word), {}});
        return values;
    }
    return {};
}

const RegisterCommand kProfile("profile", kUsageText, run_profile, profile_values);

}  // namespace
