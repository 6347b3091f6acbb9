// The application object of the framework: one per process, constructed during static
// initialisation. Run() is the program's life: InitInstance, then (when it asks for one) the
// event loop, then ExitInstance, whose result is the process's exit code.
#pragma once

#include <string>

class QWidget;

class CWinApp {
public:
    // Without a name, the application is named after the executable's file name without its
    // extension; that name is the caption of the application's message boxes.
    explicit CWinApp(const char* appName = nullptr);
    virtual ~CWinApp();
    CWinApp(const CWinApp&) = delete;
    CWinApp& operator=(const CWinApp&) = delete;

    virtual bool InitInstance();
    virtual int ExitInstance();
    int Run();

    // The key name under which the framework would keep its own profile; recorded only.
    void SetRegistryKey(const char* key);
    const std::string& RegistryKey() const { return m_registryKey; }
    const std::string& AppName() const;

    // Asks the main window to end as the Exit command does, now or, when it does not exist
    // yet, as soon as it runs. Called for signals that end the session.
    void EndSession();
    bool SessionEnding() const { return m_sessionEnding; }

    QWidget* m_pMainWnd = nullptr;

private:
    mutable std::string m_appName;
    std::string m_registryKey;
    bool m_sessionEnding = false;
};

CWinApp* AfxGetApp();
