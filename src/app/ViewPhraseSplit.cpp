// "フレーズ分割(&H)... Shift+H": the selected phrase is cut in two at the point the user
// chooses in the phrase split dialog, on a copy of its audio.

#include <memory>

#include "app/BookLimits.h"
#include "app/KorvaneView.h"
#include "app/PhraseSplitDlg.h"
#include "audio/Mp3Decode.h"
#include "audio/ViewWaveTaskHost.h"
#include "audio/WaveFile.h"
#include "audio/WaveCopy.h"
#include "platform/DialogHost.h"
#include "platform/FileSystem.h"
#include "platform/MessageBox.h"
#include "platform/Riff.h"
#include "platform/WaitCursor.h"

void CKorvaneView::OnPhraseSplit() {
    OnButtonStop();
    const int s = GetShownSection();
    CSectionInformation* section = m_lstSection.GetAt(s);
    const int p = GetFirstSelectedPhrase();
    // Nothing selected, or the extra row after the last phrase: there is no phrase.
    if (!section || !section->m_lstPhrase.GetAt(p)) return;
    CPhraseInformation* phrase = section->m_lstPhrase.GetAt(p);
    wxWindow* parent = m_bHasWindow ? this : nullptr;
    // The dialog holds five seconds of audio at the highest project rate; a phrase whose
    // rate is outside what a project has cannot be shown or cut in whole blocks.
    if (phrase->m_nBytesPerSec < CPhraseSplitDlg::kMinBytesPerSec ||
        phrase->m_nBytesPerSec > CPhraseSplitDlg::kMaxBytesPerSec) {
        KvMessageBox(parent, "このフレーズの音声形式では分割出来ません。", "エラー", MB_OK | MB_ICONSTOP);
        return;
    }
    if (section->m_lstPhrase.GetCount() >= kMaxPhrasesPerSection) {
        KvMessageBox(parent, "フレーズ数が最大のため分割出来ません。", "エラー", MB_OK | MB_ICONSTOP);
        return;
    }
    const CString source = m_strProjectFolder + "/" + phrase->m_strFileName;
    const CString temp = m_strProjectFolder + "/PhraseTemp.wav";
    auto showError = [parent](const CString& text) { KvMessageBox(parent, text, "エラー", MB_OK | MB_ICONSTOP); };
    // A file left by a split that never ended must never be shown as this phrase.
    if (FileExists(temp) && !DeleteFileAt(temp)) {
        showError("ファイルが削除できません。\n" + temp);
        return;
    }
    WaveFormatEx format{};
    uint32_t dataSize = 0, dataOffset = 0;
    int error = 0;
    if (!CRiffFile::Open(source, RiffOpenMode::Read, error) ||
        (m_nAudioKind == 1 && ReadWaveHeader(source, format, dataSize, dataOffset) != kWaveHeaderOk)) {
        showError("ファイルが開けません。\n" + source);
        return;
    }
    int copied = 0;
    {
        CWaitCursor wait;
        CViewWaveTaskHost host(parent);
        copied = m_nAudioKind == 1 ? CopyWaveRange(host, source, temp, phrase->m_nLength, phrase->m_nStart)
                                   : DecodeMp3PhraseToWave(source, temp, phrase->m_nLength, phrase->m_nStart);
    }
    // The copy has said why (for a recording cut short this says it); a point chosen on
    // anything else would cut the phrase blindly.
    if (copied != 0) {
        if (m_nAudioKind != 1 && copied == kMp3DecodeCut) showError(CutRecordingMessage(phrase));
        DeleteFileAt(temp);
        return;
    }
    CPhraseSplitDlg dlg(this);
    dlg.m_strPath = temp;
    dlg.m_nPhraseStart = phrase->m_nStart;
    dlg.m_nPhraseLength = phrase->m_nLength;
    dlg.m_nBytesPerSec = phrase->m_nBytesPerSec;
    dlg.m_nAudioKind = m_nAudioKind;
    const int result = RunModal(dlg);
    const uint32_t d = dlg.m_nResult;
    if (result == IDOK && d != 0 && d < phrase->m_nLength) {
        m_nPhraseUndoKind = 5;
        SaveUndoPhrases();
        auto added = std::make_unique<CPhraseInformation>();
        added->m_nStart = phrase->m_nStart + d;
        added->m_nLength = phrase->m_nLength - d;
        added->m_nBytesPerSec = phrase->m_nBytesPerSec;
        added->m_nPause = std::min(phrase->m_nPause, added->m_nLength);
        added->m_strFileName = phrase->m_strFileName;
        phrase->m_nLength = d;
        if ((m_nAudioKind == 1 ? MeasureWavePhraseSilence(phrase) : MeasureMp3PhraseSilence(phrase)) != 0)
            KvMessageBox(parent, "フレーズの無音時間が取得出来ませんでした。", "エラー", MB_OK | MB_ICONSTOP);
        section->m_lstPhrase.InsertAt(p + 1, std::move(added));
        if (m_listSection) m_listSection->RedrawItems(s, s);
        RefreshPhraseList(p);
    }
    DeleteFileAt(temp);
}
