// The macro editor of a device page: the list of the kind's macros with new, rename, delete,
// import and export; the event list of the selected macro with its row operations, inserted
// mouse steps and moves; and recording from live input in four placements. Every change to the
// event list is written to the macro's file at once (delay edits when saved). The main window
// routes the editor's notifications to on_notify, its menu commands to on_menu_command and the
// captured input to keyboard_event / mouse_event; it starts and stops the capture itself when
// recording_started / recording_stopped arrive.
#pragma once

#include <QPointer>
#include <QString>
#include <QTimer>
#include <QWidget>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "macro/macro_files.h"
#include "macro/macro_recorder.h"
#include "platform/input/input_capture.h"
#include "platform/ui/file_dialog.h"
#include "platform/ui/window.h"

namespace velqa::macro {

// What deleting a macro does to the key assignments, which live with the device's profiles.
struct MacroReferences {
    // True when a key of the current profile is assigned macro `index`.
    std::function<bool(int)> current_profile_uses;
    // Over every profile: keys on macro `index` take their default assignment, keys on a later
    // macro follow it down by one; changed profiles are stored. True when the current
    // profile's key list changed.
    std::function<bool(int)> fix_profiles;
};

class CMacroControlUI : public QWidget {
    Q_OBJECT

  public:
    static constexpr const char* kLayout = "XML\\CustomControlXML\\MacroControl.xml";
    static constexpr const char* kClassName = "MacroControl";
    static constexpr const char* kMenu = "XML\\Menus\\macro_action_menu.xml";
    static constexpr const char* kFileFilter = "Macro Files(*.mac)";
    static constexpr int kScrollTimer = 4101;
    static constexpr int kScrollDelayMs = 50;
    static constexpr int kRowHeight = 30;
    // Import and export ask through these; tests answer them.
    using FileDialog = platform::ui::FileDialog;

    explicit CMacroControlUI(QWidget* parent = nullptr);
    ~CMacroControlUI() override;

    // The folder of "macro.config" and the ".mac" files. Nothing is read until load_macro_list.
    void set_macro_folder(const std::filesystem::path& folder);
    // Reads the list into "macro_name_list" and selects row 0 when there is one (no selection,
    // and the event controls disabled, when there is none).
    void load_macro_list();
    const MacroLibrary& library() const { return library_; }
    std::vector<std::string> macro_names() const { return library_.names(); }

    // A notification routed to the macro editor; notifications of controls outside it and of
    // types it does not handle are ignored.
    void on_notify(platform::ui::Notification& msg);
    // An item of the event-list menu.
    void on_menu_command(const QString& item);

    // Captured input while recording: `hook_mode` 4 append, 8 insert before, 16 insert after,
    // 32 replace. Ignored when not recording or for any other mode.
    void keyboard_event(int hook_mode, const platform::input::CapturedEvent& e);
    void mouse_event(int hook_mode, const platform::input::CapturedEvent& e);
    // Ends a recording (the Stop button, or the page's device goes away): restores the
    // controls, emits recording_stopped and saves the events. Harmless when idle.
    void stop_recording();
    bool recording() const { return recording_; }
    int hook_mode() const { return hook_mode_; }

    // One line about the capture (the Wayland fallback); empty hides it.
    void set_capture_note(const QString& line);
    void set_references(MacroReferences refs) { refs_ = std::move(refs); }
    // The recorder's clock (milliseconds); empty: the steady clock.
    void set_clock(std::function<std::uint32_t()> clock) { recorder_.set_clock(std::move(clock)); }
    // Test seams: the dialogs default to the desktop's native file dialogs.
    void set_open_dialog(FileDialog dialog) { open_dialog_ = std::move(dialog); }
    void set_save_dialog(FileDialog dialog) { save_dialog_ = std::move(dialog); }

    // The selected macro and event row, -1 for none.
    int selected_macro() const;
    int selected_row() const;
    // Selects a macro and loads its events (-1: none).
    void select_macro(int index);
    // The event rows as shown, delays as their edits hold them.
    std::vector<MacroEvent> shown_events() const;
    std::uint16_t constant_delay() const { return recorder_.constant_delay(); }

    // The editor's control of a name (found on first use and remembered), or nullptr.
    QWidget* control(const QString& name) const;
    // The row widget "macro_action" of event row `i` (built now if it was not yet), or nullptr.
    QWidget* row_widget(int i) const;
    // How many event rows have their widgets: those scrolled into view so far, and those asked
    // for by row_widget.
    int built_rows() const;

  signals:
    void recording_started(int hook_mode);
    void recording_stopped();
    void macro_added(const QString& name);
    void macro_renamed(int index, const QString& name);
    void macro_deleted(int index, bool current_profile_changed);

  private:
    void fill_names();
    bool shows_library(int change, int at) const;
    QWidget* control(const char* name) const { return control(QString::fromLatin1(name)); }
    bool confirmed(const char* text_id);
    void notice(const char* text_id);
    void set_event_controls_enabled(bool on);

    // Event rows.
    void sync_from_edits();
    void rebuild_rows();
    QWidget* make_row(const MacroEvent& e);
    void show_event(QWidget* row, const MacroEvent& e);
    // A row for a new event at `at` (its widget is built once it is in view).
    void insert_row(int at);
    // Rows are built when they scroll into view: a macro of 250 steps shows at once.
    bool eventFilter(QObject* watched, QEvent* event) override;
    // The widget of row `i` when it has been built, else nullptr; builds nothing.
    QWidget* built_row(int i) const;
    QWidget* build_row(int i);
    void build_visible_rows();
    void select_row(int row);
    void scroll_to_selection();
    void delay_edited(QWidget* edit);

    // Operations.
    void new_macro();
    void show_added_macro(const MacroResult& r);
    void rename_macro();
    void delete_macro();
    void import_macro();
    void export_macro();
    bool save_events();
    void move_selected(RowMove move);
    void delete_selected_row();
    void delete_all_rows();
    void insert_events(const std::vector<MacroEvent>& events);
    void insert_move(MoveDirection direction, const char* edit);
    void read_constant_delay();
    void start_recording(DelayMode mode, int hook_mode);
    DelayMode checked_delay_mode() const;
    void apply(const RecordChange& change, int selected);
    bool on_stop_button(int root_x, int root_y) const;

    MacroLibrary library_;
    MacroRecorder recorder_;
    MacroReferences refs_;
    std::vector<MacroEvent> events_;  // the rows; delays as last read from the edits
    bool recording_ = false;
    int hook_mode_ = 0;
    bool list_full_check_ = false;
    QString last_import_path_;
    FileDialog open_dialog_;
    FileDialog save_dialog_;
    QTimer scroll_timer_;
    platform::ui::ControlCache controls_;
};

// Registers CMacroControlUI with the control factory (replacing its placeholder).
void register_macro_controls();

}  // namespace velqa::macro
