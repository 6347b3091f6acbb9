// The console: the program's one main window, built from dialog template 102 and run modally
// until the program ends.
#pragma once

#include <QBasicTimer>
#include <QDialog>
#include <QIcon>
#include <map>
#include <string>

#include "accel/accelerationview.h"
#include "console/consoleadapters.h"
#include "controls/histogramctrl.h"
#include "controls/pictureex.h"
#include "net/consoleparts.h"
#include "net/interfacetable.h"
#include "net/trafficmeter.h"

class QLabel;
class QPushButton;
class QComboBox;

class CFleetwingDlg : public QDialog, public IConsoleServices, public IAccelerationView {
    Q_OBJECT
public:
    enum { IDD = 102 };
    static constexpr int kMeterTimer = 20;
    static constexpr int kHistogramId = 1000;

    explicit CFleetwingDlg(QWidget* parent = nullptr);
    ~CFleetwingDlg() override;

    // Builds the window from its template, runs OnInitDialog and the modal loop. Returns the
    // result the dialog was ended with.
    int DoModal();
    // Ends the modal run with result; during OnInitDialog the loop then does not start.
    void EndDialog(int result) override;

    // Copies the bound texts to the controls (false) or from them (true).
    void UpdateData(bool saveAndValidate) override;

    // The application's message box, over the console.
    void MessageBox(win::LPCSTR text) override;

    // What the acceleration switch changes on the console.
    void SetHistogramSpeed(int milliseconds) override;
    void ShowPicture(win::WORD resourceId) override;
    void SetButtonText(const char* text) override;

    // Window timers by identifier; setting a running timer restarts its period.
    void SetTimer(int id, int milliseconds) override;
    void KillTimer(int id) override;
    bool TimerRunning(int id) const;

    // A child control by its identifier, or null.
    QWidget* GetDlgItem(int id) const;

    CTrafficMeter m_traffic;
    CHistogramCtrl m_histogram;
    CInterfaceTable m_interfaces;
    CPictureEx m_picture;
    QIcon m_hIcon;
    bool m_runAtStartup = false;
    int m_checkPeriodUnit = 0;
    std::string m_checkPeriodText;
    std::string m_accelerateText;
    QPushButton* m_accelerateButton = nullptr;
    QPushButton* m_quitButton = nullptr;
    QPushButton* m_runButton = nullptr;
    QComboBox* m_adapterCombo = nullptr;

Q_SIGNALS:
    // Each tick of the meter timer, after the console's own work.
    void MeterTicked();

protected:
    virtual bool OnInitDialog();
    void OnTimer(int id);
    void OnHideToTray();
    void OnQuit();
    void OnOK();
    void OnAccelerate();
    // Static texts, group boxes and check-box-like buttons draw straight onto the skinned
    // background.
    void OnCtlColor(QWidget* control);

    void timerEvent(QTimerEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void reject() override;

private:
    void BindControls();
    void CentreOnDesktop();
    void StartUpdater();
    void CreateHistogram();

    std::map<int, QBasicTimer> m_timers;
    bool m_initialising = false;
    bool m_endedDuringInit = false;
    int m_initResult = 0;
    CComboAdapterList m_adapterList;
    CHistogramSink m_histogramSink{m_histogram};
    CLevelPicture m_levelPicture{m_picture};
    QLabel* m_topLabelCtrl = nullptr;
    QLabel* m_middleLabelCtrl = nullptr;
    QLabel* m_bottomLabelCtrl = nullptr;
};
