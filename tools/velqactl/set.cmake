# velqactl set: one setting of the mouse changed as the window's mouse page changes it.
list(APPEND VELQACTL_SOURCES set_commands.cpp)
list(APPEND VELQACTL_LIBS velqa_device_model velqa_profile PkgConfig::JSONCPP)
