// Section audio of MP3 projects: each phrase's clip is decoded out of its MP3 file and
// the decoded PCM joined into one WAV file, which the build then encodes into the
// section's MP3 file and the export brings to the new project's rate.

#include <algorithm>
#include <memory>
#include <vector>

#include "app/KorvaneView.h"
#include "app/ProgressDlg.h"
#include "audio/AudioResult.h"
#include "audio/Mp3Decode.h"
#include "audio/Mp3Encode.h"
#include "audio/Mp3Part.h"
#include "audio/ViewWaveTaskHost.h"
#include "audio/WaveConvert.h"
#include "audio/WaveFileWriter.h"
#include "daisy/BookFileFaults.h"
#include "mp3dec/mp3dec.h"
#include "platform/FileSystem.h"
#include "platform/MessageBox.h"
#include "platform/Riff.h"

namespace {

const char kBuildCaption[] = "Daisy図書生成";
const char kExportCaption[] = "Daisy図書エクスポート";
constexpr int kReadBytes = 8192;

void ShowError(wxWindow* parent, const CString& text) { KvMessageBox(parent, text, "エラー", MB_OK | MB_ICONSTOP); }

struct Mp3SectionJob {
    wxWindow* parent = nullptr;
    int n = 0;
    const char* caption = kBuildCaption;
    CString sourceFolder;  // ends with "/"
    CString tempPath;      // the joined WAV file
    CString newName;       // build: the name the phrases get; export: empty
    CString exeFolder;
};

struct DecoderPair {
    MP3Decoder* decoder = nullptr;
    MP3DecoderInfo* info = nullptr;
    ~DecoderPair() {
        if (info) info->Release();
        if (decoder) decoder->Release();
    }
};

// Joins the decoded clips into job.tempPath and rewrites the phrases' starts. 0 done,
// 1 failed (shown), 2 cancelled; `rate` is the sample rate of the last stream opened.
int JoinMp3Section(const Mp3SectionJob& job, CSectionInformation* section, uint32_t& joinedBytes, uint32_t& rate) {
    joinedBytes = 0;
    rate = 0;
    DecoderPair objects;
    SSC status = MP3CreateDecoder(&objects.decoder, 0, 0, 0, 1, 0);
    if (!SSC_SUCCESS(status)) {
        ShowError(job.parent, Mp3StatusMessage("MP3Decoderオブジェクトの生成に失敗しました。", status));
        return 1;
    }
    status = MP3CreateDecoderInfo(&objects.info);
    if (!SSC_SUCCESS(status)) {
        ShowError(job.parent, Mp3StatusMessage("MP3DecoderInfoオブジェクトの生成に失敗しました。", status));
        return 1;
    }

    CProgressDlg progress;
    progress.Create(job.parent);
    progress.SetRange(0, section->m_lstPhrase.GetCount());
    progress.SetWindowText(job.caption);
    progress.SetMessage(CString::Formatted("セクション%dの音声データを生成中...", job.n));

    CWaveFileWriter writer;
    std::unique_ptr<CRiffFile> out;
    auto fail = [&](const CString& message) {
        if (out) writer.Close(out);
        if (!message.IsEmpty()) ShowError(job.parent, message);
        return 1;
    };

    std::vector<uint8_t> input(kReadBytes);

    // The stream of the file open now. A clip that begins at or a little after the end of
    // the previous one in the same file is decoded on from there; any other is found
    // afresh, from a few frames before it (see CMp3PartReader).
    std::unique_ptr<CRiffFile> in;
    std::unique_ptr<CMp3PartReader> reader;
    CString openFile;
    MP3StreamInfo stream{};
    uint64_t position = 0;         // the stream's byte that `kept` begins with
    const uint8_t* kept = nullptr;  // decoded bytes of the last read not handed out yet
    uint32_t keptBytes = 0;
    auto closeSource = [&] {
        reader.reset();
        if (in) in->Close();
        in.reset();
    };
    auto failWith = [&](const CString& message) {
        closeSource();
        return fail(message);
    };

    uint32_t offset = 0;
    for (int j = 0; j < section->m_lstPhrase.GetCount(); ++j) {
        CPhraseInformation* phrase = section->m_lstPhrase.GetAt(j);
        const CString source = job.sourceFolder + phrase->m_strFileName;
        const bool sameFile = in && openFile == source;
        const uint32_t bytesPerSecond = phrase->m_nBytesPerSec ? phrase->m_nBytesPerSec : 2 * stream.sampleRate;
        const bool follow = sameFile && phrase->m_nStart >= position &&
                            phrase->m_nStart - position <= 30ull * std::max<uint32_t>(bytesPerSecond, 1);
        if (!sameFile) {
            closeSource();
            openFile = source;
            int error = 0;
            in = CRiffFile::Open(source, RiffOpenMode::Read, error);
            if (!in) return fail(CString("MP3ファイルが開けませんでした。\n") + source);
            int64_t headBytes = 0, audioStart = 0, streamBytes = 0;
            if (!ReadMp3Head(*in, input, headBytes, audioStart, streamBytes))
                return failWith(CString("MP3ファイルが読み込めませんでした。\n") + source);
            if (!objects.info->Open(input.data(), static_cast<int>(headBytes),
                                    static_cast<uint32_t>(std::min<int64_t>(streamBytes, UINT32_MAX))))
                return failWith("MP3DecoderInfoオブジェクトの初期化に失敗しました。");
            stream = *objects.info->GetInfo();
            rate = stream.sampleRate;
            if (!out) {
                WaveFormatEx format{};
                format.wFormatTag = kWaveFormatPcm;
                format.nChannels = static_cast<uint16_t>(stream.channels);
                format.nSamplesPerSec = stream.sampleRate;
                format.wBitsPerSample = 16;
                format.nBlockAlign = static_cast<uint16_t>(2 * stream.channels);
                format.nAvgBytesPerSec = format.nBlockAlign * stream.sampleRate;
                if (writer.Create(job.tempPath, format, out) != kRiffOk) {
                    out.reset();
                    return failWith(CString("Waveファイルが開けません。\n") + job.tempPath);
                }
            }
            if (PrimeMp3Decoder(objects.decoder, objects.info, job.exeFolder) != 0)
                return failWith("MP3Decoderの初期化に失敗しました。");
            reader = std::make_unique<CMp3PartReader>(objects.decoder, in.get());
        }
        if (!follow) {
            if (reader->Seek(phrase->m_nStart) != CMp3PartReader::kData)
                return failWith(CString("MP3ファイルが読み込めませんでした。\n") + source);
            position = phrase->m_nStart;
            keptBytes = 0;
        }

        const uint32_t length = phrase->m_nLength;
        uint32_t written = 0;
        // Hands out the decoded bytes from the clip's start: what lies before it is
        // dropped, the clip written, and the rest kept for the next clip.
        auto take = [&]() -> bool {
            const uint64_t dropped = std::min<uint64_t>(keptBytes, phrase->m_nStart + written - position);
            const uint32_t part =
                std::min<uint32_t>(keptBytes - static_cast<uint32_t>(dropped), length - written);
            if (part > 0 && out->Write(kept + dropped, part) != part) return false;
            written += part;
            kept += dropped + part;
            keptBytes -= static_cast<uint32_t>(dropped) + part;
            position += dropped + part;
            return true;
        };
        bool ended = false;
        while (written < length) {
            if (keptBytes == 0) {
                const int r = reader->Read(kept, keptBytes);
                if (r == CMp3PartReader::kEnd) {
                    ended = true;
                    break;
                }
                if (r == CMp3PartReader::kFailed)
                    return failWith(reader->Status() == SSC_OK
                                        ? CString("MP3ファイルが読み込めませんでした。\n") + source
                                        : Mp3StatusMessage("MP3デコード処理でエラーが発生しました。", reader->Status()));
            }
            if (!take()) return failWith(CString("Waveファイル書込み時にエラーが発生しました。\n") + job.tempPath);
        }
        // A clip that runs past the end of its recording (a file cut short on the disk)
        // is refused: a book of silence where the narration was would be taken for done.
        // Less than a frame short is the rounding of a length, not a cut.
        if (ended && length - written > Mp3FrameBytes(stream)) {
            closeSource();
            writer.Close(out);
            ShowError(job.parent, RecordingFault(job.n, phrase->m_strFileName, j, "が途中で切れています。"));
            return 10;
        }
        while (written < length) {
            const uint32_t step = std::min<uint32_t>(length - written, static_cast<uint32_t>(input.size()));
            std::fill(input.begin(), input.end(), 0);
            if (out->Write(input.data(), step) != step)
                return failWith(CString("Waveファイル書込み時にエラーが発生しました。\n") + job.tempPath);
            written += step;
            position += step;
        }

        phrase->m_nStart = offset;
        offset += length;
        if (!job.newName.IsEmpty()) phrase->m_strFileName = job.newName;
        joinedBytes = offset;

        progress.SetPos(j);
        if (progress.CheckCancel() &&
            KvMessageBox(job.parent, "キャンセルしますか？", "確認", MB_YESNO | MB_ICONQUESTION) == IDYES) {
            closeSource();
            writer.Close(out);
            return 2;
        }
    }
    closeSource();
    if (!out) return 0;
    // A joined file that did not reach the disk whole must not be encoded or renamed.
    if (writer.Close(out) != kRiffOk || BookFileFails(EBookFileStep::SectionClose, job.tempPath)) {
        ShowError(job.parent, CString("Waveファイルが保存出来ませんでした。\n") + job.tempPath);
        return 1;
    }
    return 0;
}

// The decoded section file lags the joined audio by the encoder's delay: the phrases
// point where their audio lies in the decoded file, so that the clips sit on them.
void ShiftByEncoderDelay(CSectionInformation& section, uint32_t rate, int bitRate, int quality) {
    const uint32_t shift = 2 * static_cast<uint32_t>(Mp3EncoderDelay(rate, bitRate, quality));
    for (const auto& phrase : section.m_lstPhrase) phrase->m_nStart += shift;
}

int CheckMp3Names(wxWindow* parent, const CString& folder, const CString& name) {
    if (folder.IsEmpty()) {
        ShowError(parent, "保存先パスが設定されていません。");
        return 11;
    }
    if (name.IsEmpty()) {
        ShowError(parent, "ファイル名が設定されていません。");
        return 11;
    }
    return 0;
}

}  // namespace

int CKorvaneView::BuildSectionMp3(int n, const CString& folder, const CString& name, CSectionInformation* section,
                                  bool encode) {
    wxWindow* parent = m_bHasWindow ? this : nullptr;
    if (int r = CheckMp3Names(parent, folder, name); r != 0) return r;

    Mp3SectionJob job;
    job.parent = parent;
    job.n = n;
    job.caption = kBuildCaption;
    job.sourceFolder = folder + "/Backup/";
    job.tempPath = encode ? folder + "/TempSection.wav" : folder + "/" + name;
    job.newName = name;
    job.exeFolder = m_strExeFolder;

    uint32_t joined = 0, rate = 0;
    const int result = JoinMp3Section(job, section, joined, rate);
    if (result != 0) {
        if (encode && FileExists(job.tempPath)) DeleteFileAt(job.tempPath);
        return result;
    }
    section->m_nSectionTime = joined;
    if (!encode) return 0;

    CViewWaveTaskHost host(parent);
    const int encoded = EncodeWaveToMp3(host, job.tempPath, folder + "/" + name, m_wBitrate, m_nMp3Quality,
                                        kBuildCaption, CString::Formatted("セクション%dの音声データをMP3へ変換中...", n));
    if (FileExists(job.tempPath)) DeleteFileAt(job.tempPath);
    if (encoded != kMp3EncodeOk) return encoded == kMp3EncodeCancelled ? 2 : 1;
    ShiftByEncoderDelay(*section, rate, m_wBitrate, m_nMp3Quality);
    return 0;
}

int CKorvaneView::ExportSectionFromMp3(int n, const CString& newFolder, const CString& name,
                                       CSectionInformation* section, int targetRate) {
    wxWindow* parent = m_bHasWindow ? this : nullptr;
    if (int r = CheckMp3Names(parent, newFolder, name); r != 0) return r;

    const CString temp = newFolder + "/TempSection.wav";
    const CString resampled = newFolder + "/ReSamplingTemp.wav";
    const CString target = newFolder + "/" + name;
    Mp3SectionJob job;
    job.parent = parent;
    job.n = n;
    job.caption = kExportCaption;
    job.sourceFolder = m_strProjectFolder + "/";
    job.tempPath = temp;
    job.exeFolder = m_strExeFolder;

    uint32_t joined = 0, rate = 0;
    int result = JoinMp3Section(job, section, joined, rate);
    if (result == 0) {
        if (rate != 0 && rate != static_cast<uint32_t>(targetRate)) {
            CViewWaveTaskHost host(parent);
            const int converted = ConvertWaveFormat(host, temp, resampled, targetRate, kExportCaption,
                                                    CString::Formatted("セクション%dの音声データを変換中...", n));
            if (converted == 2) {
                result = 2;
            } else if (converted != 0) {
                // The conversion has said why; a section without its audio is no export.
                result = 1;
            } else if (!MoveFileTo(resampled, target)) {
                ShowError(parent, CString("ファイルが開けません。\n") + target);
                result = 1;
            }
        } else if (!MoveFileTo(temp, target)) {
            ShowError(parent, CString("ファイルが開けません。\n") + target);
            result = 1;
        }
    }
    if (FileExists(temp)) DeleteFileAt(temp);
    if (FileExists(resampled)) DeleteFileAt(resampled);
    return result;
}
