#include "state/public_const.h"

#include <limits>

void Tick_Proc(PublicConst& pub)
{
    // Only this thread increments; the window thread only stores 0, so a check before the
    // add keeps the counter from wrapping without a compare-and-swap loop.
    if (pub.Pub_TickCount.load(std::memory_order_relaxed) < std::numeric_limits<int32_t>::max())
        pub.Pub_TickCount.fetch_add(1, std::memory_order_relaxed);
}
