#include "audio/WaveConvert.h"

#include <algorithm>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "audio/WaveFile.h"
#include "audio/WaveFileWriter.h"
#include "audio/WaveRateConverter.h"
#include "audio/WaveSecondReader.h"
#include "platform/FileSystem.h"
#include "platform/Riff.h"

namespace {

bool SourceExists(const CString& path) { return FileExists(path) && !FolderExists(path); }

}  // namespace

int ConvertWaveFormat(CWaveTaskHost& host, const CString& source, const CString& target, int targetRate,
                      const CString& caption, const CString& text) {
    if (source.IsEmpty()) {
        host.ShowError("読込み先のWaveファイルパスが設定されていません。");
        return 1;
    }
    if (target.IsEmpty()) {
        host.ShowError("保存先のWaveファイルパスが設定されていません。");
        return 1;
    }
    if (!SourceExists(source)) {
        host.ShowError("Waveファイルが存在しません。");
        return 1;
    }
    WaveFormatEx format{};
    uint32_t dataSize = 0;
    uint32_t dataOffset = 0;
    if (ReadWaveHeader(source, format, dataSize, dataOffset) != kWaveHeaderOk) {
        host.ShowError("Waveファイルの読込みに失敗しました。");
        return 1;
    }
    if (format.nChannels != 1 || format.wBitsPerSample != 16 || targetRate < 1 || targetRate > 768000) {
        host.ShowError("このWaveファイルはインポート出来ません。");
        return 1;
    }
    const uint32_t bytesPerSecond = WaveBytesPerSecond(format);

    CWaveFileWriter writer;
    std::unique_ptr<CRiffFile> out;
    if (writer.Create(target, MakePcmMono16Format(static_cast<uint32_t>(targetRate)), out) != kRiffOk) {
        host.ShowError("Waveファイルが開けません。");
        return 1;
    }
    int error = 0;
    std::unique_ptr<CRiffFile> in = CRiffFile::Open(source, RiffOpenMode::Read, error);
    if (!in || in->Seek(dataOffset, SEEK_SET) < 0) {
        writer.Close(out);
        host.ShowError("Waveファイルが開けません。");
        return 1;
    }

    // A failure in the loop closes both files and the dialog before its message.
    auto fail = [&](const char* message) {
        in->Close();
        writer.Close(out);
        host.EndProgress();
        host.ShowError(message);
        return 1;
    };

    host.BeginProgress(caption, text, std::max<int>(1, static_cast<int>(dataSize / bytesPerSecond)));
    CWaveSecondReader reader(*in, dataSize, bytesPerSecond);
    CWaveRateConverter converter;
    converter.Begin(static_cast<int>(format.nSamplesPerSec), targetRate);
    std::vector<int16_t> current, next, converted;
    std::vector<unsigned char> bytes;
    bool cancelled = false;

    // The next second is read before the current one is converted: its start is the
    // context that lets the two join without a seam.
    int status = reader.Next(current);
    while (status == 1) {
        const int following = reader.Next(next);
        if (following < 0) return fail("Waveファイル読込時にエラーが発生しました。");
        const long ahead = following == 1 ? std::min<long>(static_cast<long>(next.size()), converter.GetLookAhead()) : 0;
        // A failed conversion writes nothing more and says so with the memory result, so
        // that the chains stop instead of encoding a cut recording.
        if (!converter.Convert(current.data(), static_cast<long>(current.size()), next.data(), ahead, converted)) {
            fail("メモリの確保ができませんでした。");
            return 29;
        }

        bytes.resize(converted.size() * 2);
        for (size_t i = 0; i < converted.size(); ++i) {
            const uint16_t v = static_cast<uint16_t>(converted[i]);
            bytes[2 * i] = static_cast<unsigned char>(v);
            bytes[2 * i + 1] = static_cast<unsigned char>(v >> 8);
        }
        if (out->Write(bytes.data(), static_cast<int64_t>(bytes.size())) != static_cast<int64_t>(bytes.size()))
            return fail("Waveファイル書込み時にエラーが発生しました。");

        const int64_t readSoFar = reader.BytesRead() - (following == 1 ? static_cast<int64_t>(next.size()) * 2 : 0);
        host.SetProgress(static_cast<int>(std::max<int64_t>(readSoFar, bytesPerSecond) / bytesPerSecond));
        if (host.CheckCancel() && host.AskYesNo("キャンセルしますか？")) {
            cancelled = true;
            break;
        }
        current.swap(next);
        status = following;
    }
    if (status < 0) return fail("Waveファイル読込時にエラーが発生しました。");

    if (writer.Close(out) != kRiffOk) {
        in->Close();
        host.EndProgress();
        host.ShowError("Waveファイル読込時にエラーが発生しました。");
        return 1;
    }
    in->Close();
    host.EndProgress();
    return cancelled ? 2 : 0;
}
