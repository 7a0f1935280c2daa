#include "platform/desktop/sway_ipc.h"

#include "platform/desktop/focus_common.h"
#include "platform/json_read.h"

namespace velqa::platform::desktop {
namespace {

// A window's application: Wayland's app_id, else the X11 class (Xwayland, i3), else the
// executable of its process.
std::string app_of(const Json::Value& node) {
    std::string app = clean_app_id(to_text(member(node, "app_id")));
    if (app.empty())
        app = clean_app_id(to_text(member(member(node, "window_properties"), "class")));
    if (app.empty())
        app = executable_name(static_cast<long>(to_int(member(node, "pid"))));
    return app;
}

bool is_array_with_items(const Json::Value& v) {
    return v.isArray() && !v.empty();
}

// The focused node of a tree (nodes and floating nodes), or null. The reader's depth limit
// bounds the recursion.
const Json::Value* focused_node(const Json::Value& node) {
    if (to_bool(member(node, "focused")))
        return &node;
    for (const char* list : {"nodes", "floating_nodes"}) {
        const Json::Value& children = member(node, list);
        if (!children.isArray())
            continue;
        for (const Json::Value& child : children)
            if (const Json::Value* found = focused_node(child))
                return found;
    }
    return nullptr;
}

}  // namespace

SwayFocusTracker::Outcome SwayFocusTracker::report(std::string app) {
    if (reported_ && focused_ == app)
        return Outcome::Unchanged;
    reported_ = true;
    focused_ = std::move(app);
    return Outcome::Changed;
}

SwayFocusTracker::Outcome SwayFocusTracker::handle(std::uint32_t type, std::string_view payload,
                                                   std::string* error) {
    if (type != SwayGetTree && type != SwaySubscribe && type != SwayWindowEvent &&
        type != SwayWorkspaceEvent)
        return Outcome::Unchanged;
    std::string why;
    const Json::Value value = parse_json(payload, &why);
    if (!why.empty()) {
        if (error != nullptr)
            *error = why;
        return Outcome::Unchanged;
    }
    if (type == SwaySubscribe)
        return to_bool(member(value, "success")) ? Outcome::Unchanged : Outcome::Refused;
    if (type == SwayGetTree) {
        const Json::Value* node = focused_node(value);
        if (node == nullptr)
            return Outcome::Unchanged;
        const std::string kind = to_text(member(*node, "type"));
        const bool window = kind == "con" || kind == "floating_con";
        focused_id_ = window ? to_int(member(*node, "id")) : -1;
        return report(window ? app_of(*node) : std::string());
    }
    const std::string change = to_text(member(value, "change"));
    if (type == SwayWindowEvent) {
        const Json::Value& container = member(value, "container");
        if (change == "focus") {
            focused_id_ = to_int(member(container, "id"));
            return report(app_of(container));
        }
        if (change == "close" && focused_id_ >= 0 &&
            to_int(member(container, "id")) == focused_id_) {
            // A focus event follows when another window takes the focus.
            focused_id_ = -1;
            return report({});
        }
        return Outcome::Unchanged;
    }
    // A workspace with windows is followed by a window event; an empty one leaves the focus on
    // no application.
    const Json::Value& current = member(value, "current");
    if (change == "focus" && !is_array_with_items(member(current, "nodes")) &&
        !is_array_with_items(member(current, "floating_nodes"))) {
        focused_id_ = -1;
        return report({});
    }
    return Outcome::Unchanged;
}

}  // namespace velqa::platform::desktop
