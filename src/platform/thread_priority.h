#pragma once

/// How far ahead of ordinary threads a thread of the timing is put.
enum class ThreadUrgency {
    Raised,    ///< a nice value of -10: the window thread, which also paints
    RealTime,  ///< the lowest real-time priority, else as Raised: the tick thread, a few
               ///< instructions a period
};

/// Puts the calling thread ahead of ordinary threads where the system allows it (a privileged
/// process, or limits that grant it). Returns false when the system refused: the thread then
/// stays as it was, which is no error. A lap clock that waits for a busy core is late.
bool raiseThreadPriority(ThreadUrgency urgency);
