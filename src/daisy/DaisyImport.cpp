// The DAISY import: reads a DAISY 2.02 book and inserts its sections into the open
// project. Each section's clips, from whatever files of the book they come, are joined
// at the project's rate into the section's one new audio file, and the phrases are
// re-expressed in the project's bytes.

#include <algorithm>
#include <memory>
#include <vector>

#include "app/BookLimits.h"
#include "app/KorvaneView.h"
#include "audio/Mp3Decode.h"
#include "audio/ViewWaveTaskHost.h"
#include "audio/WaveConvert.h"
#include "audio/WaveFile.h"
#include "audio/WaveFileWriter.h"
#include "audio/WaveRateConverter.h"
#include "audio/WaveSecondReader.h"
#include "daisy/DaisyBookReader.h"
#include "daisy/DaisyImportDlg.h"
#include "platform/DialogHost.h"
#include "platform/FileSystem.h"
#include "platform/MessageBox.h"
#include "platform/Riff.h"
#include "platform/WaitCursor.h"

namespace {

const char kImportCaption[] = "Daisy図書インポート";
const char kCannotImport[] = "このファイルはインポート出来ません。";
const char kJoinTempName[] = "/DaisyJoinTemp.wav";
const char kResampleTempName[] = "/ReSamplingTemp.wav";
const char kDecodeTempName[] = "/Mp3DecodeTemp.wav";
const char kEncodeTempName[] = "/Mp3EecodeTemp.mp3";
constexpr uint32_t kCopyBufferBytes = 256 * 1024;

// The section list is not redrawn while the import changes the book under it.
class CRedrawOff {
public:
    explicit CRedrawOff(IListView* list) : m_list(list) {
        if (m_list) m_list->SetRedraw(false);
    }
    ~CRedrawOff() {
        if (m_list) m_list->SetRedraw(true);
    }
    CRedrawOff(const CRedrawOff&) = delete;
    CRedrawOff& operator=(const CRedrawOff&) = delete;

private:
    IListView* m_list;
};

CString ExtensionOf(const CString& path) {
    const int dot = path.ReverseFind('.');
    const int slash = path.ReverseFind('/');
    return dot > slash ? path.Mid(dot) : CString();
}

// value / from × to, truncated, then up to the next whole 100 ms of the project.
uint32_t Rescale(uint32_t value, uint32_t fromBytesPerSec, int toBytesPerSec, int bytesPer100ms) {
    if (fromBytesPerSec == 0 || bytesPer100ms <= 0) return 0;
    double scaled = static_cast<double>(value) / fromBytesPerSec * toBytesPerSec;
    uint64_t v = static_cast<uint64_t>(scaled);
    if (v % static_cast<uint64_t>(bytesPer100ms) != 0) v += bytesPer100ms - v % static_cast<uint64_t>(bytesPer100ms);
    return static_cast<uint32_t>(std::min<uint64_t>(v, UINT32_MAX));
}

}  // namespace

CString CKorvaneView::NextDaisyImportName(const char* pattern) {
    if (m_nWaveImportCount <= 0) m_nWaveImportCount = 1;
    while (FileExists(m_strProjectFolder + "/" + CString::Formatted(pattern, m_nWaveImportCount))) ++m_nWaveImportCount;
    return CString::Formatted(pattern, m_nWaveImportCount);
}

int CKorvaneView::ImportDaisyWavClip(CString source, CString* name, CString progressText) {
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
    WaveFormatEx format{};
    uint32_t dataSize = 0, dataOffset = 0;
    if (ReadWaveHeader(source, format, dataSize, dataOffset) != kWaveHeaderOk) {
        showError("Waveヘッダ情報の取得に失敗しました。");
        return 8;
    }
    const uint32_t rate = format.nSamplesPerSec;
    if ((rate != 16000 && rate != 22050 && rate != 44100) || format.nChannels != 1 || format.wBitsPerSample != 16) {
        showError(kCannotImport);
        return 8;
    }

    *name = NextDaisyImportName("A%06d.wav");
    const CString target = m_strProjectFolder + "/" + *name;
    CWaveFileWriter writer;
    std::unique_ptr<CRiffFile> out;
    if (writer.Create(target, MakePcmMono16Format(static_cast<uint32_t>(m_nSamplePerSec)), out) != kRiffOk) {
        showError("ファイルが開けません。");
        return 5;
    }
    int error = 0;
    std::unique_ptr<CRiffFile> in = CRiffFile::Open(source, RiffOpenMode::Read, error);
    if (!in || in->Seek(dataOffset, SEEK_SET) < 0) {
        writer.Close(out);
        showError("ファイルが開けません。");
        return 5;
    }

    CViewWaveTaskHost host(parent);
    const uint32_t bytesPerSecond = format.nAvgBytesPerSec;
    host.BeginProgress(kImportCaption, CString("音声データを取り込んでいます...　") + progressText,
                       std::max<int>(1, static_cast<int>(dataSize / bytesPerSecond)));
    // A failed write or read is a failed section: a shortened recording would leave the
    // later phrases pointing past its end.
    auto fail = [&](const CString& message, int result) {
        in->Close();
        writer.Close(out);
        host.EndProgress();
        showError(message);
        return result;
    };

    CWaveSecondReader reader(*in, dataSize, bytesPerSecond);
    const bool convert = static_cast<int>(rate) != m_nSamplePerSec;
    CWaveRateConverter converter;
    converter.Begin(static_cast<int>(rate), m_nSamplePerSec);
    std::vector<int16_t> current, next, converted;
    std::vector<unsigned char> bytes;
    bool cancelled = false;
    int64_t written = 0;
    int status = reader.Next(current);
    while (status == 1) {
        const int following = reader.Next(next);
        if (following < 0) return fail("Waveファイル読込時にエラーが発生しました。", 10);
        const std::vector<int16_t>* samples = &current;
        if (convert) {
            const long ahead =
                following == 1 ? std::min<long>(static_cast<long>(next.size()), converter.GetLookAhead()) : 0;
            if (!converter.Convert(current.data(), static_cast<long>(current.size()), next.data(), ahead, converted))
                return fail("メモリの確保ができませんでした。", 29);
            samples = &converted;
        }
        bytes.resize(samples->size() * 2);
        for (size_t i = 0; i < samples->size(); ++i) {
            const uint16_t v = static_cast<uint16_t>((*samples)[i]);
            bytes[2 * i] = static_cast<unsigned char>(v);
            bytes[2 * i + 1] = static_cast<unsigned char>(v >> 8);
        }
        if (out->Write(bytes.data(), static_cast<int64_t>(bytes.size())) != static_cast<int64_t>(bytes.size()))
            return fail(target + " の書込みに失敗しました。", 5);
        written += static_cast<int64_t>(bytes.size());
        host.SetProgress(static_cast<int>(written / std::max(1, m_nSamplePerSec * 2)));
        if (host.CheckCancel() && host.AskYesNo("キャンセルしますか？")) {
            cancelled = true;
            break;
        }
        current.swap(next);
        status = following;
    }
    if (status < 0) return fail("Waveファイル読込時にエラーが発生しました。", 10);
    in->Close();
    host.EndProgress();
    if (writer.Close(out) != kRiffOk) {
        showError(target + " の書込みに失敗しました。");
        return 5;
    }
    return cancelled ? 2 : 0;
}

int CKorvaneView::JoinDaisySection(const CString& bookFolder, CSectionInformation* section, const CString& joined) {
    wxWindow* parent = m_bHasWindow ? this : nullptr;
    auto showError = [parent](const CString& text) { KvMessageBox(parent, text, "エラー", MB_OK | MB_ICONSTOP); };
    const CString resampled = m_strProjectFolder + kResampleTempName;
    const CString decoded = m_strProjectFolder + kDecodeTempName;

    // The recording is joined at the project's rate, so that it is converted at most
    // once; clip files of other rates are brought to it first.
    const uint32_t joinBytesPerSec = static_cast<uint32_t>(m_nProjectBytesPerSec);
    const int joinRate = m_nSamplePerSec;
    CWaveFileWriter writer;
    std::unique_ptr<CRiffFile> out;
    if (writer.Create(joined, MakePcmMono16Format(static_cast<uint32_t>(joinRate)), out) != kRiffOk) {
        showError("ファイルが開けません。");
        return 5;
    }
    auto fail = [&](const CString& message, int result) {
        writer.Close(out);
        if (!message.IsEmpty()) showError(message);
        return result;
    };

    std::vector<unsigned char> buffer(kCopyBufferBytes);
    CString convertedFrom;  // the clip file that ReSamplingTemp.wav holds now
    CString decodedFrom;    // the MP3 file that Mp3DecodeTemp.wav holds now
    uint32_t offset = 0;
    for (const auto& phrase : section->m_lstPhrase) {
        CString path = bookFolder + phrase->m_strFileName;
        CString actual;
        if (FindPathNoCase(path, actual)) path = actual;
        const CString clipFile = path;
        if (ExtensionOf(path).CompareNoCase(".mp3") == 0) {
            // Decoded at the stream's own rate, which the clip's times are counted in;
            // the WAV road below brings it to the project's.
            if (decodedFrom != clipFile) {
                CViewWaveTaskHost host(parent);
                const int r = DecodeMp3FileToWave(host, clipFile, decoded, kImportCaption,
                                                  "Waveファイルを生成しています...　", phrase->m_nBytesPerSec / 2,
                                                  m_strExeFolder);
                if (r != 0) return fail("", r == 2 ? 2 : 8);
                decodedFrom = clipFile;
            }
            path = decoded;
        } else if (ExtensionOf(path).CompareNoCase(".wav") != 0) {
            return fail(phrase->m_strFileName + " " + kCannotImport, 8);
        }

        uint32_t start = phrase->m_nStart, length = phrase->m_nLength;
        CString readFrom = path;
        if (phrase->m_nBytesPerSec != joinBytesPerSec) {
            if (convertedFrom != clipFile) {
                CViewWaveTaskHost host(parent);
                const int r = ConvertWaveFormat(host, path, resampled, joinRate, kImportCaption,
                                                "音声フォーマットを変換しています...");
                if (r != 0) return fail("", r == 2 ? 2 : 8);
                convertedFrom = clipFile;
            }
            readFrom = resampled;
            start = static_cast<uint32_t>(static_cast<uint64_t>(start) * joinBytesPerSec / phrase->m_nBytesPerSec) & ~1u;
            length = static_cast<uint32_t>(static_cast<uint64_t>(length) * joinBytesPerSec / phrase->m_nBytesPerSec) & ~1u;
        }

        WaveFormatEx format{};
        uint32_t dataSize = 0, dataOffset = 0;
        if (ReadWaveHeader(readFrom, format, dataSize, dataOffset) != kWaveHeaderOk || format.nChannels != 1 ||
            format.wBitsPerSample != 16)
            return fail(phrase->m_strFileName + " " + kCannotImport, 8);
        // A clip may run a little past the recording (times are rounded); one that starts
        // after it or runs on for more than a second has times that do not belong to it.
        if (start > dataSize || static_cast<uint64_t>(start) + length > static_cast<uint64_t>(dataSize) + joinBytesPerSec)
            return fail(CString::Formatted("%s の範囲が音声ファイルの長さを超えています。", phrase->m_strFileName.c_str()),
                        8);
        if (static_cast<uint64_t>(offset) + length > UINT32_MAX)
            return fail(CString::Formatted("%s の音声が長過ぎるためインポート出来ません。", phrase->m_strFileName.c_str()), 8);

        int error = 0;
        std::unique_ptr<CRiffFile> in = CRiffFile::Open(readFrom, RiffOpenMode::Read, error);
        if (!in || in->Seek(static_cast<int64_t>(dataOffset) + start, SEEK_SET) < 0)
            return fail("ファイルが開けません。", 5);
        uint32_t toRead = std::min(length, dataSize - start);
        uint32_t copied = 0;
        while (toRead > 0) {
            const int64_t got = in->Read(buffer.data(), std::min(toRead, kCopyBufferBytes));
            if (got < 0) return fail(phrase->m_strFileName + " の読込みに失敗しました。", 10);
            if (got == 0) break;
            if (out->Write(buffer.data(), got) != got) return fail(joined + " の書込みに失敗しました。", 5);
            toRead -= static_cast<uint32_t>(got);
            copied += static_cast<uint32_t>(got);
        }
        in->Close();
        std::fill(buffer.begin(), buffer.end(), 0);
        for (uint32_t left = length - copied; left > 0;) {
            const uint32_t step = std::min(left, kCopyBufferBytes);
            if (out->Write(buffer.data(), step) != step) return fail(joined + " の書込みに失敗しました。", 5);
            left -= step;
        }
        phrase->m_nStart = offset;
        phrase->m_nLength = length;
        phrase->m_nBytesPerSec = joinBytesPerSec;
        offset += length;
    }
    if (writer.Close(out) != kRiffOk) {
        showError(joined + " の書込みに失敗しました。");
        return 5;
    }
    return 0;
}

void CKorvaneView::OnDaisyImport() {
    OnButtonStop();
    CDaisyImportDlg dlg(m_bHasWindow ? this : nullptr);
    if (RunModal(dlg) != IDOK) return;
    ImportDaisyBook(dlg.m_strNccPath, dlg.m_nAutoPage);
}

int CKorvaneView::ImportDaisyBook(const CString& nccPath, int autoPage) {
    wxWindow* parent = m_bHasWindow ? this : nullptr;
    auto showError = [parent](const CString& text) { KvMessageBox(parent, text, "エラー", MB_OK | MB_ICONSTOP); };
    CWaitCursor wait;
    CRedrawOff redraw(m_listSection);
    const int slash = nccPath.ReverseFind('/');
    const CString bookFolder = slash < 0 ? CString("./") : nccPath.Left(slash + 1);
    CDaisyBookReader reader;
    reader.m_strProjectFolder = m_strProjectFolder;

    const bool overwrite = KvMessageBox(parent, "書誌情報を上書きしますか？", "確認", MB_YESNO | MB_ICONQUESTION) == IDYES;
    // Read into a copy: a book that fails half way must not leave half its record behind.
    BookInfo info = m_bookInfo;
    CRecordList<CSectionInformation> imported;
    const int selectedAtStart = GetFirstSelectedSection();
    int selectRow = selectedAtStart < 0 ? 0 : selectedAtStart;

    int result = 0;
    auto finish = [&]() {
        SetCurrentFolder(m_strProjectFolder);
        m_nSectionUndoKind = 0;
        m_nPhraseUndoKind = 0;
        imported.RemoveAll();
        // The new selection would start playing on its own.
        m_bSuppressPlay = 1;
        RefreshSectionList(selectRow);
        m_bSuppressPlay = 0;
        return result;
    };

    const int read = reader.LoadNcc(nccPath, &info, &imported, autoPage);
    result = read == 0 ? 0 : read == 2 ? 2 : 1;
    if (read == 2) return finish();
    if (read != 0) {
        showError("Daisy図書インポートでエラーが発生しました。");
        return finish();
    }
    if (overwrite) m_bookInfo = info;
    if (imported.IsEmpty()) return finish();
    if (m_lstSection.GetCount() >= kMaxSections) {
        showError(kMsgDaisyImportFull);
        result = 1;
        return finish();
    }

    int insertAt = selectedAtStart >= 0 && selectedAtStart < m_lstSection.GetCount() ? selectedAtStart
                                                                                       : m_lstSection.GetCount();
    selectRow = selectedAtStart < 0 ? 0 : selectedAtStart;
    const int n = imported.GetCount();
    const CString joined = m_strProjectFolder + kJoinTempName;
    for (int i = 1; i <= n; ++i) {
        if (m_lstSection.GetCount() >= kMaxSections) {
            showError("貼り付け出来ません。");
            result = 1;
            break;
        }
        CSectionInformation* source = imported.GetAt(i - 1);
        auto section = std::make_unique<CSectionInformation>();
        section->m_nLevel = source->m_nLevel;
        section->m_strHeading = source->m_strHeading;
        section->m_strStartPage = source->m_strStartPage;
        section->m_strEndPage = source->m_strEndPage;
        section->m_strComment = source->m_strComment;
        section->m_nPhraseCount = source->m_nPhraseCount;
        section->m_nSectionTime = source->m_nSectionTime;
        if (source->m_lstPhrase.IsEmpty()) {
            m_lstSection.InsertAt(insertAt++, std::move(section));
            continue;
        }

        const CString progressText = CString::Formatted("(%d/%d)", i, n);
        CString name;
        uint32_t delay = 0;
        if (m_nAudioKind == 1) {
            result = JoinDaisySection(bookFolder, source, joined);
            if (result == 0) result = ImportDaisyWavClip(joined, &name, progressText);
        } else {
            result = ImportDaisySectionIntoMp3Project(bookFolder, source, joined, &name, progressText, &delay);
        }
        for (const char* temp : {kJoinTempName, kResampleTempName, kDecodeTempName, kEncodeTempName})
            if (FileExists(m_strProjectFolder + temp)) DeleteFileAt(m_strProjectFolder + temp);
        if (result != 0) break;

        // An encoded section's audio lies behind the encoder's delay in its decoded file. The
        // phrases move past it once their times are whole tenths, so that each starts on the
        // sample it started on in the book and the last ends where the audio does; the first
        // keeps the file's start and takes the delay in.
        uint64_t sum = 0;
        for (const auto& from : source->m_lstPhrase) {
            auto phrase = std::make_unique<CPhraseInformation>();
            phrase->m_nStart = Rescale(from->m_nStart, from->m_nBytesPerSec, m_nProjectBytesPerSec, m_nBytesPer100ms);
            phrase->m_nLength = Rescale(from->m_nLength, from->m_nBytesPerSec, m_nProjectBytesPerSec, m_nBytesPer100ms);
            if (section->m_lstPhrase.IsEmpty())
                phrase->m_nLength += delay;
            else
                phrase->m_nStart += delay;
            phrase->m_nPause = from->m_nPause;
            phrase->m_nPageKind = from->m_nPageKind;
            phrase->m_strPageText = from->m_strPageText;
            phrase->m_nGroup = from->m_nGroup;
            phrase->m_nMark = from->m_nMark;
            phrase->m_strComment = from->m_strComment;
            phrase->m_strFileName = name;
            phrase->m_nBytesPerSec = static_cast<uint32_t>(m_nProjectBytesPerSec);
            sum += phrase->m_nLength;
            section->m_lstPhrase.Add(std::move(phrase));
        }
        section->m_nPhraseCount = static_cast<uint32_t>(section->m_lstPhrase.GetCount());
        section->m_nSectionTime = static_cast<uint32_t>(std::min<uint64_t>(sum, UINT32_MAX));
        m_lstSection.InsertAt(insertAt++, std::move(section));
    }
    return finish();
}
