// The shooting-pattern editor of the mouse page: four guns of 30 bullets each, one bullet edited
// at a time, the gun's recoil pattern drawn as a path of steps. Every change goes to the gun's
// pattern file at once (through ShootPatterns); writing the patterns to the mouse is the page's
// job (download_requested), since the page owns the command channel.
#pragma once

#include <QPointer>
#include <QString>
#include <QWidget>
#include <array>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <vector>

#include "macro/shoot_data.h"
#include "platform/ui/file_dialog.h"
#include "platform/ui/window.h"

namespace velqa::macro {

// A gun's pattern as a gamer reads it: the cumulative path of the bullets' steps from the start
// (x to the right, y downwards), scaled to fit, each bullet a dot, the selected one highlighted.
// A click on a dot selects that bullet.
class ShootPatternView : public QWidget {
    Q_OBJECT

  public:
    explicit ShootPatternView(QWidget* parent = nullptr);

    void set_bullets(std::vector<Bullet> bullets);
    const std::vector<Bullet>& bullets() const { return bullets_; }
    // -1: none.
    void set_selected(int bullet);
    int selected() const { return selected_; }

    // Where bullet `bullet`'s dot is drawn in the widget's current size (the path point after
    // its step); nothing for a bullet outside the pattern.
    std::optional<QPointF> dot_position(int bullet) const;
    // The bullet whose dot is nearest to `point` within the hit radius, else -1.
    int bullet_at(const QPointF& point) const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

  signals:
    void bullet_clicked(int bullet);

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;

  private:
    struct Geometry {
        double scale = 1;
        QPointF origin;  // widget position of the start
    };
    Geometry geometry() const;
    // Path points in steps: [0] the start, [b + 1] after bullet b.
    std::vector<QPointF> path() const;

    std::vector<Bullet> bullets_;
    int selected_ = -1;
    int hovered_ = -1;
};

class CShootControlUI : public QWidget {
    Q_OBJECT

  public:
    static constexpr const char* kLayout = "XML\\CustomControlXML\\ShootControl.xml";
    static constexpr const char* kClassName = "ShootControl";
    static constexpr const char* kFileFilter = "Shoot Files(*.shoot)";
    // Import and export ask through these; tests answer them.
    using FileDialog = platform::ui::FileDialog;

    explicit CShootControlUI(QWidget* parent = nullptr);
    ~CShootControlUI() override;

    // The device's data folder and the shipped defaults: restores every gun file that does not
    // read as JSON, then selects gun 0 and bullet 0 and shows it. A gun whose default is missing
    // too shows bullets of no steps.
    void set_folders(const std::filesystem::path& user, const std::filesystem::path& defaults);

    // A notification of one of the editor's controls (routed by the page); others are ignored.
    void on_notify(platform::ui::Notification& msg);

    int current_gun() const { return gun_; }
    // -1 until the folders are set.
    int current_bullet() const { return bullet_; }

    // Test seams: the dialogs default to the desktop's native file dialogs.
    void set_open_dialog(FileDialog dialog) { open_dialog_ = std::move(dialog); }
    void set_save_dialog(FileDialog dialog) { save_dialog_ = std::move(dialog); }

    // Without folders, patterns over empty paths (every operation fails, nothing is written).
    const ShootPatterns& patterns() const { return *patterns_; }

    // The editor's control of a name (found on first use and remembered), or nullptr.
    QWidget* control(const QString& name) const;
    // The view of a gun's page of "shoot_image_display_switch" (nullptr for no such gun).
    ShootPatternView* pattern_view(int gun) const;

    void select_gun(int gun);
    void select_bullet(int bullet);

  signals:
    // "shootdate_save_btn": the page writes the four patterns to the mouse
    // (download_shooting_patterns on its channel).
    void download_requested();
    // A gun's file changed (bullet saved, reset, import).
    void pattern_changed(int gun);

  private:
    QWidget* control(const char* name) const { return control(QString::fromLatin1(name)); }
    void show_bullet();
    // The bullet as the controls show it; step counts and delay are capped to their ranges.
    Bullet shown_bullet() const;
    void save_bullet();
    // Saves the shown bullet when it differs from the file, so that nothing typed or toggled
    // is lost when the user moves on without leaving the edit.
    void commit_pending();
    void update_labels();
    void refresh_view();
    void reset_gun();
    void import_pattern();
    void export_pattern();
    void notice(const char* text_id);
    void report(const ShootResult& result, const char* what);

    std::unique_ptr<ShootPatterns> patterns_;
    bool ready_ = false;
    int gun_ = 0;
    int bullet_ = -1;
    // The gun's bullets as last read from or written to its file.
    std::vector<Bullet> loaded_;
    std::array<ShootPatternView*, GunCount> views_{};
    FileDialog open_dialog_;
    FileDialog save_dialog_;
    platform::ui::ControlCache controls_;
};

// Registers CShootControlUI with the control factory (replacing its placeholder), so that the
// layout tag "ShootControl" builds the editor.
void register_shoot_controls();

}  // namespace velqa::macro
