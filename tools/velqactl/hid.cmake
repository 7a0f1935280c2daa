# velqactl hid: list the machine's HID interfaces, parse report descriptors.
list(APPEND VELQACTL_SOURCES hid_commands.cpp)
list(APPEND VELQACTL_LIBS velqa_hid_transport velqa_hid PkgConfig::JSONCPP)
