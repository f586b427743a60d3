// The trailing silence of phrases measured again in their audio: one phrase after a
// phrase split, or every phrase of the book through "無音時間検出(&P)...".

#include "app/KorvaneView.h"
#include "app/ProgressDlg.h"
#include "audio/AudioResult.h"
#include "audio/Mp3Decode.h"
#include "audio/TrailingSilence.h"
#include "audio/ViewWaveTaskHost.h"
#include "platform/FileSystem.h"
#include "platform/MessageBox.h"
#include "platform/WaitCursor.h"

int CKorvaneView::MeasureWavePhraseSilence(CPhraseInformation* phrase) {
    CViewWaveTaskHost host(m_bHasWindow ? this : nullptr);
    uint32_t silence = 0;
    const int r = MeasureWaveTrailingSilence(host, m_strProjectFolder + "/" + phrase->m_strFileName, phrase->m_nStart,
                                             phrase->m_nLength, phrase->m_nBytesPerSec, m_nSilenceDb, silence);
    if (r == 0) phrase->m_nPause = silence;
    return r;
}

int CKorvaneView::DecodeMp3PhraseToWave(const CString& source, const CString& destination, uint32_t length,
                                        uint32_t start) {
    CViewWaveTaskHost host(m_bHasWindow ? this : nullptr);
    return ::DecodeMp3PhraseToWave(host, source, destination, length, start, m_strExeFolder);
}

CString CKorvaneView::CutRecordingMessage(const CPhraseInformation* phrase) const {
    for (int s = 0; s < m_lstSection.GetCount(); ++s) {
        const auto& phrases = m_lstSection.GetAt(s)->m_lstPhrase;
        for (int p = 0; p < phrases.GetCount(); ++p)
            if (phrases.GetAt(p) == phrase)
                return RecordingFault(s + 1, phrase->m_strFileName, p, "が途中で切れています。");
    }
    // A phrase outside the book (none today) is still named by its file.
    return CString("MP3ファイルが読み込めませんでした。\n") + m_strProjectFolder + "/" + phrase->m_strFileName;
}

int CKorvaneView::MeasureMp3PhraseSilence(CPhraseInformation* phrase) {
    CViewWaveTaskHost host(m_bHasWindow ? this : nullptr);
    uint32_t silence = 0;
    const int r = MeasureMp3TrailingSilence(host, m_strProjectFolder + "/" + phrase->m_strFileName, phrase->m_nStart,
                                            phrase->m_nLength, m_nSilenceDb, m_strExeFolder, silence);
    if (r == kMp3DecodeCut) host.ShowError(CutRecordingMessage(phrase));
    if (r == 0) phrase->m_nPause = silence;
    return r;
}

int CKorvaneView::MeasureMp3PhraseSilenceViaFile(CPhraseInformation* phrase) {
    const CString temp = m_strProjectFolder + "/PhraseTemp.wav";
    // A file left by an earlier run must never be measured in place of this phrase.
    if (FileExists(temp) && !DeleteFileAt(temp)) return 5;
    CViewWaveTaskHost host(m_bHasWindow ? this : nullptr);
    const int decoded =
        DecodeMp3PhraseToWave(m_strProjectFolder + "/" + phrase->m_strFileName, temp, phrase->m_nLength, phrase->m_nStart);
    if (decoded != 0) {
        // What was decoded of a cut recording is no measure of this phrase.
        if (decoded == kMp3DecodeCut) host.ShowError(CutRecordingMessage(phrase));
        return 5;
    }
    uint32_t silence = 0;
    const int r = MeasureWaveTrailingSilence(host, temp, 0, phrase->m_nLength, phrase->m_nBytesPerSec, m_nSilenceDb,
                                             silence);
    if (r != 0) return r;
    phrase->m_nPause = silence;
    DeleteFileAt(temp);
    return 0;
}

void CKorvaneView::OnSilenceDetect() {
    OnButtonStop();
    const int row = GetFirstSelectedPhrase();
    wxWindow* parent = m_bHasWindow ? this : nullptr;
    if (KvMessageBox(parent, "無音時間を検出しますか？", "確認", MB_YESNO | MB_ICONQUESTION) != IDYES) return;
    CWaitCursor wait;
    CViewWaveTaskHost host(parent);
    bool begun = false;
    bool stop = false;
    for (int i = 0; i < m_lstSection.GetCount() && !stop; ++i) {
        CSectionInformation* section = m_lstSection.GetAt(i);
        const int count = section->m_lstPhrase.GetCount();
        if (count == 0) continue;
        const CString text = CString::Formatted("セクション%dの無音時間を検出中...", i + 1);
        if (!begun) {
            host.BeginProgress("無音時間検出", text, count);
            begun = true;
        }
        if (CProgressDlg* progress = host.GetProgressDlg()) {
            progress->SetRange(0, count);
            progress->SetMessage(text);
        }
        for (int j = 0; j < count; ++j) {
            CPhraseInformation* phrase = section->m_lstPhrase.GetAt(j);
            const int measured =
                m_nAudioKind == 1 ? MeasureWavePhraseSilence(phrase) : MeasureMp3PhraseSilenceViaFile(phrase);
            if (measured != 0) {
                KvMessageBox(parent, "無音時間が取得出来ませんでした。", "エラー", MB_OK | MB_ICONSTOP);
                stop = true;
                break;
            }
            host.SetProgress(j);
            if (host.CheckCancel() && host.AskYesNo("キャンセルしますか？")) {
                stop = true;
                break;
            }
        }
    }
    // Phrases measured before an end keep their new values; there is no undo for this.
    if (m_listPhrase) RefreshPhraseList(row);
    if (begun) host.EndProgress();
}
