#include "app/fleetwingapp.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <signal.h>

#include <QTest>
#include <QTimer>
#include <filesystem>
#include <string>
#include <vector>

#include "console/fleetwingdlg.h"
#include "platform/qt/sessionsignals.h"
#include "qtapp.h"
#include "res/init_resources.h"

namespace {

using ::testing::ElementsAre;

// What the application did, in order: the skin library's calls and the console's life.
std::vector<std::string> g_calls;

SkinLibrary RecordingSkin() {
    return {
        [](void* instance, const char* app, const void* r1, const void* r2) {
            g_calls.push_back(std::string("init ") + app +
                              (instance != nullptr && r1 == nullptr && r2 == nullptr ? "" : " ?"));
            return SkinLibrary::Linked().init(instance, app, r1, r2);
        },
        [](void* instance, const char* name, const char* type) {
            g_calls.push_back(std::string("load ") + name + " " + type);
            return SkinLibrary::Linked().loadFromResource(instance, name, type);
        },
        [](const char* kind) {
            g_calls.push_back(std::string("skin ") + kind);
            return SkinLibrary::Linked().setWindowSkin(kind);
        },
        [] {
            g_calls.push_back("exit");
            SkinLibrary::Linked().exit();
        },
    };
}

class Application : public ::testing::Test {
protected:
    static void SetUpTestSuite() { InitFleetwingResources(); }
    void SetUp() override {
        char tmpl[] = "/tmp/fw-app-XXXXXX";
        ASSERT_NE(::mkdtemp(tmpl), nullptr);
        m_dir = tmpl;
        ::setenv("HOME", m_dir.c_str(), 1);
        ::setenv("XDG_CONFIG_HOME", (m_dir + "/config").c_str(), 1);
        g_calls.clear();
    }
    void TearDown() override { std::filesystem::remove_all(m_dir); }

    // Watches for the console and, once it is up, notes it and runs end on it.
    static void WhenConsoleRuns(CFleetwingApp& app, std::function<void(CFleetwingDlg&)> end) {
        auto* poll = new QTimer;
        poll->setInterval(5);
        QObject::connect(poll, &QTimer::timeout, [poll, &app, end] {
            auto* dlg = qobject_cast<CFleetwingDlg*>(app.m_pMainWnd);
            if (dlg == nullptr || !dlg->isVisible()) {
                return;
            }
            poll->stop();
            poll->deleteLater();
            g_calls.push_back(std::string("console ") +
                              (dlg->styleSheet().isEmpty() ? "plain" : "skinned"));
            end(*dlg);
        });
        poll->start();
    }

    std::string m_dir;
};

TEST_F(Application, SkinsTheProcessBeforeTheConsoleAndShutsItDownAfter) {
    CFleetwingApp app;
    app.m_skin = RecordingSkin();
    WhenConsoleRuns(app, [](CFleetwingDlg& dlg) {
        QTest::keyClick(&dlg, Qt::Key_Return);  // the dialog's OK ends the console
    });
    EXPECT_EQ(app.Run(), 0);
    EXPECT_THAT(g_calls, ElementsAre("init SCRIBBLE", "load DEFAULT SKINMAGIC", "skin Dialog",
                                     "console skinned", "exit"));
    EXPECT_EQ(app.RegistryKey(), "Local AppWizard-Generated Applications");
    EXPECT_EQ(app.m_pMainWnd, nullptr);
}

// A signal that ends the session ends the console like Exit, through the normal shutdown.
TEST_F(Application, SessionSignalsEndTheConsoleNormally) {
    for (const int signo : {SIGTERM, SIGINT, SIGHUP}) {
        SCOPED_TRACE(signo);
        g_calls.clear();
        CFleetwingApp app;
        app.m_skin = RecordingSkin();
        win::SessionSignals sessionSignals([&app](int) { app.EndSession(); });
        WhenConsoleRuns(app, [signo](CFleetwingDlg&) { ::raise(signo); });
        EXPECT_EQ(app.Run(), 0);
        EXPECT_THAT(g_calls, ElementsAre("init SCRIBBLE", "load DEFAULT SKINMAGIC", "skin Dialog",
                                         "console skinned", "exit"));
    }
}

// A signal that arrives before the console runs still ends it as soon as it does.
TEST_F(Application, SessionEndBeforeTheConsoleEndsItAtOnce) {
    CFleetwingApp app;
    app.m_skin = RecordingSkin();
    app.EndSession();
    EXPECT_EQ(app.Run(), 0);
    EXPECT_THAT(g_calls,
                ElementsAre("init SCRIBBLE", "load DEFAULT SKINMAGIC", "skin Dialog", "exit"));
}

}  // namespace
