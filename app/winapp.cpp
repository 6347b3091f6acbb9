#include "app/winapp.h"

#include <QApplication>
#include <QDialog>
#include <QMessageBox>
#include <QMetaObject>

#include "platform/paths.h"

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
        std::string exe = win::paths::ExecutablePath();
        const auto slash = exe.find_last_of('/');
        if (slash != std::string::npos) {
            exe.erase(0, slash + 1);
        }
        const auto dot = exe.find_last_of('.');
        if (dot != std::string::npos && dot > 0) {
            exe.erase(dot);
        }
        m_appName = exe;
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

int AfxMessageBox(const char* text, unsigned type) {
    const QString caption = QString::fromStdString(g_app != nullptr ? g_app->AppName() : "");
    QMessageBox box((type & 0xF0) == 0x10 ? QMessageBox::Critical : QMessageBox::NoIcon, caption,
                    QString::fromUtf8(text != nullptr ? text : ""), QMessageBox::Ok,
                    g_app != nullptr ? g_app->m_pMainWnd : nullptr);
    box.exec();
    return 1;
}
