// The book export: writes the open book as a new project of a chosen audio format in a
// new folder, complete with its DAISY book. Nothing is written into the open project's
// folder; its sections are converted in memory for the writers and put back afterwards.

#include "app/AppProfile.h"
#include "app/KorvaneView.h"
#include "app/NewProjectDlg.h"
#include "audio/Mp3Encode.h"
#include "audio/ViewWaveTaskHost.h"
#include "audio/WaveFile.h"
#include "daisy/BookFileFaults.h"
#include "daisy/DaisyBuild.h"
#include "platform/DialogHost.h"
#include "platform/FileSystem.h"
#include "platform/MessageBox.h"

namespace {

struct ExportFormat {
    int rate;  // of the section WAV files
    int bitrate;
    int bytesPerSec;
    int bytesPer100ms;
};

const ExportFormat kExportFormats[5] = {
    {16000, 0, 32000, 3200},
    {22050, 0, 44100, 4410},
    {44100, 0, 88200, 8820},
    {22050, 32000, 44100, 4410},
    {44100, 64000, 88200, 8820},
};

// value / from × to, truncated, then up to the next whole 100 ms of the new format.
uint32_t ScaleToFormat(uint32_t value, uint32_t fromBytesPerSec, const ExportFormat& to) {
    if (fromBytesPerSec == 0) return 0;
    uint64_t v = static_cast<uint64_t>(static_cast<double>(value) / fromBytesPerSec * to.bytesPerSec);
    const uint64_t step = static_cast<uint64_t>(to.bytesPer100ms);
    if (v % step != 0) v += step - v % step;
    return static_cast<uint32_t>(std::min<uint64_t>(v, UINT32_MAX));
}

// Both lists stay as they are on screen while the export converts the sections under
// them; they are drawn again when the command ends, whichever way.
class CListsRedrawOff {
public:
    CListsRedrawOff(IListView* a, IListView* b) : m_lists{a, b} {
        for (IListView* list : m_lists)
            if (list) list->SetRedraw(false);
    }
    ~CListsRedrawOff() {
        for (IListView* list : m_lists)
            if (list) list->SetRedraw(true);
    }
    CListsRedrawOff(const CListsRedrawOff&) = delete;
    CListsRedrawOff& operator=(const CListsRedrawOff&) = delete;

private:
    IListView* m_lists[2];
};

}  // namespace

void CKorvaneView::OnDaisyBookExport() {
    wxWindow* parent = m_bHasWindow ? this : nullptr;

    OnButtonStop();
    if (KvMessageBox(parent, "Daisy図書エクスポートを実行しますか？", "確認", MB_YESNO | MB_ICONQUESTION) != IDYES) return;
    while (m_bookInfo.m_strTitle.IsEmpty()) {
        KvMessageBox(parent, "書誌情報を入力して下さい。", "確認", MB_OK | MB_ICONWARNING);
        if (AskBookInfo() == 2) return;
    }

    CListsRedrawOff redraw(m_listSection, m_listPhrase);
    m_bSuppressPlay = 1;
    if (ValidateBook() != 0) {
        m_bSuppressPlay = 0;
        return;
    }
    auto endQuietly = [this] { m_bSuppressPlay = 0; };

    CNewProjectDlg dlg(parent);
    if (RunModal(dlg) != IDOK) return endQuietly();
    const int format = dlg.m_nFormat;
    if (format < 0 || format > 4) return endQuietly();

    CFileChooser request;
    request.title = "プロジェクトの作成";
    request.filter = "ﾌﾟﾛｼﾞｪｸﾄ";
    request.save = true;
    request.overwritePrompt = true;
    std::vector<CString> paths;
    if (!ChooseFile(parent, request, paths) || paths.empty()) return endQuietly();
    ExportDaisyBook(format, paths.front());
}

int CKorvaneView::ExportDaisyBook(int format, const CString& newFolder) {
    wxWindow* parent = m_bHasWindow ? this : nullptr;
    auto showError = [parent](const CString& text) { KvMessageBox(parent, text, "エラー", MB_OK | MB_ICONSTOP); };
    auto endQuietly = [this] {
        m_bSuppressPlay = 0;
        return 1;
    };
    if (format < 0 || format > 4) return endQuietly();
    if (GetLastPathComponent(newFolder).GetLength() > 30) {
        showError("プロジェクト名は全角15文字以内、または半角30文字以内にして下さい。");
        return endQuietly();
    }
    if (newFolder.GetLength() > 259) {
        showError("フォルダパスが長過ぎます。");
        return endQuietly();
    }
    switch (CreateFolder(newFolder)) {
    case kFsOk:
        break;
    case kFsAlreadyExists:
        showError("同名のプロジェクトが既に存在しています。");
        return endQuietly();
    case kFsNameTooLong:
        showError("プロジェクト名が長過ぎます。");
        return endQuietly();
    default:
        showError("フォルダ作成時にエラーが発生しました。");
        return endQuietly();
    }
    const CString projectName = GetLastPathComponent(newFolder);
    ExportFormat target = kExportFormats[format];
    // A 44100 Hz project keeps its rate for 32 kbit/s: the encoder converts it itself.
    if (format == 3 && m_nSamplePerSec == 44100) target.rate = 44100;

    // What the export changes for the writers, and puts back on every way out.
    const int oldCompression = m_nCompression;
    const int oldBytesPerSec = m_nProjectBytesPerSec;
    const int oldBytesPer100ms = m_nBytesPer100ms;
    const int oldImportCount = m_nWaveImportCount;
    const CString oldFolder = m_strProjectFolder;
    const CString oldFile = m_strProjectFile;
    const BookInfo oldInfo = m_bookInfo;
    m_nCompression = format;
    m_nProjectBytesPerSec = target.bytesPerSec;
    m_nBytesPer100ms = target.bytesPer100ms;
    m_nSectionUndoKind = 10;
    SaveUndoAllSections();

    auto restore = [&] {
        m_strProjectFolder = oldFolder;
        m_strProjectFile = oldFile;
        m_nCompression = oldCompression;
        m_nProjectBytesPerSec = oldBytesPerSec;
        m_nBytesPer100ms = oldBytesPer100ms;
        m_nWaveImportCount = oldImportCount;
        m_bookInfo = oldInfo;
        SetCurrentFolder(m_strProjectFolder);
        RestoreUndoSections();
        m_nSectionUndoKind = 0;
        m_nPhraseUndoKind = 0;
    };
    // The open project stays as it was; the files written in the new folder stay there.
    // Playback stays suppressed until the lists are rebuilt: the selection they make
    // would otherwise start the first phrase.
    auto failure = [&](const char* message) {
        restore();
        if (message) showError(message);
        RefreshSectionList(0);
        RefreshPhraseList(0);
        m_bSuppressPlay = 0;
        return 1;
    };

    for (int n = 1; n <= m_lstSection.GetCount(); ++n) {
        CSectionInformation* section = m_lstSection.GetAt(n - 1);
        const CString wave = CString::Formatted("A%06d.wav", n);
        // A failed section routine has shown its message, a cancelled one needs none.
        const int joined = m_nAudioKind == 1 ? ExportSectionFromWav(n, newFolder, wave, section, target.rate)
                                             : ExportSectionFromMp3(n, newFolder, wave, section, target.rate);
        if (joined != 0) return failure(nullptr);
        // Rounding up to whole 100 ms can carry the last phrase past the audio just
        // written; a phrase never claims audio its file does not hold.
        WaveFormatEx written{};
        uint32_t audioBytes = UINT32_MAX, dataOffset = 0;
        if (ReadWaveHeader(newFolder + "/" + wave, written, audioBytes, dataOffset) != kWaveHeaderOk)
            audioBytes = UINT32_MAX;
        else if (written.nSamplesPerSec != static_cast<uint32_t>(target.rate) && written.nSamplesPerSec != 0)
            audioBytes = static_cast<uint32_t>(uint64_t(audioBytes / 2) * target.rate / written.nSamplesPerSec * 2);
        CString name = wave;
        int encoded = 0;
        if (target.bitrate != 0) {
            CViewWaveTaskHost host(parent);
            encoded = EncodeWaveToMp3(host, newFolder + "/" + wave, newFolder + "/" + CString::Formatted("A%06d.mp3", n),
                                      target.bitrate, m_nMp3Quality, "Daisy図書エクスポート",
                                      CString::Formatted("セクション%dの音声データをMP3に変換中...", n));
            if (FileExists(newFolder + "/" + wave)) DeleteFileAt(newFolder + "/" + wave);
            name = CString::Formatted("A%06d.mp3", n);
        }
        // An MP3 file's decode lags what was encoded by the encoder's delay.
        const uint32_t delay =
            target.bitrate != 0 ? 2 * static_cast<uint32_t>(Mp3EncoderDelay(target.rate, target.bitrate, m_nMp3Quality))
                                : 0;
        section->m_nSectionTime = 0;
        for (const auto& phrase : section->m_lstPhrase) {
            phrase->m_strFileName = name;
            phrase->m_nStart = ScaleToFormat(phrase->m_nStart, phrase->m_nBytesPerSec, target);
            phrase->m_nLength = ScaleToFormat(phrase->m_nLength, phrase->m_nBytesPerSec, target);
            if (phrase->m_nStart < audioBytes && audioBytes - phrase->m_nStart < phrase->m_nLength)
                phrase->m_nLength = audioBytes - phrase->m_nStart;
            phrase->m_nStart += delay;
            phrase->m_nPause = std::min(ScaleToFormat(phrase->m_nPause, phrase->m_nBytesPerSec, target), phrase->m_nLength);
            phrase->m_nBytesPerSec = static_cast<uint32_t>(target.bytesPerSec);
            AddSectionTime(*section, phrase->m_nLength);
        }
        // The encoder has said why, or the user cancelled.
        if (encoded != 0) return failure(nullptr);
    }
    if (WriteNcc(newFolder) != 0) return failure("NCC.htmlの作成時にエラーが発生しました。");
    if (WriteSmilFiles(newFolder) != 0) return failure("Smilファイルの作成時にエラーが発生しました。");
    if (WriteDiscInfo(newFolder, projectName) != 0) return failure("DiscInfo.htmlの作成時にエラーが発生しました。");

    m_strProjectFolder = newFolder;
    m_strProjectFile = newFolder + "/Korvane.ncc";
    m_nWaveImportCount = m_lstSection.GetCount();
    // A new project without its project file could not be opened: the export failed.
    if (BookFileFails(EBookFileStep::ProjectSave, m_strProjectFile) || SaveProject() != 0)
        return failure("プロジェクトファイルの保存時にエラーが発生しました。");
    restore();

    const bool open =
        KvMessageBox(parent, "エクスポートしたプロジェクトを開きますか？", "確認", MB_YESNO | MB_ICONQUESTION) == IDYES;
    // The open project is put away only when it is safely saved.
    if (open && (BookFileFails(EBookFileStep::ProjectSave, m_strProjectFile) || SaveProject() != 0)) {
        showError(m_strProjectFile + " の保存に失敗しました。エクスポートしたプロジェクトは開きません。");
    } else if (open) {
        m_bookInfo.Clear();
        DeleteAllLists();
        m_strProjectFolder = newFolder;
        m_strProjectFile = newFolder + "/Korvane.ncc";
        SetCurrentFolder(m_strProjectFolder);
        TheAppProfile().SetProfileFile(m_strProjectFile);
        m_nSectionUndoKind = 0;
        m_nPhraseUndoKind = 0;
        LoadProject();
        SetProjectFormat(m_nCompression);
        UpdateTitle();
    }
    RefreshSectionList(0);
    RefreshPhraseList(0);
    m_bSuppressPlay = 0;
    m_nSectionUndoKind = 0;
    m_nPhraseUndoKind = 0;
    if (m_bHasWindow) Refresh(false);
    return 0;
}
