# velqactl update: the update items and what the update server says about them.
list(APPEND VELQACTL_SOURCES update_commands.cpp)
list(APPEND VELQACTL_LIBS velqa_update velqa_json)
