// One audio file per section, joined from the clips of the section's phrases. The
// build copies from the backup folder (where the backup has just moved the project's
// recordings) into the project folder; the export copies from the project folder into
// a new one and brings the result to the new project's rate. Afterwards the phrases
// point into the joined file.

#include <algorithm>
#include <map>
#include <memory>
#include <vector>

#include "app/KorvaneView.h"
#include "app/ProgressDlg.h"
#include "audio/AudioResult.h"
#include "audio/WaveConvert.h"
#include "audio/WaveFile.h"
#include "audio/WaveFileWriter.h"
#include "daisy/BookFileFaults.h"
#include "platform/FileSystem.h"
#include "platform/MessageBox.h"
#include "platform/Riff.h"

namespace {

const char kBuildCaption[] = "Daisy図書生成";
const char kExportCaption[] = "Daisy図書エクスポート";
const char kExportTempName[] = "ExportTempWave.wav";

// Clips are copied a quarter megabyte at a time: a whole book passes through here, and
// small blocks make the copy several times slower than the disk (each write then also
// rewrites part of a page). The memory stays fixed, whatever the clip lengths.
constexpr uint32_t kCopyBufferBytes = 256 * 1024;

void ShowError(wxWindow* parent, const CString& text) { KvMessageBox(parent, text, "エラー", MB_OK | MB_ICONSTOP); }

// The export's rate conversion reports through the view's boxes and a progress dialog
// of its own.
class CViewTaskHost : public CWaveTaskHost {
public:
    explicit CViewTaskHost(wxWindow* parent) : m_pParent(parent) {}
    void ShowError(const CString& text) override { ::ShowError(m_pParent, text); }
    bool AskYesNo(const CString& text) override {
        return KvMessageBox(m_pParent, text, "確認", MB_YESNO | MB_ICONQUESTION) == IDYES;
    }
    void BeginProgress(const CString& caption, const CString& text, int range) override {
        m_progress = std::make_unique<CProgressDlg>();
        m_progress->Create(m_pParent);
        m_progress->SetRange(0, range);
        m_progress->SetWindowText(caption);
        m_progress->SetMessage(text);
    }
    void SetProgress(int position) override {
        if (m_progress) m_progress->SetPos(position);
    }
    bool CheckCancel() override { return m_progress && m_progress->CheckCancel() != 0; }
    void EndProgress() override { m_progress.reset(); }

private:
    wxWindow* m_pParent;
    std::unique_ptr<CProgressDlg> m_progress;
};

// A clip its recording cannot give whole, named by section, file and phrase.
// What the build and the export do differently while joining a section.
struct SectionJob {
    wxWindow* parent = nullptr;
    int n = 0;
    const char* caption = kBuildCaption;
    CString outputPath;
    WaveFormatEx format{};
    CString sourceFolder;     // ends with "/"
    CString newName;          // build: the name the phrases get; export: empty, names stay
};

// Joins the clips into job.outputPath and rewrites the phrases' starts. Results as the
// routines': 0, 2 cancelled, 5 open/write/close, 8 header, 10 read.
int JoinSection(const SectionJob& job, CSectionInformation* section, uint32_t& joinedBytes) {
    joinedBytes = 0;
    CProgressDlg progress;
    progress.Create(job.parent);
    progress.SetRange(0, section->m_lstPhrase.GetCount());
    progress.SetWindowText(job.caption);
    progress.SetMessage(CString::Formatted("セクション%dの音声データを生成中...", job.n));

    CWaveFileWriter writer;
    std::unique_ptr<CRiffFile> out;
    if (writer.Create(job.outputPath, job.format, out) != kRiffOk) {
        ShowError(job.parent, "ファイルが開けません。");
        return 5;
    }
    auto fail = [&](const char* message, int result) {
        writer.Close(out);
        if (message) ShowError(job.parent, message);
        return result;
    };

    std::vector<unsigned char> buffer(kCopyBufferBytes);
    uint32_t offset = 0;
    for (int j = 0; j < section->m_lstPhrase.GetCount(); ++j) {
        CPhraseInformation* phrase = section->m_lstPhrase.GetAt(j);
        const CString source = job.sourceFolder + phrase->m_strFileName;
        WaveFormatEx sourceFormat{};
        uint32_t dataSize = 0, dataOffset = 0;
        if (ReadWaveHeader(source, sourceFormat, dataSize, dataOffset) != kWaveHeaderOk)
            return fail("Waveヘッダ情報の取得に失敗しました。", 8);
        int error = 0;
        std::unique_ptr<CRiffFile> in = CRiffFile::Open(source, RiffOpenMode::Read, error);
        if (!in || in->Seek(static_cast<int64_t>(dataOffset) + phrase->m_nStart, SEEK_SET) < 0)
            return fail("ファイルが開けません。", 5);

        // Only the data chunk is audio. A clip that runs past its end (a recording cut
        // short on the disk) is refused: padding it with silence would give a book that
        // plays nothing where the narration was, and the build would then throw the
        // recording's own clips away.
        const uint32_t available = phrase->m_nStart < dataSize ? dataSize - phrase->m_nStart : 0;
        uint32_t toRead = std::min(phrase->m_nLength, available);
        uint32_t written = 0;
        while (toRead > 0) {
            const int64_t got = in->Read(buffer.data(), std::min(toRead, kCopyBufferBytes));
            if (got < 0) return fail("Waveファイル読込時にエラーが発生しました。", 10);
            if (got == 0) break;
            if (out->Write(buffer.data(), got) != got || BookFileFails(EBookFileStep::SectionWrite, job.outputPath))
                return fail("Waveファイル書込み時にエラーが発生しました。", 5);
            toRead -= static_cast<uint32_t>(got);
            written += static_cast<uint32_t>(got);
        }
        in->Close();
        if (written < phrase->m_nLength) {
            writer.Close(out);
            ShowError(job.parent, RecordingFault(job.n, phrase->m_strFileName, j, "が途中で切れています。"));
            return 10;
        }

        // The recorded lengths decide the starts, whatever the sources held.
        phrase->m_nStart = offset;
        offset += phrase->m_nLength;
        if (!job.newName.IsEmpty()) phrase->m_strFileName = job.newName;
        joinedBytes = offset;

        progress.SetPos(j);
        if (progress.CheckCancel() &&
            KvMessageBox(job.parent, "キャンセルしますか？", "確認", MB_YESNO | MB_ICONQUESTION) == IDYES) {
            writer.Close(out);
            return 2;
        }
    }

    // A file that did not reach the disk whole is a failed section, not a short book.
    if (writer.Close(out) != kRiffOk || BookFileFails(EBookFileStep::SectionClose, job.outputPath))
        return fail("Waveファイル書込み時にエラーが発生しました。", 5);
    return 0;
}

int CheckNames(wxWindow* parent, const CString& folder, const CString& name) {
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

int CKorvaneView::CheckSectionRecordings() {
    wxWindow* parent = m_bHasWindow ? this : nullptr;
    // The audio bytes each recording holds (its data chunk, as far as the file goes), or
    // -1 when its header cannot be read.
    std::map<std::string, int64_t> audio;
    for (int n = 1; n <= m_lstSection.GetCount(); ++n) {
        const CSectionInformation* section = m_lstSection.GetAt(n - 1);
        for (int j = 0; j < section->m_lstPhrase.GetCount(); ++j) {
            const CPhraseInformation* phrase = section->m_lstPhrase.GetAt(j);
            auto [it, fresh] = audio.try_emplace(phrase->m_strFileName.str(), -1);
            if (fresh) {
                const CString path = m_strProjectFolder + "/" + phrase->m_strFileName;
                WaveFormatEx format{};
                uint32_t dataSize = 0, dataOffset = 0;
                uint64_t fileSize = 0;
                if (ReadWaveHeader(path, format, dataSize, dataOffset) == kWaveHeaderOk && GetFileSize64(path, fileSize))
                    it->second = static_cast<int64_t>(
                        std::min<uint64_t>(dataSize, fileSize > dataOffset ? fileSize - dataOffset : 0));
            }
            if (it->second < 0) {
                ShowError(parent, RecordingFault(n, phrase->m_strFileName, j, "が読み込めません。"));
                return 8;
            }
            if (static_cast<int64_t>(phrase->m_nStart) + phrase->m_nLength > it->second) {
                ShowError(parent, RecordingFault(n, phrase->m_strFileName, j, "が途中で切れています。"));
                return 10;
            }
        }
    }
    return 0;
}

int CKorvaneView::BuildSectionAudio(int n, const CString& folder, CSectionInformation* section) {
    if (m_nAudioKind == 1) return BuildSectionWav(n, folder, CString::Formatted("A%06d.wav", n), section);
    return BuildSectionMp3(n, folder, CString::Formatted("A%06d.mp3", n), section, true);
}

int CKorvaneView::BuildSectionWav(int n, const CString& folder, const CString& name, CSectionInformation* section) {
    wxWindow* parent = m_bHasWindow ? this : nullptr;
    if (int r = CheckNames(parent, folder, name); r != 0) return r;

    SectionJob job;
    job.parent = parent;
    job.n = n;
    job.caption = kBuildCaption;
    job.outputPath = folder + "/" + name;
    job.format.wFormatTag = kWaveFormatPcm;
    job.format.nChannels = m_wChannels;
    job.format.nSamplesPerSec = static_cast<uint32_t>(m_nSamplePerSec);
    job.format.wBitsPerSample = m_wBits;
    job.format.nBlockAlign = static_cast<uint16_t>(m_wBits / 8 * m_wChannels);
    job.format.nAvgBytesPerSec = job.format.nBlockAlign * job.format.nSamplesPerSec;
    job.sourceFolder = folder + "/Backup/";
    job.newName = name;

    uint32_t joined = 0;
    int result = JoinSection(job, section, joined);
    // The section's audio is now exactly the joined file.
    if (result == 0) section->m_nSectionTime = joined;
    return result;
}

int CKorvaneView::ExportSectionFromWav(int n, const CString& newFolder, const CString& name,
                                       CSectionInformation* section, int targetRate) {
    wxWindow* parent = m_bHasWindow ? this : nullptr;
    if (int r = CheckNames(parent, newFolder, name); r != 0) return r;

    const CString temp = newFolder + "/" + kExportTempName;
    const CString target = newFolder + "/" + name;
    SectionJob job;
    job.parent = parent;
    job.n = n;
    job.caption = kExportCaption;
    job.outputPath = temp;
    job.format = MakePcmMono16Format(static_cast<uint32_t>(m_nSamplePerSec));
    job.sourceFolder = m_strProjectFolder + "/";

    uint32_t joined = 0;
    int result = JoinSection(job, section, joined);
    if (result != 0) {
        DeleteFileAt(temp);
        return result;
    }
    if (m_nSamplePerSec == targetRate) {
        if (!MoveFileTo(temp, target)) {
            DeleteFileAt(temp);
            ShowError(parent, "ファイルが開けません。");
            return 5;
        }
        return 0;
    }
    CViewTaskHost host(parent);
    int converted = ConvertWaveFormat(host, temp, target, targetRate, kExportCaption,
                                      CString::Formatted("セクション%dの音声データを変換中...", n));
    if (FileExists(temp)) DeleteFileAt(temp);
    // A failed conversion has shown its message; it must not pass for a written section.
    if (converted == 2) return 2;
    return converted == 0 ? 0 : 5;
}
