#include "audio/WaveConvert.h"

#include <sys/stat.h>

#include <algorithm>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "audio/WaveFile.h"
#include "audio/WaveFileWriter.h"
#include "audio/WaveRateConverter.h"
#include "platform/CodePage.h"
#include "platform/Riff.h"

namespace {

bool SourceExists(const CString& path) {
    std::string native;
    struct stat st {};
    return Cp932ToUtf8Strict(path, native) && stat(native.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

// Reads the source one second at a time, up to the size its "data" chunk claims.
class CSecondReader {
public:
    CSecondReader(CRiffFile& file, uint32_t dataSize, uint32_t bytesPerSecond)
        : m_file(file), m_dataSize(dataSize), m_bytesPerSecond(bytesPerSecond), m_bytes(bytesPerSecond) {}

    // 1 with the next second in `samples`, 0 at the end, -1 on a read error.
    int Next(std::vector<int16_t>& samples) {
        samples.clear();
        const int64_t remaining = static_cast<int64_t>(m_dataSize) - m_chunks * static_cast<int64_t>(m_bytesPerSecond);
        const int64_t want = std::min<int64_t>(m_bytesPerSecond, remaining);
        if (want < 1) return 0;
        const int64_t got = m_file.Read(m_bytes.data(), want);
        if (got < 0) return -1;
        if (got == 0) return 0;
        ++m_chunks;
        m_read += got;
        samples.resize(static_cast<size_t>(got / 2));
        for (size_t i = 0; i < samples.size(); ++i)
            samples[i] = static_cast<int16_t>(m_bytes[2 * i] | m_bytes[2 * i + 1] << 8);
        return 1;
    }

    int64_t BytesRead() const { return m_read; }

private:
    CRiffFile& m_file;
    uint32_t m_dataSize;
    uint32_t m_bytesPerSecond;
    std::vector<unsigned char> m_bytes;
    int64_t m_chunks = 0;
    int64_t m_read = 0;
};

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
    CSecondReader reader(*in, dataSize, bytesPerSecond);
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
        if (!converter.Convert(current.data(), static_cast<long>(current.size()), next.data(), ahead, converted))
            return fail("メモリの確保ができませんでした。");

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
