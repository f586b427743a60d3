#include "audio/WaveCopy.h"

#include <algorithm>
#include <memory>
#include <new>
#include <vector>

#include "audio/WaveFile.h"
#include "audio/WaveFileWriter.h"
#include "platform/Riff.h"

int CopyWaveRange(CWaveTaskHost& host, const CString& source, const CString& target, uint32_t length,
                  uint32_t start) {
    WaveFormatEx format{};
    uint32_t dataSize = 0;
    uint32_t dataOffset = 0;
    if (ReadWaveHeader(source, format, dataSize, dataOffset) != kWaveHeaderOk) {
        host.ShowError("Waveヘッダ情報の取得に失敗しました。");
        return 8;
    }

    int error = 0;
    std::unique_ptr<CRiffFile> in = CRiffFile::Open(source, RiffOpenMode::Read, error);
    if (!in || in->Seek(static_cast<int64_t>(dataOffset) + start, SEEK_SET) < 0) {
        host.ShowError("ファイルが開けません。");
        return 5;
    }
    CWaveFileWriter writer;
    std::unique_ptr<CRiffFile> out;
    if (writer.Create(target, format, out) != kRiffOk) {
        host.ShowError("ファイルが開けません。");
        return 5;
    }

    // Only the sample data is copied, never the chunks that may follow it.
    const int64_t available = start < dataSize ? static_cast<int64_t>(dataSize) - start : 0;
    const int64_t total = std::min<int64_t>(length, available);
    // 100 ms a step, from the format's own rate, channels and bits.
    const int64_t block = std::max<int64_t>(WaveBytesPerSecond(format) / 10, WaveBlockAlign(format));
    std::vector<unsigned char> buffer;
    try {
        buffer.resize(static_cast<size_t>(block));
    } catch (const std::bad_alloc&) {
        writer.Close(out);
        host.ShowError("メモリの確保ができませんでした。");
        return 5;
    }

    for (int64_t done = 0; done < total;) {
        const int64_t step = std::min(block, total - done);
        const int64_t got = in->Read(buffer.data(), step);
        if (got < 0) {
            in->Close();
            writer.Close(out);
            host.ShowError("Waveファイル読込時にエラーが発生しました。");
            return 10;
        }
        if (got == 0) break;  // the data chunk claimed more than the file holds
        if (out->Write(buffer.data(), got) != got) {
            writer.Close(out);
            host.ShowError("Waveファイル書込み時にエラーが発生しました。");
            return 5;
        }
        done += got;
    }

    in->Close();
    if (writer.Close(out) != kRiffOk) {
        host.ShowError("Waveファイル書込み時にエラーが発生しました。");
        return 5;
    }
    return 0;
}
