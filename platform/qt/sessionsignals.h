// Signals that end the user's session (SIGTERM, SIGINT, SIGHUP) delivered as calls on the
// thread that runs the event loop, so the program can shut down through its normal path.
#pragma once

#include <QObject>
#include <functional>

class QSocketNotifier;

namespace win {

class SessionSignals : public QObject {
    Q_OBJECT
public:
    // Installs the handlers; onSignal runs on this object's thread for each signal caught.
    // Only one object may exist at a time.
    explicit SessionSignals(std::function<void(int)> onSignal, QObject* parent = nullptr);
    // Restores the handlers that were there before.
    ~SessionSignals() override;

private:
    void Drain();

    std::function<void(int)> m_onSignal;
    QSocketNotifier* m_notifier = nullptr;
};

}  // namespace win
