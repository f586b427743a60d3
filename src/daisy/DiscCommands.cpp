// The disc information dialog and the hand-off of the built book to the disc-writing
// plug-in.

#include "app/ControlIds.h"
#include "app/KorvaneView.h"
#include "daisy/DaisyBuild.h"
#include "daisy/DiscInfoDlg.h"
#include "platform/DialogHost.h"
#include "platform/DiscWritePlugin.h"
#include "platform/FileSystem.h"
#include "platform/MessageBox.h"

void CKorvaneView::OnDiscInfo() {
    OnButtonStop();
    CDiscInfoDlg dlg(m_bHasWindow ? this : nullptr, *this);
    dlg.m_strProjectFolder = m_strProjectFolder;
    dlg.m_nProjectBytesPerSec = static_cast<uint32_t>(m_nProjectBytesPerSec);
    dlg.m_nOutputBytesPerSec = m_nAudioKind == 2 ? m_wBitrate / 8u : static_cast<uint32_t>(m_nProjectBytesPerSec);
    dlg.m_strFormat = GetControlText(IDC_STATIC_FORMAT);
    RunModal(dlg);
}

void CKorvaneView::OnDiscWrite() {
    wxWindow* parent = m_bHasWindow ? this : nullptr;
    auto showError = [parent](const CString& text) { KvMessageBox(parent, text, "エラー", MB_OK | MB_ICONSTOP); };

    OnButtonStop();
    const CString name = GetLastPathComponent(m_strProjectFolder);
    if (name.GetLength() > 30) {
        showError("プロジェクト名を全角15文字以内、または半角30文字以内に変更して下さい。");
        return;
    }
    CString ncc;
    if (!FindPathNoCase(m_strProjectFolder + "/NCC.html", ncc)) {
        showError("Daisy図書を作成してから実行して下さい。");
        return;
    }
    const CString pluginFolder = m_strExeFolder.IsEmpty() ? GetProgramFolder() : m_strExeFolder;
    const int result = ShowDiscWriteDialog(pluginFolder, m_strProjectFolder, name);
    if (result != 1 && result != 2) showError("ダイアログが開けませんでした。");
}
