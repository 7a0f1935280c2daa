// Starting a program and timing its first frame: the program says "first paint" on stderr once
// its window's first frame is out (velqa with VELQA_DEBUG=1, and the minimal window).
#pragma once

#include <QByteArray>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>
#include <algorithm>
#include <vector>

namespace velqa::bench {

inline double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

// CPU milliseconds a process has used so far: the scheduler's count of each of its threads.
inline double process_cpu_ms(qint64 pid) {
    const QDir tasks(QStringLiteral("/proc/%1/task").arg(pid));
    double total = 0;
    for (const QString& task : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile stat(tasks.filePath(task + QStringLiteral("/schedstat")));
        if (stat.open(QIODevice::ReadOnly))
            total += stat.readAll().split(' ').front().toDouble() / 1e6;
    }
    return total;
}

// Milliseconds from start to the program's "first paint" line, for a run that then exits with
// 0; -1 on failure. `err` gets its stderr, `exit_ms` the milliseconds to its exit, `cpu_ms` the
// CPU time its threads had used by the first paint (which other jobs on the machine do not
// inflate as they do the wall time).
inline double first_paint_ms(const QString& program, const QStringList& args,
                             const QProcessEnvironment& env, QString* err = nullptr,
                             double* exit_ms = nullptr, double* cpu_ms = nullptr) {
    QProcess p;
    p.setProcessEnvironment(env);
    p.setReadChannel(QProcess::StandardError);
    QElapsedTimer clock;
    clock.start();
    p.start(program, args);
    QByteArray out;
    double painted = -1;
    while (painted < 0 && p.waitForReadyRead(60000)) {
        out += p.readAllStandardError();
        if (out.contains("first paint")) {
            painted = static_cast<double>(clock.nsecsElapsed()) / 1e6;
            if (cpu_ms != nullptr)
                *cpu_ms = process_cpu_ms(p.processId());
        }
    }
    if (!p.waitForFinished(60000) || p.exitCode() != 0 || painted < 0)
        return -1;
    if (exit_ms != nullptr)
        *exit_ms = static_cast<double>(clock.nsecsElapsed()) / 1e6;
    out += p.readAllStandardError();
    if (err != nullptr)
        *err = QString::fromUtf8(out);
    return painted;
}

}  // namespace velqa::bench
