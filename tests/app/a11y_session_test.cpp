// The window as a screen reader and a keyboard-only user meet it, in a real session: a private
// Xvfb server, a private session bus with the AT-SPI bus at-spi2-core starts on it, the window
// over the in-process mouse. A pyatspi client reads the accessible tree over the bus; xdotool
// types into the window. Without them the cases skip.
#include <QAbstractButton>
#include <QAccessible>
#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLineEdit>
#include <QListWidget>
#include <QProcess>
#include <QSlider>
#include <cstdlib>
#include <set>
#include <string>

#include "app/main_wnd.h"
#include "app/recording_controller.h"
#include "app_fixture.h"
#include "device/link/codecs.h"
#include "device/model/ui/mouse_device.h"
#include "in_process_sim.h"
#include "macro/ui/macro_control.h"
#include "platform/ui/accessibility.h"
#include "platform/ui/color_palette.h"
#include "platform/ui/controls.h"
#include "ui/msg_wnd.h"

namespace velqa::test {
namespace {

namespace pui = platform::ui;
using app::CMainWnd;

// The AT-SPI role names a control of each kind may have: a checkable button is read as a check
// box, one of an option group as a radio button.
std::set<QString> atspi_roles(const QWidget* w) {
    if (qobject_cast<const QCheckBox*>(w) != nullptr)
        return {"check box"};
    if (auto* b = qobject_cast<const QAbstractButton*>(w); b != nullptr && b->isCheckable())
        return b->autoExclusive() ? std::set<QString>{"radio button"}
                                  : std::set<QString>{"check box", "toggle button"};
    if (qobject_cast<const QAbstractButton*>(w) != nullptr)
        return {"push button"};
    if (qobject_cast<const QSlider*>(w) != nullptr)
        return {"slider"};
    if (qobject_cast<const QComboBox*>(w) != nullptr)
        return {"combo box"};
    if (qobject_cast<const QLineEdit*>(w) != nullptr)
        return {"text", "entry"};
    if (qobject_cast<const QListWidget*>(w) != nullptr)
        return {"list", "list box"};
    if (qobject_cast<const pui::ColorPalette*>(w) != nullptr)
        return {"color chooser"};
    return {"push button"};
}

class A11ySessionTest : public AppTest {
  protected:
    void SetUp() override {
        AppTest::SetUp();
        const char* xvfb = std::getenv("VELQA_TEST_XVFB");
        const char* xdotool = std::getenv("VELQA_TEST_XDOTOOL");
        const char* dump = std::getenv("VELQA_TEST_ATSPI_DUMP");
        const char* python = std::getenv("VELQA_TEST_PYTHON");
        if (!xvfb || std::string(xvfb) != "1" || !xdotool || !dump || !python)
            GTEST_SKIP() << "needs xvfb-run, xdotool, a session bus and python3-pyatspi";
        xdotool_ = xdotool;
        dump_script_ = QString::fromLocal8Bit(dump);
        python_ = QString::fromLocal8Bit(python);
        sim = std::make_unique<sim::InProcessSim>(dir_ / "sim");
        ASSERT_TRUE(sim->started());
        sim->nodes().unplug(sim::Link::Receiver);
        sim->firmware().set_plugged(sim::Link::Receiver, false);
        wnd =
            std::make_unique<CMainWnd>(factory(), dir_ / "user", store(), nullptr, sim->backend());
        QObject::connect(wnd.get(), &CMainWnd::settled, [this] { settled = true; });
        ASSERT_TRUE(wnd->create("ZARN_VELQA_R260", QSize(1000, 640)));
        ASSERT_TRUE(wait_until([&] { return settled; }, 20000));
        ASSERT_FALSE(wnd->devices().mouse_pages().empty());
        page = wnd->devices().mouse_pages().front();
        wnd->show();
        wnd->activateWindow();
        ASSERT_TRUE(wait_until([&] { return wnd->isActiveWindow(); }, 20000));
    }
    void TearDown() override {
        wnd.reset();
        sim.reset();
        AppTest::TearDown();
    }

    // The window's accessible tree as the AT-SPI client reads it. The window keeps answering
    // the client's calls while it waits.
    QJsonArray read_tree() {
        QProcess client;
        client.start(python_,
                     {dump_script_, QString::number(QCoreApplication::applicationPid()), "60"});
        EXPECT_TRUE(wait_until([&] { return client.state() == QProcess::NotRunning; }, 120000));
        const QByteArray err = client.readAllStandardError();
        EXPECT_EQ(client.exitCode(), 0) << err.toStdString();
        return QJsonDocument::fromJson(client.readAllStandardOutput()).array();
    }

    // Presses keys in the focused window, as a keyboard does, and lets the window take them.
    void keys(const std::string& args) {
        ASSERT_EQ(std::system((xdotool_ + " key --delay 20 " + args).c_str()), 0) << args;
    }

    // Visible user controls of the shown page, in the window.
    std::vector<QWidget*> shown_controls() const {
        std::vector<QWidget*> out;
        for (QWidget* w : wnd->findChildren<QWidget*>()) {
            if (pui::is_user_control(w) && w->isVisible() && w->isEnabled() &&
                !w->visibleRegion().isEmpty())
                out.push_back(w);
        }
        return out;
    }

    std::string xdotool_;
    QString dump_script_;
    QString python_;
    std::unique_ptr<sim::InProcessSim> sim;
    std::unique_ptr<CMainWnd> wnd;
    model::CZentovaMouseDevice* page = nullptr;
    bool settled = false;
};

// Every control of the Performance tab is on the bus with its name and role, in English and in
// Chinese; the sliders' values and the check boxes' states read as shown.
TEST_F(A11ySessionTest, AScreenReaderReadsEveryControlInBothLanguages) {
    for (int language : {0, 1}) {
        wnd->apply_language(language);
        ASSERT_EQ(wnd->language_index(), language);
        QCoreApplication::processEvents();
        const QJsonArray tree = read_tree();
        ASSERT_GT(tree.size(), 50) << "language " << language;
        std::vector<bool> used(static_cast<std::size_t>(tree.size()), false);
        const std::vector<QWidget*> controls = shown_controls();
        ASSERT_GT(controls.size(), 30u);
        for (QWidget* w : controls) {
            const QString name =
                QAccessible::queryAccessibleInterface(w)->text(QAccessible::Name).trimmed();
            const std::string where = w->objectName().toStdString() + " \"" + name.toStdString() +
                                      "\" (language " + std::to_string(language) + ")";
            ASSERT_FALSE(name.isEmpty()) << where;
            const std::set<QString> roles = atspi_roles(w);
            qsizetype found = -1;
            for (qsizetype i = 0; i < tree.size() && found < 0; ++i) {
                const QJsonObject o = tree[i].toObject();
                if (!used[static_cast<std::size_t>(i)] && o["name"].toString().trimmed() == name &&
                    roles.count(o["role"].toString()) != 0)
                    found = i;
            }
            ASSERT_GE(found, 0) << where << " is not on the accessibility bus";
            used[static_cast<std::size_t>(found)] = true;
            const QJsonObject o = tree[found].toObject();
            if (auto* slider = qobject_cast<QSlider*>(w)) {
                EXPECT_EQ(o["value"].toDouble(), slider->value()) << where;
            }
            if (auto* check = qobject_cast<QCheckBox*>(w)) {
                EXPECT_EQ(o["checked"].toBool(), check->isChecked()) << where;
            }
        }
        // Nothing a user can act on is left unnamed, whatever the page built it from.
        const std::set<QString> acting = {"push button",  "toggle button", "check box",
                                          "radio button", "slider",        "combo box",
                                          "page tab"};
        for (const auto& v : tree) {
            const QJsonObject o = v.toObject();
            if (o["showing"].toBool() && acting.count(o["role"].toString()) != 0) {
                EXPECT_FALSE(o["name"].toString().trimmed().isEmpty())
                    << o["role"].toString().toStdString() << " without a name";
            }
        }
    }
}

// A notice is an alert, which a screen reader speaks as it opens: the message is on the bus as
// the alert's description. Escape closes it as its cancel button does.
TEST_F(A11ySessionTest, ANoticeIsAnAlertAndEscapeClosesIt) {
    QJsonArray tree;
    pui::Window::set_modal_test_hook([&](pui::Window& box) {
        EXPECT_TRUE(wait_until([&] { return box.isActiveWindow(); }));
        tree = read_tree();
        keys("Escape");
    });
    const QString id = QStringLiteral("message_text_22");
    EXPECT_EQ(ui::show_message(wnd.get(), QString(), id, wnd->dpi(), 1, 1), 0);
    const QString text = pui::LanguageTexts::instance().text(id);
    EXPECT_TRUE(std::any_of(tree.begin(), tree.end(),
                            [&](const QJsonValue& v) {
                                return v.toObject()["role"].toString() == u"alert" &&
                                       v.toObject()["description"].toString() == text;
                            }))
        << "no alert reads \"" << text.toStdString() << "\"";
}

// Tab reaches every control of every tab, Ctrl+Tab changes tabs, and typing alone changes a DPI
// stage and the polling rate in the mouse.
TEST_F(A11ySessionTest, TheKeyboardAloneReachesEveryControlAndChangesTheMouse) {
    std::vector<QWidget*> reached;
    QObject guard;  // the connection ends with the test
    QObject::connect(qApp, &QApplication::focusChanged, &guard,
                     [&reached](QWidget*, QWidget* now) { reached.push_back(now); });
    auto record = [&] {
        const auto memory = sim->firmware().settings_memory();
        link::MouseSettingsRecord r;
        std::copy_n(memory.begin() + memory[0] * link::MouseSlotStride, r.bytes.size(),
                    r.bytes.begin());
        return link::decode_mouse_settings(r, {});
    };
    const int active_stage = record().active_stage;
    // Every tab of the window, by Ctrl+Tab; on each, Tab visits every control.
    for (int tab = 0; tab < 5; ++tab) {
        if (tab > 0) {
            keys("ctrl+Tab");
            ASSERT_TRUE(wait_until([&] {
                return pui::is_selected(wnd->tab_button(static_cast<CMainWnd::Tab>(tab)));
            })) << "Ctrl+Tab to tab "
                << tab;
        }
        const std::vector<QWidget*> controls = shown_controls();
        reached.clear();
        // Twice round each way: the ring also holds controls scrolled out of sight, and a
        // control that is off while the focus passes one way (the active DPI stage's switch,
        // while its field has the focus) is met the other way.
        const std::size_t presses = 2 * controls.size() + 20;
        for (const char* key : {" Tab", " shift+Tab"}) {
            std::string tabs;
            for (std::size_t i = 0; i < presses; ++i)
                tabs += key;
            const std::size_t before = reached.size();
            keys(tabs);
            ASSERT_TRUE(wait_until([&] { return reached.size() >= before + presses; }, 60000))
                << "tab " << tab << ": focus moved " << reached.size() - before << " times for "
                << presses << " presses of" << key;
        }
        // Tab stops once in an option group, at its chosen option; the arrows reach the rest.
        auto met = [&reached](QWidget* w) {
            auto* b = qobject_cast<QAbstractButton*>(w);
            const QList<QAbstractButton*> group = b != nullptr && b->group() != nullptr
                                                      ? b->group()->buttons()
                                                      : QList<QAbstractButton*>{b};
            return std::any_of(reached.begin(), reached.end(), [&](QWidget* r) {
                return r == w || (b != nullptr && group.contains(r));
            });
        };
        for (QWidget* w : controls) {
            if (w->focusPolicy() & Qt::TabFocus) {
                EXPECT_TRUE(met(w))
                    << "tab " << tab << ": Tab never reaches " << w->objectName().toStdString();
            }
        }
    }
    keys("ctrl+Tab");  // from the last tab round to the first
    ASSERT_TRUE(
        wait_until([&] { return pui::is_selected(wnd->tab_button(CMainWnd::kPerformanceTab)); }));
    // Walking the window pressed nothing: no recording started, no macro made, and the DPI
    // fields the focus passed through left the active stage as it was.
    EXPECT_FALSE(wnd->recorder().recording());
    EXPECT_EQ(record().active_stage, active_stage);
    ASSERT_NE(page->macro_editor(), nullptr);
    EXPECT_EQ(page->macro_editor()->library().size(), 0);

    // Tab to a control, one key at a time.
    auto tab_to = [&](const QString& name) {
        for (int i = 0; i < 200; ++i) {
            QWidget* at = QApplication::focusWidget();
            if (at != nullptr && at->objectName() == name)
                return true;
            reached.clear();
            keys("Tab");
            if (!wait_until([&] { return !reached.empty(); }, 10000))
                return false;
        }
        return false;
    };

    // A DPI stage typed in.
    ASSERT_TRUE(tab_to(QStringLiteral("DPI_edit_1")));
    keys("ctrl+a 1 6 5 0 Return");
    EXPECT_TRUE(wait_until([&] { return record().stages[1].dpi_x == 1650; }, 20000))
        << record().stages[1].dpi_x;

    // A polling rate picked with the arrows in its group.
    const int rate = record().report_select_usb;
    QString current;
    for (int n = 0; n < 6; ++n) {
        if (pui::is_selected(page->find(pui::numbered("polling_rate_option_", n))))
            current = pui::numbered("polling_rate_option_", n);
    }
    ASSERT_FALSE(current.isEmpty());
    // The options where the page shows them, else the slider that stands for them.
    ASSERT_TRUE(
        tab_to(page->find(current)->isVisible() ? current : QStringLiteral("polling_rate_slider")));
    keys(rate == 0 ? "Right" : "Left");
    EXPECT_TRUE(wait_until([&] { return record().report_select_usb != rate; }, 20000));

    // A button assigned: on the Buttons tab, the fourth button of the picture takes another
    // mouse function, is saved, and the Buttons tab writes it to the mouse.
    keys("ctrl+Tab");
    ASSERT_TRUE(wait_until([&] { return pui::is_selected(wnd->tab_button(CMainWnd::kKeyTab)); }));
    const std::vector<std::uint8_t> before = sim->firmware().key_table();
    ASSERT_TRUE(tab_to(QStringLiteral("key_3")));
    keys("Return");
    ASSERT_TRUE(tab_to(QStringLiteral("keyset_mousekey_combo")));
    QWidget* functions = QApplication::focusWidget();
    const int function = pui::current_item(functions);
    keys(function + 1 < pui::item_count(functions) ? "Down" : "Up");
    ASSERT_TRUE(wait_until([&] { return pui::current_item(functions) != function; }));
    ASSERT_TRUE(tab_to(QStringLiteral("key_butt_keysave")));
    keys("Return");
    ASSERT_TRUE(tab_to(QStringLiteral("key_butt_prosave")));
    keys("Return");
    EXPECT_TRUE(wait_until([&] { return sim->firmware().key_table() != before; }, 20000));
}

}  // namespace
}  // namespace velqa::test
