// velqa-udev-helper under --root: every path is taken below a scratch folder and the udevadm
// calls are printed, so what root would do is checked without being root or touching udev.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>
#include <sstream>

#include "platform/diagnostics.h"
#include "support/sim_process.h"
#include "support/temp_dir.h"

namespace velqa::test {
namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;

std::string read_text(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

void write_text(const fs::path& file, const std::string& text) {
    fs::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary) << text;
}

struct HelperRun {
    int exit_code = -1;
    std::string out;
    std::string err;
};

class UdevHelper : public ::testing::Test {
  protected:
    // The helper with `arguments` (shell words), its environment cleared but for `env`.
    HelperRun run(const std::string& arguments, const std::string& env = {}) {
        const fs::path err = temp_ / "stderr";
        const auto outcome = run_command("env -i " + env + " " + VELQA_UDEV_HELPER_BIN + " " +
                                         arguments + " 2>" + err.string());
        return {outcome.exit_code, outcome.out, read_text(err)};
    }
    HelperRun run_in_root() { return run("--root " + root_.string()); }

    const std::string rule_name_ = platform::kUdevRuleName;
    const std::string packaged_rule_ =
        read_text(source_dir() / "packaging" / platform::kUdevRuleName);
    TempDir temp_;
    const fs::path root_ = temp_ / "root";
    const fs::path rules_ = root_ / "etc/udev/rules.d";
    const fs::path installed_ = rules_ / platform::kUdevRuleName;

    void SetUp() override { fs::create_directories(rules_); }
};

// A hidraw node in the fake sysfs, for a HID device of `vendor` (4 hex digits).
void add_hidraw(const fs::path& root, const std::string& name, const std::string& vendor) {
    write_text(root / "sys/class/hidraw" / name / "device/uevent",
               "DRIVER=hid-generic\nHID_ID=0003:0000" + vendor + ":00005024\nHID_NAME=x\n");
}

TEST_F(UdevHelper, InstallsTheRuleOnceAndTriggersOnlyTheVendorsHidrawNodes) {
    // The vendor the packaged rule names (std::regex trips GCC 12's uninitialised-use warning
    // in sanitizer builds, so a plain search).
    const std::string key = "ATTRS{idVendor}==\"";
    const std::size_t at = packaged_rule_.find(key);
    ASSERT_NE(at, std::string::npos);
    const std::string vendor = packaged_rule_.substr(at + key.size(), 4);
    ASSERT_EQ(vendor.find_first_not_of("0123456789abcdefABCDEF"), std::string::npos) << vendor;
    add_hidraw(root_, "hidraw3", vendor);
    add_hidraw(root_, "hidraw12", vendor);  // numeric order, not text order
    add_hidraw(root_, "hidraw0", "046D");
    add_hidraw(root_, "hidraw4x", vendor);  // not a hidraw node's name: never passed to udevadm
    fs::create_directories(root_ / "sys/class/hidraw/hidraw7");  // no device behind it

    const HelperRun first = run_in_root();
    ASSERT_EQ(first.exit_code, 0) << first.err;
    EXPECT_EQ(read_text(installed_), packaged_rule_);
    struct stat st {};
    ASSERT_EQ(::stat(installed_.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0644u);
    EXPECT_EQ(std::distance(fs::directory_iterator(rules_), fs::directory_iterator()), 1)
        << "no temporary file is left beside the rule";
    const std::string calls =
        "udevadm control --reload\n"
        "udevadm trigger --action=change --settle /sys/class/hidraw/hidraw3 "
        "/sys/class/hidraw/hidraw12\n";
    EXPECT_THAT(first.out, HasSubstr(calls));

    // Again: the same rule is left as it is, and udev is still told.
    const HelperRun second = run_in_root();
    ASSERT_EQ(second.exit_code, 0) << second.err;
    EXPECT_THAT(second.out, HasSubstr("already installed"));
    EXPECT_THAT(second.out, HasSubstr(calls));
}

// A rule of ours edited by the administrator (another vendor ID, as the README suggests) is
// theirs: kept byte for byte, and its vendor's nodes are the ones triggered.
TEST_F(UdevHelper, AnEditedRuleIsKeptAndItsVendorIsTriggered) {
    const std::string edited =
        "SUBSYSTEM==\"hidraw\", ATTRS{idVendor}==\"1a2b\", TAG+=\"uaccess\"\n";
    write_text(installed_, edited);
    add_hidraw(root_, "hidraw5", "1A2B");
    const HelperRun result = run_in_root();
    ASSERT_EQ(result.exit_code, 0) << result.err;
    EXPECT_EQ(read_text(installed_), edited);
    EXPECT_THAT(result.err, HasSubstr("kept"));
    EXPECT_THAT(result.out, HasSubstr("--settle /sys/class/hidraw/hidraw5\n"));
}

TEST_F(UdevHelper, WithThePackagesRuleNothingIsWrittenToEtc) {
    write_text(root_ / "usr/lib/udev/rules.d" / rule_name_, packaged_rule_);
    const HelperRun result = run_in_root();
    ASSERT_EQ(result.exit_code, 0) << result.err;
    EXPECT_FALSE(fs::exists(installed_));
    EXPECT_THAT(result.out, HasSubstr("udevadm control --reload\n"));
}

// Neither a link in the rule's place nor a linked rules folder is written through.
TEST_F(UdevHelper, ALinkInPlaceOfTheRuleOrItsFolderIsRefused) {
    const fs::path victim = temp_ / "victim";
    fs::create_symlink(victim, installed_);
    const HelperRun linked_rule = run_in_root();
    EXPECT_EQ(linked_rule.exit_code, 1);
    EXPECT_THAT(linked_rule.err, HasSubstr("symbolic link"));
    EXPECT_FALSE(fs::exists(victim));
    EXPECT_TRUE(fs::is_symlink(installed_));

    fs::remove(installed_);
    fs::remove(rules_);
    fs::create_directories(temp_ / "elsewhere");
    fs::create_directory_symlink(temp_ / "elsewhere", rules_);
    const HelperRun linked_folder = run_in_root();
    EXPECT_EQ(linked_folder.exit_code, 1);
    EXPECT_TRUE(fs::is_empty(temp_ / "elsewhere"));
}

// Whoever runs it through pkexec chooses its arguments: nothing may name a path there.
TEST_F(UdevHelper, TakesNoArgumentButATestRootThatPkexecNeverPasses) {
    for (const std::string& arguments :
         {std::string("--root"), "--root " + root_.string() + " extra", std::string("/etc/passwd"),
          "--rule " + root_.string(), std::string("--root /")}) {
        const HelperRun result = run(arguments);
        EXPECT_EQ(result.exit_code, 2) << arguments;
    }
    const HelperRun under_pkexec = run("--root " + root_.string(), "PKEXEC_UID=1000");
    EXPECT_EQ(under_pkexec.exit_code, 2);
    EXPECT_THAT(under_pkexec.err, HasSubstr("pkexec"));
    EXPECT_FALSE(fs::exists(installed_));
}

}  // namespace
}  // namespace velqa::test
