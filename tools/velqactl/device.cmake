# velqactl list, info, settings, power, raw: the mouse over the command set; the session that
# the setting commands share with the window's mouse page.
list(APPEND VELQACTL_SOURCES device_commands.cpp mouse_session.cpp)
list(APPEND VELQACTL_LIBS velqa_link velqa_hid_transport velqa_device_model PkgConfig::JSONCPP)
