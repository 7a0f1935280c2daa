// GNOME's settings as a desktop keeps them, for a test: a private session bus (dbus-daemon with
// the system's service files, so that it starts the real dconf-service on demand) and private
// configuration and runtime folders, all set in this process's environment before GIO is first
// used. The real `gsettings` reads and writes the same database.
#pragma once

#include <filesystem>
#include <string>

#include "support/temp_dir.h"

namespace velqa::test {

class PrivateDconf {
  public:
    // Sets XDG_CONFIG_HOME, XDG_RUNTIME_DIR, GSETTINGS_BACKEND=dconf and DBUS_SESSION_BUS_ADDRESS
    // for the rest of the process and starts the bus. why_not() says what is missing when the
    // session could not be made.
    PrivateDconf();
    ~PrivateDconf();
    PrivateDconf(const PrivateDconf&) = delete;
    PrivateDconf& operator=(const PrivateDconf&) = delete;

    const std::string& why_not() const { return why_not_; }
    const std::filesystem::path& config_home() const { return config_; }

    // `gsettings get SCHEMA KEY` (its output without the line end), and `gsettings set`; a
    // failure reads as "<failed>".
    static std::string get(const std::string& schema, const std::string& key);
    static bool set(const std::string& schema, const std::string& key, const std::string& value);

  private:
    TempDir dir_;
    std::filesystem::path config_;
    int pid_ = -1;
    std::string why_not_;
};

}  // namespace velqa::test
