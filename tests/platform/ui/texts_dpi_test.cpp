// Language texts, fonts and DPI scaling, and control operations.
#include <sys/stat.h>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QStackedWidget>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "platform/ui/font_table.h"
#include "platform/ui/language.h"
#include "platform/ui/menu.h"
#include "platform/ui/settings_store.h"
#include "ui_fixture.h"

namespace velqa::test {
namespace {

namespace pui = platform::ui;

std::string text_id(const std::string& id) {
    return "<property name=\"textId\" stdset=\"0\"><string>" + id + "</string></property>";
}

class TextTest : public UiTest {
  protected:
    void SetUp() override {
        UiTest::SetUp();
        write_text(dir_ / "en.xml",
                   "<Language><Text id=\"hello\">Hello</Text><Text id=\"tip\">A tip</Text>"
                   "</Language>");
        write_text(dir_ / "cn.xml",
                   "<Language><Text id=\"hello\">你好</Text><Text id=\"tip\">提示</Text>"
                   "</Language>");
        layout(ui_widget("QLabel", "greeting", text_id("hello")) +
               ui_widget("QPushButton", "btn",
                         text_id("hello") +
                             "<property name=\"toolTipId\" stdset=\"0\"><string>tip</string>"
                             "</property>") +
               ui_widget("QLabel", "plain",
                         "<property name=\"text\"><string>raw</string>"
                         "</property>"));
        ASSERT_TRUE(pui::LanguageTexts::instance().load_language("en.xml"));
        wnd = std::make_unique<RecordingWindow>("XML_TEST");
        ASSERT_TRUE(wnd->create("t"));
    }
    std::unique_ptr<RecordingWindow> wnd;
};

TEST_F(TextTest, TextIdsShowTheCurrentLanguageAndFollowChanges) {
    EXPECT_EQ(pui::text(wnd->find_control("greeting")), "Hello");
    EXPECT_EQ(pui::text(wnd->find_control("btn")), "Hello");
    EXPECT_EQ(wnd->find_control("btn")->toolTip(), "A tip");
    ASSERT_TRUE(pui::LanguageTexts::instance().load_language("cn.xml"));
    wnd->reload_text();
    EXPECT_EQ(pui::text(wnd->find_control("greeting")), "你好");
    EXPECT_EQ(wnd->find_control("btn")->toolTip(), "提示");
    EXPECT_EQ(pui::text(wnd->find_control("plain")), "raw");
}

TEST_F(TextTest, PlainTextClearsTheResourceFlag) {
    QWidget* greeting = wnd->find_control("greeting");
    pui::set_text(greeting, "hello", false);
    EXPECT_TRUE(pui::text_id(greeting).isEmpty());
    pui::LanguageTexts::instance().load_language("cn.xml");
    wnd->reload_text();
    EXPECT_EQ(pui::text(greeting), "hello");
    pui::set_text(greeting, "hello", true);
    EXPECT_EQ(pui::text(greeting), "你好");
}

TEST_F(TextTest, MissingIdShowsTheIdAndSaysSo) {
    platform::DebugCapture debug;
    pui::set_text_id(wnd->find_control("greeting"), "no_such_text");
    EXPECT_EQ(pui::text(wnd->find_control("greeting")), "no_such_text");
    EXPECT_TRUE(debug.contains("no_such_text"));
}

TEST_F(TextTest, BrokenLanguageFileKeepsTheCurrentTexts) {
    write_text(dir_ / "bad.xml", "<Language><Text id=\"hello\">Broken");
    EXPECT_FALSE(pui::LanguageTexts::instance().load_language("bad.xml"));
    EXPECT_FALSE(pui::LanguageTexts::instance().load_language("absent.xml"));
    // The file is named by data; a FIFO of that name must not block the window thread.
    ASSERT_EQ(::mkfifo((dir_ / "fifo.xml").c_str(), 0600), 0);
    EXPECT_FALSE(pui::LanguageTexts::instance().load_language("fifo.xml"));
    EXPECT_EQ(pui::LanguageTexts::instance().text("hello"), "Hello");
}

TEST_F(TextTest, ControlOperationsAcceptNullAndReportBadIndexes) {
    pui::set_text(nullptr, "x");
    pui::set_text_id(nullptr, "hello");
    pui::set_bk_image(nullptr, "file='a.png'");
    pui::set_selected(nullptr, true);
    EXPECT_EQ(pui::text(nullptr), "");
    EXPECT_EQ(pui::value(nullptr), 0);
    EXPECT_FALSE(pui::select_page(nullptr, 0));
    QStackedWidget stack;
    stack.addWidget(new QWidget);
    stack.addWidget(new QWidget);
    EXPECT_TRUE(pui::select_page(&stack, 1));
    EXPECT_FALSE(pui::select_page(&stack, 2));
    EXPECT_FALSE(pui::select_page(&stack, -1));
    EXPECT_EQ(pui::current_page(&stack), 1);
}

TEST_F(TextTest, BackgroundImageAttributeResolvesUnderTheRoot) {
    QWidget* greeting = wnd->find_control("greeting");
    pui::set_bk_image(greeting, "file='power/WIFI_down.png'");
    EXPECT_EQ(pui::bk_image(greeting), "file='power/WIFI_down.png'");
    EXPECT_EQ(pui::image_path_from_attribute("file='power/WIFI_down.png'").toStdString(),
              (dir_.path() / "power/WIFI_down.png").string());
    EXPECT_EQ(pui::image_path_from_attribute("common/x.png").toStdString(),
              (dir_.path() / "common/x.png").string());
    EXPECT_TRUE(greeting->styleSheet().contains("WIFI_down.png"));
    pui::set_bk_color(greeting, 0xFF112233);
    EXPECT_EQ(pui::bk_color(greeting), 0xFF112233u);
    EXPECT_TRUE(greeting->styleSheet().contains("rgba(17,34,51,255)"));
    pui::set_bk_image(greeting, "");
    EXPECT_FALSE(greeting->styleSheet().contains("WIFI_down.png"));
    pui::set_user_data(greeting, "data");
    pui::set_tag(greeting, 0x1234);
    EXPECT_EQ(pui::user_data(greeting), "data");
    EXPECT_EQ(pui::tag(greeting), 0x1234u);
}

// DPI ----------------------------------------------------------------------------------------

// The quick scanner for language files reads each file as Qt's XML reader does: the shipped
// ones, and every form it leaves to that reader (or refuses with it).
TEST(LanguageParse, ReadsEveryFileAsQtsXmlReaderDoes) {
    std::vector<std::string> files;
    for (const char* name : {"lan_en.xml", "lan_cn.xml"}) {
        std::ifstream in(source_dir() / "skin" / name, std::ios::binary);
        files.emplace_back(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        ASSERT_GT(files.back().size(), 1000u) << name;
    }
    const std::string head = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<!-- c -->\n<L>\n";
    auto doc = [&head](const std::string& body) { return head + body + "\n</L>\n"; };
    for (const std::string& body :
         {std::string("<Text id=\"a\">x &amp; y &lt;z&gt; &quot;q&quot; &apos;</Text>"),
          std::string("<Text id = 'a' >one</Text ><Text id=\"a\">two</Text><Text id=\"\">x</Text>"),
          std::string("<Text id=\"k_&#x27;\">&#65;&#x42;&#x1F600;&#xD;</Text>"),
          std::string("<Text id=\"a&#9;\">&#X41;&#0;&# 65;</Text>"),  // left to Qt's reader
          std::string("<Text id=\"a\"><![CDATA[<b>]]></Text>"),       // CDATA
          std::string("<Text id=\"a\">line\r\nnext</Text>"),          // end of line normalised
          std::string("<Text id=\"a\">a]]>b</Text>"),                 // not allowed in XML
          std::string("<Text id=\"a\">x<b>y</b></Text>"),             // nested element
          std::string("<Text>no id</Text><Text id=\"a\" b=\"c\">x</Text>"),
          std::string("stray<Text id=\"a\">x</Text>"),
          std::string("<!-- a -- b --><Text id=\"a\">x</Text>"),  // "--" in a comment
          std::string("<Text id=\"a\">\xff\xfe</Text>"),          // not UTF-8
          std::string("<Text id=\"a\">x</Text><Text id=\"b\">unclosed")}) {
        files.push_back(doc(body));
    }
    files.push_back("\xef\xbb\xbf" + doc("<Text id=\"a\">bom</Text>"));
    files.push_back(
        "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><L><Text id=\"a\">\xe9</Text></L>");
    files.push_back("");
    for (const std::string& file : files) {
        std::map<QString, QString> quick{{"old", "kept"}};
        std::map<QString, QString> qt{{"old", "kept"}};
        EXPECT_EQ(pui::LanguageTexts::parse_text(file, quick),
                  pui::LanguageTexts::parse_xml(file, qt))
            << file.substr(0, 200);
        EXPECT_EQ(quick, qt) << file.substr(0, 200);
    }
    std::map<QString, QString> en;
    ASSERT_TRUE(pui::LanguageTexts::parse_text(files[0], en));
    EXPECT_EQ(en[QStringLiteral("app_title_text")], QStringLiteral("VELQA R260"));
}

TEST(Dpi, AcceptedValues) {
    for (int dpi : {48, 72, 96, 120, 144, 168, 192})
        EXPECT_TRUE(pui::Window::is_valid_dpi(dpi));
    for (int dpi : {0, 95, 97, 100, 240, -96})
        EXPECT_FALSE(pui::Window::is_valid_dpi(dpi));
}

TEST_F(TextTest, DpiScalesWindowFixedSizesAndFonts) {
    auto& fonts = pui::FontTable::instance();
    fonts.add_font(pui::FontTable::kDefault, {13, false, false});
    wnd->find_control("greeting")->setProperty(pui::kFontIdProperty, 5);
    fonts.add_font(5, {20, true, false});
    // A control added after the build: its size at 96 DPI is remembered when attached.
    auto* added = new QPushButton(wnd->root());
    added->setObjectName("added");
    added->setFixedSize(40, 20);
    wnd->attach_controls(added);
    wnd->set_base_size(QSize(1000, 640));
    wnd->set_dpi(144);
    EXPECT_EQ(wnd->size(), QSize(1500, 960));
    EXPECT_EQ(wnd->find_control("added")->minimumSize(), QSize(60, 30));
    EXPECT_EQ(wnd->find_control("greeting")->font().pixelSize(), 30);
    EXPECT_TRUE(wnd->find_control("greeting")->font().bold());
    EXPECT_EQ(wnd->font().pixelSize(), 19);
    // Back to 96 restores the sizes exactly (no rounding drift).
    wnd->set_dpi(120);
    wnd->set_dpi(96);
    EXPECT_EQ(wnd->size(), QSize(1000, 640));
    EXPECT_EQ(wnd->find_control("added")->minimumSize(), QSize(40, 20));
    EXPECT_EQ(wnd->find_control("greeting")->font().pixelSize(), 20);
}

TEST_F(TextTest, SetAllDpiReachesEveryWindow) {
    RecordingWindow second("XML_TEST");
    second.create("t2", QSize(100, 50));
    pui::Window::set_all_dpi(192);
    EXPECT_EQ(wnd->dpi(), 192);
    EXPECT_EQ(second.dpi(), 192);
    EXPECT_EQ(second.size(), QSize(200, 100));
    pui::Window::set_all_dpi(96);
}

TEST(FontTable, EveryEntrySharesTheFaceAndUnknownIdsUseTheDefault) {
    auto& fonts = pui::FontTable::instance();
    fonts.remove_all_fonts();
    fonts.set_face("MiSans Normal");
    fonts.add_font(1, {14, false, true});
    const QFont f = fonts.font(1, 96);
    EXPECT_EQ(f.families().front(), "MiSans Normal");
    EXPECT_TRUE(f.underline());
    EXPECT_FALSE(f.italic());
    EXPECT_EQ(f.pixelSize(), 14);
    EXPECT_EQ(fonts.font(77, 96).pixelSize(), 13);
    // CJK text needs a fallback face after the chosen one.
    EXPECT_TRUE(f.families().contains("Droid Sans Fallback"));
}

// Menus --------------------------------------------------------------------------------------

TEST_F(TextTest, MenuItemPostsItsCommandToTheOwner) {
    write_text(dir_ / "menu.xml",
               "<Menu><MenuElement name=\"about_menu\" textId=\"hello\" userData=\"u\"/>"
               "<Separator/><MenuElement name=\"exit\" textId=\"tip\"/></Menu>");
    std::unique_ptr<QMenu> menu(pui::build_menu("menu.xml", wnd.get()));
    ASSERT_NE(menu, nullptr);
    ASSERT_EQ(menu->actions().size(), 3);
    EXPECT_EQ(menu->actions()[0]->text(), "Hello");
    std::vector<pui::MenuCommand> got;
    wnd->on_message = [&](unsigned m, pui::WParam w, pui::LParam, bool& handled) {
        if (m == pui::kMsgMenuCommand) {
            got.push_back(*pui::take_menu_command(w));
            handled = true;
        }
        return pui::LResult{0};
    };
    menu->actions()[2]->trigger();
    ASSERT_TRUE(wait_until([&] { return got.size() == 1; }));
    EXPECT_EQ(got[0].name, "exit");
    EXPECT_EQ(got[0].text, "A tip");
    write_text(dir_ / "broken.xml", "<Menu><MenuElement");
    EXPECT_EQ(pui::build_menu("broken.xml", wnd.get()), nullptr);
    EXPECT_EQ(pui::build_menu("absent.xml", wnd.get()), nullptr);
}

TEST_F(TextTest, NestedMenuElementsBecomeSubmenusWhoseItemsPostCommands) {
    write_text(dir_ / "nested.xml",
               "<Menu><MenuElement name=\"outer\" textId=\"hello\">"
               "<MenuElement name=\"inner_a\" textId=\"tip\"/><Separator/>"
               "<MenuElement name=\"inner_b\" textId=\"tip\"/></MenuElement>"
               "<MenuElement name=\"after\" textId=\"tip\"/></Menu>");
    std::unique_ptr<QMenu> menu(pui::build_menu("nested.xml", wnd.get()));
    ASSERT_NE(menu, nullptr);
    ASSERT_EQ(menu->actions().size(), 2);
    QMenu* sub = menu->actions()[0]->menu();
    ASSERT_NE(sub, nullptr);
    EXPECT_EQ(menu->actions()[0]->text(), "Hello");
    EXPECT_EQ(menu->actions()[1]->objectName(), "after");
    ASSERT_EQ(sub->actions().size(), 3);
    std::vector<QString> got;
    wnd->on_message = [&](unsigned m, pui::WParam w, pui::LParam, bool& handled) {
        if (m == pui::kMsgMenuCommand) {
            got.push_back(pui::take_menu_command(w)->name);
            handled = true;
        }
        return pui::LResult{0};
    };
    sub->actions()[2]->trigger();
    ASSERT_TRUE(wait_until([&] { return got.size() == 1; }));
    EXPECT_EQ(got[0], "inner_b");
}

// Settings store -----------------------------------------------------------------------------

TEST(SettingsStore, MissingFileHasNoKeyAndNoValue) {
    TempDir dir;
    platform::SettingsStore store(QString::fromStdString((dir / "cfg/velqa.conf").string()));
    EXPECT_FALSE(store.key_exists());
    EXPECT_FALSE(store.read_language().has_value());
}

TEST(SettingsStore, FirstWriteCreatesTheKeyAndTheValueRoundTrips) {
    TempDir dir;
    platform::SettingsStore store(QString::fromStdString((dir / "cfg/velqa.conf").string()));
    ASSERT_TRUE(store.write_language(2052));
    EXPECT_TRUE(store.key_exists());
    EXPECT_EQ(store.read_language(), 2052u);
    ASSERT_TRUE(store.write_language(520));
    EXPECT_EQ(platform::SettingsStore(store.file()).read_language(), 520u);
}

// Every start stores the language it applied: the same value must not save the file again.
TEST(SettingsStore, StoringTheSameLanguageLeavesTheFileAlone) {
    TempDir dir;
    const std::string file = (dir / "velqa.conf").string();
    platform::SettingsStore store(QString::fromStdString(file));
    ASSERT_TRUE(store.write_language(2052));
    struct stat before {};
    ASSERT_EQ(::stat(file.c_str(), &before), 0);
    ASSERT_TRUE(store.write_language(2052));
    struct stat after {};
    ASSERT_EQ(::stat(file.c_str(), &after), 0);
    EXPECT_EQ(before.st_ino, after.st_ino);  // a save replaces the file
    EXPECT_EQ(store.read_language(), 2052u);
}

TEST(SettingsStore, GarbageValueReadsAsMissing) {
    TempDir dir;
    write_text(dir / "velqa.conf", "[SOFTWARE]\nZARN%20VELQA%20R260%20SOFTWARE\\LANGUAGE=abc\n");
    platform::SettingsStore store(QString::fromStdString((dir / "velqa.conf").string()));
    EXPECT_TRUE(store.key_exists());
    EXPECT_FALSE(store.read_language().has_value());
}

TEST(SettingsStore, UnwritableLocationReportsFailure) {
    TempDir dir;
    // A folder where the file should be: even root cannot write it as a file.
    std::filesystem::create_directories(dir / "velqa.conf");
    platform::SettingsStore store(QString::fromStdString((dir / "velqa.conf").string()));
    EXPECT_FALSE(store.write_language(520));
}

}  // namespace
}  // namespace velqa::test
