#pragma once
// The main window: caption, system menu, minimise and maximise boxes, no sizing
// border; it holds the one form view.

#include <wx/frame.h>

class CKorvaneView;

class CMainFrame : public wxFrame {
public:
    CMainFrame();
    CKorvaneView* GetView() const { return m_view; }
    // Menu commands and accelerators end here; disabled commands do nothing.
    void RunMenuCommand(int id);
    // Gives the keyboard focus to the view's list when no control of the window has it.
    void FocusWorkList();

private:
    void OnClose(wxCloseEvent& event);
    void OnCharHook(wxKeyEvent& event);
    void OnMenu(wxCommandEvent& event);
    void OnUpdateMenu(wxUpdateUIEvent& event);
    CKorvaneView* m_view = nullptr;
};
