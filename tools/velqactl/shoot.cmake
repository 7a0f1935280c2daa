# velqactl shoot: the mouse's four shooting patterns, over the macro core's pattern files and
# their download (the folder helper comes with macro.cmake).
list(APPEND VELQACTL_SOURCES shoot_commands.cpp)
list(APPEND VELQACTL_LIBS velqa_macro velqa_profile PkgConfig::JSONCPP)
