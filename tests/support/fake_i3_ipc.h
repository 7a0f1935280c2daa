// A stand-in for Sway's (or i3's) IPC socket: answers GET_TREE with a given tree and SUBSCRIBE
// with success, and lets the test send events, malformed messages and raw bytes to the client.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <filesystem>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>

namespace velqa::test {

class FakeI3Ipc {
  public:
    static constexpr std::uint32_t WindowEvent = 0x80000003u;
    static constexpr std::uint32_t WorkspaceEvent = 0x80000000u;

    // Listens on `dir`/ipc.sock for one client; `tree` is the GET_TREE answer.
    FakeI3Ipc(const std::filesystem::path& dir, std::string tree);
    ~FakeI3Ipc();
    FakeI3Ipc(const FakeI3Ipc&) = delete;
    FakeI3Ipc& operator=(const FakeI3Ipc&) = delete;

    const std::filesystem::path& path() const { return path_; }
    // Waits (with the tests' generous deadline) until the client has subscribed; the payload
    // of its SUBSCRIBE, or empty at the deadline.
    std::string wait_subscribed();
    // A whole message to the client.
    void send(std::uint32_t type, std::string_view payload);
    // A header announcing `length` bytes, then whatever raw bytes the test writes.
    void send_header(std::uint32_t type, std::uint32_t length);
    void send_raw(std::string_view bytes);

  private:
    void serve();

    std::filesystem::path path_;
    std::string tree_;
    int listener_ = -1;
    int client_ = -1;
    std::mutex mutex_;  // client_, subscription_ and writes to the client
    std::condition_variable subscribed_;
    std::string subscription_;
    std::thread thread_;
};

}  // namespace velqa::test
