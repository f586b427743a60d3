#include "audio/AudioResult.h"

#include "platform/MessageBox.h"

CString RecordingFault(int section, const CString& fileName, int phraseIndex, const char* what) {
    return CString::Formatted("セクション%dの音声ファイル", section) + fileName + what +
           CString::Formatted("（フレーズ%d）", phraseIndex + 1);
}

const char* GetAudioResultMessage(int result) {
    switch (result) {
    case kAudioEmptyPath: return "ファイル名ＮＧ";
    case kAudioCannotOpenFile: return "ＷａｖｅファイルオープンＮＧ";
    case kAudioNoRiffChunk: return "ＲＩＦＦチャンク検索ＮＧ";
    case kAudioNoFmtChunk: return "ＦＭＴチャンク検索ＮＧ";
    case kAudioCannotReadFormat: return "Ｗａｖｅフォーマット読込みＮＧ";
    case kAudioNoDataChunk: return "ｄａｔａチャンク検索ＮＧ";
    case kAudioReadError: return "Ｗａｖｅファイル読込みＮＧ";
    case kAudioNoHeap: return "ヒープハンドル取得ＮＧ";
    case kAudioNoMemory: return "メモリ確保ＮＧ";
    case kAudioFileAlreadyOpen: return "ファイルハンドル設定済みＮＧ";
    case kAudioDeviceOpenFailed: return "再生デバイスオープンＮＧ";
    case kAudioDeviceCloseFailed: return "再生デバイスクローズＮＧ";
    case kAudioDeviceQueryFailed: return "再生デバイスクエリーＮＧ";
    case kAudioDeviceAlreadyOpen: return "再生デバイス設定済みＮＧ";
    case kAudioPrepareFailed: return "再生デバイス書込み準備ＮＧ";
    case kAudioWriteFailed: return "再生デバイス書込みＮＧ";
    case kAudioNoQueuedBuffer: return "準備済みバッファ無し";
    case kAudioResetFailed: return "再生デバイス停止ＮＧ";
    case kAudioUnprepareFailed: return "再生デバイス解放ＮＧ";
    case kAudioMp3OpenFailed: return "ＭＰ３ファイルオープンＮＧ";
    default: return nullptr;
    }
}

void ShowAudioResultMessage(int result) {
    if (const char* text = GetAudioResultMessage(result)) AfxMessageBox(CString(text), MB_OK | MB_ICONWARNING);
}
