#include "ui/pallet_dialog.h"

#include <json/json.h>
#include <QLineEdit>
#include <algorithm>

#include "platform/debug_output.h"
#include "platform/ui/color_palette.h"
#include "platform/ui/controls.h"
#include "profile/json_access.h"
#include "profile/profile_files.h"

namespace velqa::ui {
namespace pui = platform::ui;

namespace {

constexpr std::uint32_t kPresets[kPresetColors] = {0xFF0000, 0xFF6A00, 0xFFD200, 0x7CFF00,
                                                   0x00FF40, 0x00FFC8, 0x00C8FF, 0x0050FF,
                                                   0x6A00FF, 0xC800FF, 0xFF0080, 0xFFFFFF};

constexpr const char* kChannelEdits[] = {"pallet_edit_R", "pallet_edit_G", "pallet_edit_B"};

bool open_flag = false;

std::uint32_t rgb_of(const QColor& c) {
    return static_cast<std::uint32_t>(c.rgb()) & 0xFFFFFFu;
}

QColor color_of(std::uint32_t rgb) {
    return QColor(static_cast<int>((rgb >> 16) & 0xFF), static_cast<int>((rgb >> 8) & 0xFF),
                  static_cast<int>(rgb & 0xFF));
}

int channel(const Json::Value& entry, const char* name) {
    return static_cast<int>(
        std::clamp<std::int64_t>(profile::to_int(profile::member(entry, name)), 0, 255));
}

std::vector<std::uint32_t> colors_in(const Json::Value& doc) {
    std::vector<std::uint32_t> colors;
    const Json::Value& list = profile::member(doc, "ColorOption");
    if (!list.isArray())
        return colors;
    for (const Json::Value& entry : list) {
        if (!entry.isObject())
            continue;
        colors.push_back(static_cast<std::uint32_t>(
            channel(entry, "Red") << 16 | channel(entry, "Green") << 8 | channel(entry, "Blue")));
        if (colors.size() == static_cast<std::size_t>(kSavedColors))
            break;
    }
    return colors;
}

// "#12ab3F" or "12ab3F": six hex digits; false otherwise.
bool parse_hex_color(QString text, std::uint32_t& rgb) {
    text = text.trimmed();
    if (text.startsWith(QLatin1Char('#')))
        text.remove(0, 1);
    if (text.size() != 6)
        return false;
    bool ok = false;
    const uint v = text.toUInt(&ok, 16);
    if (!ok)
        return false;
    rgb = v;
    return true;
}

}  // namespace

std::vector<std::uint32_t> load_saved_colors(const PalletFiles& files) {
    std::error_code ec;
    const auto user = files.user_data / kSavedColorsFile;
    if (std::filesystem::exists(user, ec)) {
        const Json::Value doc = profile::read_json(user);
        if (profile::member(doc, "ColorOption").isArray())
            return colors_in(doc);
    }
    return colors_in(profile::read_json(files.default_data / kSavedColorsFile));
}

bool save_color(const PalletFiles& files, std::uint32_t rgb, std::vector<std::uint32_t>& colors) {
    rgb &= 0xFFFFFFu;
    std::vector<std::uint32_t> next{rgb};
    for (std::uint32_t c : colors) {
        if (c != rgb && next.size() < static_cast<std::size_t>(kSavedColors))
            next.push_back(c);
    }
    Json::Value doc(Json::objectValue);
    Json::Value& list = doc["ColorOption"] = Json::Value(Json::arrayValue);
    for (std::uint32_t c : next) {
        Json::Value entry(Json::objectValue);
        entry["Red"] = static_cast<int>((c >> 16) & 0xFF);
        entry["Green"] = static_cast<int>((c >> 8) & 0xFF);
        entry["Blue"] = static_cast<int>(c & 0xFF);
        list.append(entry);
    }
    std::error_code ec;
    std::filesystem::create_directories(files.user_data, ec);
    if (!profile::write_json_checked(doc, files.user_data / kSavedColorsFile))
        return false;
    colors = std::move(next);
    return true;
}

int clamp_channel_text(const QString& text) {
    if (text.trimmed().startsWith(QLatin1Char('-')))
        return 0;
    QString digits;
    for (QChar c : text) {
        if (c.isDigit() && c.unicode() < 128)
            digits += c;
    }
    // Long runs of digits are far above 255 anyway; cut them before they overflow.
    if (digits.size() > 4)
        return 255;
    return std::clamp(digits.toInt(), 0, 255);
}

PalletDialog::PalletDialog(QWidget* owner, PalletFiles files, std::uint32_t initial_rgb)
    : Window(owner), files_(std::move(files)), color_(color_of(initial_rgb)) {
    set_caption_height(48);
}

void PalletDialog::init_window() {
    for (const char* name : kChannelEdits) {
        QWidget* edit = find_control(QLatin1String(name));
        pui::set_number_only(edit, true);
        pui::set_max_length(edit, 3);
    }
    pui::set_max_length(find_control(QStringLiteral("pallet_edit_hex")), 7);
    for (int i = 0; i < kPresetColors; ++i) {
        QWidget* preset = find_control(QStringLiteral("pallet_preset_%1").arg(i));
        pui::set_bk_color(preset, 0xFF000000u | kPresets[i]);
        pui::set_tag(preset, kPresets[i]);
    }
    saved_ = load_saved_colors(files_);
    show_saved();
    show_color(color_, nullptr);
}

std::uint32_t PalletDialog::color() const {
    return rgb_of(color_);
}

void PalletDialog::set_color(std::uint32_t rgb) {
    show_color(color_of(rgb), nullptr);
}

void PalletDialog::show_color(const QColor& color, QWidget* skip_edit) {
    color_ = color;
    const int channels[] = {color.red(), color.green(), color.blue()};
    for (int i = 0; i < 3; ++i) {
        QWidget* edit = find_control(QLatin1String(kChannelEdits[i]));
        if (edit != nullptr && edit != skip_edit)
            pui::set_text(edit, QString::number(channels[i]));
    }
    QWidget* hex = find_control(QStringLiteral("pallet_edit_hex"));
    if (hex != nullptr && hex != skip_edit)
        pui::set_text(hex, color.name(QColor::HexRgb).toUpper());
    pui::set_bk_color(find_control(QStringLiteral("pallet_preview")), 0xFF000000u | rgb_of(color));
    if (auto* palette = find_control_as<pui::ColorPalette>(QStringLiteral("pallet_color_palette")))
        palette->set_select_color(color);
}

void PalletDialog::show_saved() {
    for (int i = 0; i < kSavedColors; ++i) {
        QWidget* slot = find_control(QStringLiteral("pallet_saved_%1").arg(i));
        if (slot == nullptr)
            continue;
        const bool used = static_cast<std::size_t>(i) < saved_.size();
        // An empty slot keeps the layout's look and picks nothing.
        pui::set_bk_color(slot, used ? 0xFF000000u | saved_[static_cast<std::size_t>(i)] : 0);
        slot->setEnabled(used);
        if (used)
            pui::set_tag(slot, saved_[static_cast<std::size_t>(i)]);
    }
}

void PalletDialog::commit_edit(QWidget* edit) {
    const QString name = edit->objectName();
    if (name == QLatin1String("pallet_edit_hex")) {
        std::uint32_t rgb = 0;
        if (parse_hex_color(pui::text(edit), rgb)) {
            show_color(color_of(rgb), nullptr);
        } else {
            show_color(color_, nullptr);  // not a colour: show the current one again
        }
        return;
    }
    show_color(color_, nullptr);
}

void PalletDialog::notify(pui::Notification& msg) {
    const QString name = msg.sender_name();
    if (msg.type == "click") {
        if (name == QLatin1String("closebtn") || name == QLatin1String("cancel_btn")) {
            close_window(0);
        } else if (name == QLatin1String("confirm_btn")) {
            // An edit still being typed in counts.
            if (QWidget* focused = focusWidget(); qobject_cast<QLineEdit*>(focused) != nullptr)
                commit_edit(focused);
            close_window(1);
        } else if (name.startsWith(QLatin1String("pallet_preset_")) ||
                   name.startsWith(QLatin1String("pallet_saved_"))) {
            show_color(color_of(static_cast<std::uint32_t>(pui::tag(msg.sender))), nullptr);
        } else if (name == QLatin1String("pallet_save_btn")) {
            if (!save_color(files_, rgb_of(color_), saved_))
                platform::debug_output("PalletDialog: the saved colours could not be written");
            show_saved();
        }
    } else if (msg.type == "colorchanged") {
        show_color(color_of(static_cast<std::uint32_t>(msg.wparam)), nullptr);
    } else if (msg.type == "textchanged") {
        for (int i = 0; i < 3; ++i) {
            if (name != QLatin1String(kChannelEdits[i]))
                continue;
            const int v = clamp_channel_text(pui::text(msg.sender));
            QColor c = color_;
            if (i == 0)
                c.setRed(v);
            if (i == 1)
                c.setGreen(v);
            if (i == 2)
                c.setBlue(v);
            show_color(c, msg.sender);
        }
        if (name == QLatin1String("pallet_edit_hex")) {
            std::uint32_t rgb = 0;
            if (parse_hex_color(pui::text(msg.sender), rgb))
                show_color(color_of(rgb), msg.sender);
        }
    } else if (msg.type == "killfocus" || msg.type == "return") {
        if (qobject_cast<QLineEdit*>(msg.sender) != nullptr)
            commit_edit(msg.sender);
    }
}

int show_pallet_dialog(QWidget* owner, int dpi, std::uint32_t initial_rgb, const PalletFiles& files,
                       std::uint32_t& chosen) {
    if (open_flag)
        return 0;
    open_flag = true;
    int result = 0;
    {
        PalletDialog dialog(owner, files, initial_rgb & 0xFFFFFFu);
        dialog.create(QStringLiteral("PalletDialog"), QSize(800, 572), true);
        if (pui::Window::is_valid_dpi(dpi))
            dialog.set_dpi(dpi);
        dialog.center_window();
        result = dialog.show_modal();
        if (result == 1)
            chosen = dialog.color();
    }
    open_flag = false;
    return result == 1 ? 1 : 0;
}

bool pallet_dialog_open() {
    return open_flag;
}

}  // namespace velqa::ui
