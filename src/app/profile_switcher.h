// Profiles that follow the focused application: when the focus moves to an application bound to
// a profile of a kind (or to one bound to none: the kind's default), that profile is applied
// through the kind's profile control, exactly as a choice in its combo is. The first change after
// a quiet moment applies at once; a burst of changes applies its last one once the focus rests
// (SwitchPacer). Each kind
// (mouse, keyboard, ...) switches on its own bindings ("AppBindings.json" in its profile folder),
// which are followed while velqactl or the bindings editor change them. The bindings files are
// read on a thread of the switcher's own, never on the window's: a large file costs the window
// nothing, and a focus change waits for a read under way.
#pragma once

#include <QFileSystemWatcher>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QThreadPool>
#include <QTimer>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "app/switch_decision.h"
#include "platform/desktop/focus_watcher.h"
#include "profile/app_bindings.h"

class QFontMetrics;
class QLabel;

namespace velqa::profile {
class CDeviceProfileUI;
}
namespace velqa::model {
class CZentovaUSBDevice;
}

namespace velqa::app {

class DeviceManager;
class RecordingController;

class ProfileSwitcher : public QObject {
    Q_OBJECT

  public:
    // How long the focus must rest after a change before the next change applies at once.
    static constexpr int kQuietMs = static_cast<int>(SwitchPacer::Quiet.count());

    // Profiles are applied through the profile controls of `devices`' pages; `recorder` says
    // whether a macro is being recorded. `user_data` holds one profile folder per kind name.
    // `own_app_ids`: this program's application ids; its own window taking the focus changes
    // nothing, so a user can come to edit the profile a game uses.
    ProfileSwitcher(DeviceManager& devices, const RecordingController& recorder,
                    std::filesystem::path user_data, std::vector<std::string> own_app_ids);
    ~ProfileSwitcher() override;
    ProfileSwitcher(const ProfileSwitcher&) = delete;
    ProfileSwitcher& operator=(const ProfileSwitcher&) = delete;

    // The focus watcher for this session (replaces and stops one set before).
    void set_watcher(std::unique_ptr<platform::desktop::FocusWatcher> watcher);
    // Starts the watcher once; empty on success (or when already started), else why not.
    std::string start();
    void stop();
    // Empty when the focus can be followed here now; otherwise why not, one sentence (a desktop
    // that tells nothing, or a watcher that lost its window manager for the time being).
    std::string unavailable_reason() const;
    // unavailable_reason() when the user relies on switching (it is on, and some kind has a
    // binding or a default); else empty. For the tray.
    std::string following_problem() const;

    // The application that last had the focus (never this program); empty before the first.
    std::string last_focused_app() const { return decision_.app(); }
    // The same for the bindings editor, valid while this switcher lives.
    std::function<std::string()> last_focused_app_source() const;

    // Switching is on when any kind's bindings say so; set_auto_switch stores it for every
    // kind, so velqactl's "profile auto" and the settings window agree through the files.
    bool auto_switch();
    // False when a kind's file could not be written (`error` says why).
    bool set_auto_switch(bool on, std::string* error = nullptr);

    // Why the selected profile of the kind in `profile_folder` is active; ByHand when the user
    // chose it (or switching is off).
    SwitchReason reason(const std::filesystem::path& profile_folder) const;
    // "FPS — bound to cs2", "Desktop — default", or empty for a profile chosen by hand.
    static QString reason_text(const SwitchReason& reason);
    // The same cut to `width` pixels: the profile's name gives way first, so that what it is
    // bound to stays readable ("Ter… — bound to cs2").
    static QString reason_text(const SwitchReason& reason, const QFontMetrics& metrics, int width);

    // The lines under the profile controls show the reasons again (in the current language).
    void refresh_labels();
    // Profiles applied by the switcher so far (for tests and the bench).
    int switches() const { return switches_; }
    // A change of a burst waits until the focus rests.
    bool waiting() const { return decision_.waiting(); }

  signals:
    // A kind's active profile or its reason changed, or following the focus stopped or
    // resumed: the tray, the page labels and the settings window refresh.
    void reason_changed();
    // A focus change was decided (made, waiting for the user, or none needed).
    void focus_settled();

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    struct Kind {
        explicit Kind(const std::filesystem::path& profile_folder)
            : bindings(profile_folder), folder(profile_folder) {}
        profile::AppBindings bindings;
        std::filesystem::path folder;
        bool loaded = false;
        bool reading = false;     // a read of its files is under way
        bool read_again = false;  // and they changed since it began
    };

    void on_focus(const std::string& app_id, SwitchPacer::TimePoint at);
    void on_status(const std::string& reason);
    void pace();
    void settle();
    void defer();
    void undefer();
    void switch_kind(Kind& kind, const std::vector<profile::CDeviceProfileUI*>& controls);
    Kind& kind_of(const std::filesystem::path& folder);
    std::vector<profile::CDeviceProfileUI*> controls_of(const std::filesystem::path& folder) const;
    std::set<std::filesystem::path> kind_folders() const;
    void watch_bindings();
    void follow_bindings_files();
    // Reads the kind's files on the reader thread; bindings_read takes the result.
    void read_bindings(Kind& kind);
    void bindings_read(const std::filesystem::path& folder,
                       std::shared_ptr<profile::AppBindings> fresh);
    // Starts a read of every kind not read, or changed on disk since; true while any is under way.
    bool bindings_pending();
    void hook_controls();
    static model::CZentovaUSBDevice* page_of(const QWidget* control);
    void page_refreshed(model::CZentovaUSBDevice* page);

    DeviceManager& devices_;
    const RecordingController& recorder_;
    std::filesystem::path user_data_;
    std::unique_ptr<platform::desktop::FocusWatcher> watcher_;
    bool started_ = false;
    std::string start_error_;
    std::string follow_error_;  // what the watcher said last; empty while it follows
    SwitchDecision decision_;
    QTimer pace_timer_;  // for the change that waits
    bool deferred_ = false;
    bool recheck_posted_ = false;
    int switches_ = 0;
    std::map<std::filesystem::path, std::unique_ptr<Kind>> kinds_;
    QFileSystemWatcher files_;
    std::set<const QObject*> hooked_;  // profile controls whose choices we follow
    std::map<const QObject*, QPointer<QLabel>> labels_;
    // Pages whose device was away when their kind switched: they apply on their next read.
    std::set<const QObject*> away_;
    std::shared_ptr<std::string> last_app_shared_ = std::make_shared<std::string>();
    // Reads the bindings files, one at a time.
    QThreadPool reader_;
};

}  // namespace velqa::app
