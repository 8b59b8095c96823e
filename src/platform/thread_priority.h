#pragma once

/// How far ahead of ordinary threads a thread of the timing is put.
enum class ThreadUrgency {
    Raised,    ///< a nice value of -10 and a short slice: the window thread, which also paints
    RealTime,  ///< the lowest real-time priority, else as Raised: the tick thread, a few
               ///< instructions a period
};

/// Puts the calling thread ahead of ordinary threads where the system allows it (a privileged
/// process, or limits that grant it). Returns false when the system refused: the thread then
/// stays as it was, which is no error. A lap clock that waits for a busy core is late.
bool raiseThreadPriority(ThreadUrgency urgency);

/// Makes the calling thread an ordinary one again (nice 0, the default slice, not real-time).
/// A thread inherits the priority of the thread that starts it; this is for threads started by
/// a raised thread that must not run ahead.
void resetThreadPriority();
