#pragma once
// The application: single-instance guard, main window, profile file of the project.

#include <memory>

#include <wx/app.h>

#include "platform/CString.h"

class CMainFrame;
class wxFrame;
class CSingleInstance;

class CKorvaneApp : public wxApp {
public:
    CKorvaneApp();
    ~CKorvaneApp() override;

    bool OnInit() override { return InitInstance(); }
    int OnRun() override;
    int OnExit() override { return ExitInstance(); }

    bool InitInstance();
    int ExitInstance();
    void OnAppAbout();
    static void ShowAbout(wxWindow* parent);
    static void SetProfileFile(const CString& path);

    CMainFrame* GetMainFrame() const { return m_pMainFrame; }
    // What a second start asks of the running copy: its window (or the pop-up in front of
    // it) comes to the front.
    static void RaiseMainWindow(wxFrame* frame);

private:
    std::unique_ptr<CSingleInstance> m_instance;
    CMainFrame* m_pMainFrame = nullptr;
    bool m_bOtherInstanceRunning = false;
};

wxDECLARE_APP(CKorvaneApp);
