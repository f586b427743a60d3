// New project and open project.

#include "app/AppProfile.h"
#include "app/ControlIds.h"
#include "app/KorvaneView.h"
#include "app/NewProjectDlg.h"
#include "platform/DialogHost.h"
#include "platform/FileSystem.h"
#include "platform/MessageBox.h"
#include "platform/PrivateProfile.h"

namespace {

struct FormatRow {
    const char* text;
    int samplesPerSec;
    int bitrate;
    int bytesPer100ms;
    int bytesPerSec;
    int audioKind;
};

const FormatRow kFormats[5] = {
    {"PCM 16.00KHz Mono", 16000, 0, 3200, 32000, 1},
    {"PCM 22.05KHz Mono", 22050, 0, 4410, 44100, 1},
    {"PCM 44.10KHz Mono", 44100, 0, 8820, 88200, 1},
    {"MP3 32Kbps Mono", 22050, 32000, 4410, 44100, 2},
    {"MP3 64Kbps Mono", 44100, 64000, 8820, 88200, 2},
};

void ShowError(wxWindow* parent, const CString& text) { KvMessageBox(parent, text, "エラー", MB_OK | MB_ICONSTOP); }

CString LastComponent(const CString& path) {
    int slash = path.ReverseFind('/');
    return slash < 0 ? path : path.Mid(slash + 1);
}

}  // namespace

void CKorvaneView::SetProjectFormat(int compression) {
    m_nCompression = compression;
    m_wChannels = 1;
    m_wBits = 16;
    if (compression >= 0 && compression <= 4) {
        const FormatRow& f = kFormats[compression];
        m_nSamplePerSec = f.samplesPerSec;
        m_wBitrate = static_cast<uint16_t>(f.bitrate);
        m_nBytesPer100ms = f.bytesPer100ms;
        m_nProjectBytesPerSec = f.bytesPerSec;
        m_nAudioKind = f.audioKind;
        SetControlText(IDC_STATIC_FORMAT, f.text);
        return;
    }
    // An index this program never writes (opening refuses such files): keep the rate
    // and bit rate, and derive what the players need from them.
    m_nProjectBytesPerSec = m_nSamplePerSec * 2;
    m_nBytesPer100ms = m_nProjectBytesPerSec / 10;
    m_nAudioKind = m_wBitrate == 0 ? 1 : 2;
    SetControlText(IDC_STATIC_FORMAT, "");
}

bool CKorvaneView::SaveBeforeSwitch() {
    if (m_bProjectOpen != 1 || SaveProject() == 0) return true;
    ShowError(this, "プロジェクトの保存時にエラーが発生しました。変更は保存されていません。\n" + m_strProjectFolder);
    return false;
}

void CKorvaneView::OnProjectNew() {
    OnButtonStop();
    // Changes that could not be saved stay open, rather than vanish with the project.
    if (!SaveBeforeSwitch()) return;

    CNewProjectDlg dlg(m_bHasWindow ? this : nullptr);
    if (RunModal(dlg) != IDOK) return;

    CFileChooser request;
    request.title = "プロジェクトの作成";
    request.filter = "ﾌﾟﾛｼﾞｪｸﾄ";
    request.save = true;
    request.overwritePrompt = true;
    std::vector<CString> paths;
    if (!ChooseFile(m_bHasWindow ? this : nullptr, request, paths) || paths.empty()) return;
    const CString folder = paths.front();
    const CString name = LastComponent(folder);

    // The checks come before the open project is put away, so that a refused name leaves
    // that project open as it was instead of a view whose paths name the refused folder.
    if (name.GetLength() >= 31) {
        ShowError(this, "プロジェクト名は全角15文字以内、または半角30文字以内にして下さい。");
        return;
    }
    if (folder.GetLength() >= 260) {
        ShowError(this, "フォルダパスが長過ぎます。");
        return;
    }
    switch (CreateFolder(folder)) {
    case kFsOk:
        break;
    case kFsAlreadyExists:
        ShowError(this, "同名のプロジェクトが既に存在しています。");
        return;
    case kFsNameTooLong:
        ShowError(this, "プロジェクト名が長過ぎます。");
        return;
    default:
        ShowError(this, "フォルダ作成時にエラーが発生しました。");
        return;
    }

    if (m_bProjectOpen == 1) {
        m_bookInfo.Clear();
        DeleteAllLists();
        RefreshSectionList(0);
    }
    m_strProjectFolder = folder;
    m_strProjectFile = folder + "/Korvane.ncc";
    m_strUnsavableFolder.Empty();
    SetCurrentFolder(folder);
    SetProjectFormat(dlg.m_nFormat);
    EnableButtons();
    m_bProjectOpen = 1;
    m_nSectionUndoKind = 0;
    m_nPhraseUndoKind = 0;
    m_lstSection.Add(std::make_unique<CSectionInformation>());
    RefreshSectionList(0);
    m_nWaveImportCount = 0;
    TheAppProfile().SetProfileFile(m_strProjectFile);
    if (m_bHasWindow) Refresh(false);
}

void CKorvaneView::OnProjectOpen() {
    OnButtonStop();
    if (!SaveBeforeSwitch()) return;

    CFileChooser request;
    request.title = "プロジェクトを開く";
    request.fileName = "Korvane.ncc";
    request.filter = "ﾌﾟﾛｼﾞｪｸﾄﾌｧｲﾙ(Korvane.ncc)|Korvane.ncc|";
    request.folder = m_strProjectFolder;
    request.mustExist = true;
    std::vector<CString> paths;
    if (!ChooseFile(m_bHasWindow ? this : nullptr, request, paths) || paths.empty()) return;
    CString file = paths.front();
    int slash = file.ReverseFind('/');
    CString folder = slash <= 0 ? CString("/") : file.Left(slash);
    // A build whose roll-back the disk cut short may have left the project file itself in
    // the backup, so that the project folder holds none to choose: the one in the backup
    // stands for its project, whose restore is finished below.
    const int up = folder.ReverseFind('/');
    if (up > 0 && folder.Mid(up + 1).CompareNoCase("Backup") == 0 && IsBackupPending(folder + "/")) {
        folder = folder.Left(up);
        file = folder + "/Korvane.ncc";
    }

    if (folder.GetLength() > 259) {
        ShowError(this, "フォルダパスが長過ぎます。");
        return;
    }
    // A format this program never writes would leave the players and the build with
    // the format of the project before: refuse the file while nothing has changed yet.
    const int compression = GetPrivateProfileInt("Format", "Compression", 1, paths.front());
    if (compression < 0 || compression > 4) {
        ShowError(this, "プロジェクトファイルの音声フォーマットが正しくありません。");
        return;
    }
    // A save cut short leaves the old or the new project whole again; a project whose
    // files are damaged is not opened: its next save would make the loss final.
    RecoverProjectFiles(folder);
    // So does a book build whose roll-back the disk cut short: the project's files still
    // in the backup come back before the project is read. While they cannot, the project
    // is not whole (the message said which files wait where).
    SettleBackupFolder(folder, true);
    if (IsBackupPending(folder + "/Backup/")) return;
    const std::vector<CString> damage = FindProjectDamage(file);
    if (!damage.empty()) {
        CString text = "プロジェクトファイルが壊れているため開けません。\n" + folder + "\n";
        for (size_t i = 0; i < damage.size() && i < 10; ++i) text += "\n" + damage[i];
        if (damage.size() > 10) text.AppendFormat("\n他%d個", static_cast<int>(damage.size() - 10));
        ShowError(this, text);
        return;
    }
    if (m_bProjectOpen == 1) {
        m_bookInfo.Clear();
        DeleteAllLists();
        RefreshSectionList(0);
    }
    m_strProjectFile = file;
    m_strProjectFolder = folder;
    m_strUnsavableFolder.Empty();
    // Said once, here: the project's later saves leave it as it is without a word.
    const char* reason = IsFileReadOnly(file)        ? "プロジェクトファイルが読み取り専用です。"
                         : !IsFolderWritable(folder) ? "プロジェクトフォルダに書き込めません。"
                                                     : nullptr;
    if (reason) {
        m_strUnsavableFolder = folder;
        KvMessageBox(this, CString("このプロジェクトの変更は保存できません。\n") + reason + "\n" + folder, "確認",
                     MB_OK | MB_ICONWARNING);
    }
    SetCurrentFolder(folder);
    TheAppProfile().SetProfileFile(m_strProjectFile);
    EnableButtons();
    m_bProjectOpen = 1;
    m_nSectionUndoKind = 0;
    m_nPhraseUndoKind = 0;
    LoadProject();
    SetProjectFormat(m_nCompression);
    RefreshSectionList(0);
    if (m_bHasWindow) Refresh(false);
}
