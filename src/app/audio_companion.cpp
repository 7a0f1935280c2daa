#include "app/audio_companion.h"

#include <system_error>

#include "platform/debug_output.h"

namespace velqa::app {
namespace {

// How long the companion gets to end after SIGTERM; it ends at its next block (40 ms).
constexpr int kStopWaitMs = 1000;

}  // namespace

std::filesystem::path find_audio_companion(const std::filesystem::path& program_folder) {
    std::error_code ec;
    for (const std::filesystem::path& candidate :
         {program_folder / "velqa-audio", program_folder / kAudioCompanionFromBin}) {
        if (std::filesystem::is_regular_file(candidate, ec))
            return candidate.lexically_normal();
    }
    return {};
}

AudioCompanion::AudioCompanion(std::filesystem::path program, QStringList arguments,
                               QObject* parent)
    : QObject(parent), program_(std::move(program)), arguments_(std::move(arguments)) {
    // Its one line of why it ended is all it writes; its standard output is not used.
    process_.setProcessChannelMode(QProcess::SeparateChannels);
    process_.setStandardOutputFile(QProcess::nullDevice());
    connect(&process_, &QProcess::finished, this, &AudioCompanion::on_finished);
    connect(&process_, &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart)
            set_unavailable(QStringLiteral("light_audio_no_companion_text"),
                            process_.errorString());
    });
}

AudioCompanion::~AudioCompanion() {
    disconnect(&process_, nullptr, this, nullptr);
    stop();
}

void AudioCompanion::set_wanted(bool on) {
    if (on == wanted_)
        return;
    wanted_ = on;
    if (on) {
        start();
    } else {
        stop();
    }
}

void AudioCompanion::start() {
    if (running())
        return;
    if (program_.empty()) {
        set_unavailable(QStringLiteral("light_audio_no_companion_text"),
                        QStringLiteral("velqa-audio was not found beside the program"));
        return;
    }
    set_unavailable({}, {});
    stopping_ = false;
    process_.start(QString::fromStdString(program_.string()), arguments_);
}

void AudioCompanion::stop() {
    if (!running())
        return;
    stopping_ = true;
    process_.terminate();
    if (!process_.waitForFinished(kStopWaitMs)) {
        process_.kill();
        process_.waitForFinished(kStopWaitMs);
    }
}

void AudioCompanion::on_finished(int code, QProcess::ExitStatus status) {
    const QString said = QString::fromUtf8(process_.readAllStandardError()).trimmed();
    if (stopping_) {
        stopping_ = false;
        return;
    }
    if (status == QProcess::NormalExit && code == 0) {
        // We were gone from the bus for a moment (a restart of ours): nothing to report.
        emit stopped();
        return;
    }
    QString id = QStringLiteral("light_audio_failed_text");
    if (status == QProcess::NormalExit && code == kAudioExitNoServer)
        id = QStringLiteral("light_audio_no_server_text");
    else if (status == QProcess::NormalExit && code == kAudioExitNoBus)
        id = QStringLiteral("light_audio_no_bus_text");
    set_unavailable(id, said);
    emit stopped();
}

void AudioCompanion::set_unavailable(const QString& id, const QString& detail) {
    if (id == unavailable_ && detail == detail_)
        return;
    unavailable_ = id;
    detail_ = detail;
    if (!id.isEmpty()) {
        platform::debug_printf("music lighting unavailable (%s): %s\n", id.toUtf8().constData(),
                               detail.toUtf8().constData());
    }
    emit availability_changed();
}

}  // namespace velqa::app
