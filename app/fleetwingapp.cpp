#include "app/fleetwingapp.h"

#include <QTimer>

#include "console/fleetwingdlg.h"
#include "platform/module.h"
#include "platform/skin/skin.h"

SkinLibrary SkinLibrary::Linked() {
    return {fwskin_Init, fwskin_LoadSkinFromResource, fwskin_SetWindowSkin, fwskin_Exit};
}

CFleetwingApp::CFleetwingApp() : m_skin(SkinLibrary::Linked()) {}

bool CFleetwingApp::InitInstance() {
    // Common controls and control containment need no preparation here.
    CWinApp::InitInstance();
    SetRegistryKey("Local AppWizard-Generated Applications");

    void* instance = win::GetModuleHandle(nullptr);
    m_skin.init(instance, "SCRIBBLE", nullptr, nullptr);
    m_skin.loadFromResource(instance, "DEFAULT", "SKINMAGIC");
    m_skin.setWindowSkin("Dialog");

    {
        CFleetwingDlg dlg;
        m_pMainWnd = &dlg;
        if (SessionEnding()) {
            QTimer::singleShot(0, &dlg, [&dlg] { dlg.EndDialog(0); });
        }
        dlg.DoModal();
        m_pMainWnd = nullptr;
    }
    return false;
}

int CFleetwingApp::ExitInstance() {
    m_skin.exit();
    return CWinApp::ExitInstance();
}
