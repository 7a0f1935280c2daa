// The simulator's control socket: clients are served side by side, each within its deadline.
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <string>
#include <vector>

#include "firmware.h"
#include "sim_control.h"
#include "support/temp_dir.h"

namespace velqa::sim {
namespace {

using namespace std::chrono_literals;

int connect_control(const std::filesystem::path& dir) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    const std::string path = ControlServer::socket_path(dir).string();
    std::strncpy(addr.sun_path, path.c_str(), sizeof addr.sun_path - 1);
    if (fd >= 0 && ::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// True once the server has closed `fd` (end of file, or the connection reset).
bool closed_by_server(int fd, std::chrono::milliseconds guard = 20s) {
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, static_cast<int>(guard.count())) != 1)
        return false;
    char c;
    return ::recv(fd, &c, 1, MSG_DONTWAIT) <= 0;
}

TEST(SimFwControlSocket, SilentAndHalfSentClientsDoNotHoldUpOthers) {
    test::TempDir dir;
    Firmware fw;
    // Deadlines far beyond the client's own wait: the answers below can only come while the
    // idle connections are still open.
    ControlServer server(fw, nullptr, dir.path(), 10min);
    ASSERT_TRUE(server.start());
    std::vector<int> idle;
    for (int i = 0; i < 4; ++i)
        idle.push_back(connect_control(dir.path()));
    ASSERT_EQ(::send(idle[1], "du", 2, MSG_NOSIGNAL), 2);
    ASSERT_EQ(::send(idle[2], "battery\n", 8, MSG_NOSIGNAL), 8);
    for (int fd : idle)
        ASSERT_GE(fd, 0);
    for (int i = 0; i < 3; ++i) {
        const auto res = send_control(dir.path(), {"dump"});
        EXPECT_EQ(res.exit_code, 0) << res.output;
        EXPECT_NE(res.output.find("\"command_counts\""), std::string::npos);
    }
    EXPECT_EQ(send_control(dir.path(), {"battery", "33"}).exit_code, 0);
    // The half-sent command is finished late and still answered.
    ASSERT_EQ(::send(idle[1], "mp", 2, MSG_NOSIGNAL), 2);
    ASSERT_EQ(::shutdown(idle[1], SHUT_WR), 0);
    pollfd p{idle[1], POLLIN, 0};
    ASSERT_EQ(::poll(&p, 1, 20000), 1);
    char head[2] = {};
    EXPECT_EQ(::recv(idle[1], head, 2, 0), 2);
    EXPECT_EQ(std::string(head, 2), "0\n");
    for (int fd : idle)
        ::close(fd);
}

TEST(SimFwControlSocket, ClientsAreDroppedWhenTheirDeadlinePasses) {
    test::TempDir dir;
    Firmware fw;
    ControlServer server(fw, nullptr, dir.path(), 200ms);
    ASSERT_TRUE(server.start());
    const int silent = connect_control(dir.path());
    const int half = connect_control(dir.path());
    ASSERT_GE(silent, 0);
    ASSERT_GE(half, 0);
    ASSERT_EQ(::send(half, "dum", 3, MSG_NOSIGNAL), 3);
    EXPECT_TRUE(closed_by_server(silent));
    EXPECT_TRUE(closed_by_server(half));
    ::close(silent);
    ::close(half);

    // The deadline covers the whole exchange, not each read: a client that keeps sending a
    // byte now and then is dropped all the same.
    const int trickle = connect_control(dir.path());
    ASSERT_GE(trickle, 0);
    bool dropped = false;
    for (int i = 0; i < 1000 && !dropped; ++i) {
        if (::send(trickle, "d", 1, MSG_NOSIGNAL) != 1) {
            dropped = true;
            break;
        }
        dropped = closed_by_server(trickle, 20ms);
    }
    EXPECT_TRUE(dropped);
    ::close(trickle);
    EXPECT_EQ(send_control(dir.path(), {"dump"}).exit_code, 0) << "the server serves on";
}

TEST(SimFwControlSocket, AFullTableMakesNewClientsWaitNotFail) {
    test::TempDir dir;
    Firmware fw;
    ControlServer server(fw, nullptr, dir.path(), 300ms);
    ASSERT_TRUE(server.start());
    std::vector<int> idle;
    for (size_t i = 0; i < ControlServer::MaxConnections; ++i)
        idle.push_back(connect_control(dir.path()));
    // Served once the idle ones have been dropped.
    EXPECT_EQ(send_control(dir.path(), {"dump"}).exit_code, 0);
    for (int fd : idle)
        ::close(fd);
}

}  // namespace
}  // namespace velqa::sim
