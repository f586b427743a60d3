#include "audio/Mp3Encode.h"

#include <algorithm>
#include <memory>
#include <vector>

#include "audio/WaveFile.h"
#include "audio/WaveFormat.h"
#include "mp3enc/mp3enc.h"
#include "platform/FileSystem.h"
#include "platform/Riff.h"

namespace {

constexpr int kPcmStep = 4608;
constexpr int kOutBytes = 8192;
constexpr int kProgressRange = 1024;

struct EncoderHandle {
    mp3enc_handle* h = nullptr;
    int Close() {
        const int r = h ? mp3enc_close(h) : 1;
        h = nullptr;
        return r;
    }
    ~EncoderHandle() { Close(); }
};

enum class EncoderSetUp { Ok, Config, Params };

// The configuration of every MP3 the program writes: plain mono MP3, constant bit rate.
EncoderSetUp ConfigureEncoder(mp3enc_handle* h, int bitRate, int quality) {
    mp3enc_config config;
    config.output_rate = bitRate == 64000 ? 44100 : 22050;
    config.channel_mode = 1;
    config.sbr_mode = 2;
    config.bit_rate = static_cast<uint32_t>(bitRate);
    config.vbr_quality = 0;
    if (!mp3enc_set_config(h, &config)) return EncoderSetUp::Config;
    mp3enc_params* params = mp3enc_get_params(h);
    mp3enc_params wanted = params ? *params : mp3enc_params{};
    wanted.intensity = 1;
    wanted.quality = quality;
    if (!params || !mp3enc_set_params(h, &wanted)) return EncoderSetUp::Params;
    return EncoderSetUp::Ok;
}

}  // namespace

int32_t Mp3EncoderDelay(uint32_t inputRate, int bitRate, int quality) {
    EncoderHandle enc;
    enc.h = mp3enc_open(static_cast<int32_t>(inputRate), 1, 0);
    if (!enc.h || ConfigureEncoder(enc.h, bitRate, quality) != EncoderSetUp::Ok) return 0;
    const mp3enc_params* params = mp3enc_get_params(enc.h);
    return params ? std::max<int32_t>(0, params->delay) : 0;
}

int EncodeWaveToMp3(CWaveTaskHost& host, const CString& source, const CString& target, int bitRate, int quality,
                    const CString& caption, const CString& text) {
    if (source.IsEmpty()) {
        host.ShowError("ファイルパスが設定されていません。");
        return kMp3EncodeNoPath;
    }
    if (!FileExists(source)) {
        host.ShowError(CString("ファイルが存在しません。\n") + source);
        return kMp3EncodeNoFile;
    }
    WaveFormatEx format{};
    uint32_t dataSize = 0, dataOffset = 0;
    if (ReadWaveHeader(source, format, dataSize, dataOffset) != kWaveHeaderOk) {
        host.ShowError(CString("Waveヘッダ情報の取得に失敗しました。\n") + source);
        return kMp3EncodeBadFormat;
    }
    int error = 0;
    std::unique_ptr<CRiffFile> in = CRiffFile::Open(source, RiffOpenMode::Read, error);
    if (!in || in->Seek(dataOffset, SEEK_SET) < 0) {
        host.ShowError(CString("ファイルが開けません。\n") + source);
        return kMp3EncodeNoFile;
    }
    if ((format.nSamplesPerSec != 22050 && format.nSamplesPerSec != 44100) || format.wBitsPerSample != 16) {
        host.ShowError("このファイルはインポート出来ません。");
        return kMp3EncodeBadFormat;
    }
    // The encoder takes whole sample frames only: a part of one left at the end (an odd
    // byte count, half of a stereo pair, a file cut short) would be offered to it again
    // and again.
    const uint32_t frame = std::max<uint32_t>(WaveBlockAlign(format), 1);
    dataSize -= dataSize % frame;
    EncoderHandle enc;
    enc.h = mp3enc_open(static_cast<int32_t>(format.nSamplesPerSec), format.nChannels, 0);
    if (!enc.h) return kMp3EncodeFailed;
    if (bitRate != 64000 && bitRate != 32000) {
        host.ShowError("MP3フォーマットエラー");
        return kMp3EncodeFailed;
    }
    const EncoderSetUp setUp = ConfigureEncoder(enc.h, bitRate, quality);
    if (setUp == EncoderSetUp::Config) {
        host.ShowError("MP3出力フォーマットの設定に失敗しました。");
        return kMp3EncodeFailed;
    }
    if (setUp == EncoderSetUp::Params) {
        host.ShowError("エンコーダーの設定に失敗しました。");
        return kMp3EncodeFailed;
    }
    std::unique_ptr<CRiffFile> out = CRiffFile::Open(target, RiffOpenMode::Create, error);
    if (!out) {
        host.ShowError(CString("MP3ファイルが作成出来ませんでした。\n") + target);
        return kMp3EncodeFailed;
    }

    host.BeginProgress(caption, text, kProgressRange);
    std::vector<uint8_t> pcm(kPcmStep), mp3(kOutBytes);
    uint64_t bytesRead = 0;
    int pending = 0, position = 0;
    bool cancelled = false;
    CString failure;
    int32_t wantedBytes = 0;
    while (mp3enc_get_input_size(enc.h, &wantedBytes)) {
        const bool hadPending = pending > 0;
        if (!hadPending) {
            // The data chunk ends the audio even when the file goes on behind it.
            const uint64_t left = dataSize > bytesRead ? dataSize - bytesRead : 0;
            const int64_t want =
                static_cast<int64_t>(std::min<uint64_t>({uint64_t(std::max(wantedBytes, 0)), kPcmStep, left}));
            const int64_t got = want > 0 ? in->Read(pcm.data(), want) : 0;
            if (got < 0) {
                failure = CString("Waveファイル読込時にエラーが発生しました。\n") + source;
                break;
            }
            host.SetProgress(dataSize ? static_cast<int>(bytesRead * kProgressRange / dataSize) : 0);
            bytesRead += static_cast<uint64_t>(got);
            pending = static_cast<int>(got - got % frame);
            position = 0;
        }
        int32_t consumed = 0;
        const int32_t produced =
            mp3enc_encode(enc.h, pcm.data() + position, pending, &consumed, mp3.data(), kOutBytes, nullptr, nullptr);
        if (!hadPending && pending == 0 && produced == 0) break;  // drained
        if (produced < 0) {
            failure = "エンコードに失敗しました。";
            break;
        }
        consumed = std::clamp<int32_t>(consumed, 0, pending);
        position += consumed;
        pending -= consumed;
        if (produced > 0 && out->Write(mp3.data(), produced) != produced) {
            failure = CString("MP3ファイル書込み時にエラーが発生しました。\n") + target;
            break;
        }
        if (host.CheckCancel() && host.AskYesNo("キャンセルしますか？")) {
            cancelled = true;
            break;
        }
    }
    const int closed = out->Close();
    in->Close();
    const int encoderClosed = enc.Close();
    host.EndProgress();
    if (!failure.IsEmpty()) {
        host.ShowError(failure);
        return kMp3EncodeFailed;
    }
    if (closed != kRiffOk) {
        host.ShowError(CString("MP3ファイル書込み時にエラーが発生しました。\n") + target);
        return kMp3EncodeFailed;
    }
    if (encoderClosed == 0) return kMp3EncodeFailed;
    return cancelled ? kMp3EncodeCancelled : kMp3EncodeOk;
}
