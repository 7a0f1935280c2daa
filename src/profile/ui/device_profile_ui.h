// The profile control of a device page: the combo of the kind's profiles and the panel with the
// profile operations (create, copy, delete, import, export, reset, rename, applications). A view
// over the kind's ProfileList: every operation goes through the list file, and the combo is
// refilled from it afterwards, so item i always shows entry i.
#pragma once

#include <QFileSystemWatcher>
#include <QPointer>
#include <QString>
#include <QWidget>
#include <filesystem>
#include <functional>
#include <memory>

#include "platform/ui/file_dialog.h"
#include "platform/ui/window.h"
#include "profile/profile_list.h"
#include "profile/ui/app_bindings_wnd.h"

namespace velqa::profile {

class CDeviceProfileUI : public QWidget {
    Q_OBJECT

  public:
    static constexpr const char* kLayout = "XML\\CustomControlXML\\DeviceProfile.xml";
    static constexpr const char* kClassName = "CDeviceProfileUI";
    static constexpr const char* kFileFilter = "Profile Files(*.json)";

    // Import and export ask through these; tests answer them.
    using FileDialog = platform::ui::FileDialog;

    explicit CDeviceProfileUI(QWidget* parent = nullptr);
    ~CDeviceProfileUI() override;

    // The kind's profile folder and factory profile, and the page's device type (7: headset).
    // Nothing is read until load(). `sensors` give the DPI ranges an imported profile is held to.
    void set_kind(const std::filesystem::path& profile_folder,
                  const std::filesystem::path& default_file, int device_type,
                  SensorTable sensors = {});
    // Reads the list (rebuilding a missing or damaged one), fills the combo and selects
    // "profileselect".
    void load();
    // Refills the combo from the list file (another page of the kind changed it).
    void reload_list();
    // Another program (velqactl, a second window) changed the list file: refills the combo, and
    // applies the selected profile when the selection now names another one (it was selected
    // or deleted elsewhere), so the page never keeps writing a file that is no longer listed.
    // Nothing happens when the file is still the one last read or written here. Called by the
    // watcher on the kind's folder.
    void follow_list_file();

    // The notifications routed to the profile control: "click" of the operation buttons and of
    // "profile_fun_spread_btn", "itemselect" and "textchanged" of "device_profile_combo".
    // Notifications from controls outside this control are ignored.
    void on_notify(platform::ui::Notification& msg);
    // Applies the selected profile (the main window's timer after a combo selection): emits
    // profile_applied with its file.
    void apply_selected();

    // The operations behind the buttons, without confirmation.
    void select_profile(int index, bool notify);
    int current_selection() const;       // -1 without combo
    int profile_count_in_combo() const;  // -1 without combo
    int profile_count();                 // re-reads the list file
    std::filesystem::path profile_file_path(int index) const;
    QString current_uuid() const;
    void refresh_current_uuid();
    QString edited_name() const;  // the name typed into "device_profile_name_edit"
    void show_profile_menu(bool on);
    bool profile_menu_shown() const;
    bool create_profile();  // shows "message_text_32" at the limit
    bool delete_profile();  // applies the profile selected afterwards
    bool copy_profile();
    bool import_profile(const QString& path);  // a refused file is reported
    bool export_profile(int index, const QString& path);
    bool reset_profile();
    // 1 done; 0 another profile has the name (or no combo); 2 blank name; 3 control
    // characters in the name; -1 not written.
    int rename_profile(const QString& name);

    // Opens the editor of the selected profile's applications ("device_apps_btn").
    void open_app_bindings();
    // What the editor is told of the desktop's focus (nothing known until set).
    void set_focus_source(FocusSource focus) { focus_ = std::move(focus); }

    // Test seams: the dialogs default to the desktop's native file dialogs.
    void set_open_dialog(FileDialog dialog) { open_dialog_ = std::move(dialog); }
    void set_save_dialog(FileDialog dialog) { save_dialog_ = std::move(dialog); }

    const ProfileList* list() const { return list_.get(); }

  signals:
    // A profile became the one the device follows (selection applied, import, reset, the
    // selected profile deleted): the page reloads from this file and writes the device.
    void profile_applied(const QString& profile_file);
    // The list changed (entries added, removed or renamed): other pages of the kind refill.
    void list_changed();

  private:
    QWidget* part(const char* name) const;
    void watch_list_file();
    void fill_combo();
    bool confirmed(const char* text_id);
    void notice(const char* text_id);
    void update_save_button();
    void on_rename_requested();

    std::unique_ptr<ProfileList> list_;
    QFileSystemWatcher watcher_;
    int device_type_ = 0;
    QString current_uuid_;
    FileDialog open_dialog_;
    FileDialog save_dialog_;
    FocusSource focus_;
};

// Registers CDeviceProfileUI with the control factory (replacing its placeholder).
void register_profile_controls();

}  // namespace velqa::profile
