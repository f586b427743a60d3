#include "platform/DialogKeys.h"

#include <wx/button.h>
#include <wx/dialog.h>
#include <wx/toplevel.h>

#include "platform/DialogHost.h"
#include "platform/KeyMap.h"

void BindDialogKeys(wxDialog& dlg, DialogKeyHandler handler) {
    dlg.Bind(wxEVT_CHAR_HOOK, [handler = std::move(handler)](wxKeyEvent& event) {
        const int vk = VirtualKeyFromEvent(event);
        if (vk != 0 && handler(vk, event)) return;
        event.Skip();
    });
}

bool PressButtonForEnter(wxDialog& dlg, int virtualKey) {
    if (virtualKey != VK_RETURN) return false;
    wxWindow* focus = wxWindow::FindFocus();
    if (auto* button = wxDynamicCast(focus, wxButton); button && button->GetParent() == &dlg)
        return CUiScript::ClickButton(dlg, button->GetId());
    wxWindow* def = dlg.GetDefaultItem();
    if (!def) def = dlg.FindWindow(wxID_OK);
    if (!def) return false;
    CUiScript::ClickButton(dlg, def->GetId());
    return true;
}
