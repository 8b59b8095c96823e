#pragma once

#include "platform/alert_sound.h"

#include <QString>

#include <functional>
#include <memory>
#include <thread>

/// Sounds the chimes through the desktop's event sound service (libcanberra): each tone is the
/// file chime-NAME.wav of the program's sound folder. Connecting to the sound server can stall,
/// so a worker thread of its own makes every call; play only hands it the tone. Without a sound
/// device or server nothing is heard and one line on standard error says so.
class CanberraAlertSound : public IAlertSound {
public:
    /// What it reaches; tests replace each part.
    struct Access {
        QString soundFolder;  ///< the folder of the chime files; empty: the one installed with the program
        std::function<void(const QString& line)> tell = {};  ///< takes the line saying the chimes are silent; empty: stderr
    };

    /// The chimes installed with the program, told on standard error.
    CanberraAlertSound();
    explicit CanberraAlertSound(Access access);
    /// Ends the worker once it has handed the waiting tones to the sound service; one held up
    /// by the sound server is left to the end of the process, and so is the sound context.
    ~CanberraAlertSound() override;
    CanberraAlertSound(const CanberraAlertSound&) = delete;
    CanberraAlertSound& operator=(const CanberraAlertSound&) = delete;

    void play(AlertTone tone) override;

    /// The chime files of a program in programFolder: sounds/ beside it where that exists (the
    /// build tree), else ../share/rivect/sounds (the installed layout).
    static QString soundFolderFor(const QString& programFolder);

private:
    struct Queue;
    // The worker's loop: the sound context is made, connected and used only there.
    static void playTones(const std::shared_ptr<Queue>& queue, const QString& folder,
                          const std::function<void(const QString& line)>& tell);

    std::shared_ptr<Queue> m_queue;  // shared with the worker, which may outlive this object
    std::thread m_worker;
};
