// Music lighting's companion program (velqa-audio): started while a music effect is selected
// and stopped when none is, so that without one there is no process, no audio connection and
// no cost. It reads the desktop's audio and sends its levels back to us over the session bus,
// as any other program would. When it cannot run (no audio server, not installed) it says why
// once and is not started again until the effect is chosen anew.
#pragma once

#include <QObject>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <filesystem>

namespace velqa::app {

// Where the package puts the companion, relative to the programs' folder (bin/).
inline constexpr const char* kAudioCompanionFromBin = "../libexec/velqa/velqa-audio";
// The companion's exit status when no audio server answers, and when it cannot reach us.
inline constexpr int kAudioExitNoServer = 3;
inline constexpr int kAudioExitNoBus = 4;

// The companion beside the program (build tree) or where the package installs it; empty when
// neither exists.
std::filesystem::path find_audio_companion(const std::filesystem::path& program_folder);

class AudioCompanion : public QObject {
    Q_OBJECT

  public:
    // `program`: the companion (empty: not installed); `arguments` are passed to it.
    explicit AudioCompanion(std::filesystem::path program, QStringList arguments = {},
                            QObject* parent = nullptr);
    // Stops the companion (SIGTERM, a bounded wait, then SIGKILL).
    ~AudioCompanion() override;

    // Whether a music effect is selected. A change to true starts the companion (again, after
    // a failure); a change to false stops it.
    void set_wanted(bool on);
    bool wanted() const { return wanted_; }
    bool running() const { return process_.state() != QProcess::NotRunning; }
    qint64 process_id() const { return process_.processId(); }

    // Why music lighting cannot run, as a language text id ("" while it can or may), and the
    // companion's own words for it.
    const QString& unavailable_text_id() const { return unavailable_; }
    const QString& detail() const { return detail_; }

  signals:
    // unavailable_text_id() changed.
    void availability_changed();
    // The companion ended by itself (its output has been read).
    void stopped();

  private:
    void start();
    void stop();
    void on_finished(int code, QProcess::ExitStatus status);
    void set_unavailable(const QString& id, const QString& detail);

    std::filesystem::path program_;
    QStringList arguments_;
    QProcess process_;
    bool wanted_ = false;
    bool stopping_ = false;
    QString unavailable_;
    QString detail_;
};

}  // namespace velqa::app
