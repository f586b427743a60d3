#include "audio/Mp3Decode.h"

#include <algorithm>
#include <memory>
#include <vector>

#include "audio/AudioResult.h"
#include "audio/Mp3Part.h"
#include "audio/TrailingSilence.h"
#include "audio/WaveFileWriter.h"
#include "audio/WaveFormat.h"
#include "mp3dec/mp3dec.h"
#include "platform/FileSystem.h"
#include "platform/Riff.h"

namespace {

constexpr int kHeadBytes = 8192;

bool IsError(SSC status) { return !SSC_SUCCESS(status); }
bool IsWarning(SSC status) { return (status >> 30) == 2u; }

// A failed read is never taken for the end of the stream: the file is named.
CString ReadFailure(const CString& path) { return CString("MP3ファイルが読み込めませんでした。\n") + path; }

// Both decoder objects and the open file of one routine, released on every way out.
struct Mp3Stream {
    MP3Decoder* decoder = nullptr;
    MP3DecoderInfo* info = nullptr;
    std::unique_ptr<CRiffFile> file;
    int64_t size = 0;        // bytes from the first audio byte to the end
    int64_t audioStart = 0;  // behind any leading tags
    bool opened = false;  // the stream information was found
    ~Mp3Stream() {
        if (info) info->Release();
        if (decoder) decoder->Release();
        if (file) file->Close();
    }
};

// Creates the objects, opens the file and reads its stream information. 0, or 1 after
// its message; `opened` says whether the information could be read.
int OpenStream(CWaveTaskHost& host, const CString& path, int force44100, Mp3Stream& s) {
    SSC status = MP3CreateDecoder(&s.decoder, 0, 0, force44100, 1, 0);
    if (IsError(status)) {
        host.ShowError(Mp3StatusMessage("MP3Decoderオブジェクトの生成に失敗しました。", status));
        return kMp3DecodeFailed;
    }
    status = MP3CreateDecoderInfo(&s.info);
    if (IsError(status)) {
        host.ShowError(Mp3StatusMessage("MP3DecoderInfoオブジェクトの生成に失敗しました。", status));
        return kMp3DecodeFailed;
    }
    int error = 0;
    s.file = CRiffFile::Open(path, RiffOpenMode::Read, error);
    if (!s.file) {
        host.ShowError(CString("MP3ファイルが開けませんでした。\n") + path);
        return kMp3DecodeFailed;
    }
    std::vector<uint8_t> head(kHeadBytes);
    int64_t got = 0;
    if (!ReadMp3Head(*s.file, head, got, s.audioStart, s.size)) {
        host.ShowError(ReadFailure(path));
        return kMp3DecodeFailed;
    }
    const uint32_t size32 = static_cast<uint32_t>(std::min<int64_t>(s.size, UINT32_MAX));
    s.opened = s.info->Open(head.data(), static_cast<int>(got), size32);
    return kMp3DecodeOk;
}

bool IsAcceptedStream(const MP3StreamInfo& info) {
    return (info.bitrate == 32000 || info.bitrate == 64000) && (info.sampleRate == 22050 || info.sampleRate == 44100) &&
           info.channels == 1 && info.bitsPerSample == 16;
}

}  // namespace

// A part's end that far past the stream's end is the rounding of a length, not a cut.
uint32_t Mp3FrameBytes(const MP3StreamInfo& info) {
    return 2 * info.channels * (info.sampleRate > 24000 ? 1152 : 576);
}

CString Mp3StatusMessage(const char* text, uint32_t status) {
    CString message;
    message.Format("%s(%s)", text, MP3GetStatusText(status));
    return message;
}

CString Mp3PrimingFile(const CString& programFolder, int32_t bitRate) {
    if (bitRate == 32000) return programFolder + "mp3_32k.data";
    if (bitRate == 64000) return programFolder + "mp3_64k.data";
    return CString();
}

int GetMp3FileInfo(CWaveTaskHost& host, const CString& path, Mp3FileInfo& out) {
    Mp3Stream s;
    if (OpenStream(host, path, 0, s) != kMp3DecodeOk) return kMp3DecodeFailed;
    if (!s.opened) {
        host.ShowError("MP3ファイル情報が取得出来ませんでした。");
        return kMp3DecodeFailed;
    }
    const MP3StreamInfo* info = s.info->GetInfo();
    out.bitRate = static_cast<uint32_t>(info->bitrate);
    out.sampleRate = info->sampleRate;
    out.channels = info->channels;
    out.bitsPerSample = info->bitsPerSample;
    return kMp3DecodeOk;
}

int PrimeMp3Decoder(MP3Decoder* decoder, MP3DecoderInfo* info, const CString& programFolder) {
    const CString path = Mp3PrimingFile(programFolder, info->GetInfo()->bitrate);
    int error = 0;
    std::unique_ptr<CRiffFile> file = path.IsEmpty() ? nullptr : CRiffFile::Open(path, RiffOpenMode::Read, error);
    if (!file) {
        ShowAudioResultMessage(kAudioMp3OpenFailed);
        return kAudioMp3OpenFailed;
    }
    if (SkipMp3Tags(*file) < 0) {
        ShowAudioResultMessage(kAudioMp3OpenFailed);
        return kAudioMp3OpenFailed;
    }
    decoder->Reset();
    std::vector<uint8_t> input(kHeadBytes);
    std::vector<uint8_t> pcm(MP3DEC_MAX_FRAME_OUTPUT_BYTES_PCM16);
    int pending = 0, position = 0;
    while (!decoder->IsEndOfStream()) {
        if (pending == 0) {
            std::fill(input.begin(), input.end(), 0);
            const int64_t got = file->Read(input.data(), kHeadBytes);
            if (got < 0) {
                file->Close();
                ShowAudioResultMessage(kAudioMp3OpenFailed);
                return kAudioMp3OpenFailed;
            }
            if (got == 0) decoder->SetEndOfInput();
            pending = static_cast<int>(got);
            position = 0;
        }
        const int taken = decoder->Feed(input.data() + position, pending);
        position += taken;
        pending -= taken;
        int bytes = 0;
        const SSC status = decoder->DecodeFrame(pcm.data(), static_cast<int>(pcm.size()), &bytes, nullptr, nullptr, 0);
        if (SSC_SUCCESS(status)) break;
    }
    file->Close();
    return kAudioOk;
}

int DecodeMp3FileToWave(CWaveTaskHost& host, const CString& source, const CString& target, const CString& caption,
                        const CString& text, uint32_t projectRate, const CString& programFolder) {
    const int force = projectRate == 44100 ? 1 : 0;
    Mp3Stream s;
    if (OpenStream(host, source, force, s) != kMp3DecodeOk) return kMp3DecodeFailed;
    if (!s.opened) {
        host.ShowError("MP3DecoderInfoオブジェクトの初期化に失敗しました。");
        return kMp3DecodeFailed;
    }
    const MP3StreamInfo info = *s.info->GetInfo();
    if (!IsAcceptedStream(info)) {
        host.ShowError("このファイルはインポート出来ません。");
        return kMp3DecodeNotAccepted;
    }
    const uint32_t outRate = force ? 44100 : info.sampleRate;
    CWaveFileWriter writer;
    std::unique_ptr<CRiffFile> out;
    if (writer.Create(target, MakePcmMono16Format(outRate), out) != kRiffOk) {
        host.ShowError(CString("Waveファイルが開けません。\n") + target);
        return kMp3DecodeFailed;
    }
    if (!force && PrimeMp3Decoder(s.decoder, s.info, programFolder) != kAudioOk) {
        writer.Close(out);
        host.ShowError("MP3Decoderの初期化に失敗しました。");
        return kMp3DecodeFailed;
    }
    if (s.file->Seek(s.audioStart, SEEK_SET) != s.audioStart) {
        writer.Close(out);
        host.ShowError(ReadFailure(source));
        return kMp3DecodeFailed;
    }
    s.decoder->Reset();
    host.BeginProgress(caption, text, static_cast<int>(std::max<int64_t>(1, s.size / kHeadBytes)));

    const int step = info.bitrate / 8;  // one second of the stream
    std::vector<uint8_t> input(static_cast<size_t>(step));
    // Forced 44100 Hz output of a low-rate frame is larger than one frame's 16-bit samples.
    std::vector<uint8_t> pcm(MP3DEC_MAX_FRAME_OUTPUT_BYTES_PCM16);
    int pending = 0, position = 0;
    int64_t bytesRead = 0;
    bool cancelled = false;
    CString failure;
    while (!s.decoder->IsEndOfStream()) {
        if (pending == 0) {
            const int64_t got = s.file->Read(input.data(), step);
            if (got < 0) {
                failure = ReadFailure(source);
                break;
            }
            if (got < step) s.decoder->SetEndOfInput();
            bytesRead += got;
            host.SetProgress(static_cast<int>(bytesRead / kHeadBytes));
            pending = static_cast<int>(got);
            position = 0;
        }
        const int taken = s.decoder->Feed(input.data() + position, pending);
        position += taken;
        pending -= taken;
        int bytes = 0;
        const SSC status = s.decoder->DecodeFrame(pcm.data(), static_cast<int>(pcm.size()), &bytes, nullptr, nullptr, 0);
        if (status == SSC_OK) {
            if (bytes > 0 && out->Write(pcm.data(), bytes) != bytes) {
                failure = CString("Waveファイル書込み時にエラーが発生しました。\n") + target;
                break;
            }
        } else if (!IsWarning(status)) {
            failure = Mp3StatusMessage("MP3デコード処理でエラーが発生しました。", status);
            break;
        }
        if (host.CheckCancel() && host.AskYesNo("キャンセルしますか？")) {
            cancelled = true;
            break;
        }
    }
    s.file->Close();
    s.file.reset();
    const int closed = writer.Close(out);
    host.EndProgress();
    if (!failure.IsEmpty()) {
        host.ShowError(failure);
        return kMp3DecodeFailed;
    }
    if (closed != kRiffOk) {
        host.ShowError(CString("Waveファイルが保存出来ませんでした。\n") + target);
        return kMp3DecodeFailed;
    }
    return cancelled ? kMp3DecodeCancelled : kMp3DecodeOk;
}

namespace {

// Opens `source` for a part of its decoded audio: the objects, the stream information
// and priming. 0, or 1 after its message.
int OpenPart(CWaveTaskHost& host, const CString& source, const CString& programFolder, Mp3Stream& s,
             MP3StreamInfo& info) {
    if (OpenStream(host, source, 0, s) != kMp3DecodeOk) return kMp3DecodeFailed;
    if (!s.opened) {
        host.ShowError(CString("MP3DecoderInfoオブジェクトの初期化に失敗しました。\n") + source);
        return kMp3DecodeFailed;
    }
    info = *s.info->GetInfo();
    if (PrimeMp3Decoder(s.decoder, s.info, programFolder) != kAudioOk) {
        host.ShowError("MP3Decoderの初期化に失敗しました。");
        return kMp3DecodeFailed;
    }
    return kMp3DecodeOk;
}

// The message of a part reader's failure.
CString PartFailure(const CMp3PartReader& reader, const CString& source) {
    return reader.Status() == SSC_OK ? ReadFailure(source)
                                     : Mp3StatusMessage("MP3デコード処理でエラーが発生しました。", reader.Status());
}

}  // namespace

int DecodeMp3PhraseToWave(CWaveTaskHost& host, const CString& source, const CString& destination, uint32_t length,
                          uint32_t start, const CString& programFolder) {
    Mp3Stream part;
    MP3StreamInfo info{};
    if (OpenPart(host, source, programFolder, part, info) != kMp3DecodeOk) return kMp3DecodeFailed;
    CMp3PartReader reader(part.decoder, part.file.get());
    if (reader.Seek(start) != CMp3PartReader::kData) {
        host.ShowError(ReadFailure(source));
        return kMp3DecodeFailed;
    }
    WaveFormatEx format = MakePcmMono16Format(info.sampleRate);
    format.nChannels = static_cast<uint16_t>(info.channels);
    CWaveFileWriter writer;
    std::unique_ptr<CRiffFile> out;
    if (writer.Create(destination, format, out) != kRiffOk) {
        host.ShowError(CString("Waveファイルが開けません。\n") + destination);
        return kMp3DecodeFailed;
    }
    uint32_t written = 0;
    bool failed = false;
    while (written < length) {
        const uint8_t* data = nullptr;
        uint32_t bytes = 0;
        const int r = reader.Read(data, bytes);
        if (r == CMp3PartReader::kFailed) {
            host.ShowError(PartFailure(reader, source));
            failed = true;
            break;
        }
        if (r == CMp3PartReader::kEnd) break;
        const uint32_t n = std::min<uint32_t>(bytes, length - written);
        if (out->Write(data, n) != static_cast<int64_t>(n)) {
            host.ShowError(CString("Waveファイル書込み時にエラーが発生しました。\n") + destination);
            failed = true;
            break;
        }
        written += n;
    }
    // Silence in place of a lost end would be taken for the phrase's own: the part is cut.
    if (!failed && length - written > Mp3FrameBytes(info)) {
        writer.Close(out);
        return kMp3DecodeCut;
    }
    std::vector<uint8_t> zeros(4096, 0);
    while (!failed && written < length) {
        const uint32_t n = std::min<uint32_t>(static_cast<uint32_t>(zeros.size()), length - written);
        if (out->Write(zeros.data(), n) != static_cast<int64_t>(n)) {
            host.ShowError(CString("Waveファイル書込み時にエラーが発生しました。\n") + destination);
            failed = true;
        }
        written += n;
    }
    const int closed = writer.Close(out);
    if (failed) return kMp3DecodeFailed;
    if (closed != kRiffOk) {
        host.ShowError(CString("Waveファイルが保存出来ませんでした。\n") + destination);
        return kMp3DecodeFailed;
    }
    return kMp3DecodeOk;
}

int MeasureMp3TrailingSilence(CWaveTaskHost& host, const CString& path, uint32_t start, uint32_t length,
                              int thresholdDb, const CString& programFolder, uint32_t& silence) {
    Mp3Stream s;
    MP3StreamInfo info{};
    if (OpenPart(host, path, programFolder, s, info) != kMp3DecodeOk) return kMp3DecodeFailed;
    CMp3PartReader reader(s.decoder, s.file.get());
    if (reader.Seek(start) != CMp3PartReader::kData) {
        host.ShowError(ReadFailure(path));
        return kMp3DecodeFailed;
    }
    const uint32_t second = std::max<uint32_t>(info.sampleRate * info.channels * 2, 2);
    CTrailingSilenceMeter meter(second, thresholdDb);
    std::vector<uint8_t> portion;
    portion.reserve(second + MP3DEC_MAX_FRAME_OUTPUT_BYTES_PCM16);
    uint32_t measured = 0;
    uint64_t decoded = 0;
    // Whole seconds are measured as they fill; what a frame brings past a second waits
    // for the next one, so that no decoded sample is skipped.
    while (measured < length) {
        const uint8_t* data = nullptr;
        uint32_t bytes = 0;
        const int got = reader.Read(data, bytes);
        if (got == CMp3PartReader::kFailed) {
            host.ShowError(PartFailure(reader, path));
            return kMp3DecodeFailed;
        }
        // The end of a recording cut short is no silence of the phrase.
        if (got == CMp3PartReader::kEnd && length - std::min<uint64_t>(decoded, length) > Mp3FrameBytes(info))
            return kMp3DecodeCut;
        decoded += got == CMp3PartReader::kData ? bytes : 0;
        const int r = got == CMp3PartReader::kData ? 1 : 0;
        if (r > 0) portion.insert(portion.end(), data, data + bytes);
        while (portion.size() >= second || (r == 0 && !portion.empty()) ||
               (!portion.empty() && measured + portion.size() >= length)) {
            const uint32_t n = static_cast<uint32_t>(
                std::min<uint64_t>({portion.size(), second, static_cast<uint64_t>(length - measured)}));
            meter.Measure(reinterpret_cast<const char*>(portion.data()), n);
            measured += n;
            portion.erase(portion.begin(), portion.begin() + n);
            if (measured >= length) break;
        }
        if (r == 0) break;
    }
    silence = meter.GetSilenceBytes();
    return kMp3DecodeOk;
}
