# velqactl profile: the mouse profile list (the same list logic as the window), and show: where
# a kind's profiles live and the records decoded from a profile.
list(APPEND VELQACTL_SOURCES profile_commands.cpp)
list(APPEND VELQACTL_LIBS velqa_profile velqa_device_model PkgConfig::JSONCPP)
