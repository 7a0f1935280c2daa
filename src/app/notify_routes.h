// Which part of the program owns a control notification: the main window routes every
// notification by its type and the sender's name. Indexed names ("DPI_slider_3") are split at
// their last underscore into a prefix and a decimal index; prefixes and names compare ignoring
// case, except the few exact names that compare exactly.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace velqa::app {

enum class RouteOwner {
    Window,        // the main window itself (caption, tabs, tray, device strip)
    Tile,          // a device tile's option or light-sync box
    MousePage,     // the selected page when it is a mouse page
    SelectedPage,  // the selected page, whatever its kind
    KeyboardPage,  // the selected page when it is a keyboard page
    Profile,       // the profile control
    Lighting,      // the lighting editor
    AudioLight,    // the audio-light window
    Macro,         // the macro editor
    KeySet,        // the key-assignment editor
    Shoot,         // the shooting-pattern editor
    Headset,       // the headset controls
    About,         // the about pane
};

struct Route {
    RouteOwner owner = RouteOwner::Window;
    int index = -1;    // the index of an indexed name, -1 for an exact name
    std::string name;  // the table's spelling of the prefix or name
};
// The owner of notification `type` from control `name`, or nullopt when nobody owns it.
std::optional<Route> route_notification(std::string_view type, std::string_view name);

}  // namespace velqa::app
