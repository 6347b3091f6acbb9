// What the acceleration switch needs of the console and its controls. The console implements it
// over its widgets; the tests implement it with a recorder.
#pragma once

#include "platform/wintypes.h"

class IAccelerationView {
public:
    virtual ~IAccelerationView() = default;
    // The console's window timers; setting a running timer restarts its period.
    virtual void SetTimer(int id, int milliseconds) = 0;
    virtual void KillTimer(int id) = 0;
    // The histogram's scroll interval (SetSpeed); 0 stops it.
    virtual void SetHistogramSpeed(int milliseconds) = 0;
    // The picture control: LoadFromResource(id, "GIF"), then ShowPicture.
    virtual void ShowPicture(win::WORD resourceId) = 0;
    // The window text of the switch's button (a multi-line button: "\n" breaks the line).
    virtual void SetButtonText(const char* text) = 0;
};
