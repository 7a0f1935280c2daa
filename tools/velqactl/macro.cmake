# velqactl macro and key: the mouse's macro list and button assignments, over the macro core and
# its downloads.
list(APPEND VELQACTL_SOURCES macro_commands.cpp key_commands.cpp key_download.cpp)
list(APPEND VELQACTL_LIBS velqa_macro velqa_profile velqa_device_model PkgConfig::JSONCPP)
