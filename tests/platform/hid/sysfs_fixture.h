// Small fake sysfs trees shaped like the kernel's, for enumeration tests and the benchmark.
#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

namespace velqa::test {

struct FixtureNode {
    std::string name = "hidraw0";
    uint16_t vendor_id = 0;
    uint16_t product_id = 0;
    int interface_number = 0;  // -1: no USB parent (Bluetooth, uhid, I2C)
    std::string usb_product;   // empty: the USB device has no product attribute
    std::string hid_name;
    std::string hid_phys;
    std::vector<uint8_t> descriptor;
    bool write_descriptor = true;
};

// Adds one hidraw node below `root` (the fake /sys).
void add_hidraw_node(const std::filesystem::path& root, const FixtureNode& node);

// The HID standard's boot mouse and boot keyboard descriptors, and a four-collection descriptor
// with report IDs 1 to 4 (keyboard, system control, consumer control, vendor).
std::vector<uint8_t> boot_mouse_descriptor();
std::vector<uint8_t> boot_keyboard_descriptor();
std::vector<uint8_t> four_collection_descriptor();

}  // namespace velqa::test
