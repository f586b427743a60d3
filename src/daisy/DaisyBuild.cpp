// The book build command (F6): turns the open project into a DAISY 2.02 book inside its
// folder. The project's files go into "Backup" first and the sections are recorded for
// undo, so that a failure at any step puts the folder and the book back as they were.

#include <wx/window.h>

#include "app/KorvaneView.h"
#include "daisy/BookFileFaults.h"
#include "daisy/DaisyBuild.h"
#include "platform/FileSystem.h"
#include "platform/MessageBox.h"

CString GetLastPathComponent(const CString& path) {
    // "/" is never the second byte of a double-byte character.
    const int slash = path.ReverseFind('/');
    return slash < 0 ? path : path.Mid(slash + 1);
}

void CKorvaneView::OnDaisyBuild() {
    wxWindow* parent = m_bHasWindow ? this : nullptr;
    auto showError = [parent](const CString& text) { KvMessageBox(parent, text, "エラー", MB_OK | MB_ICONSTOP); };

    OnButtonStop();
    if (KvMessageBox(parent, "Daisy図書を生成しますか？", "確認", MB_YESNO | MB_ICONQUESTION) != IDYES) return;
    while (m_bookInfo.m_strTitle.IsEmpty()) {
        KvMessageBox(parent, "書誌情報を入力して下さい。", "確認", MB_OK | MB_ICONWARNING);
        if (AskBookInfo() == 2) return;
    }

    m_bSuppressPlay = 1;
    // What a build cut short left is settled first: its recordings may still be in the
    // backup. A recording that cannot give its phrases their length then refuses the
    // build before anything has moved (MP3 recordings are measured as they are decoded).
    if (ValidateBook() != 0 || SettleBackupFolder(m_strProjectFolder) != 0 ||
        (m_nAudioKind == 1 && CheckSectionRecordings() != 0)) {
        m_bSuppressPlay = 0;
        return;
    }

    const CString projectName = GetLastPathComponent(m_strProjectFolder);
    const CString backupFolder = m_strProjectFolder + "/Backup/";
    const CString backupPath = m_strProjectFolder + "/Backup";
    // A build that does not stand leaves no backup folder where there was none.
    const bool hadBackup = FolderExists(backupPath) || FolderExists(m_strProjectFolder + "/" + kBackupEarlierFolder);
    auto dropNewBackup = [&] {
        if (!hadBackup && !IsBackupPending(backupFolder)) RemoveFolder(backupPath);
    };
    const int created = CreateFolderPath(backupPath);
    // A file named "Backup" is no place to keep the project: only a folder will do.
    if (created != kFsOk || !FolderExists(backupPath)) {
        showError(created == kFsNameTooLong ? "プロジェクト名が長過ぎます。" : "フォルダ作成時にエラーが発生しました。");
        m_bSuppressPlay = 0;
        return;
    }

    if (BackupProjectFolder(backupFolder) != 0) {
        // Everything that could be moved back is back, and the message said what not.
        dropNewBackup();
        m_bSuppressPlay = 0;
        SetCurrentFolder(m_strProjectFolder);
        return;
    }

    m_nSectionUndoKind = 10;
    SaveUndoAllSections();

    // Puts the folder and the sections back, then says which step failed. Playback stays
    // suppressed until the lists are rebuilt: the selection they make would otherwise
    // start the first phrase.
    auto rollBack = [&](const CString& message) {
        RestoreFromBackup(backupFolder);
        dropNewBackup();
        RestoreUndoSections();
        m_bSuppressPlay = 0;
        SetCurrentFolder(m_strProjectFolder);
        if (!message.IsEmpty()) showError(message);
    };

    for (int n = 1; n <= m_lstSection.GetCount(); ++n) {
        // The section builder has said why, or the user cancelled.
        if (BuildSectionAudio(n, m_strProjectFolder, m_lstSection.GetAt(n - 1)) != 0) return rollBack(CString());
    }
    // The NCC writer gives the book its identifier when it has none; the SMIL files
    // carry the same one, so this order is fixed.
    if (WriteNcc(m_strProjectFolder) != 0) return rollBack("NCC.htmlの作成時にエラーが発生しました。");
    if (WriteSmilFiles(m_strProjectFolder) != 0) return rollBack("Smilファイルの作成時にエラーが発生しました。");
    if (WriteDiscInfo(m_strProjectFolder, projectName) != 0)
        return rollBack("DiscInfo.htmlの作成時にエラーが発生しました。");
    // Without the project file the phrases would point at recordings that are now in
    // the backup; a failed save is a failed build.
    // A project opened read-only is saved here all the same: its read-only file is in the
    // backup now, and without a project file the book would be lost.
    const CString unsavable = m_strUnsavableFolder;
    m_strUnsavableFolder.Empty();
    if (BookFileFails(EBookFileStep::ProjectSave, m_strProjectFile) || SaveProject() != 0) {
        m_strUnsavableFolder = unsavable;
        return rollBack("プロジェクトファイルの保存時にエラーが発生しました。");
    }

    // Once the book is saved it stands but for the backup's last steps; a step that fails
    // now still gives the project back as it was, as the next open would.
    auto undoStanding = [&](const CString& message) {
        m_strUnsavableFolder = unsavable;
        rollBack(message);
    };
    // The backup of the build before goes on its way out first: once the mark is gone,
    // a backup still kept aside under its first name would be given back.
    const CString earlier = m_strProjectFolder + "/" + kBackupEarlierFolder;
    if (FolderExists(earlier) && (BookFileFails(EBookFileStep::BackupDiscard, earlier) ||
                                  !MoveFileTo(earlier, m_strProjectFolder + "/" + kBackupDiscardFolder)))
        return undoStanding("前回のBackupフォルダが削除できません。\n" + earlier);
    // The book stands when the mark is gone. A mark that stays would have the next open
    // put the project back as it was before the build, so the build does that now, and
    // says so, rather than report a book that the next open takes apart.
    const CString mark = backupFolder + kBackupPendingMark;
    if (BookFileFails(EBookFileStep::BackupRelease, mark) || !DeleteNamedFile(backupPath, kBackupPendingMark))
        return undoStanding("Daisy図書作成の完了時にエラーが発生しました。次のファイルが削除できません。\n" + mark);
    // A flush that fails leaves the mark gone all the same, for every later look at the
    // folder; without the mark a roll-back could no longer tell the build's files apart.
    FlushFolder(backupPath);
    // The earlier backup goes; what of it is left (a disk error) goes at the next open or
    // build, and the book stands either way.
    if (!IsBackupPending(backupFolder)) SettleBackupFolder(m_strProjectFolder);

    // The recordings the undo would point at are gone from the folder.
    m_nSectionUndoKind = 0;
    m_nPhraseUndoKind = 0;
    KvMessageBox(parent, "完了しました。", "確認", MB_OK | MB_ICONINFORMATION);

    SetCurrentFolder(m_strProjectFolder);
    RefreshSectionList(0);
    RefreshPhraseList(0);
    m_bSuppressPlay = 0;
    if (m_bHasWindow) Refresh(false);
}
