// What a screen reader and a keyboard-only user get from the shipped layouts and theme: every
// control a user can use has a name in the current language and the role of its kind, and the
// theme's texts and focus rings can be told from the surfaces they sit on.
#include <QAccessible>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QSlider>
#include <cmath>
#include <memory>

#include "app/main_wnd.h"
#include "app_fixture.h"
#include "platform/ui/accessibility.h"
#include "platform/ui/color_palette.h"
#include "platform/ui/controls.h"
#include "platform/ui/layout_builder.h"

namespace velqa::test {
namespace {

namespace fs = std::filesystem;
namespace pui = platform::ui;

class ProbeMainWnd : public app::CMainWnd {
  public:
    explicit ProbeMainWnd(fs::path dd)
        : CMainWnd(std::move(dd), {}, platform::SettingsStore("/dev/null/x")) {}
    using CMainWnd::create_control;
};

QAccessible::Role expected_role(const QWidget* w) {
    if (qobject_cast<const QCheckBox*>(w) != nullptr)
        return QAccessible::CheckBox;
    if (qobject_cast<const QRadioButton*>(w) != nullptr)
        return QAccessible::RadioButton;
    if (auto* b = qobject_cast<const QAbstractButton*>(w); b != nullptr && b->isCheckable())
        return w->property(pui::kGroupProperty).toString().isEmpty() ? QAccessible::CheckBox
                                                                     : QAccessible::RadioButton;
    if (qobject_cast<const QAbstractButton*>(w) != nullptr)
        return QAccessible::Button;
    if (qobject_cast<const QSlider*>(w) != nullptr)
        return QAccessible::Slider;
    if (qobject_cast<const QComboBox*>(w) != nullptr)
        return QAccessible::ComboBox;
    if (qobject_cast<const QLineEdit*>(w) != nullptr)
        return QAccessible::EditableText;
    if (qobject_cast<const QListWidget*>(w) != nullptr)
        return QAccessible::List;
    if (qobject_cast<const pui::ColorPalette*>(w) != nullptr)
        return QAccessible::ColorChooser;
    return QAccessible::Button;  // a key hot spot on the mouse picture
}

// Every layout in both languages, built once and switched as the window switches: a name that
// came from a language text follows the switch.
TEST_F(AppTest, EveryUserControlHasANameAndRoleInBothLanguages) {
    ProbeMainWnd probe(factory());
    std::vector<std::pair<QString, std::unique_ptr<QWidget>>> roots;
    for (const auto& e : fs::recursive_directory_iterator(source_dir() / "skin" / "XML")) {
        if (!e.is_regular_file() || e.path().extension() != ".xml" ||
            e.path().parent_path().filename() == "Menus")
            continue;
        const QString relative =
            QString::fromStdString(fs::relative(e.path(), source_dir() / "skin").string());
        pui::LayoutBuilder builder([&](const QString& cls) { return probe.create_control(cls); });
        std::unique_ptr<QWidget> root(builder.create(relative));
        ASSERT_NE(root, nullptr) << relative.toStdString();
        pui::Window::find_sub_control_by_name(root.get(), QStringLiteral("-"));  // deferred parts
        roots.emplace_back(relative, std::move(root));
    }
    std::map<QString, QString> english;  // "layout/control" -> its name in English
    for (const char* language : {"lan_en.xml", "lan_cn.xml"}) {
        auto& texts = pui::LanguageTexts::instance();
        ASSERT_TRUE(texts.load_language(QString::fromLatin1(language)));
        int checked = 0;
        int from_ids = 0;
        for (auto& [layout, root] : roots) {
            QList<QWidget*> all = root->findChildren<QWidget*>();
            for (QWidget* w : all) {
                if (const QString id = pui::text_id(w); !id.isEmpty())
                    pui::set_text_id(w, id);
                if (const QString tip = w->property(pui::kToolTipIdProperty).toString();
                    !tip.isEmpty())
                    pui::set_tool_tip_id(w, tip);
            }
            pui::describe_controls(root.get());
            for (QWidget* w : all) {
                // The settings window's rows show the device's name, which it sets itself.
                if (!pui::is_user_control(w) || w->objectName() == u"check_name_select")
                    continue;
                ++checked;
                const std::string where =
                    layout.toStdString() + ": " + w->objectName().toStdString();
                QAccessibleInterface* a = QAccessible::queryAccessibleInterface(w);
                ASSERT_NE(a, nullptr) << where;
                const QString name = a->text(QAccessible::Name).trimmed();
                EXPECT_FALSE(name.isEmpty()) << language << " " << where << " has no name";
                EXPECT_EQ(a->role(), expected_role(w)) << where;
                if (w->focusPolicy() == Qt::NoFocus)
                    ADD_FAILURE() << where << " cannot take the keyboard focus";
                const QString id = w->property(pui::kAccessibleNameIdProperty).toString();
                if (id.isEmpty())
                    continue;
                ++from_ids;
                const QString key = layout + "/" + w->objectName();
                if (english.count(key) == 0)
                    english[key] = name;
                else
                    EXPECT_NE(english[key], name) << where << " kept its English name";
            }
        }
        EXPECT_GT(checked, 300) << language;
        EXPECT_GT(from_ids, 20) << language;
    }
}

// Numbered controls read their number: the second DPI stage is stage 2, not stage 1.
TEST_F(AppTest, NumberedControlsAreNamedWithTheirNumber) {
    ProbeMainWnd probe(factory());
    ASSERT_TRUE(pui::LanguageTexts::instance().load_language(QStringLiteral("lan_en.xml")));
    pui::LayoutBuilder builder([&](const QString& cls) { return probe.create_control(cls); });
    std::unique_ptr<QWidget> page(builder.create(QStringLiteral("XML/DeviceXml/mousedevice.xml")));
    ASSERT_NE(page, nullptr);
    pui::describe_controls(page.get());
    auto* slider = page->findChild<QSlider*>(QStringLiteral("DPI_slider_1"));
    ASSERT_NE(slider, nullptr);
    EXPECT_TRUE(pui::accessible_name(slider).contains(QLatin1String("2")))
        << pui::accessible_name(slider).toStdString();
    EXPECT_NE(pui::accessible_name(slider),
              pui::accessible_name(page->findChild<QSlider*>(QStringLiteral("DPI_slider_2"))));
}

// WCAG 2 relative luminance and contrast ratio.
double luminance(QColor c) {
    auto channel = [](double v) {
        return v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * channel(c.redF()) + 0.7152 * channel(c.greenF()) + 0.0722 * channel(c.blueF());
}
double contrast(QColor a, QColor b) {
    const double la = luminance(a);
    const double lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}
// A colour with alpha, as it shows over `under`.
QColor over(QColor c, QColor under) {
    const float a = c.alphaF();
    return QColor::fromRgbF(c.redF() * a + under.redF() * (1 - a),
                            c.greenF() * a + under.greenF() * (1 - a),
                            c.blueF() * a + under.blueF() * (1 - a));
}

struct Rule {
    QString selectors;
    std::map<QString, QString> values;
};

std::vector<Rule> read_sheet() {
    QFile file(QString::fromStdString((source_dir() / "skin" / "theme.qss").string()));
    EXPECT_TRUE(file.open(QIODevice::ReadOnly));
    QString sheet = QString::fromUtf8(file.readAll());
    sheet.remove(QRegularExpression(QStringLiteral("/\\*.*?\\*/"),
                                    QRegularExpression::DotMatchesEverythingOption));
    std::vector<Rule> rules;
    static const QRegularExpression rule(QStringLiteral("([^{}]+)\\{([^}]*)\\}"));
    for (auto it = rule.globalMatch(sheet); it.hasNext();) {
        const auto m = it.next();
        Rule r{m.captured(1).simplified(), {}};
        for (const QString& decl : m.captured(2).split(u';')) {
            const qsizetype colon = decl.indexOf(u':');
            if (colon > 0)
                r.values[decl.left(colon).trimmed()] = decl.mid(colon + 1).trimmed();
        }
        rules.push_back(r);
    }
    return rules;
}

// The colours a value names: a plain colour, rgba(), or each stop of a gradient.
std::vector<QColor> colours_in(const QString& value) {
    std::vector<QColor> out;
    static const QRegularExpression colour(
        QStringLiteral("#[0-9a-fA-F]{6}\\b|rgba?\\(\\s*(\\d+)\\s*,\\s*(\\d+)\\s*,\\s*(\\d+)"
                       "\\s*(?:,\\s*(\\d+))?\\s*\\)"));
    for (auto it = colour.globalMatch(value); it.hasNext();) {
        const auto m = it.next();
        if (m.captured(0).startsWith(u'#')) {
            out.emplace_back(m.captured(0));
        } else {
            out.emplace_back(m.captured(1).toInt(), m.captured(2).toInt(), m.captured(3).toInt(),
                             m.captured(4).isEmpty() ? 255 : m.captured(4).toInt());
        }
    }
    return out;
}

std::vector<QColor> background_of(const Rule& r) {
    for (const char* key : {"background", "background-color"}) {
        const auto it = r.values.find(QLatin1String(key));
        if (it != r.values.end())
            return colours_in(it->second);
    }
    return {};
}

// Every text colour of the theme is readable (4.5:1) on its own background, or, where it sets
// none, on every surface a window or card paints; every focus ring stands out (3:1) from them.
// Disabled controls are exempt, as the guideline exempts them.
TEST_F(AppTest, ThemeTextAndFocusRingsMeetContrastMinimums) {
    const std::vector<Rule> rules = read_sheet();
    ASSERT_GT(rules.size(), 50u);
    // The surfaces text lies on.
    const QStringList surface_selectors = {
        "#MainWnd, #MsgWnd",  "#root",        "#caption_bar",        "QWidget[role=\"card\"]",
        "#msg_root",          "#pallet_root", "#setwnd_root",        "#update_list_box",
        "#tab_header_device", "#status_bar",  "#device_power_Layout"};
    std::vector<QColor> surfaces;
    for (const Rule& r : rules) {
        if (surface_selectors.contains(r.selectors)) {
            for (const QColor& c : background_of(r))
                surfaces.push_back(c);
        }
    }
    ASSERT_GE(surfaces.size(), surface_selectors.size());
    int texts = 0;
    int rings = 0;
    for (const Rule& r : rules) {
        if (r.selectors.contains(QLatin1String(":disabled")))
            continue;
        std::vector<QColor> own = background_of(r);
        std::erase_if(own, [](const QColor& c) { return c.alpha() == 0; });
        const std::vector<QColor>& behind = own.empty() ? surfaces : own;
        if (const auto it = r.values.find(QStringLiteral("color")); it != r.values.end()) {
            for (const QColor& text : colours_in(it->second)) {
                for (const QColor& bg : behind) {
                    ++texts;
                    EXPECT_GE(contrast(text, over(bg, surfaces.front())), 4.5)
                        << r.selectors.toStdString() << ": " << text.name().toStdString() << " on "
                        << bg.name().toStdString();
                }
            }
        }
        if (!r.selectors.contains(QLatin1String(":focus")))
            continue;
        for (const char* key : {"border", "border-color"}) {
            const auto it = r.values.find(QLatin1String(key));
            if (it == r.values.end())
                continue;
            for (const QColor& ring : colours_in(it->second)) {
                for (const QColor& bg : surfaces) {
                    ++rings;
                    EXPECT_GE(contrast(ring, bg), 3.0)
                        << r.selectors.toStdString() << ": ring " << ring.name().toStdString()
                        << " on " << bg.name().toStdString();
                }
            }
        }
    }
    EXPECT_GT(texts, 100);
    EXPECT_GT(rings, 10);
}

}  // namespace
}  // namespace velqa::test
