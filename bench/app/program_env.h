// The environment the benchmarks run the built program in: private config and data folders under
// `home`, offscreen.
#pragma once

#include <QDir>
#include <QFile>
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

// CPU time of a process, in seconds: the scheduler's nanosecond count of each of its threads
// (the tick-based user and system times are too coarse for a tenth of a percent over 10 s).
// Threads that end during the measurement are not counted; the program's threads live as long
// as it does.
inline double cpu_seconds(qint64 pid) {
    const QDir tasks(QStringLiteral("/proc/%1/task").arg(pid));
    double total = 0;
    for (const QString& task : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile stat(tasks.filePath(task + QStringLiteral("/schedstat")));
        if (stat.open(QIODevice::ReadOnly))
            total += stat.readAll().split(' ').front().toDouble() / 1e9;
    }
    return total;
}
