// The audio import: the command with its file list, and the import of one WAV file into
// a PCM project, cut at its silences while it is written to the project's next audio file.

#include <algorithm>
#include <cstdint>
#include <limits>
#include <memory>
#include <vector>

#include "app/BookLimits.h"
#include "app/KorvaneView.h"
#include "audio/SilenceSplitter.h"
#include "audio/ViewWaveTaskHost.h"
#include "audio/WaveFile.h"
#include "audio/WaveFileWriter.h"
#include "audio/WaveImportDlg.h"
#include "audio/WaveRateConverter.h"
#include "audio/WaveSecondReader.h"
#include "platform/DialogHost.h"
#include "platform/FileSystem.h"
#include "platform/MessageBox.h"
#include "platform/Riff.h"

namespace {

const char kImportCaption[] = "音声インポート";
const char kCannotImport[] = "このファイルはインポート出来ません。";
// The intermediate files of the conversion chains, in the project folder.
const char* const kTempFiles[] = {"/Mp3DecodeTemp.wav", "/ReSamplingTemp.wav", "/Mp3EecodeTemp.mp3"};
// Names listed in the box about files that were left out; the rest are counted.
constexpr size_t kListedNames = 20;

CString FileNameOf(const CString& path) {
    const int slash = path.ReverseFind('/');
    return slash < 0 ? path : path.Mid(slash + 1);
}

CString ExtensionOf(const CString& path) {
    const CString name = FileNameOf(path);
    const int dot = name.ReverseFind('.');
    return dot < 0 ? CString() : name.Mid(dot);
}

bool IsProjectRate(uint32_t rate) { return rate == 16000 || rate == 22050 || rate == 44100; }

// A recording the user chose is never taken for an intermediate file, whatever its name.
void DeleteTempFiles(const CString& folder, const std::vector<CString>& chosen) {
    for (const char* name : kTempFiles) {
        const CString path = folder + name;
        if (std::find(chosen.begin(), chosen.end(), path) != chosen.end()) continue;
        if (FileExists(path)) DeleteFileAt(path);
    }
}


bool AnyPhraseUses(const CRecordList<CSectionInformation>& sections, const CString& fileName) {
    for (const auto& section : sections)
        for (const auto& phrase : section->m_lstPhrase)
            if (phrase->m_strFileName.CompareNoCase(fileName) == 0) return true;
    return false;
}

bool WriteSamples(CRiffFile& file, const std::vector<int16_t>& samples, std::vector<unsigned char>& bytes,
                  uint64_t& written) {
    bytes.resize(samples.size() * 2);
    for (size_t i = 0; i < samples.size(); ++i) {
        const uint16_t v = static_cast<uint16_t>(samples[i]);
        bytes[2 * i] = static_cast<unsigned char>(v);
        bytes[2 * i + 1] = static_cast<unsigned char>(v >> 8);
    }
    const int64_t got = file.Write(bytes.data(), static_cast<int64_t>(bytes.size()));
    if (got > 0) written += static_cast<uint64_t>(got);
    return got == static_cast<int64_t>(bytes.size());
}

}  // namespace

void CKorvaneView::OnAudioImport() {
    OnButtonStop();
    if (m_nWaveImportCount >= kMaxImportNumber) return;
    if (RunPauseSetDlg() != 0) return;
    CWaveImportDlg dlg(m_bHasWindow ? this : nullptr);
    dlg.m_strFolder = m_strPrevFolder;
    if (RunModal(dlg) != IDOK) return;
    ImportAudioFiles(dlg.m_arrPaths);
}

int CKorvaneView::ImportAudioFiles(const std::vector<CString>& paths) {
    wxWindow* owner = m_bHasWindow ? this : nullptr;
    m_bSuppressPlay = 1;
    const int remembered = m_listSection ? m_listSection->GetNextItem(-1, LVNI_SELECTED) : -1;
    // Without a selection the first file goes to the end of the book.
    const int finalRow = remembered >= 0 ? remembered : m_lstSection.GetCount();
    int index = remembered;
    int result = kImportOk;
    std::vector<CString> leftOut;
    std::vector<CString> imported;
    m_arrSoundlessImports.clear();
    bool numbersUsedUp = false;
    const int count = static_cast<int>(paths.size());

    for (int i = 0; i < count; ++i) {
        const CString& path = paths[static_cast<size_t>(i)];
        if (m_nWaveImportCount >= kMaxImportNumber) {
            numbersUsedUp = true;
            leftOut.insert(leftOut.end(), paths.begin() + i, paths.end());
            break;
        }
        ++m_nWaveImportCount;
        const CString suffix = CString::Formatted("(%d/%d)", i + 1, count);
        const CString extension = ExtensionOf(path);
        const bool isWave = extension.CompareNoCase(".wav") == 0;
        const bool isMp3 = extension.CompareNoCase(".mp3") == 0;
        if (!isWave && !isMp3) {
            // Nothing in this program reads it; say so at the end rather than pass it over.
            leftOut.push_back(path);
            continue;
        }
        if (m_nAudioKind == 1)
            result = isWave ? ImportWaveFile(&index, path, CString(), suffix)
                            : ImportMp3IntoPcmProject(&index, path, suffix);
        else
            result = ImportIntoMp3Project(&index, path, suffix);
        DeleteTempFiles(m_strProjectFolder, paths);
        if (result == kImportNumbersUsedUp) {
            // The free numbers ran out while this file was being named: it and the rest
            // stay out, and the box at the end names them.
            result = kImportOk;
            numbersUsedUp = true;
            leftOut.insert(leftOut.end(), paths.begin() + i, paths.end());
            break;
        }
        RefreshSectionList(index >= 0 ? index : m_lstSection.GetCount());
        if (result != kImportOk) {
            // The step said what went wrong; this says with which file, and what is in.
            if (result != kImportCancelled) {
                CString text = "次のファイルはインポートできませんでした。\n" + path + "\n\n";
                if (imported.empty()) {
                    text += "インポートされたファイルはありません。";
                } else {
                    text += "インポートされたファイル：";
                    for (size_t k = 0; k < imported.size() && k < kListedNames; ++k) text += "\n" + imported[k];
                    if (imported.size() > kListedNames)
                        text.AppendFormat("\n…ほか%d個のファイル", static_cast<int>(imported.size() - kListedNames));
                }
                KvMessageBox(owner, text, "エラー", MB_OK | MB_ICONSTOP);
            }
            break;
        }
        if (std::find(m_arrSoundlessImports.begin(), m_arrSoundlessImports.end(), path) == m_arrSoundlessImports.end())
            imported.push_back(path);
    }

    RefreshSectionList(finalRow);
    m_bSuppressPlay = 0;
    DeleteTempFiles(m_strProjectFolder, paths);
    if (result == kImportOk) {
        if (leftOut.empty() && m_arrSoundlessImports.empty()) {
            KvMessageBox(owner, "完了しました。", "確認", MB_OK | MB_ICONINFORMATION);
        } else {
            auto list = [](CString& text, const std::vector<CString>& names) {
                for (size_t i = 0; i < names.size() && i < kListedNames; ++i) text += "\n" + names[i];
                if (names.size() > kListedNames)
                    text.AppendFormat("\n…ほか%d個のファイル", static_cast<int>(names.size() - kListedNames));
            };
            CString text;
            if (!leftOut.empty()) {
                if (numbersUsedUp) text += "音声ファイルの番号が上限（99999）に達しました。\n";
                text += "次のファイルはインポートされませんでした。\n";
                list(text, leftOut);
            }
            if (!m_arrSoundlessImports.empty()) {
                if (!text.IsEmpty()) text += "\n\n";
                text += "次のファイルには音声がないため、インポートされませんでした。\n";
                list(text, m_arrSoundlessImports);
            }
            KvMessageBox(owner, text, "確認", MB_OK | MB_ICONWARNING);
        }
    }
    SetCurrentFolder(m_strProjectFolder);
    return result;
}

int CKorvaneView::ChooseAudioFileName(const char* pattern, CString& fileName, CString& target) {
    // The first number from the count upwards whose file does not exist yet.
    if (m_nWaveImportCount > kMaxImportNumber) return kImportNumbersUsedUp;
    for (;;) {
        fileName.Format(pattern, m_nWaveImportCount);
        target = m_strProjectFolder + "/" + fileName;
        if (!FileExists(target)) return kImportOk;
        if (m_nWaveImportCount >= kMaxImportNumber) return kImportNumbersUsedUp;
        ++m_nWaveImportCount;
    }
}

int CKorvaneView::ImportWaveFile(int* pCurrentIndex, const CString& source, const CString& nameText,
                                 const CString& progressText) {
    CViewWaveTaskHost host(m_bHasWindow ? this : nullptr);
    if (source.IsEmpty()) {
        host.ShowError("ファイルパスが設定されていません。");
        return kImportNoPath;
    }
    if (!FileExists(source)) {
        host.ShowError("ファイルが存在しません。");
        return kImportCannotOpen;
    }
    WaveFormatEx format{};
    uint32_t claimedSize = 0;
    uint32_t dataOffset = 0;
    if (ReadWaveHeader(source, format, claimedSize, dataOffset) != kWaveHeaderOk) {
        host.ShowError("Waveヘッダ情報の取得に失敗しました。");
        return kImportBadFile;
    }
    // A recorder that never came back to patch its sizes claims more than it wrote: go
    // by what the file holds, for the progress and for the size checks below.
    uint64_t fileSize = 0;
    const uint64_t available = GetFileSize64(source, fileSize) && fileSize > dataOffset ? fileSize - dataOffset : 0;
    const uint32_t dataSize = static_cast<uint32_t>(std::min<uint64_t>(claimedSize, available));
    if (dataSize == 0) {
        host.ShowError("録音されていません。");
        return kImportReadError;
    }
    const uint32_t inRate = format.nSamplesPerSec;
    const uint32_t outRate = static_cast<uint32_t>(m_nSamplePerSec);
    if (!IsProjectRate(inRate) || format.nChannels != 1 || format.wBitsPerSample != 16 || !IsProjectRate(outRate)) {
        host.ShowError(kCannotImport);
        return kImportBadFile;
    }
    // Byte counts come from rate, channels and bits, never from the header's own fields.
    const uint32_t inBytesPerSecond = WaveBytesPerSecond(format);
    const uint32_t outBytesPerSecond = outRate * 2;
    // Positions in the book and sizes in a WAV file are 32-bit: refuse what would pass them.
    const uint64_t outBytes = static_cast<uint64_t>(dataSize / 2) * outRate / inRate * 2;
    if (outBytes > std::numeric_limits<uint32_t>::max() - 64u) {
        host.ShowError(kCannotImport);
        return kImportBadFile;
    }

    CString fileName;
    CString target;
    if (int r = ChooseAudioFileName("A%06d.wav", fileName, target)) return r;

    CSilenceSplitter splitter(m_lstSection, MakeSplitSettings(m_nPhrasePause, m_nSectionPause, m_nSilenceDb),
                              outBytesPerSecond, fileName, nameText.IsEmpty() ? FileNameOf(source) : nameText);
    if (!splitter.Begin(*pCurrentIndex)) {
        host.ShowError(kMsgSectionAddFull);
        return kImportBookFull;
    }

    CWaveFileWriter writer;
    std::unique_ptr<CRiffFile> out;
    if (writer.Create(target, MakePcmMono16Format(outRate), out) != kRiffOk) {
        host.ShowError("ファイルが開けません。");
        return kImportCannotOpen;
    }
    int error = 0;
    std::unique_ptr<CRiffFile> in = CRiffFile::Open(source, RiffOpenMode::Read, error);
    if (!in || in->Seek(dataOffset, SEEK_SET) < 0) {
        // Nothing refers to the new file yet.
        writer.Close(out);
        DeleteFileAt(target);
        host.ShowError("ファイルが開けません。");
        return kImportCannotOpen;
    }

    host.BeginProgress(kImportCaption, CString("フレーズ情報取得中...　") + progressText,
                       std::max<int>(1, static_cast<int>(dataSize / inBytesPerSecond)));
    const bool convert = inRate != outRate;
    CWaveSecondReader reader(*in, dataSize, inBytesPerSecond);
    CWaveRateConverter converter;
    converter.Begin(static_cast<int>(inRate), static_cast<int>(outRate));
    std::vector<int16_t> current, next, converted;
    std::vector<unsigned char> bytes;
    uint64_t written = 0;
    bool cancelled = false;
    int failure = kImportOk;
    const char* failureText = nullptr;

    int status = reader.Next(current);
    while (status == 1) {
        const std::vector<int16_t>* chunk = &current;
        int following = 0;
        if (convert) {
            // The next second is read first: its start is the context that joins the two
            // converted seconds without a seam.
            following = reader.Next(next);
            if (following < 0) {
                status = following;
                break;
            }
            const long ahead =
                following == 1 ? std::min<long>(static_cast<long>(next.size()), converter.GetLookAhead()) : 0;
            if (!converter.Convert(current.data(), static_cast<long>(current.size()), next.data(), ahead, converted)) {
                failure = kImportNoMemory;
                failureText = "メモリの確保ができませんでした。";
                break;
            }
            chunk = &converted;
        }
        const bool cutGoesOn = splitter.Feed(chunk->data(), chunk->size());
        if (!WriteSamples(*out, *chunk, bytes, written)) {
            failure = kImportCannotOpen;
            failureText = "Waveファイル書込み時にエラーが発生しました。";
            break;
        }
        if (!cutGoesOn) {
            failure = kImportBookFull;
            failureText = kMsgSectionAddFull;
            break;
        }
        host.SetProgress(static_cast<int>(std::max<uint64_t>(written, outBytesPerSecond) / outBytesPerSecond));
        if (host.CheckCancel() && host.AskYesNo("キャンセルしますか？")) {
            cancelled = true;
            break;
        }
        if (convert) {
            current.swap(next);
            status = following;
        } else {
            status = reader.Next(current);
        }
    }
    if (status < 0 && failure == kImportOk) {
        failure = kImportReadError;
        failureText = "Waveファイル読込時にエラーが発生しました。";
    }

    // What was cut so far stays in the book, ending where the file's audio ends, so that
    // no phrase points past it.
    splitter.Finish(cancelled, written);
    *pCurrentIndex = splitter.GetCurrentIndex();
    const int closed = writer.Close(out);
    in->Close();
    host.EndProgress();
    if (failure != kImportOk) {
        host.ShowError(failureText);
        return failure;
    }
    if (closed != kRiffOk) {
        host.ShowError("Waveファイル書込み時にエラーが発生しました。");
        return kImportCannotOpen;
    }
    // A recording without a sound gave no phrase: an audio file nothing refers to would
    // only take up room in the project (and in every backup).
    if (!cancelled && !AnyPhraseUses(m_lstSection, fileName)) {
        DeleteFileAt(target);
        m_arrSoundlessImports.push_back(source);
    }
    return cancelled ? kImportCancelled : kImportOk;
}
