#include "platform/diagnostics.h"

#include <gtest/gtest.h>

#include <fstream>

#include "platform/debug_output.h"
#include "support/temp_dir.h"

namespace velqa::platform {
namespace {

// What a user pastes into a public bug report: the facts that help, nothing that names them.
TEST(DiagnosticReport, ShowsTheFactsButNeitherHomeNorUserNorHost) {
    test::TempDir dir;
    std::ofstream(dir / "os-release") << "NAME=\"Debian GNU/Linux\"\n"
                                      << "PRETTY_NAME=\"Debian GNU/Linux 12 (bookworm)\"\n";
    std::filesystem::create_directories(dir / "lib/rules.d");
    std::ofstream(dir / "lib/rules.d" / kUdevRuleName) << "# rule\n";

    DiagnosticFacts f;
    f.program_version = "0.1.0";
    f.qt_version = "6.4.2";
    f.distribution = distribution_name(dir / "os-release");
    f.session = {"GNOME", "wayland", true, false, "/home/alice/"};
    f.hid_backend = "hidraw";
    f.devices.push_back({"VELQA R260", "2.4G", {"mouse V0106", "receiver V0102"}, 0xFA2E, 0x22A1});
    HidNodeFacts node = describe_node_access((dir / "os-release").string());
    node.vendor_id = 0xFA2E;
    node.product_id = 0x22A1;
    node.product = "alice's mouse";
    f.nodes.push_back(node);
    f.udev_rule_folders = {dir / "etc/rules.d", dir / "lib/rules.d"};
    f.udev_rules_found = installed_udev_rules(f.udev_rule_folders);
    f.data_folder = "/home/alice/.local/share/ZARN_VELQA_R260";
    f.debug_lines = {"opened /home/alice/.local/share/ZARN_VELQA_R260/mouse/a.json",
                     "export to /home/alice2/x by alice@alice-desk", "alicex stays"};
    f.user_name = "alice";
    f.host_name = "alice-desk";

    const std::string r = build_diagnostic_report(f);
    for (const char* expected :
         {"velqa 0.1.0", "Qt: 6.4.2", "Debian GNU/Linux 12 (bookworm)", "GNOME", "wayland",
          "VELQA R260: 2.4G, FA2E:22A1, firmware mouse V0106, firmware receiver V0102",
          "FA2E:22A1 interface 0", "mode 0", "you may read and write", "installed (",
          "Data folder: ~/.local/share/ZARN_VELQA_R260",
          "opened ~/.local/share/ZARN_VELQA_R260/mouse/a.json", "alicex stays"}) {
        EXPECT_NE(r.find(expected), std::string::npos) << expected << "\n" << r;
    }
    // The test folder is no one's home, so it stays; the home and the names do not.
    EXPECT_EQ(r.find("/home/alice/"), std::string::npos) << r;
    EXPECT_EQ(r.find("alice-desk"), std::string::npos) << r;
    EXPECT_EQ(r.find("alice@"), std::string::npos) << r;
    EXPECT_EQ(r.find("alice's"), std::string::npos) << r;
    // A neighbour's folder is not the home folder.
    EXPECT_NE(r.find("/home/alice2/x"), std::string::npos) << r;
}

TEST(DiagnosticReport, KeepsTheLastDebugLinesAndSaysWhenTheRuleIsMissing) {
    for (int i = 0; i < 80; ++i)
        debug_printf("ring line %d\n", i);
    const auto lines = recent_debug_lines();
    ASSERT_EQ(lines.size(), kRecentDebugLines);
    EXPECT_EQ(lines.front(), "ring line 30");
    EXPECT_EQ(lines.back(), "ring line 79");

    test::TempDir dir;
    DiagnosticFacts f;
    f.udev_rule_folders = {dir / "etc"};
    f.nodes.push_back(describe_node_access((dir / "gone").string()));
    const std::string r = build_diagnostic_report(f);
    EXPECT_NE(r.find("not installed (looked in " + (dir / "etc").string() + ")"), std::string::npos)
        << r;
    EXPECT_NE(r.find("no such node"), std::string::npos) << r;
}

}  // namespace
}  // namespace velqa::platform
