// The application: skins the process and runs the console modally; when the console ends,
// the program ends.
#pragma once

#include "app/winapp.h"

// The skin library's four entry points, called through this table so that their order can be
// observed.
struct SkinLibrary {
    int (*init)(void* instance, const char* appName, const void* reserved1, const void* reserved2);
    int (*loadFromResource)(void* instance, const char* name, const char* type);
    int (*setWindowSkin)(const char* windowKind);
    void (*exit)();

    static SkinLibrary Linked();
};

class CFleetwingApp : public CWinApp {
public:
    CFleetwingApp();

    bool InitInstance() override;
    int ExitInstance() override;

    SkinLibrary m_skin;
};

extern CFleetwingApp theApp;
