// The colour picker: a palette, red/green/blue and hex edits, preset colours and the user's saved
// colours. Opened modally over the main window; at most one is open at a time.
#pragma once

#include <QColor>
#include <cstdint>
#include <filesystem>
#include <vector>

#include "platform/ui/window.h"

namespace velqa::ui {

// Where the saved colours live: the user's file and its factory copy.
struct PalletFiles {
    std::filesystem::path user_data;     // the user data folder
    std::filesystem::path default_data;  // DefaultData beside the program
};

inline constexpr char kSavedColorsFile[] = "color_option_info.config";
// Number of preset and of saved colour buttons in the layout.
inline constexpr int kPresetColors = 12;
inline constexpr int kSavedColors = 12;

// The saved colours (0xRRGGBB, most recent first, at most kSavedColors): the user's file, else the
// factory copy, else none. Entries that are not objects are skipped; channels are clamped.
std::vector<std::uint32_t> load_saved_colors(const PalletFiles& files);
// Puts `rgb` first (dropping an equal entry and the oldest beyond kSavedColors) and writes the
// list to the user's file atomically. False when the file could not be written; the old file
// then stays as it was.
bool save_color(const PalletFiles& files, std::uint32_t rgb, std::vector<std::uint32_t>& colors);

// A channel typed into an edit: digits only count, empty, negative or garbage is 0, anything
// above 255 is 255.
int clamp_channel_text(const QString& text);

class PalletDialog : public platform::ui::Window {
    Q_OBJECT

  public:
    PalletDialog(QWidget* owner, PalletFiles files, std::uint32_t initial_rgb);

    QString skin_file() const override { return QStringLiteral("PalletDialog.xml"); }
    QString window_class_name() const override { return QStringLiteral("PalletDialog"); }
    QString title_text_id() const override { return QStringLiteral("window_title_colour_text"); }

    // The colour shown now, 0xRRGGBB.
    std::uint32_t color() const;
    void set_color(std::uint32_t rgb);

  protected:
    void init_window() override;
    void notify(platform::ui::Notification& msg) override;

  private:
    void commit_edit(QWidget* edit);
    void show_color(const QColor& color, QWidget* skip_edit);
    void show_saved();

    PalletFiles files_;
    QColor color_;
    std::vector<std::uint32_t> saved_;
};

// Opens the picker modally over `owner` at `dpi` with `initial_rgb` shown. Returns 1 and sets
// `chosen` (0x00RRGGBB) when the user confirms; 0 when cancelled or closed, and 0 at once when a
// picker is already open.
int show_pallet_dialog(QWidget* owner, int dpi, std::uint32_t initial_rgb, const PalletFiles& files,
                       std::uint32_t& chosen);
// True while a picker is open.
bool pallet_dialog_open();

}  // namespace velqa::ui
