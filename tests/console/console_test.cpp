#include "console/fleetwingdlg.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QComboBox>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <filesystem>
#include <fstream>
#include <functional>

#include "accel/accelerationswitch.h"
#include "argv_record.h"
#include "platform/widgets/dialogbuilder.h"
#include "platform/widgets/dialogunits.h"
#include "qtapp.h"
#include "res/init_resources.h"

namespace {

// Runs the console's modal loop; inside it, once the console is up, runs check.
int RunConsole(CFleetwingDlg& dlg, const std::function<void(CFleetwingDlg&)>& check) {
    QTimer::singleShot(0, &dlg, [&dlg, check] { check(dlg); });
    return dlg.DoModal();
}

class Console : public ::testing::Test {
protected:
    static void SetUpTestSuite() { InitFleetwingResources(); }
    void SetUp() override {
        // One console per process in the program; here each test starts from acceleration off.
        theAccelerationSwitch.m_accelerating = false;
        char tmpl[] = "/tmp/fw-console-XXXXXX";
        ASSERT_NE(::mkdtemp(tmpl), nullptr);
        m_dir = tmpl;
        ::setenv("HOME", m_dir.c_str(), 1);
        ::setenv("XDG_CONFIG_HOME", (m_dir + "/config").c_str(), 1);
        ::setenv("WINEPREFIX", (m_dir + "/wine").c_str(), 1);
    }
    void TearDown() override { std::filesystem::remove_all(m_dir); }
    std::string m_dir;
};

TEST_F(Console, StartUpShowsTheTemplateWithItsLabelsAndTimer) {
    CFleetwingDlg dlg;
    const int result = RunConsole(dlg, [](CFleetwingDlg& d) {
        EXPECT_EQ(d.windowTitle(), QStringLiteral("Fleetwing"));
        EXPECT_TRUE(d.isVisible());
        for (const int id :
             {1001, 1007, 1024, 1025, 1026, 1027, 1028, 1030, 1034, 1035, 1036, 1037}) {
            EXPECT_NE(d.GetDlgItem(id), nullptr) << id;
        }
        EXPECT_EQ(d.m_accelerateButton, d.GetDlgItem(1001));
        EXPECT_EQ(d.m_quitButton, d.GetDlgItem(1007));
        EXPECT_EQ(d.m_runButton, d.GetDlgItem(1030));
        EXPECT_EQ(d.m_adapterCombo, d.GetDlgItem(1028));
        auto text = [&d](int id) { return qobject_cast<QLabel*>(d.GetDlgItem(id))->text(); };
        EXPECT_EQ(text(1025), QStringLiteral("1,0%"));
        EXPECT_EQ(text(1027), QStringLiteral("0,5%"));
        EXPECT_EQ(text(1026), QStringLiteral("0%"));
        EXPECT_TRUE(d.TimerRunning(CFleetwingDlg::kMeterTimer));
        EXPECT_FALSE(d.windowIcon().isNull());
        // The histogram covers its placeholder, draws every second and is found by its id.
        EXPECT_EQ(d.GetDlgItem(1000), &d.m_histogram);
        EXPECT_EQ(d.m_histogram.geometry(), d.GetDlgItem(1024)->geometry());
        EXPECT_TRUE(d.m_histogram.IsTimerRunning());
        EXPECT_EQ(d.m_histogram.SetSpeed(1000), 1000u);
        // The animated picture stands in for control 1037 and plays animation 176.
        EXPECT_EQ(d.GetDlgItem(1037), &d.m_picture);
        EXPECT_TRUE(d.m_picture.IsPlaying());
        EXPECT_EQ(d.m_picture.Frames().size(), 16u);
        // The adapter list shows this machine's interfaces, loopback left out.
        for (int i = 0; i < d.m_adapterCombo->count(); ++i) {
            const QString line = d.m_adapterCombo->itemText(i);
            EXPECT_TRUE(line.startsWith(QLatin1Char(' ')) && line.endsWith(QLatin1String("Mb")))
                << line.toStdString();
            EXPECT_FALSE(line.contains(QLatin1String("Loopback"))) << line.toStdString();
        }
        d.EndDialog(5);
    });
    EXPECT_EQ(result, 5);
}

// The bound texts travel both ways between the console and its labels.
TEST_F(Console, DataExchangeRunsBothWays) {
    CFleetwingDlg dlg;
    RunConsole(dlg, [](CFleetwingDlg& d) {
        d.m_traffic.m_topLabel = "3,5%";
        d.m_traffic.m_middleLabel = "1,7%";
        d.UpdateData(false);
        EXPECT_EQ(qobject_cast<QLabel*>(d.GetDlgItem(1025))->text(), QStringLiteral("3,5%"));
        EXPECT_EQ(qobject_cast<QLabel*>(d.GetDlgItem(1027))->text(), QStringLiteral("1,7%"));
        qobject_cast<QLabel*>(d.GetDlgItem(1026))->setText(QStringLiteral("edited"));
        d.UpdateData(true);
        EXPECT_EQ(d.m_traffic.m_bottomLabel, "edited");
        EXPECT_EQ(d.m_traffic.m_topLabel, "3,5%");
        d.EndDialog(0);
    });
}

// Enter is the dialog's OK: the texts come from the controls and the console ends with 1,
// whichever button has the focus; Quit ends with 2 and stops the meter timer.
TEST_F(Console, EnterQuitAndHidingEndOrKeepTheConsole) {
    struct Case {
        const char* what;
        std::function<void(CFleetwingDlg&)> act;
        int result;
    } cases[] = {
        {"Enter on the switch",
         [](CFleetwingDlg& d) {
             d.m_accelerateButton->setFocus();
             qobject_cast<QLabel*>(d.GetDlgItem(1025))->setText(QStringLiteral("typed"));
             const bool accelerating = theAccelerationSwitch.m_accelerating;
             QTest::keyClick(d.m_accelerateButton, Qt::Key_Return);
             EXPECT_EQ(d.m_traffic.m_topLabel, "typed");
             EXPECT_TRUE(d.m_accelerateButton->isChecked()) << "Enter pressed the switch";
             EXPECT_EQ(theAccelerationSwitch.m_accelerating, accelerating);
         },
         1},
        {"Enter on Quit",
         [](CFleetwingDlg& d) {
             d.m_quitButton->setFocus();
             QTest::keyClick(d.m_quitButton, Qt::Key_Enter, Qt::KeypadModifier);
         },
         1},
        {"Quit", [](CFleetwingDlg& d) { QTest::mouseClick(d.m_quitButton, Qt::LeftButton); }, 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        CFleetwingDlg dlg;
        bool timerAfter = true;
        const int result = RunConsole(dlg, [&](CFleetwingDlg& d) {
            c.act(d);
            QTimer::singleShot(0, &d, [&] {
                timerAfter = d.TimerRunning(CFleetwingDlg::kMeterTimer);
                d.EndDialog(99);  // only reached when the action did not end the console
            });
        });
        EXPECT_EQ(result, c.result);
        if (c.result == 2) {
            EXPECT_FALSE(dlg.TimerRunning(CFleetwingDlg::kMeterTimer));
        }
    }
}

TEST_F(Console, EscapeAndCloseHideWithoutEnding) {
    for (const bool byClose : {false, true}) {
        SCOPED_TRACE(byClose ? "close" : "Escape");
        CFleetwingDlg dlg;
        const int result = RunConsole(dlg, [byClose](CFleetwingDlg& d) {
            if (byClose) {
                d.close();
            } else {
                QTest::keyClick(&d, Qt::Key_Escape);
            }
            QTimer::singleShot(0, &d, [&d] {
                EXPECT_TRUE(d.isMinimized() || d.isVisible());
                d.EndDialog(42);
            });
        });
        EXPECT_EQ(result, 42) << "the console ended instead of hiding";
    }
}

TEST_F(Console, MeterTimerDispatchesToTheMeter) {
    CFleetwingDlg dlg;
    RunConsole(dlg, [](CFleetwingDlg& d) {
        QSignalSpy ticks(&d, &CFleetwingDlg::MeterTicked);
        d.SetTimer(21, 10);  // another identifier: ignored
        d.SetTimer(CFleetwingDlg::kMeterTimer, 10);
        EXPECT_TRUE(ticks.wait(5000));
        d.KillTimer(CFleetwingDlg::kMeterTimer);
        const auto seen = ticks.count();
        QTest::qWait(50);
        EXPECT_EQ(ticks.count(), seen) << "ticks after the timer was stopped";
        EXPECT_TRUE(d.TimerRunning(21));
        d.EndDialog(0);
    });
}

// The controls stand where the template puts them, in pixels of the dialog font.
TEST_F(Console, ControlsStandWhereTheTemplatePutsThem) {
    CFleetwingDlg dlg;
    RunConsole(dlg, [](CFleetwingDlg& d) {
        const QSize base = win::BaseUnits(d.font());
        EXPECT_EQ(d.GetDlgItem(1007)->geometry(),
                  win::DialogUnitsToPixels(QRect(164, 62, 102, 29), base));
        EXPECT_EQ(d.GetDlgItem(1024)->geometry(),
                  win::DialogUnitsToPixels(QRect(38, 149, 229, 44), base));
        EXPECT_EQ(d.size(), win::DialogUnitsToPixels(QRect(0, 0, 281, 246), base).size());
        d.EndDialog(0);
    });
}

// Labels draw straight onto the skinned background: where a label has no text, the console's
// own background shows.
TEST_F(Console, LabelsAreTransparentOnTheSkin) {
    QFile skin(QStringLiteral(":/res/SKINMAGIC/DEFAULT"));
    ASSERT_TRUE(skin.open(QIODevice::ReadOnly));
    CFleetwingDlg dlg;
    dlg.setStyleSheet(QString::fromUtf8(skin.readAll()));
    RunConsole(dlg, [](CFleetwingDlg& d) {
        const QImage shot = d.grab().toImage();
        for (const int id : {1025, 1027, 1026}) {
            const QRect label = d.GetDlgItem(id)->geometry();
            // Right-aligned text leaves the label's left edge bare; compare it with the
            // background just left of the label.
            const QPoint inside(label.left() + 1, label.center().y());
            const QPoint outside(label.left() - 2, label.center().y());
            EXPECT_EQ(shot.pixelColor(inside), shot.pixelColor(outside)) << id;
        }
        d.EndDialog(0);
    });
}

// The console starts acceleration with the switch pressed in; the switch stops and restarts it.
TEST_F(Console, TheSwitchStartsAndStopsAcceleration) {
    CFleetwingDlg dlg;
    RunConsole(dlg, [](CFleetwingDlg& d) {
        EXPECT_TRUE(theAccelerationSwitch.m_accelerating);
        EXPECT_TRUE(d.m_accelerateButton->isChecked());
        EXPECT_EQ(d.m_accelerateButton->text(), QString::fromUtf8(CAccelerationSwitch::kOnText));
        EXPECT_TRUE(d.m_histogram.IsTimerRunning());
        EXPECT_TRUE(d.m_picture.IsPlaying());

        QTest::mouseClick(d.m_accelerateButton, Qt::LeftButton);
        EXPECT_FALSE(theAccelerationSwitch.m_accelerating);
        EXPECT_FALSE(d.m_accelerateButton->isChecked());
        EXPECT_EQ(d.m_accelerateButton->text(), QString::fromUtf8(CAccelerationSwitch::kOffText));
        EXPECT_FALSE(d.TimerRunning(CFleetwingDlg::kMeterTimer));
        EXPECT_FALSE(d.m_histogram.IsTimerRunning());
        EXPECT_FALSE(d.m_picture.IsPlaying()) << "picture 182 is a still";

        QTest::mouseClick(d.m_accelerateButton, Qt::LeftButton);
        EXPECT_TRUE(theAccelerationSwitch.m_accelerating);
        EXPECT_TRUE(d.m_accelerateButton->isChecked());
        EXPECT_TRUE(d.TimerRunning(CFleetwingDlg::kMeterTimer));
        EXPECT_TRUE(d.m_picture.IsPlaying());
        d.EndDialog(0);
    });
}

// The updater starts at every console start, under wine, with its five quoted arguments; a
// missing updater is silent.
TEST_F(Console, StartsTheUpdaterWithItsArguments) {
    namespace fs = std::filesystem;
    const std::string bin = m_dir + "/bin";
    fs::create_directories(bin);
    fs::create_symlink(FW_HELPER_DIR "/argv_recorder", bin + "/wine");
    const std::string oldPath = std::getenv("PATH") != nullptr ? std::getenv("PATH") : "";
    ::setenv("PATH", bin.c_str(), 1);
    ::setenv("FW_ARGV_RECORD", (m_dir + "/record").c_str(), 1);

    {
        CFleetwingDlg missing;
        RunConsole(missing, [](CFleetwingDlg& d) { d.EndDialog(0); });
    }
    EXPECT_FALSE(fs::exists(m_dir + "/record")) << "started without an updater";

    { std::ofstream(bin + "/UpdateApp.exe") << "MZ"; }
    CFleetwingDlg dlg;
    RunConsole(dlg, [](CFleetwingDlg& d) { d.EndDialog(0); });
    const auto record = fwtest::WaitForRecord(m_dir + "/record");
    ::setenv("PATH", oldPath.c_str(), 1);
    ::unsetenv("FW_ARGV_RECORD");
    ASSERT_TRUE(record.has_value());
    EXPECT_THAT(record->argv,
                ::testing::ElementsAre(::testing::EndsWith("wine"), bin + "/UpdateApp.exe",
                                       "Fleetwing", "4", "3.7.0", "fleetwing.example", "false"));
}

}  // namespace
