// Runs the built velqa program with private folders.
#pragma once

#include <QImage>
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>
#include <filesystem>

namespace velqa::test {

inline QString velqa_binary() {
    return QStringLiteral(VELQA_BIN_DIR "/velqa");
}

// Environment with private config and data folders under `home`.
inline QProcessEnvironment private_env(const std::filesystem::path& home) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    const QString h = QString::fromStdString(home.string());
    env.insert("HOME", h);
    env.insert("XDG_CONFIG_HOME", h + "/config");
    env.insert("XDG_DATA_HOME", h + "/data");
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("VELQA_DEBUG", "1");
    // A fresh configuration takes the locale's language: the tests' own, whatever the machine's.
    env.remove("LC_ALL");
    env.remove("LC_MESSAGES");
    env.insert("LANG", "C.UTF-8");
    // The window applies pointer settings to the desktop it runs in: never the developer's own.
    env.remove("XDG_CURRENT_DESKTOP");
    env.remove("DISPLAY");
    env.insert("GSETTINGS_BACKEND", "memory");
    return env;
}

struct RunResult {
    int exit_code = -1;
    bool finished = false;
    QString out, err;
};

inline RunResult run_velqa(const QStringList& args, const QProcessEnvironment& env,
                           int deadline_ms = 60000) {
    QProcess p;
    p.setProcessEnvironment(env);
    p.start(velqa_binary(), args);
    RunResult r;
    r.finished = p.waitForFinished(deadline_ms);
    if (!r.finished)
        p.kill(), p.waitForFinished();
    r.exit_code = p.exitCode();
    r.out = QString::fromUtf8(p.readAllStandardOutput());
    r.err = QString::fromUtf8(p.readAllStandardError());
    return r;
}

}  // namespace velqa::test
