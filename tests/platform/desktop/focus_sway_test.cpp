// The Sway/i3 focus watcher against a stand-in IPC socket: the focus in the tree at start, then
// focus events named by app_id, X11 class or executable; bad messages are survived.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "platform/desktop/focus_watcher.h"
#include "support/fake_i3_ipc.h"
#include "support/temp_dir.h"
#include "support/waiting.h"

namespace velqa::platform::desktop {
namespace {

using test::FakeI3Ipc;
using test::Mailbox;

constexpr char kTree[] = R"({"id":1,"type":"root","nodes":[{"id":2,"type":"output","nodes":[
  {"id":3,"type":"workspace","nodes":[{"id":4,"type":"con","app_id":"foot","focused":false}],
   "floating_nodes":[{"id":5,"type":"floating_con","app_id":null,"focused":true,
                      "window_properties":{"class":"Steam","instance":"steam"}}]}]}]})";

std::string focus_event(const std::string& container) {
    return R"({"change":"focus","container":)" + container + "}";
}

bool last_is(Mailbox<FocusedApp>& seen, const std::string& app, std::size_t count) {
    return seen.wait([&](const std::vector<FocusedApp>& items) {
        return items.size() >= count && items.back().app_id == app;
    });
}

TEST(SwayFocus, FollowsTheTreeAndFocusEventsAndSurvivesBadMessages) {
    test::TempDir dir;
    const auto nowhere = make_sway_focus_watcher((dir.path() / "none.sock").string());
    EXPECT_NE(nowhere->unavailable_reason(), "");
    EXPECT_EQ(nowhere->start([](const FocusedApp&) {}), nowhere->unavailable_reason());

    test::DebugLines debug;
    FakeI3Ipc sway(dir.path(), kTree);
    auto watcher = make_sway_focus_watcher(sway.path().string());
    ASSERT_EQ(watcher->unavailable_reason(), "");
    Mailbox<FocusedApp> seen;
    ASSERT_EQ(watcher->start([&](const FocusedApp& app) { seen.push(app); }), "");
    EXPECT_TRUE(last_is(seen, "Steam", 1)) << "the focused floating Xwayland window at start";
    EXPECT_NE(sway.wait_subscribed().find("\"window\""), std::string::npos);

    sway.send(FakeI3Ipc::WindowEvent, focus_event(R"({"id":4,"app_id":"foot"})"));
    EXPECT_TRUE(last_is(seen, "foot", 2));

    // A malformed event, one too long to read (its bytes follow all the same), and a focus
    // event of a window that names neither app_id nor class: its process's executable.
    sway.send(FakeI3Ipc::WindowEvent, R"({"change":"focus","container":{"app_id":)");
    sway.send_header(FakeI3Ipc::WindowEvent, MaxSwayMessageBytes + 1);
    sway.send_raw(std::string(MaxSwayMessageBytes + 1, '{'));
    sway.send(FakeI3Ipc::WindowEvent,
              focus_event(R"({"id":6,"app_id":"","pid":)" + std::to_string(getpid()) + "}"));
    const std::string self = std::filesystem::read_symlink("/proc/self/exe").filename().string();
    EXPECT_TRUE(last_is(seen, self, 3));
    EXPECT_EQ(debug.count("focus (sway): message of type 2147483651 skipped: too long"), 1u)
        << "read past in pieces, never held whole";

    // Closing the focused window leaves the focus on no application until another takes it;
    // so does moving to an empty workspace. Closing another window changes nothing.
    sway.send(FakeI3Ipc::WindowEvent, focus_event(R"({"id":7,"app_id":"cs2"})"));
    EXPECT_TRUE(last_is(seen, "cs2", 4));
    sway.send(FakeI3Ipc::WindowEvent, R"({"change":"close","container":{"id":4}})");
    sway.send(FakeI3Ipc::WindowEvent, R"({"change":"close","container":{"id":7}})");
    EXPECT_TRUE(last_is(seen, "", 5));
    sway.send(FakeI3Ipc::WindowEvent, focus_event(R"({"id":4,"app_id":"foot"})"));
    EXPECT_TRUE(last_is(seen, "foot", 6));
    sway.send(FakeI3Ipc::WorkspaceEvent,
              R"({"change":"focus","current":{"id":9,"type":"workspace","nodes":[]}})");
    EXPECT_TRUE(last_is(seen, "", 7));
    EXPECT_EQ(seen.items().size(), 7u);

    // stop() ends the thread blocked on the socket.
    watcher->stop();
    sway.send(FakeI3Ipc::WindowEvent, focus_event(R"({"id":4,"app_id":"foot"})"));
    EXPECT_EQ(seen.items().size(), 7u);
}

}  // namespace
}  // namespace velqa::platform::desktop
