# velqactl profile: show where a kind's profiles live and decode a profile's records.
list(APPEND VELQACTL_SOURCES profile_commands.cpp)
list(APPEND VELQACTL_LIBS velqa_profile PkgConfig::JSONCPP)
