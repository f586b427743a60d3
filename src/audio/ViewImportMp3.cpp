// The MP3 side of the audio import: an MP3 file of an MP3 project's own format is copied
// byte for byte into the project's next audio file while it is decoded and cut at its
// silences; the chains bring every other file into that shape first.

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "app/BookLimits.h"
#include "app/KorvaneView.h"
#include "audio/Mp3Decode.h"
#include "audio/Mp3Part.h"
#include "audio/Mp3Encode.h"
#include "audio/SilenceSplitter.h"
#include "audio/ViewWaveTaskHost.h"
#include "audio/WaveConvert.h"
#include "audio/WaveFile.h"
#include "mp3dec/mp3dec.h"
#include "platform/FileSystem.h"
#include "platform/Riff.h"

namespace {

const char kImportCaption[] = "音声インポート";
const char kCannotImport[] = "このファイルはインポート出来ません。";

CString FileNameOf(const CString& path) {
    const int slash = path.ReverseFind('/');
    return slash < 0 ? path : path.Mid(slash + 1);
}

struct DecoderObjects {
    MP3Decoder* decoder = nullptr;
    MP3DecoderInfo* info = nullptr;
    ~DecoderObjects() {
        if (info) info->Release();
        if (decoder) decoder->Release();
    }
};

}  // namespace

int CKorvaneView::ImportMp3File(int* pCurrentIndex, const CString& source, const CString& nameText,
                                const CString& progressText, uint32_t encoderDelay) {
    CViewWaveTaskHost host(m_bHasWindow ? this : nullptr);
    if (source.IsEmpty()) {
        host.ShowError("ファイルパスが設定されていません。");
        return kImportNoPath;
    }
    if (!FileExists(source)) {
        host.ShowError("ファイルが存在しません。");
        return kImportCannotOpen;
    }
    DecoderObjects objects;
    SSC status = MP3CreateDecoder(&objects.decoder, 0, 0, 0, 1, 0);
    if (!SSC_SUCCESS(status)) {
        host.ShowError(Mp3StatusMessage("MP3Decoderオブジェクトの生成に失敗しました。", status));
        return 1;
    }
    status = MP3CreateDecoderInfo(&objects.info);
    if (!SSC_SUCCESS(status)) {
        host.ShowError(Mp3StatusMessage("MP3DecoderInfoオブジェクトの生成に失敗しました。", status));
        return 1;
    }

    // Nothing is written before the stream is known to be one the project can hold.
    int error = 0;
    std::unique_ptr<CRiffFile> in = CRiffFile::Open(source, RiffOpenMode::Read, error);
    if (!in) {
        host.ShowError(CString("MP3ファイルが開けませんでした。\n") + source);
        return 1;
    }
    // A tag in front of the audio is not copied: the project's positions count from the
    // first audio frame, as every read of the copy does.
    std::vector<uint8_t> head(8192);
    int64_t headBytes = 0, audioStart = 0, size = 0;
    if (!ReadMp3Head(*in, head, headBytes, audioStart, size)) {
        host.ShowError(CString("MP3ファイルが読み込めませんでした。\n") + source);
        return 1;
    }
    if (size == 0) {
        host.ShowError("録音されていません。");
        return 1;
    }
    if (!objects.info->Open(head.data(), static_cast<int>(headBytes),
                            static_cast<uint32_t>(std::min<int64_t>(size, UINT32_MAX)))) {
        host.ShowError("MP3DecoderInfoオブジェクトの初期化に失敗しました。");
        return 1;
    }
    const MP3StreamInfo stream = *objects.info->GetInfo();
    if (stream.bitrate != m_wBitrate || stream.channels != 1 || stream.sampleRate != uint32_t(m_nSamplePerSec) ||
        stream.bitsPerSample != 16) {
        host.ShowError(kCannotImport);
        return kImportBadFile;
    }
    if (PrimeMp3Decoder(objects.decoder, objects.info, m_strExeFolder) != 0) {
        host.ShowError("MP3Decoderの初期化に失敗しました。");
        return 1;
    }
    if (in->Seek(audioStart, SEEK_SET) != audioStart) {
        host.ShowError(CString("MP3ファイルが読み込めませんでした。\n") + source);
        return 1;
    }
    objects.decoder->Reset();

    CString fileName, target;
    if (int r = ChooseAudioFileName("A%06d.mp3", fileName, target)) return r;
    const uint32_t bytesPerSecond = stream.bitsPerSample / 8 * stream.channels * stream.sampleRate;
    CSilenceSplitter splitter(m_lstSection, MakeSplitSettings(m_nPhrasePause, m_nSectionPause, m_nSilenceDb),
                              bytesPerSecond, fileName, nameText.IsEmpty() ? FileNameOf(source) : nameText);
    if (!splitter.Begin(*pCurrentIndex)) {
        host.ShowError(kMsgSectionAddFull);
        return kImportBookFull;
    }
    // The phrases count in the decoded file, as every later read of it does, while the
    // silences are judged on the recording's own blocks.
    splitter.SetLeadIn(encoderDelay);
    std::unique_ptr<CRiffFile> out = CRiffFile::Open(target, RiffOpenMode::Create, error);
    if (!out) {
        host.ShowError(CString("MP3ファイルが開けませんでした。\n") + target);
        return 1;
    }

    host.BeginProgress(kImportCaption, CString("フレーズ情報取得中...　") + progressText,
                       static_cast<int>(std::max<int64_t>(1, size / 8192)));
    const int step = stream.bitrate / 8;
    std::vector<uint8_t> input(static_cast<size_t>(step));
    std::vector<uint8_t> pcm(MP3DEC_MAX_FRAME_OUTPUT_BYTES_PCM16);
    std::vector<int16_t> samples;
    int pending = 0, position = 0;
    int64_t bytesRead = 0;
    uint64_t decoded = 0;
    bool cancelled = false;
    CString failure;
    int failureResult = 1;
    while (!objects.decoder->IsEndOfStream()) {
        if (pending == 0) {
            const int64_t got = in->Read(input.data(), step);
            if (got < 0) {
                failure = CString("MP3ファイルが読み込めませんでした。\n") + source;
                break;
            }
            if (got < step) objects.decoder->SetEndOfInput();
            if (got > 0 && out->Write(input.data(), got) != got) {
                failure = CString("MP3ファイル書込み時にエラーが発生しました。\n") + target;
                break;
            }
            bytesRead += got;
            host.SetProgress(static_cast<int>(bytesRead / 8192));
            pending = static_cast<int>(got);
            position = 0;
        }
        const int taken = objects.decoder->Feed(input.data() + position, pending);
        position += taken;
        pending -= taken;
        int bytes = 0;
        status = objects.decoder->DecodeFrame(pcm.data(), static_cast<int>(pcm.size()), &bytes, nullptr, nullptr, 0);
        if (status == SSC_OK && bytes > 0) {
            samples.resize(static_cast<size_t>(bytes) / 2);
            std::memcpy(samples.data(), pcm.data(), samples.size() * 2);
            decoded += samples.size() * 2;
            if (!splitter.Feed(samples.data(), samples.size())) {
                failure = kMsgSectionAddFull;
                failureResult = kImportBookFull;
                break;
            }
        } else if (status != SSC_OK && (status >> 30) != 2u) {
            failure = Mp3StatusMessage("MP3デコード処理でエラーが発生しました。", status);
            break;
        }
        if (host.CheckCancel() && host.AskYesNo("キャンセルしますか？")) {
            cancelled = true;
            break;
        }
    }
    splitter.Finish(cancelled || !failure.IsEmpty(), decoded);
    *pCurrentIndex = splitter.GetCurrentIndex();
    const int closed = out->Close();
    in->Close();
    host.EndProgress();
    if (!failure.IsEmpty()) {
        host.ShowError(failure);
        return failureResult;
    }
    if (closed != kRiffOk) {
        host.ShowError(CString("MP3ファイル書込み時にエラーが発生しました。\n") + target);
        return kImportCannotOpen;
    }
    return cancelled ? kImportCancelled : kImportOk;
}

int CKorvaneView::ImportMp3IntoPcmProject(int* pCurrentIndex, const CString& path, const CString& suffix) {
    CViewWaveTaskHost host(m_bHasWindow ? this : nullptr);
    const CString temp = m_strProjectFolder + "/Mp3DecodeTemp.wav";
    const int r = DecodeMp3FileToWave(host, path, temp, kImportCaption, CString("Waveファイルを生成しています...") + suffix,
                                      static_cast<uint32_t>(m_nSamplePerSec), m_strExeFolder);
    if (r != 0) return r;
    return ImportWaveFile(pCurrentIndex, temp, FileNameOf(path), suffix);
}

int CKorvaneView::ImportIntoMp3Project(int* pCurrentIndex, const CString& path, const CString& suffix) {
    CViewWaveTaskHost host(m_bHasWindow ? this : nullptr);
    const CString decodeTemp = m_strProjectFolder + "/Mp3DecodeTemp.wav";
    const CString resampleTemp = m_strProjectFolder + "/ReSamplingTemp.wav";
    const CString encodeTemp = m_strProjectFolder + "/Mp3EecodeTemp.mp3";
    const CString convertText = CString("音声フォーマットを変換しています...") + suffix;
    const CString encodeText = CString("MP3ファイルを生成しています...") + suffix;
    const bool is64k = m_wBitrate == 64000;
    const int projectRate = is64k ? 44100 : 22050;
    const CString extension = path.Right(4);

    CString wave;  // the WAV file to encode, when there is one
    uint32_t encodedRate = static_cast<uint32_t>(projectRate);  // its rate
    if (extension.CompareNoCase(".wav") == 0) {
        WaveFormatEx format{};
        uint32_t dataSize = 0, dataOffset = 0;
        if (ReadWaveHeader(path, format, dataSize, dataOffset) != kWaveHeaderOk || format.nChannels != 1 ||
            format.wBitsPerSample != 16) {
            host.ShowError(kCannotImport);
            return kImportBadFile;
        }
        const uint32_t rate = format.nSamplesPerSec;
        const bool convert = is64k ? (rate == 16000 || rate == 22050) : rate == 16000;
        const bool direct = is64k ? rate == 44100 : (rate == 22050 || rate == 44100);
        if (!convert && !direct) {
            host.ShowError(kCannotImport);
            return kImportBadFile;
        }
        wave = path;
        encodedRate = rate;
        if (convert) {
            if (int r = ConvertWaveFormat(host, path, resampleTemp, projectRate, kImportCaption, convertText)) return r;
            wave = resampleTemp;
            encodedRate = projectRate;
        }
    } else {
        Mp3FileInfo info;
        if (GetMp3FileInfo(host, path, info) != 0) return 1;
        if ((info.bitRate != 32000 && info.bitRate != 64000) || (info.sampleRate != 22050 && info.sampleRate != 44100) ||
            info.channels != 1 || info.bitsPerSample != 16) {
            host.ShowError(kCannotImport);
            return kImportBadFile;
        }
        if (info.bitRate == m_wBitrate) return ImportMp3File(pCurrentIndex, path, CString(), suffix);
        if (int r = DecodeMp3FileToWave(host, path, decodeTemp, kImportCaption, convertText,
                                        static_cast<uint32_t>(m_nSamplePerSec), m_strExeFolder))
            return r;
        wave = decodeTemp;
        if (!is64k) {
            if (int r = ConvertWaveFormat(host, decodeTemp, resampleTemp, projectRate, kImportCaption, convertText))
                return r;
            wave = resampleTemp;
        }
    }
    if (int r = EncodeWaveToMp3(host, wave, encodeTemp, m_wBitrate, m_nMp3Quality, kImportCaption, encodeText)) return r;
    return ImportMp3File(pCurrentIndex, encodeTemp, FileNameOf(path), suffix,
                         static_cast<uint32_t>(Mp3EncoderDelay(encodedRate, m_wBitrate, m_nMp3Quality)));
}
