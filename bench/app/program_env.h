// The environment the benchmarks run the built program in: private config and data folders under
// `home`, offscreen.
#pragma once

#include <QProcessEnvironment>
#include <QString>

inline QProcessEnvironment program_env(const QString& home) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("HOME", home);
    env.insert("XDG_CONFIG_HOME", home + "/config");
    env.insert("XDG_DATA_HOME", home + "/data");
    env.insert("QT_QPA_PLATFORM", "offscreen");
    return env;
}
