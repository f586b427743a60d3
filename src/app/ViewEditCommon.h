#pragma once
// The boxes of the editing commands: questions under "確認" with Yes and No, errors
// under "エラー" with the stop icon, owned by the form when it has a window.

#include "app/KorvaneView.h"
#include "platform/MessageBox.h"

inline wxWindow* EditBoxParent(CKorvaneView& view) { return view.HasWindow() ? &view : nullptr; }

inline bool AskEditQuestion(CKorvaneView& view, const CString& text) {
    return KvMessageBox(EditBoxParent(view), text, "確認", MB_YESNO | MB_ICONQUESTION) == IDYES;
}

inline void ShowEditError(CKorvaneView& view, const CString& text) {
    KvMessageBox(EditBoxParent(view), text, "エラー", MB_OK | MB_ICONSTOP);
}
