#include "app/MainFrame.h"

#include <wx/menu.h>

#include "app/AppStrings.h"
#include "app/CommandIds.h"
#include "app/KorvaneApp.h"
#include "app/KorvaneView.h"
#include "app/MainMenu.h"
#include "platform/CodePage.h"
#include "platform/FocusKeeper.h"
#include "platform/KeyMap.h"

CMainFrame::CMainFrame()
    : wxFrame(nullptr, wxID_ANY, ToWx(g_strMainTitle), wxDefaultPosition, wxSize(800, 555),
              wxCAPTION | wxSYSTEM_MENU | wxMINIMIZE_BOX | wxMAXIMIZE_BOX | wxCLOSE_BOX) {
    SetMenuBar(CreateMainMenu());
    m_view = new CKorvaneView(this);
    Bind(wxEVT_CLOSE_WINDOW, &CMainFrame::OnClose, this);
    // One hook per top-level window, so that the view's key filter sees every key
    // before the accelerators and the focused control, as on the original platform.
    Bind(wxEVT_CHAR_HOOK, &CMainFrame::OnCharHook, this);
    Bind(wxEVT_MENU, &CMainFrame::OnMenu, this);
    Bind(wxEVT_UPDATE_UI, &CMainFrame::OnUpdateMenu, this);
    // GTK may activate the window with no control focused (at the start, or after a window
    // that disabled this one closed), and then no key reaches the hook above: the list the
    // user worked in (else the section list) takes the focus. A control that has it keeps
    // it, as on every activation: the window manager may activate the window again at any
    // time, even while the user moves the focus with Tab.
    Bind(wxEVT_ACTIVATE, [this](wxActivateEvent& event) {
        event.Skip();
        if (event.GetActive()) CallAfter([this] { FocusWorkList(); });
    });
}

void CMainFrame::FocusWorkList() {
    if (!m_view || !IsActive()) return;
    IListView* list = m_view->m_hFocusList ? m_view->m_hFocusList : m_view->m_listSection;
    if (list) CFocusKeeper::FocusIfNone(list->GetWindow());
}

void CMainFrame::OnClose(wxCloseEvent& event) {
    // Saving may need a message box, which is not safe once destruction has begun.
    if (m_view && !m_view->SaveOnClose() && event.CanVeto()) {
        event.Veto();  // the user stays with the changes that could not be saved
        return;
    }
    event.Skip();
}

void CMainFrame::OnCharHook(wxKeyEvent& event) {
    int vk = VirtualKeyFromEvent(event);
    if (m_view && vk != 0) {
        if (m_view->PreTranslateKeyDown(vk)) return;
        int command = FindAccelerator(vk, event.ControlDown(), event.ShiftDown(), event.AltDown());
        if (command != 0) {
            // A disabled command's key does nothing at all, as on the original.
            RunMenuCommand(command);
            return;
        }
    }
    event.Skip();
}

void CMainFrame::RunMenuCommand(int id) {
    switch (id) {
    case ID_APP_EXIT:
        Close();
        break;
    case ID_APP_ABOUT:
        CKorvaneApp::ShowAbout(this);
        break;
    default:
        if (m_view) m_view->RunCommand(id);
        break;
    }
}

void CMainFrame::OnMenu(wxCommandEvent& event) { RunMenuCommand(CommandFromWxId(event.GetId())); }

void CMainFrame::OnUpdateMenu(wxUpdateUIEvent& event) {
    int id = CommandFromWxId(event.GetId());
    if (id == ID_APP_EXIT || id == ID_APP_ABOUT) {
        event.Enable(true);
        return;
    }
    if (id < ID_PROJECT_NEW || id > ID_HELP_CONTENTS || !m_view) {
        event.Skip();
        return;
    }
    event.Enable(m_view->IsCommandEnabled(id));
    int check = m_view->GetCommandCheck(id);
    if (check >= 0) event.Check(check == 1);
}
