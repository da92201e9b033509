#include "frame_pacing.h"

#include <windows.h>
#include <timeapi.h>

FramePacer::FramePacer(unsigned delay_us) : delay_us_(delay_us)
{
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    ticks_per_second_ = frequency.QuadPart;
    // Sleep in steps of a millisecond rather than the system's 15.6 ms,
    // for as long as the process runs.
    timeBeginPeriod(1);
}

long long FramePacer::now_us() const
{
    LARGE_INTEGER ticks;
    QueryPerformanceCounter(&ticks);
    return ticks.QuadPart / ticks_per_second_ * 1000000 +
           ticks.QuadPart % ticks_per_second_ * 1000000 / ticks_per_second_;
}

void FramePacer::wait()
{
    long long now = now_us(), due = last_start_us_ + delay_us_;
    if (last_start_us_ < 0 || now >= due) {
        last_start_us_ = now;
        return;
    }
    // Sleep may end a little early: sleep again for what is left.
    for (; now < due; now = now_us())
        Sleep((DWORD)((due - now + 999) / 1000));
    last_start_us_ = due;
}
