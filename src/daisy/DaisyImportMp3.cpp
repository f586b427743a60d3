// The MP3 side of the DAISY import: a book's MP3 file of the project's own format is
// copied byte for byte into the project's next audio file; everything else reaches an
// MP3 project through a joined WAV file that is encoded at the project's bit rate.

#include <algorithm>
#include <memory>
#include <vector>

#include "app/KorvaneView.h"
#include "audio/Mp3Decode.h"
#include "audio/Mp3Encode.h"
#include "audio/Mp3Part.h"
#include "audio/ViewWaveTaskHost.h"
#include "mp3dec/mp3dec.h"
#include "platform/FileSystem.h"
#include "platform/MessageBox.h"
#include "platform/Riff.h"

namespace {

const char kImportCaption[] = "Daisy図書インポート";
const char kCannotImport[] = "このファイルはインポート出来ません。";
constexpr int kHeadBytes = 8192;

struct InfoObjects {
    MP3Decoder* decoder = nullptr;
    MP3DecoderInfo* info = nullptr;
    ~InfoObjects() {
        if (info) info->Release();
        if (decoder) decoder->Release();
    }
};

// The stream information of an MP3 file, without a message; false when it cannot be read.
bool ReadMp3Stream(const CString& path, MP3StreamInfo& stream) {
    InfoObjects objects;
    if (!SSC_SUCCESS(MP3CreateDecoderInfo(&objects.info))) return false;
    int error = 0;
    std::unique_ptr<CRiffFile> in = CRiffFile::Open(path, RiffOpenMode::Read, error);
    if (!in) return false;
    std::vector<uint8_t> head(kHeadBytes);
    int64_t got = 0, audioStart = 0, size = 0;
    const bool read = ReadMp3Head(*in, head, got, audioStart, size);
    in->Close();
    if (!read) return false;
    if (!objects.info->Open(head.data(), static_cast<int>(got), static_cast<uint32_t>(std::min<int64_t>(size, UINT32_MAX))))
        return false;
    stream = *objects.info->GetInfo();
    return true;
}

}  // namespace

bool CKorvaneView::IsProjectMp3File(const CString& path) {
    MP3StreamInfo stream{};
    return ReadMp3Stream(path, stream) && stream.bitrate == m_wBitrate && stream.channels == 1 &&
           stream.sampleRate == static_cast<uint32_t>(m_nSamplePerSec);
}

int CKorvaneView::ImportDaisyMp3Clip(CString source, CString* name, CString progressText) {
    wxWindow* parent = m_bHasWindow ? this : nullptr;
    auto showError = [parent](const CString& text) { KvMessageBox(parent, text, "エラー", MB_OK | MB_ICONSTOP); };
    if (source.IsEmpty()) {
        showError("ファイルパスが設定されていません。");
        return 11;
    }
    if (!FileExists(source) || FolderExists(source)) {
        showError("ファイルが存在しません。");
        return 5;
    }
    InfoObjects objects;
    SSC status = MP3CreateDecoder(&objects.decoder, 0, 0, 0, 1, 0);
    if (!SSC_SUCCESS(status)) {
        showError(Mp3StatusMessage("MP3Decoderオブジェクトの生成に失敗しました。", status));
        return 1;
    }
    status = MP3CreateDecoderInfo(&objects.info);
    if (!SSC_SUCCESS(status)) {
        showError(Mp3StatusMessage("MP3DecoderInfoオブジェクトの生成に失敗しました。", status));
        return 1;
    }

    // The source is read and judged before the project's file is made, so that a refused
    // file leaves nothing behind.
    int error = 0;
    std::unique_ptr<CRiffFile> in = CRiffFile::Open(source, RiffOpenMode::Read, error);
    if (!in) {
        showError(CString("MP3ファイルが開けませんでした。\n") + source);
        return 1;
    }
    // The copy begins at the first audio frame: a tag in front is no audio of the book.
    std::vector<uint8_t> buffer(kHeadBytes);
    int64_t headBytes = 0, audioStart = 0, size = 0;
    if (!ReadMp3Head(*in, buffer, headBytes, audioStart, size)) {
        showError(CString("MP3ファイルが読み込めませんでした。\n") + source);
        return 1;
    }
    if (!objects.info->Open(buffer.data(), static_cast<int>(headBytes),
                            static_cast<uint32_t>(std::min<int64_t>(size, UINT32_MAX)))) {
        showError("MP3DecoderInfoオブジェクトの初期化に失敗しました。");
        return 1;
    }
    const MP3StreamInfo stream = *objects.info->GetInfo();
    if (stream.bitrate != m_wBitrate || stream.channels != 1 ||
        stream.sampleRate != static_cast<uint32_t>(m_nSamplePerSec)) {
        showError(kCannotImport);
        return 8;
    }

    *name = NextDaisyImportName("A%06d.mp3");
    const CString target = m_strProjectFolder + "/" + *name;
    std::unique_ptr<CRiffFile> out = CRiffFile::Open(target, RiffOpenMode::Create, error);
    if (!out) {
        showError(CString("MP3ファイルが開けませんでした。\n") + target);
        return 1;
    }

    CViewWaveTaskHost host(parent);
    host.BeginProgress(kImportCaption, CString("音声データを取り込んでいます...　") + progressText,
                       static_cast<int>(std::max<int64_t>(1, size / kHeadBytes)));
    const int step = std::max(1, stream.bitrate / 8);
    buffer.resize(static_cast<size_t>(step));
    int64_t copied = 0;
    bool cancelled = false;
    CString failure;
    for (;;) {
        const int64_t got = in->Read(buffer.data(), step);
        if (got < 0) {
            failure = CString("MP3ファイルが読み込めませんでした。\n") + source;
            break;
        }
        if (got == 0) break;
        // A short copy would leave the phrases pointing past the end of their audio.
        if (out->Write(buffer.data(), got) != got) {
            failure = CString("MP3ファイル書込み時にエラーが発生しました。\n") + target;
            break;
        }
        copied += got;
        host.SetProgress(static_cast<int>(copied / kHeadBytes));
        if (host.CheckCancel() && host.AskYesNo("キャンセルしますか？")) {
            cancelled = true;
            break;
        }
    }
    in->Close();
    const int closed = out->Close();
    host.EndProgress();
    if (!failure.IsEmpty()) {
        showError(failure);
        return 5;
    }
    if (closed != kRiffOk) {
        showError(CString("MP3ファイル書込み時にエラーが発生しました。\n") + target);
        return 5;
    }
    return cancelled ? 2 : 0;
}

int CKorvaneView::ImportDaisySectionIntoMp3Project(const CString& bookFolder, CSectionInformation* section,
                                                   const CString& joined, CString* name, const CString& progressText,
                                                   uint32_t* delay) {
    *delay = 0;
    // One MP3 file of the project's own format holding the whole section is taken as it
    // is: the phrases keep their places in it and nothing is decoded or encoded again.
    CString first = bookFolder + section->m_lstPhrase.GetAt(0)->m_strFileName;
    CString actual;
    if (FindPathNoCase(first, actual)) first = actual;
    bool single = first.Right(4).CompareNoCase(".mp3") == 0;
    for (const auto& phrase : section->m_lstPhrase)
        single = single && phrase->m_strFileName == section->m_lstPhrase.GetAt(0)->m_strFileName;
    if (single && IsProjectMp3File(first)) return ImportDaisyMp3Clip(first, name, progressText);

    if (int r = JoinDaisySection(bookFolder, section, joined)) return r;
    const CString encoded = m_strProjectFolder + "/Mp3EecodeTemp.mp3";
    CViewWaveTaskHost host(m_bHasWindow ? this : nullptr);
    const int r = EncodeWaveToMp3(host, joined, encoded, m_wBitrate, m_nMp3Quality, kImportCaption,
                                  CString("MP3ファイルを生成しています...") + progressText);
    if (r == kMp3EncodeCancelled) return 2;
    if (r != kMp3EncodeOk) return 1;
    *delay = 2 * static_cast<uint32_t>(Mp3EncoderDelay(static_cast<uint32_t>(m_nSamplePerSec), m_wBitrate, m_nMp3Quality));
    return ImportDaisyMp3Clip(encoded, name, progressText);
}
