// The velqa command line: help, bad options, headless screenshots in both languages.
#include <gtest/gtest.h>
#include <QColor>
#include <QFileInfo>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "platform/atomic_file.h"
#include "platform/ui/qt_test_app.h"
#include "process_support.h"
#include "support/temp_dir.h"

namespace velqa::test {
namespace {

TEST(Cli, HelpPrintsUsageAndExitsZero) {
    TempDir home;
    const RunResult r = run_velqa({"--help"}, private_env(home.path()));
    ASSERT_TRUE(r.finished);
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_TRUE(r.out.contains("--screenshot FILE"));
    EXPECT_TRUE(r.out.contains("--simulate"));
}

TEST(Cli, UnknownOptionOrMissingFileNameIsAnError) {
    TempDir home;
    RunResult r = run_velqa({"--frobnicate"}, private_env(home.path()));
    EXPECT_EQ(r.exit_code, 2);
    EXPECT_TRUE(r.err.contains("unknown option --frobnicate"));
    r = run_velqa({"--screenshot"}, private_env(home.path()));
    EXPECT_EQ(r.exit_code, 2);
    EXPECT_TRUE(r.err.contains("needs a file name"));
}

// Share of pixels that are dark: the theme is a dark one.
double dark_share(const QImage& image) {
    int dark = 0, all = 0;
    for (int y = 0; y < image.height(); y += 7) {
        for (int x = 0; x < image.width(); x += 7) {
            ++all;
            if (QColor(image.pixel(x, y)).lightness() < 60)
                ++dark;
        }
    }
    return all == 0 ? 0 : static_cast<double>(dark) / all;
}

TEST(Cli, ScreenshotRendersTheSettledMainWindow) {
    TempDir home;
    const auto file = home / "shot.png";
    const RunResult r = run_velqa({"--screenshot", QString::fromStdString(file.string())},
                                  private_env(home.path()));
    ASSERT_TRUE(r.finished) << r.err.toStdString();
    EXPECT_EQ(r.exit_code, 0) << r.err.toStdString();
    QImage image(QString::fromStdString(file.string()));
    ASSERT_FALSE(image.isNull());
    EXPECT_EQ(image.size(), QSize(1000, 640));
    EXPECT_GT(dark_share(image), 0.8);
    // English by default, and it was stored.
    EXPECT_TRUE(r.err.contains("写成功！"));
}

TEST(Cli, ScreenshotInChineseUsesTheStoredLanguageAndDiffers) {
    TempDir home;
    const auto en = home / "en.png", cn = home / "cn.png";
    auto env = private_env(home.path());
    ASSERT_EQ(run_velqa({"--screenshot", QString::fromStdString(en.string())}, env).exit_code, 0);
    write_text(home / "config/ZARN_VELQA_R260/velqa.conf",
               "[SOFTWARE]\nZARN%20VELQA%20R260%20SOFTWARE\\LANGUAGE=2052\n");
    ASSERT_EQ(run_velqa({"--screenshot", QString::fromStdString(cn.string())}, env).exit_code, 0);
    const QImage a(QString::fromStdString(en.string())), b(QString::fromStdString(cn.string()));
    ASSERT_EQ(a.size(), b.size());
    EXPECT_NE(a, b);
}

TEST(Cli, AFreshConfigurationFollowsTheLocaleAndAStoredChoiceWins) {
    TempDir home;
    const auto conf = home / "config/ZARN_VELQA_R260/velqa.conf";
    const QString shot = QString::fromStdString((home / "x.png").string());
    auto stored = [&] {
        std::string text;
        platform::read_whole_file(conf, text);
        return text;
    };
    auto env = private_env(home.path());
    env.insert("LANG", "zh_CN.UTF-8");
    ASSERT_EQ(run_velqa({"--screenshot", shot}, env).exit_code, 0);
    EXPECT_NE(stored().find("LANGUAGE=2052"), std::string::npos) << stored();
    // LC_MESSAGES outranks LANG; a stored language outranks both.
    write_text(conf, "[SOFTWARE]\nZARN%20VELQA%20R260%20SOFTWARE\\LANGUAGE=520\n");
    env.insert("LC_MESSAGES", "zh_TW.UTF-8");
    ASSERT_EQ(run_velqa({"--screenshot", shot}, env).exit_code, 0);
    EXPECT_NE(stored().find("LANGUAGE=520"), std::string::npos) << stored();
    std::filesystem::remove(conf);
    env.insert("LANG", "en_GB.UTF-8");
    ASSERT_EQ(run_velqa({"--screenshot", shot}, env).exit_code, 0);
    EXPECT_NE(stored().find("LANGUAGE=2052"), std::string::npos) << stored();
}

TEST(Cli, ScreenshotToAnUnwritablePlaceFails) {
    TempDir home;
    const RunResult r =
        run_velqa({"--screenshot", QString::fromStdString((home / "no/such/dir/x.png").string())},
                  private_env(home.path()));
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_TRUE(r.err.contains("cannot save the screenshot"));
}

TEST(Cli, ScreenshotWithoutTheSkinFailsInsteadOfWaiting) {
    TempDir home;
    QProcessEnvironment env = private_env(home.path());
    env.insert(QStringLiteral("VELQA_RESOURCE_DIR"),
               QString::fromStdString((home / "empty").string()));
    const RunResult r =
        run_velqa({"--screenshot", QString::fromStdString((home / "x.png").string())}, env);
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_TRUE(r.err.contains("cannot load the skin")) << r.err.toStdString();
    EXPECT_FALSE(std::filesystem::exists(home / "x.png"));
}

// Resources beside the built program, with main.xml replaced by `layout` (none when empty).
std::filesystem::path resources_with_main_layout(const TempDir& dir, const std::string* layout) {
    namespace fs = std::filesystem;
    const fs::path from(VELQA_BIN_DIR);
    const fs::path to = dir / "res";
    fs::create_directories(to / "skin" / "XML");
    for (const char* top : {"DefaultData", "Font"})
        fs::create_directory_symlink(from / top, to / top);
    for (const auto& e : fs::directory_iterator(from / "skin")) {
        if (e.path().filename() != "XML")
            fs::create_symlink(e.path(), to / "skin" / e.path().filename());
    }
    for (const auto& e : fs::directory_iterator(from / "skin" / "XML")) {
        if (e.path().filename() != "main.xml")
            fs::create_symlink(e.path(), to / "skin" / "XML" / e.path().filename());
    }
    if (layout != nullptr)
        std::ofstream(to / "skin" / "XML" / "main.xml", std::ios::binary) << *layout;
    return to;
}

TEST(Cli, AMainLayoutThatCannotBeBuiltEndsTheStartWithTheReason) {
    std::string whole;
    {
        std::ifstream in(std::filesystem::path(VELQA_BIN_DIR) / "skin" / "XML" / "main.xml",
                         std::ios::binary);
        whole.assign(std::istreambuf_iterator<char>(in), {});
    }
    ASSERT_GT(whole.size(), 1000u);
    std::string deep = "<?xml version=\"1.0\"?><ui version=\"4.0\">";
    for (int i = 0; i < 20000; ++i)
        deep += "<widget class=\"QWidget\">";
    std::string bomb = "<?xml version=\"1.0\"?><!DOCTYPE ui [<!ENTITY a \"aaaaaaaaaaaaaaaa\">";
    for (char c = 'b'; c <= 'j'; ++c) {
        const std::string prev(1, static_cast<char>(c - 1));
        bomb += std::string("<!ENTITY ") + c + " \"";
        for (int i = 0; i < 10; ++i)
            bomb += "&" + prev + ";";
        bomb += "\">";
    }
    bomb +=
        "]><ui version=\"4.0\"><widget class=\"QWidget\"><property name=\"toolTip\"><string>&j;"
        "</string></property></widget></ui>";
    const std::string truncated = whole.substr(0, whole.size() / 2);
    static const char kElf[] =
        "\x7f"
        "ELF\x02\x01\x01\0\0\0\xff\xfe";
    const std::string binary(kElf, sizeof kElf - 1);
    const struct {
        const char* what;
        const std::string* layout;
    } cases[] = {{"missing", nullptr},
                 {"truncated", &truncated},
                 {"binary", &binary},
                 {"deep", &deep},
                 {"entity bomb", &bomb}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir home;
        QProcessEnvironment env = private_env(home.path());
        env.remove(QStringLiteral("VELQA_DEBUG"));  // the reason is shown without it
        env.insert(QStringLiteral("VELQA_RESOURCE_DIR"),
                   QString::fromStdString(resources_with_main_layout(home, c.layout).string()));
        const RunResult shot =
            run_velqa({"--screenshot", QString::fromStdString((home / "x.png").string())}, env);
        ASSERT_TRUE(shot.finished);
        EXPECT_EQ(shot.exit_code, 1);
        EXPECT_TRUE(shot.err.contains("cannot build the main window") &&
                    shot.err.contains("main.xml"))
            << shot.err.toStdString();
        EXPECT_FALSE(std::filesystem::exists(home / "x.png"));
    }
    // A plain start, too, ends instead of showing an empty window (alone: no session bus).
    TempDir home;
    QProcessEnvironment env = private_env(home.path());
    env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"),
               QStringLiteral("unix:path=/nonexistent"));
    env.insert(QStringLiteral("VELQA_RESOURCE_DIR"),
               QString::fromStdString(resources_with_main_layout(home, &truncated).string()));
    const RunResult start = run_velqa({}, env);
    ASSERT_TRUE(start.finished);
    EXPECT_EQ(start.exit_code, 1);
    EXPECT_TRUE(start.err.contains("cannot build the main window")) << start.err.toStdString();
}

TEST(Cli, SimulateWithoutTheSimulatorSaysSoAndRunsOn) {
    if (QFileInfo::exists(QStringLiteral(VELQA_BIN_DIR "/velqa-sim"))) {
        GTEST_SKIP() << "velqa-sim is built here";
    }
    TempDir home;
    const RunResult r =
        run_velqa({"--simulate", "--screenshot", QString::fromStdString((home / "s.png").string())},
                  private_env(home.path()));
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_TRUE(r.err.contains("velqa-sim was not found") || r.err.contains("velqa-sim"));
}

TEST(Cli, SimulateStartsTheSimulatorPrivatelyAndStopsItOnExit) {
    if (!QFileInfo::exists(QStringLiteral(VELQA_BIN_DIR "/velqa-sim"))) {
        GTEST_SKIP() << "velqa-sim is not built here";
    }
    TempDir home;
    auto env = private_env(home.path());
    std::filesystem::create_directories(home / "tmp");
    env.insert("TMPDIR", QString::fromStdString((home / "tmp").string()));
    const RunResult r = run_velqa(
        {"--simulate", "--screenshot", QString::fromStdString((home / "s.png").string())}, env);
    ASSERT_TRUE(r.finished);
    EXPECT_EQ(r.exit_code, 0) << r.err.toStdString();
    EXPECT_FALSE(r.err.contains("running without")) << r.err.toStdString();
    // The private folder is gone, so the simulator was stopped before it was removed.
    // No simulator process is left serving a folder of this test.
    for (const auto& proc : std::filesystem::directory_iterator("/proc")) {
        std::string cmdline;
        std::ifstream in(proc.path() / "cmdline");
        std::getline(in, cmdline, '\0');
        std::string rest((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        if (cmdline.find("velqa-sim") != std::string::npos) {
            EXPECT_EQ(rest.find(home.path().string()), std::string::npos) << "still running";
        }
    }
    for (const auto& e : std::filesystem::directory_iterator(home / "tmp")) {
        EXPECT_NE(e.path().filename().string().rfind("velqa-sim-", 0), 0u) << e.path();
    }
}

}  // namespace
}  // namespace velqa::test
