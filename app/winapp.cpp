#include "app/winapp.h"

#include <QApplication>
#include <QDialog>
#include <QMetaObject>

#include "platform/widgets/messagebox.h"

namespace {
CWinApp* g_app = nullptr;
}

CWinApp::CWinApp(const char* appName) {
    if (appName != nullptr) {
        m_appName = appName;
    }
    g_app = this;
}

CWinApp::~CWinApp() {
    if (g_app == this) {
        g_app = nullptr;
    }
}

bool CWinApp::InitInstance() {
    return true;
}

int CWinApp::ExitInstance() {
    return 0;
}

int CWinApp::Run() {
    if (InitInstance() && qApp != nullptr) {
        QApplication::exec();
    }
    return ExitInstance();
}

void CWinApp::SetRegistryKey(const char* key) {
    m_registryKey = key != nullptr ? key : "";
}

const std::string& CWinApp::AppName() const {
    if (m_appName.empty()) {
        m_appName = win::AppCaption();
    }
    return m_appName;
}

void CWinApp::EndSession() {
    m_sessionEnding = true;
    if (auto* dialog = qobject_cast<QDialog*>(m_pMainWnd)) {
        QMetaObject::invokeMethod(
            dialog, [dialog] { dialog->done(0); }, Qt::QueuedConnection);
    }
}

CWinApp* AfxGetApp() {
    return g_app;
}
