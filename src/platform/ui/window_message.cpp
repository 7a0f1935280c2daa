#include "platform/ui/window_message.h"

#include <deque>
#include <mutex>
#include <string>

namespace velqa::platform::ui {
namespace {

std::mutex g_mutex;
// A deque keeps the strings at stable addresses for registered_message_name.
std::deque<std::string> g_names;

}  // namespace

unsigned register_window_message(std::string_view name) {
    if (name.empty())
        return 0;
    std::lock_guard lock(g_mutex);
    for (std::size_t i = 0; i < g_names.size(); ++i) {
        if (g_names[i] == name)
            return kFirstRegisteredMessage + static_cast<unsigned>(i);
    }
    if (g_names.size() > 0xFFFF - kFirstRegisteredMessage)
        return 0;
    g_names.emplace_back(name);
    return kFirstRegisteredMessage + static_cast<unsigned>(g_names.size() - 1);
}

std::string_view registered_message_name(unsigned message) {
    std::lock_guard lock(g_mutex);
    if (message < kFirstRegisteredMessage)
        return {};
    std::size_t index = message - kFirstRegisteredMessage;
    return index < g_names.size() ? std::string_view(g_names[index]) : std::string_view();
}

}  // namespace velqa::platform::ui
