#include "profile/app_bindings.h"

#include <algorithm>
#include <cerrno>
#include <string_view>
#include <system_error>
#include <unordered_map>
#include <utility>

#include "platform/atomic_file.h"
#include "platform/debug_output.h"
#include "platform/folder_lock.h"
#include "profile/json_access.h"
#include "profile/profile_files.h"

namespace velqa::profile {

namespace fs = std::filesystem;
using platform::debug_printf;

namespace {

// The member names of both files, in one place.
constexpr char kVersion[] = "Version";
constexpr char kDefault[] = "Default";
constexpr char kBindings[] = "Bindings";
constexpr char kUuid[] = "Uuid";
constexpr char kApps[] = "Apps";
constexpr char kAutoSwitch[] = "AutoSwitch";
constexpr int kFileVersion = 1;

BindingResult failed(std::string detail) {
    return {BindingStatus::WriteFailed, std::move(detail)};
}

// What reading one of our files found.
enum class FileState {
    Missing,  // absent or empty: nothing to lose
    Good,
    Partial,  // usable in part: a copy of it is kept before it is rewritten
    Damaged,  // nothing usable: it is moved aside
};

struct ReadDocument {
    FileState state = FileState::Missing;
    Json::Value document;
    std::string why;  // for Damaged
};

// Reads a file of ours without changing anything. A file too large to be ours, one that is no
// regular file, and one that is no JSON object are Damaged.
ReadDocument read_document(const fs::path& file) {
    ReadDocument out;
    std::error_code ec;
    const auto bytes = fs::file_size(file, ec);
    if (ec) {
        if (ec == std::errc::no_such_file_or_directory)
            return out;
        out.state = FileState::Damaged;
        out.why = ec.message();
        return out;
    }
    if (bytes > MaxBindingsBytes) {
        out.state = FileState::Damaged;
        out.why = "larger than 1 MB";
        return out;
    }
    std::string text;
    if (!platform::read_whole_file(file, text, &out.why)) {
        if (errno == ENOENT)
            return out;
        out.state = FileState::Damaged;
        return out;
    }
    if (text.empty())
        return out;
    out.document = parse_json(text, &out.why);
    if (!out.document.isObject()) {
        out.state = FileState::Damaged;
        if (out.why.empty())
            out.why = "no JSON object";
        return out;
    }
    out.state = FileState::Good;
    return out;
}

// Keeps a file that is about to be replaced or ignored where the user can still recover it.
// A damaged file is moved aside (a rename: it costs nothing whatever its size), a partly usable
// one is copied, since its usable part stays in use.
BindingResult keep_aside(const fs::path& file, FileState state, const std::string& why) {
    if (state == FileState::Partial) {
        if (!keep_unreadable_copy(file))
            return failed("the damaged " + file.filename().string() + " could not be kept");
    } else if (state == FileState::Damaged) {
        fs::path aside = file;
        aside += ".unreadable";
        std::error_code ec;
        fs::rename(file, aside, ec);
        if (ec && ec != std::errc::no_such_file_or_directory)
            return failed("the damaged " + file.filename().string() +
                          " could not be kept: " + ec.message());
    } else {
        return {};
    }
    debug_printf("%s is damaged (%s): kept as %s.unreadable\n", file.c_str(),
                 why.empty() ? "unusable members" : why.c_str(), file.filename().c_str());
    return {};
}

// Application ids as same_name compares them: ASCII letters in either case are one.
char folded(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}
struct FoldedHash {
    std::size_t operator()(std::string_view id) const {
        std::size_t h = 14695981039346656037ull;  // FNV-1a
        for (const char c : id)
            h = (h ^ static_cast<unsigned char>(folded(c))) * 1099511628211ull;
        return h;
    }
};

// The application ids seen so far, as same_name tells them apart: a set that costs one look-up
// per id, however many a file holds. Open addressing over one array sized for every id listed,
// so a look-up usually touches one slot (a node-based set chases two pointers per id).
class FoldedIdSet {
  public:
    explicit FoldedIdSet(std::size_t expected) {
        std::size_t size = 16;
        while (size < expected * 2)
            size *= 2;
        slots_.assign(size, Slot{});
        ids_.reserve(expected);
    }
    // False when `id` (in any letter case) is in the set already. `id` must outlive the set.
    bool insert(std::string_view id) {
        const std::size_t hash = FoldedHash{}(id);
        const std::size_t mask = slots_.size() - 1;
        for (std::size_t i = hash & mask;; i = (i + 1) & mask) {
            Slot& slot = slots_[i];
            if (slot.index == 0) {
                ids_.push_back(id);
                slot = {static_cast<std::uint32_t>(hash), static_cast<std::uint32_t>(ids_.size())};
                return true;
            }
            if (slot.hash == static_cast<std::uint32_t>(hash) &&
                same_name(ids_[slot.index - 1], id))
                return false;
        }
    }

  private:
    struct Slot {
        std::uint32_t hash = 0;
        std::uint32_t index = 0;  // 1 + the id's place in ids_; 0: empty
    };
    std::vector<Slot> slots_;
    std::vector<std::string_view> ids_;
};

// The bindings a document holds; false when part of it was unusable (and left out).
bool parse_bindings(const Json::Value& document, std::vector<AppBinding>& bindings,
                    std::string& default_uuid) {
    bool clean = true;
    const Json::Value& def = member(document, kDefault);
    if (def.isString() && is_safe_identifier(def.asString()))
        default_uuid = def.asString();
    else
        clean = clean && (def.isNull() || (def.isString() && def.asString().empty()));

    const Json::Value& list = member(document, kBindings);
    clean = clean && (list.isNull() || list.isArray());
    // A file may hold a hundred thousand ids: both look-ups are hashed, so a read stays linear.
    std::unordered_map<std::string, std::size_t> place;  // a profile's entry in `bindings`
    std::size_t listed = 0;
    for (const Json::Value& entry : list)
        listed += member(entry, kApps).size();
    FoldedIdSet seen(listed);  // an app is bound at most once
    for (const Json::Value& entry : list) {
        const Json::Value& uuid = member(entry, kUuid);
        const Json::Value& apps = member(entry, kApps);
        if (!uuid.isString() || !is_safe_identifier(uuid.asString()) || !apps.isArray()) {
            clean = false;
            continue;
        }
        const auto [at, added] = place.try_emplace(uuid.asString(), bindings.size());
        if (added)
            bindings.push_back({uuid.asString(), {}});
        else
            clean = false;  // the same profile twice
        AppBinding& binding = bindings[at->second];
        for (const Json::Value& app : apps) {
            if (!app.isString()) {
                clean = false;
                continue;
            }
            const char* begin = nullptr;
            const char* end = nullptr;
            app.getString(&begin, &end);
            const std::string_view id(begin, static_cast<std::size_t>(end - begin));
            if (!valid_app_id(id) || !seen.insert(id)) {
                clean = false;
                continue;
            }
            binding.app_ids.emplace_back(id);
        }
    }
    std::erase_if(bindings, [](const AppBinding& b) { return b.app_ids.empty(); });
    return clean;
}

}  // namespace

const char* status_text(BindingStatus status) {
    switch (status) {
        case BindingStatus::Done:
            return "done";
        case BindingStatus::BadAppId:
            return "the application id must be 1 to 255 bytes of text without control characters";
        case BindingStatus::NotBound:
            return "the application is not bound to that profile";
        case BindingStatus::WriteFailed:
            return "the bindings could not be written";
    }
    return "unknown";
}

bool valid_app_id(std::string_view app_id) {
    if (app_id.size() > MaxAppIdBytes || is_blank_name(app_id))
        return false;
    bool ascii = true;
    for (const char c : app_id) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F)
            return false;
        ascii = ascii && byte < 0x80;
    }
    return ascii || platform::valid_utf8(app_id) == app_id;
}

AppBindings::AppBindings(fs::path profile_folder) : folder_(std::move(profile_folder)) {}

BindingResult AppBindings::read_bindings(bool keep_damaged) {
    const fs::path path = file();
    bindings_stamp_ = file_stamp(path);
    ReadDocument read = read_document(path);
    std::vector<AppBinding> bindings;
    std::string default_uuid;
    if (read.state == FileState::Good && !parse_bindings(read.document, bindings, default_uuid))
        read.state = FileState::Partial;
    BindingResult result;
    if (keep_damaged) {
        result = keep_aside(path, read.state, read.why);
        if (read.state == FileState::Damaged && result.ok())
            bindings_stamp_ = file_stamp(path);
    } else if (read.state == FileState::Partial || read.state == FileState::Damaged) {
        result = failed("damaged");
    }
    document_ = read.state == FileState::Damaged ? Json::Value() : std::move(read.document);
    bindings_ = std::move(bindings);
    default_uuid_ = std::move(default_uuid);
    return result;
}

BindingResult AppBindings::read_auto_switch(bool keep_damaged) {
    const fs::path path = auto_switch_file();
    switch_stamp_ = file_stamp(path);
    ReadDocument read = read_document(path);
    const Json::Value& value = member(read.document, kAutoSwitch);
    if (read.state == FileState::Good && !value.isBool())
        read.state = FileState::Damaged;  // one member: nothing else to keep in use
    auto_switch_ = read.state != FileState::Good || value.asBool();
    if (read.state != FileState::Damaged)
        return {};
    if (!keep_damaged)
        return failed("damaged");
    BindingResult result = keep_aside(path, read.state, read.why);
    if (result.ok())
        switch_stamp_ = file_stamp(path);
    return result;
}

BindingResult AppBindings::load() {
    // The switcher loads whenever the folder changes: two stats when nothing of ours did.
    if (loaded_ && !changed_on_disk())
        return {};
    loaded_ = true;
    // Reading needs no lock (every write is a rename); keeping a damaged file aside does.
    BindingResult result = read_bindings(false);
    if (!result.ok()) {
        const platform::FolderLock lock(folder_);
        result = lock.ok() ? read_bindings(true) : failed(lock.error());
    }
    BindingResult switched = load_auto_switch();
    return result.ok() ? switched : result;
}

BindingResult AppBindings::load_auto_switch() {
    BindingResult switched = read_auto_switch(false);
    if (!switched.ok()) {
        const platform::FolderLock lock(folder_.parent_path());
        switched = lock.ok() ? read_auto_switch(true) : failed(lock.error());
    }
    return switched;
}

bool AppBindings::changed_on_disk() const {
    return file_stamp(file()) != bindings_stamp_ || file_stamp(auto_switch_file()) != switch_stamp_;
}

std::string AppBindings::bound_uuid(std::string_view app_id) const {
    for (const AppBinding& b : bindings_) {
        if (std::find(b.app_ids.begin(), b.app_ids.end(), app_id) != b.app_ids.end())
            return b.uuid;
    }
    for (const AppBinding& b : bindings_) {
        for (const std::string& id : b.app_ids) {
            if (same_name(id, app_id))
                return b.uuid;
        }
    }
    return {};
}

std::vector<std::string> AppBindings::apps_of(std::string_view uuid) const {
    for (const AppBinding& b : bindings_) {
        if (b.uuid == uuid)
            return b.app_ids;
    }
    return {};
}

BindingResult AppBindings::write_bindings(const std::vector<AppBinding>& bindings,
                                          const std::string& default_uuid) {
    Json::Value document = document_.isObject() ? document_ : Json::Value(Json::objectValue);
    document[kVersion] = kFileVersion;
    if (default_uuid.empty())
        document.removeMember(kDefault);
    else
        document[kDefault] = default_uuid;
    Json::Value& list = document[kBindings] = Json::Value(Json::arrayValue);
    for (const AppBinding& b : bindings) {
        Json::Value entry(Json::objectValue);
        entry[kUuid] = b.uuid;
        Json::Value& apps = entry[kApps] = Json::Value(Json::arrayValue);
        for (const std::string& id : b.app_ids)
            apps.append(id);
        list.append(std::move(entry));
    }
    const std::string text = styled_json(document);
    // What we write must read back.
    if (text.size() > MaxBindingsBytes)
        return failed("too many bindings");
    if (std::string why; !platform::write_file_atomically(file(), text, &why))
        return failed("could not write " + file().string() + ": " + why);
    bindings_stamp_ = file_stamp(file());
    document_ = std::move(document);
    bindings_ = bindings;
    default_uuid_ = default_uuid;
    return {};
}

template <class Change>
BindingResult AppBindings::change(Change&& apply) {
    const platform::FolderLock lock(folder_);
    if (!lock.ok())
        return failed(lock.error());
    if (BindingResult r = read_bindings(true); !r.ok())
        return r;
    std::vector<AppBinding> bindings = bindings_;
    std::string default_uuid = default_uuid_;
    if (BindingResult r = apply(bindings, default_uuid); !r.ok())
        return r;
    std::erase_if(bindings, [](const AppBinding& b) { return b.app_ids.empty(); });
    // Nothing changed: the file (or its absence) stays as it is.
    if (bindings == bindings_ && default_uuid == default_uuid_)
        return {};
    return write_bindings(bindings, default_uuid);
}

BindingResult AppBindings::bind(const std::string& uuid, const std::string& app_id) {
    if (!valid_app_id(app_id))
        return {BindingStatus::BadAppId, {}};
    if (!is_safe_identifier(uuid))
        return failed("no profile identifier");
    return change([&](std::vector<AppBinding>& bindings, std::string&) -> BindingResult {
        // Bound here already (in any letter case): the spelling given wins, the place stays.
        for (AppBinding& b : bindings) {
            for (std::string& id : b.app_ids) {
                if (b.uuid == uuid && same_name(id, app_id)) {
                    id = app_id;
                    return {};
                }
            }
        }
        // Bound to another profile: it moves.
        for (AppBinding& b : bindings)
            std::erase_if(b.app_ids, [&](const std::string& id) { return same_name(id, app_id); });
        auto it = std::find_if(bindings.begin(), bindings.end(),
                               [&](const AppBinding& b) { return b.uuid == uuid; });
        if (it == bindings.end())
            bindings.push_back({uuid, {app_id}});
        else
            it->app_ids.push_back(app_id);
        return {};
    });
}

BindingResult AppBindings::unbind(const std::string& uuid, const std::string& app_id) {
    return change([&](std::vector<AppBinding>& bindings, std::string&) -> BindingResult {
        for (AppBinding& b : bindings) {
            if (b.uuid == uuid && std::erase_if(b.app_ids, [&](const std::string& id) {
                                      return same_name(id, app_id);
                                  }) > 0) {
                return {};
            }
        }
        return {BindingStatus::NotBound, {}};
    });
}

BindingResult AppBindings::set_default(const std::string& uuid) {
    if (!uuid.empty() && !is_safe_identifier(uuid))
        return failed("no profile identifier");
    return change([&](std::vector<AppBinding>&, std::string& default_uuid) -> BindingResult {
        default_uuid = uuid;
        return {};
    });
}

BindingResult AppBindings::forget(const std::string& uuid) {
    return change([&](std::vector<AppBinding>& bindings, std::string& default_uuid) {
        std::erase_if(bindings, [&](const AppBinding& b) { return b.uuid == uuid; });
        if (default_uuid == uuid)
            default_uuid.clear();
        return BindingResult{};
    });
}

BindingResult AppBindings::set_auto_switch(bool on) {
    const fs::path root = folder_.parent_path();
    const platform::FolderLock lock(root);
    if (!lock.ok())
        return failed(lock.error());
    if (BindingResult r = read_auto_switch(true); !r.ok())
        return r;
    if (auto_switch_ == on && fs::exists(auto_switch_file()))
        return {};
    Json::Value document(Json::objectValue);
    document[kVersion] = kFileVersion;
    document[kAutoSwitch] = on;
    if (std::string why;
        !platform::write_file_atomically(auto_switch_file(), styled_json(document), &why))
        return failed("could not write " + auto_switch_file().string() + ": " + why);
    switch_stamp_ = file_stamp(auto_switch_file());
    auto_switch_ = on;
    return {};
}

}  // namespace velqa::profile
