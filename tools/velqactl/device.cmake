# velqactl list, info, settings, power, raw: the mouse over the command set.
list(APPEND VELQACTL_SOURCES device_commands.cpp)
list(APPEND VELQACTL_LIBS velqa_link velqa_hid_transport PkgConfig::JSONCPP)
