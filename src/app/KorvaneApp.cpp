#include "app/KorvaneApp.h"

#include <wx/image.h>

#include "app/AboutDlg.h"
#include "app/AppProfile.h"
#include "app/AppStrings.h"
#include "app/KorvaneView.h"
#include "app/MainFrame.h"
#include "platform/DialogHost.h"
#include "platform/MessageBox.h"
#include "platform/SingleInstance.h"

CKorvaneApp::CKorvaneApp() = default;
CKorvaneApp::~CKorvaneApp() = default;

bool CKorvaneApp::InitInstance() {
    m_instance = std::make_unique<CSingleInstance>();
    CSingleInstance::Result guard = m_instance->TryAcquire(g_strAppId);
    if (guard == CSingleInstance::Result::Failed) return false;
    if (guard == CSingleInstance::Result::AlreadyRunning) {
        // Another copy runs: tell the user, bring that one to the front, end quietly.
        m_bOtherInstanceRunning = true;
        AfxMessageBox("既に起動しています。");
        m_instance->AskRunningToRaise();
        return true;  // OnRun ends at once with status 0
    }
    wxInitAllImageHandlers();
    m_pMainFrame = new CMainFrame();
    SetTopWindow(m_pMainFrame);
    m_pMainFrame->GetView()->OnInitialUpdate();
    m_pMainFrame->Centre();
    m_pMainFrame->Maximize(true);
    m_pMainFrame->Show(true);
    m_instance->Listen([this] { RaiseMainWindow(m_pMainFrame); });
    return true;
}

int CKorvaneApp::OnRun() {
    if (m_bOtherInstanceRunning) return 0;
    return wxApp::OnRun();
}

int CKorvaneApp::ExitInstance() {
    if (m_instance) m_instance->Release();
    return 0;
}

void CKorvaneApp::RaiseMainWindow(wxFrame* frame) {
    if (!frame) return;
    if (frame->IsIconized()) frame->Iconize(false);
    // The last active pop-up (a modal dialog) goes to the front if there is one.
    wxWindow* active = wxGetActiveWindow();
    wxTopLevelWindow* front = active ? wxDynamicCast(wxGetTopLevelParent(active), wxTopLevelWindow) : nullptr;
    if (!front) front = frame;
    front->Raise();
    front->RequestUserAttention();
}

void CKorvaneApp::OnAppAbout() { ShowAbout(m_pMainFrame); }

void CKorvaneApp::ShowAbout(wxWindow* parent) {
    CAboutDlg dlg(parent);
    dlg.m_strTitle = g_strProductTitle;
    RunModal(dlg);
}

void CKorvaneApp::SetProfileFile(const CString& path) { TheAppProfile().SetProfileFile(path); }
