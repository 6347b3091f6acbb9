// The acceleration switch over a recording view: its two sequences in order, its texts, and what
// it leaves running, with the real observer on loopback in a network namespace of the test.
#include "accel/accelerationswitch.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "accel/nettesting.h"
#include "net/localaddresslist.h"
#include "platform/winsock.h"

namespace {

using nettest::Namespace;
using nettest::OpenPacketSockets;
using Calls = std::vector<std::string>;

// Records what the switch does to the console, in order.
class RecordingView : public IAccelerationView {
public:
    void SetTimer(int id, int milliseconds) override {
        m_calls.push_back("SetTimer " + std::to_string(id) + " " + std::to_string(milliseconds));
    }
    void KillTimer(int id) override { m_calls.push_back("KillTimer " + std::to_string(id)); }
    void SetHistogramSpeed(int milliseconds) override {
        m_calls.push_back("SetHistogramSpeed " + std::to_string(milliseconds));
    }
    void ShowPicture(win::WORD resourceId) override {
        m_calls.push_back("ShowPicture " + std::to_string(resourceId));
    }
    void SetButtonText(const char* text) override {
        m_text = text;
        m_calls.push_back("SetButtonText " + m_text);
    }

    // The calls since the last look.
    Calls Take() { return std::exchange(m_calls, {}); }
    const std::string& text() const { return m_text; }

private:
    Calls m_calls;
    std::string m_text;
};

const std::string kOn = "Status: accelerating\nPress to stop acceleration";
const std::string kOff = "Status: stopped\nPress to start acceleration ";
const Calls kStartCalls = {"SetTimer 20 1000", "SetHistogramSpeed 1000", "ShowPicture 176",
                           "SetButtonText " + kOn};
const Calls kStopCalls = {"SetHistogramSpeed 0", "ShowPicture 182", "KillTimer 20",
                          "SetButtonText " + kOff};

std::vector<std::string> Loopback() {
    return {"127.0.0.1"};
}

void StartLibrary() {
    win::WSADATA data;
    ASSERT_EQ(win::WSAStartup(0x0101, &data), 0);
}

std::uint64_t Delivered(const CAccelerationSwitch& sw) {
    win::ReceiveCounters counters;
    return win::GetReceiveCounters(sw.m_observer.m_socket, counters) ? counters.delivered : 0;
}

TEST(AccelerationSwitch, StartsAndStopsInOrderWithTheTwoTexts) {
    Namespace ns;
    Namespace::RunIn(ns.name(), [] {
        StartLibrary();
        nettest::UdpSink sink("127.0.0.1", 9000);
        nettest::UdpSender sender("127.0.0.1", 9000);
        CAccelerationSwitch sw(Loopback);
        RecordingView view;
        EXPECT_FALSE(sw.m_accelerating);

        sw.OnAccelerate(view);
        EXPECT_EQ(view.Take(), kStartCalls);
        EXPECT_TRUE(sw.m_accelerating);
        EXPECT_EQ(view.text(), "Status: accelerating\nPress to stop acceleration");
        // The observer runs: its socket is open and its worker drains it.
        EXPECT_EQ(OpenPacketSockets(), 1);
        ASSERT_EQ(sender.Send(20), 20);
        EXPECT_TRUE(nettest::WaitFor([&sw] { return Delivered(sw) >= 20; }));
        EXPECT_EQ(sw.m_observer.Workers().running, 1);

        sw.OnAccelerate(view);
        EXPECT_EQ(view.Take(), kStopCalls);
        EXPECT_FALSE(sw.m_accelerating);
        // With a blank at the end.
        EXPECT_EQ(view.text(), "Status: stopped\nPress to start acceleration ");
        // Quiet interface, yet the worker ends and the socket goes without another packet.
        EXPECT_TRUE(sw.m_observer.WaitForWorkers(std::chrono::seconds(20)));
        EXPECT_EQ(OpenPacketSockets(), 0);
        EXPECT_EQ(sw.m_observer.Workers().flagCleared, 1);
    });
}

TEST(AccelerationSwitch, EachClickTogglesWithASocketPerStart) {
    Namespace ns;
    Namespace::RunIn(ns.name(), [] {
        StartLibrary();
        const win::SocketCounters before = win::GetSocketCounters();
        CAccelerationSwitch sw(Loopback);
        RecordingView view;
        for (int click = 0; click < 20; ++click) {
            sw.OnAccelerate(view);
            const bool on = click % 2 == 0;
            EXPECT_EQ(view.Take(), on ? kStartCalls : kStopCalls) << click;
            EXPECT_EQ(sw.m_accelerating, on) << click;
        }
        EXPECT_TRUE(sw.m_observer.WaitForWorkers(std::chrono::seconds(20)));
        EXPECT_EQ(OpenPacketSockets(), 0);
        const win::SocketCounters after = win::GetSocketCounters();
        EXPECT_EQ(after.created - before.created, 10u);
        EXPECT_EQ(after.closed - before.closed, 10u);
        EXPECT_EQ(sw.m_observer.Workers().flagCleared, 10);
    });
}

TEST(AccelerationSwitch, AfterTheRunListClearedTheFlagTheNextClickStartsAgain) {
    Namespace ns;
    Namespace::RunIn(ns.name(), [] {
        StartLibrary();
        CAccelerationSwitch sw(Loopback);
        RecordingView view;
        sw.OnAccelerate(view);
        const win::SOCKET first = sw.m_observer.m_socket;
        view.Take();

        // The run list turns acceleration off by itself: the button still says accelerating.
        sw.m_accelerating = false;
        EXPECT_EQ(view.text(), kOn);

        // So the next command finds the flag clear and starts, with a new socket; the earlier
        // worker leaves and closes the earlier one.
        sw.OnAccelerate(view);
        EXPECT_EQ(view.Take(), kStartCalls);
        EXPECT_TRUE(sw.m_accelerating);
        EXPECT_NE(sw.m_observer.m_socket, first);
        EXPECT_TRUE(nettest::WaitFor([&sw] { return sw.m_observer.Workers().running == 1; }));
        EXPECT_EQ(OpenPacketSockets(), 1);
    });
}

TEST(AccelerationSwitch, WithoutTheRightToRawSocketsItStillShowsAccelerating) {
    Namespace ns;
    Namespace::RunIn(ns.name(), [] {
        ASSERT_TRUE(nettest::DropRawSocketRight());
        StartLibrary();
        CAccelerationSwitch sw(Loopback);
        RecordingView view;
        sw.OnAccelerate(view);
        // No message, nothing but the start sequence.
        EXPECT_EQ(view.Take(), kStartCalls);
        EXPECT_TRUE(sw.m_accelerating);
        EXPECT_EQ(sw.m_observer.m_socket, win::INVALID_SOCKET);
        // The worker has ended at once with exit code 1, on a quiet interface.
        EXPECT_TRUE(sw.m_observer.WaitForWorkers(std::chrono::seconds(20)));
        EXPECT_EQ(sw.m_observer.Workers(), (CPacketObserver::WorkerCounts{0, 0, 1}));
        EXPECT_EQ(OpenPacketSockets(), 0);

        sw.OnAccelerate(view);
        EXPECT_EQ(view.Take(), kStopCalls);
    });
}

// The threads of this process.
int Threads() {
    int count = 0;
    if (DIR* dir = ::opendir("/proc/self/task")) {
        while (const dirent* entry = ::readdir(dir)) {
            count += entry->d_name[0] != '.' ? 1 : 0;
        }
        ::closedir(dir);
    }
    return count;
}

TEST(AccelerationSwitch, GoingAwayWhileOnEndsAndJoinsItsWorkers) {
    Namespace ns;
    Namespace::RunIn(ns.name(), [] {
        StartLibrary();
        int withWorkers = 0;
        {
            CAccelerationSwitch sw(Loopback);
            RecordingView view;
            sw.OnAccelerate(view);
            sw.m_observer.BeginObserverThread();
            EXPECT_EQ(sw.m_observer.Workers().running, 2);
            withWorkers = Threads();
        }
        // Both workers are gone (a sanitizer's own thread, if any, stays).
        EXPECT_EQ(Threads(), withWorkers - 2);
        EXPECT_EQ(OpenPacketSockets(), 0);
    });
}

// The process's own switch at a normal exit with acceleration on and its worker waiting on a
// quiet interface: the exit ends and joins the worker instead of leaving it to run into static
// destruction, and the process ends at once with its exit code.
TEST(AccelerationSwitch, TheProcessSwitchLetsTheProgramExitWhileOn) {
    Namespace ns;
    std::fflush(nullptr);
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        if (!nettest::EnterNamespace(ns.name())) {
            ::_exit(10);
        }
        win::WSADATA data;
        win::WSAStartup(0x0101, &data);
        theLocalAddressList.m_count = 1;
        std::snprintf(theLocalAddressList.m_entries[0].data(), CLocalAddressList::kEntrySize,
                      "127.0.0.1");
        static RecordingView view;
        theAccelerationSwitch.OnAccelerate(view);
        if (thePacketObserver.m_socket == win::INVALID_SOCKET || OpenPacketSockets() != 1) {
            ::_exit(11);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        std::exit(theAccelerationSwitch.m_accelerating ? 0 : 12);
    }
    int status = 0;
    const bool ended =
        nettest::WaitFor([pid, &status] { return ::waitpid(pid, &status, WNOHANG) == pid; },
                         std::chrono::seconds(30));
    if (!ended) {
        ::kill(pid, SIGKILL);
        ::waitpid(pid, &status, 0);
    }
    ASSERT_TRUE(ended) << "the program did not end";
    ASSERT_TRUE(WIFEXITED(status)) << status;
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

}  // namespace
