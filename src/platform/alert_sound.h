#pragma once

#include <array>
#include <string_view>

/// The short chimes the program can sound, each distinct from the others by ear.
enum class AlertTone {
    Notice,   ///< one soft mid note
    Urgent,   ///< three quick high strikes
    Go,       ///< a bright rising arpeggio
    Rising,   ///< two notes, a fifth up
    Falling,  ///< two notes, a fifth down
    Pair,     ///< two equal mid strikes
    Low,      ///< one long low note
    Buzz,     ///< two low, harsh pulses
};

/// Every tone, in declaration order.
inline constexpr std::array<AlertTone, 8> kAlertTones{AlertTone::Notice, AlertTone::Urgent, AlertTone::Go,
                                                      AlertTone::Rising, AlertTone::Falling, AlertTone::Pair,
                                                      AlertTone::Low,    AlertTone::Buzz};

/// The tone's name: its sound file is chime-NAME.wav, its Windows resource CHIME_NAME.
constexpr std::string_view alertToneName(AlertTone tone)
{
    constexpr std::array<std::string_view, kAlertTones.size()> names{"notice",  "urgent", "go",  "rising",
                                                                     "falling", "pair",   "low", "buzz"};
    return names[static_cast<std::size_t>(tone)];
}

/// Sounds the chimes through the OS's own sound service. play never waits for the service and
/// never fails: a PC without a sound device or service plays nothing, and the program goes on.
class IAlertSound {
public:
    virtual ~IAlertSound() = default;
    /// Starts the tone and returns at once; a tone asked for while earlier ones are still being
    /// handed to the OS may be left out.
    virtual void play(AlertTone tone) = 0;
};
