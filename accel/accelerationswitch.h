// The acceleration switch: the console's "ACCELLERATE!" button turns acceleration on and off,
// and the process-wide acceleration flag says which it is.
#pragma once

#include <atomic>

#include "accel/accelerationview.h"
#include "accel/packetobserver.h"
#include "platform/wintypes.h"

class CAccelerationSwitch {
public:
    // The console's meter timer and its period, and the histogram's speed while acceleration is
    // on.
    static constexpr int kMeterTimer = 20;
    static constexpr int kMeterPeriod = 1000;
    static constexpr int kHistogramSpeed = 1000;
    // The pictures shown when acceleration starts and when it stops.
    static constexpr win::WORD kStartPicture = 176;
    static constexpr win::WORD kStopPicture = 182;
    // The button's texts.
    static constexpr const char* kOnText = "Status: accelerating\nPress to stop acceleration";
    static constexpr const char* kOffText = "Status: stopped\nPress to start acceleration ";

    // addresses is where the observer takes the local addresses from.
    explicit CAccelerationSwitch(CPacketObserver::AddressSource addresses);

    // The console's handler of the button's command: the start sequence when the flag is clear,
    // else the stop sequence. Neither touches the button's check state, which the button
    // toggles itself on every click, nor the traffic meter's values.
    void OnAccelerate(IAccelerationView& view);

    // Acceleration is on. Written on the user-interface thread (here and by the run list), read
    // by the observer's workers. False at start.
    std::atomic<bool> m_accelerating{false};
    // The process's packet observer. Declared after the flag, so that it is destroyed first:
    // its destructor ends its workers and waits for them, and they watch the flag until then.
    CPacketObserver m_observer;

private:
    void Start(IAccelerationView& view);
    void Stop(IAccelerationView& view);
};

// The process's switch, with its observer; at the process's normal exit the observer's workers
// are stopped and joined before the flag they watch goes away.
extern CAccelerationSwitch theAccelerationSwitch;
extern CPacketObserver& thePacketObserver;
