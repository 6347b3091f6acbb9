#include "console/fleetwingdlg.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QGroupBox>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QTimerEvent>

#include "accel/accelerationswitch.h"
#include "net/localaddresslist.h"
#include "platform/qt/resources.h"
#include "platform/shell.h"
#include "platform/widgets/dialogbuilder.h"
#include "platform/widgets/messagebox.h"
#include "platform/winsock.h"

namespace {

constexpr int IDOK = 1;
constexpr int IDCANCEL = 2;

// The updater's arguments: product, two version numbers, the maker's web domain, and whether
// to run silently.
constexpr const char* kUpdaterArguments =
    "\"Fleetwing\" \"4\" \"3.7.0\" \"fleetwing.example\" \"false\"";

}  // namespace

CFleetwingDlg::CFleetwingDlg(QWidget* parent) : QDialog(parent) {
    m_hIcon = QIcon(win::ResourcePath(win::MAKEINTRESOURCE(128), win::RT_GROUP_ICON));
    m_interfaces.Attach(m_adapterList, *this, m_traffic);
    m_traffic.Attach(m_interfaces, m_histogramSink, m_levelPicture, *this);
}

CFleetwingDlg::~CFleetwingDlg() = default;

int CFleetwingDlg::DoModal() {
    if (!win::BuildDialog(this, IDD)) {
        return -1;
    }
    setWindowIcon(m_hIcon);
    m_initialising = true;
    m_endedDuringInit = false;
    OnInitDialog();
    m_initialising = false;
    if (m_endedDuringInit) {
        return m_initResult;
    }
    return exec();
}

void CFleetwingDlg::EndDialog(int result) {
    if (m_initialising) {
        m_endedDuringInit = true;
        m_initResult = result;
        return;
    }
    done(result);
}

bool CFleetwingDlg::OnInitDialog() {
    StartUpdater();
    BindControls();
    UpdateData(false);
    // A Linux window manager owns the window menu: the console adds no About item there.
    if (m_interfaces.LoadInterfaceList()) {
        m_interfaces.RefreshTable();
        if (const auto row = m_interfaces.SelectedRow()) {
            m_traffic.ResetBaseline(*row);
        }
    }
    m_picture.LoadFromResource(176, "GIF");
    m_picture.ShowPicture();
    CreateHistogram();
    SetTimer(kMeterTimer, 1000);
    m_histogram.SetSpeed(1000);
    m_traffic.m_topLabel = "1,0%";
    m_traffic.m_middleLabel = "0,5%";
    m_traffic.m_bottomLabel = "0%";
    UpdateData(false);
    CentreOnDesktop();
    win::WSADATA socketLibrary{};
    win::WSAStartup(0x0101, &socketLibrary);
    theLocalAddressList.FillLocalAddressList(100);
    OnAccelerate();
    if (m_accelerateButton != nullptr) {
        m_accelerateButton->setChecked(true);
    }
    return true;
}

void CFleetwingDlg::StartUpdater() {
    win::ShellExecute(nullptr, "open", "UpdateApp.exe", kUpdaterArguments, nullptr,
                      win::SW_SHOWNORMAL);
}

// The histogram covers the placeholder control 1024.
void CFleetwingDlg::CreateHistogram() {
    const QWidget* placeholder = GetDlgItem(1024);
    if (placeholder == nullptr) {
        return;
    }
    m_histogram.Create(placeholder->geometry(), this, kHistogramId);
    m_histogram.raise();
    m_histogram.SetRange(1, 10);
}

void CFleetwingDlg::BindControls() {
    m_accelerateButton = qobject_cast<QPushButton*>(GetDlgItem(1001));
    m_quitButton = qobject_cast<QPushButton*>(GetDlgItem(1007));
    m_topLabelCtrl = qobject_cast<QLabel*>(GetDlgItem(1025));
    m_middleLabelCtrl = qobject_cast<QLabel*>(GetDlgItem(1027));
    m_bottomLabelCtrl = qobject_cast<QLabel*>(GetDlgItem(1026));
    m_adapterCombo = qobject_cast<QComboBox*>(GetDlgItem(1028));
    m_adapterList.Bind(m_adapterCombo);
    if (m_adapterCombo != nullptr) {
        connect(m_adapterCombo, &QComboBox::activated, this,
                [this] { m_interfaces.OnAdapterSelChange(); });
    }
    m_runButton = qobject_cast<QPushButton*>(GetDlgItem(1030));
    m_picture.SubclassDlgItem(1037, this);

    // Enter belongs to the dialog (IDOK) unless the focused control takes it: no button is
    // pressed by it.
    for (auto* button : findChildren<QPushButton*>()) {
        button->setAutoDefault(false);
        button->setDefault(false);
    }
    if (m_quitButton != nullptr) {
        connect(m_quitButton, &QPushButton::clicked, this, &CFleetwingDlg::OnQuit);
    }
    if (m_accelerateButton != nullptr) {
        connect(m_accelerateButton, &QPushButton::clicked, this, &CFleetwingDlg::OnAccelerate);
    }
    for (QWidget* child : findChildren<QWidget*>()) {
        OnCtlColor(child);
    }
}

void CFleetwingDlg::OnCtlColor(QWidget* control) {
    const auto* button = qobject_cast<QPushButton*>(control);
    const bool isStatic = qobject_cast<QLabel*>(control) != nullptr ||
                          qobject_cast<QGroupBox*>(control) != nullptr ||
                          (button != nullptr && button->isCheckable());
    if (!isStatic) {
        return;
    }
    control->setAutoFillBackground(false);
    control->setAttribute(Qt::WA_NoSystemBackground, true);
}

void CFleetwingDlg::MessageBox(win::LPCSTR text) {
    AfxMessageBox(text, win::MB_OK);
}

void CFleetwingDlg::OnAccelerate() {
    theAccelerationSwitch.OnAccelerate(*this);
}

void CFleetwingDlg::SetHistogramSpeed(int milliseconds) {
    m_histogram.SetSpeed(static_cast<win::UINT>(milliseconds));
}

void CFleetwingDlg::ShowPicture(win::WORD resourceId) {
    m_picture.LoadFromResource(resourceId, "GIF");
    m_picture.ShowPicture();
}

void CFleetwingDlg::SetButtonText(const char* text) {
    if (m_accelerateButton != nullptr) {
        m_accelerateButton->setText(QString::fromUtf8(text));
    }
}

void CFleetwingDlg::UpdateData(bool saveAndValidate) {
    struct Binding {
        QLabel* control;
        std::string* text;
    } bindings[] = {{m_topLabelCtrl, &m_traffic.m_topLabel},
                    {m_middleLabelCtrl, &m_traffic.m_middleLabel},
                    {m_bottomLabelCtrl, &m_traffic.m_bottomLabel}};
    for (const auto& b : bindings) {
        if (b.control == nullptr) {
            continue;
        }
        if (saveAndValidate) {
            *b.text = b.control->text().toStdString();
        } else {
            b.control->setText(QString::fromStdString(*b.text));
        }
    }
}

void CFleetwingDlg::SetTimer(int id, int milliseconds) {
    m_timers[id].start(milliseconds, this);
}

void CFleetwingDlg::KillTimer(int id) {
    const auto it = m_timers.find(id);
    if (it != m_timers.end()) {
        it->second.stop();
    }
}

bool CFleetwingDlg::TimerRunning(int id) const {
    const auto it = m_timers.find(id);
    return it != m_timers.end() && it->second.isActive();
}

QWidget* CFleetwingDlg::GetDlgItem(int id) const {
    return win::GetDlgItem(const_cast<CFleetwingDlg*>(this), id);
}

void CFleetwingDlg::timerEvent(QTimerEvent* event) {
    for (const auto& [id, timer] : m_timers) {
        if (timer.timerId() == event->timerId()) {
            OnTimer(id);
            return;
        }
    }
    QDialog::timerEvent(event);
}

void CFleetwingDlg::OnTimer(int id) {
    if (id == kMeterTimer) {
        m_traffic.OnMeterTick();
        Q_EMIT MeterTicked();
    }
}

void CFleetwingDlg::keyPressEvent(QKeyEvent* event) {
    if (event->modifiers() == Qt::NoModifier || event->modifiers() == Qt::KeypadModifier) {
        if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
            OnOK();
            return;
        }
    }
    QDialog::keyPressEvent(event);
}

void CFleetwingDlg::OnOK() {
    UpdateData(true);
    done(IDOK);
}

void CFleetwingDlg::OnQuit() {
    KillTimer(kMeterTimer);
    done(IDCANCEL);
}

// Escape arrives here.
void CFleetwingDlg::reject() {
    OnHideToTray();
}

// The caption's close button and the window manager's close (Alt+F4) arrive here.
void CFleetwingDlg::closeEvent(QCloseEvent* event) {
    event->ignore();
    OnHideToTray();
}

void CFleetwingDlg::OnHideToTray() {
    // Until the console has a tray icon it stays reachable: it goes to the taskbar.
    showMinimized();
}

void CFleetwingDlg::CentreOnDesktop() {
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (screen == nullptr) {
        return;
    }
    QRect frame = frameGeometry();
    frame.moveCenter(screen->availableGeometry().center());
    move(frame.topLeft());
}
