// Sway's IPC messages: any run of payloads (each led by a byte choosing its type, ended by a
// 0xFF byte) is read without a crash or a throw, and the application named is always a clean
// id: no control characters, valid UTF-8, bounded.
#include <cstdlib>
#include <string_view>

#include "platform/desktop/focus_common.h"
#include "platform/desktop/sway_ipc.h"
#include "platform/json_read.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace velqa::platform::desktop;
    constexpr std::uint32_t Types[] = {SwayGetTree, SwaySubscribe, SwayWindowEvent,
                                       SwayWorkspaceEvent};
    std::string_view input(reinterpret_cast<const char*>(data), size);
    SwayFocusTracker tracker;
    while (!input.empty()) {
        const std::uint32_t type = Types[static_cast<unsigned char>(input[0]) % 4];
        input.remove_prefix(1);
        const std::size_t end = std::min(input.find('\xFF'), input.size());
        tracker.handle(type, input.substr(0, end));
        input.remove_prefix(std::min(end + 1, input.size()));
        const std::string& app = tracker.focused();
        if (app.size() > MaxAppIdBytes || velqa::platform::valid_utf8(app) != app)
            std::abort();
        for (const char c : app)
            if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
                std::abort();
    }
    return 0;
}
