// Tells a waiting thread that the set of HID nodes may have changed: inotify on the folder the
// nodes live in (/dev for hidraw, the simulator's folder for sim), woken at once by cancel().
#pragma once

#include <chrono>
#include <filesystem>
#include <string>

namespace velqa::platform::hid {

class NodeWatcher {
  public:
    enum class Wait { Changed, TimedOut, Cancelled };

    // Watches `folder` for entries created, deleted, moved or changed in their attributes
    // (permissions applied after a node appears). A folder that cannot be watched leaves the
    // watcher working on time-outs only (watching() false, error() says why).
    explicit NodeWatcher(const std::filesystem::path& folder);
    ~NodeWatcher();
    NodeWatcher(const NodeWatcher&) = delete;
    NodeWatcher& operator=(const NodeWatcher&) = delete;

    // Both belong to the waiting thread: a folder removed and created again is watched again
    // by the next wait.
    bool watching() const { return watch_fd_ >= 0; }
    const std::string& error() const { return error_; }

    // Blocks until a change, cancel() or `timeout`. A change drains every event queued, so one
    // burst of changes gives one Changed. A cancel stays pending until a wait has seen it.
    Wait wait(std::chrono::milliseconds timeout);
    // Thread-safe; ends the current or the next wait with Cancelled.
    void cancel();

  private:
    void add_watch();
    // Reads every queued event; true when there was one.
    bool drain_changes();

    std::filesystem::path folder_;
    int inotify_fd_ = -1;
    int watch_fd_ = -1;
    int cancel_fd_ = -1;
    std::string error_;
};

}  // namespace velqa::platform::hid
