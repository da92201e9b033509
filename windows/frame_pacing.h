// The saver's frame rate: a frame is due the delay after the one before it
// was due, the frame's own time counted in (at 30 ms, frames drawn in
// 10 ms come every 30 ms, not 40). Frames keep that beat however late a
// sleep ends; one that takes longer than the delay starts the beat anew
// rather than being caught up. A delay of 0 lets them come as fast as they
// are drawn.
#ifndef WINDOWS_FRAME_PACING_H
#define WINDOWS_FRAME_PACING_H

class FramePacer {
public:
    explicit FramePacer(unsigned delay_us);
    // After a frame: returns when the next one may start.
    void wait();

private:
    long long now_us() const;
    unsigned delay_us_;
    long long ticks_per_second_;
    long long last_start_us_ = -1;
};

#endif
