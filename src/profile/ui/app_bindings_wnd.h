// The editor of one profile's applications: the ids bound to it, adding the application that
// last had the focus or a typed id, removing one, and marking the profile as the kind's default.
// Every change goes to the bindings file at once, so closing the window loses nothing.
#pragma once

#include <QString>
#include <QStringList>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/ui/window.h"
#include "profile/app_bindings.h"
#include "profile/profile_list.h"

namespace velqa::profile {

// What the window knows of the desktop's focus.
struct FocusSource {
    // The application that last had the focus (other than ours); empty when none is known.
    std::function<std::string()> last_focused;
    // Empty when this desktop lets us follow the focus; otherwise why not, one sentence. The
    // bindings can still be prepared.
    std::string unavailable_reason;
};

class AppBindingsWnd : public platform::ui::Window {
    Q_OBJECT

  public:
    // `profile`: the profile edited; `profiles`: the kind's list, to name the profile an
    // application moves from.
    AppBindingsWnd(QWidget* owner, std::filesystem::path profile_folder, ProfileEntry profile,
                   std::vector<ProfileEntry> profiles, FocusSource focus);

    QString skin_file() const override { return QStringLiteral("XML\\appbindings.xml"); }
    QString window_class_name() const override { return QStringLiteral("AppBindingsWnd"); }
    QString title_text_id() const override {
        return QStringLiteral("window_title_app_bindings_text");
    }

    // The window answers every control of its layout itself.
    static bool owns(std::string_view type, std::string_view name);

    // What the buttons do; false (with the reason shown in the window) when nothing changed.
    bool add_app(const QString& app_id);
    bool add_focused();
    bool remove_selected();
    bool set_default(bool on);
    // The ids shown, in the list's order.
    QStringList shown_apps() const;

  protected:
    void init_window() override;
    void notify(platform::ui::Notification& msg) override;

  private:
    QWidget* part(const char* name) const;
    // Re-reads the file and shows what it holds.
    void refresh();
    void update_buttons();
    bool done(const BindingResult& r);
    void say(const QString& text, bool error);

    AppBindings bindings_;
    ProfileEntry profile_;
    std::vector<ProfileEntry> profiles_;
    FocusSource focus_;
};

// Opens the editor modally over `owner` at `dpi`; returns when it is closed.
void show_app_bindings(QWidget* owner, int dpi, const std::filesystem::path& profile_folder,
                       const ProfileEntry& profile, const std::vector<ProfileEntry>& profiles,
                       const FocusSource& focus);

}  // namespace velqa::profile
