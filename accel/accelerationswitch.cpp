#include "accel/accelerationswitch.h"

#include <utility>

#include "accel/localaddresses.h"

CAccelerationSwitch theAccelerationSwitch{LocalAddressTexts};
CPacketObserver& thePacketObserver = theAccelerationSwitch.m_observer;

CAccelerationSwitch::CAccelerationSwitch(CPacketObserver::AddressSource addresses)
    : m_observer(m_accelerating, std::move(addresses)) {}

void CAccelerationSwitch::OnAccelerate(IAccelerationView& view) {
    if (!m_accelerating.load()) {
        Start(view);
    } else {
        Stop(view);
    }
}

void CAccelerationSwitch::Start(IAccelerationView& view) {
    m_accelerating.store(true);
    m_observer.StartObserver();
    m_observer.BeginObserverThread();
    view.SetTimer(kMeterTimer, kMeterPeriod);
    view.SetHistogramSpeed(kHistogramSpeed);
    view.ShowPicture(kStartPicture);
    view.SetButtonText(kOnText);
}

void CAccelerationSwitch::Stop(IAccelerationView& view) {
    m_accelerating.store(false);
    // The worker would notice at its next packet; wake it so that the socket goes now.
    m_observer.StopObserver();
    view.SetHistogramSpeed(0);
    view.ShowPicture(kStopPicture);
    view.KillTimer(kMeterTimer);
    view.SetButtonText(kOffText);
}
