// The backup that makes the book build safe. Before the build writes anything, every
// file of the project folder moves into its "Backup" folder and the book in memory is
// saved there; if the build fails, the files come back from there. Nothing here may
// lose the user's only copy of a file: every move is checked and undone on failure,
// and the roll-back copies back before it deletes anything and never touches the
// backup itself.

#include <set>
#include <vector>

#include "app/KorvaneView.h"
#include "daisy/BookFileFaults.h"
#include "platform/FileSystem.h"
#include "platform/MessageBox.h"

namespace {

// At most this many names in a message; the rest are counted.
constexpr size_t kNamesShown = 10;

// The plain files of a folder ("folder/" form), in name order; sub-folders are left out.
std::vector<CString> FilesIn(const CString& folderWithSlash) {
    std::vector<CString> names;
    CFileFind find;
    bool more = find.FindFile(folderWithSlash + "*.*");
    while (more) {
        more = find.FindNextFile();
        if (!find.IsDirectory()) names.push_back(find.GetFileName());
    }
    return names;
}

CString NameList(const std::vector<CString>& names) {
    CString list;
    for (size_t i = 0; i < names.size() && i < kNamesShown; ++i) list += "\n" + names[i];
    if (names.size() > kNamesShown) list.AppendFormat("\n他%d個", static_cast<int>(names.size() - kNamesShown));
    return list;
}

void ShowError(wxWindow* parent, const CString& text) { KvMessageBox(parent, text, "エラー", MB_OK | MB_ICONSTOP); }

// Deletes a file the program itself put into the backup; a read-only mark it carried
// over from the project folder does not protect it there.
bool DeleteBackupFile(const CString& path) {
    if (BookFileFails(EBookFileStep::BackupClear, path)) return false;
    if (DeleteFileAt(path)) return true;
    return IsFileReadOnly(path) && SetFileReadOnly(path, false) && DeleteFileAt(path);
}

}  // namespace

int CKorvaneView::BackupProjectFolder(const CString& backupFolder) {
    wxWindow* parent = m_bHasWindow ? this : nullptr;
    const CString projectFolder = m_strProjectFolder;
    const CString projectDir = projectFolder + "/";

    // A file left over from the last build that cannot go would block the move of a
    // project file of the same name; stop before anything has moved.
    for (const CString& name : FilesIn(backupFolder)) {
        if (!DeleteBackupFile(backupFolder + name)) {
            ShowError(parent, "バックアップフォルダのファイルが削除できません。" + NameList({name}));
            return 1;
        }
    }

    std::vector<CString> moved;
    // Puts back what was moved; names what stays behind, so the user knows where it is.
    auto undoMoves = [&](const CString& message) {
        std::vector<CString> stranded;
        for (auto it = moved.rbegin(); it != moved.rend(); ++it) {
            if (BookFileFails(EBookFileStep::MoveBack, backupFolder + *it) ||
                !MoveFileTo(backupFolder + *it, projectDir + *it))
                stranded.push_back(*it);
        }
        CString text = message;
        if (!stranded.empty()) text += "\n\n次のファイルはBackupフォルダに残っています。" + NameList(stranded);
        ShowError(parent, text);
        return 1;
    };

    for (const CString& name : FilesIn(projectDir)) {
        if (BookFileFails(EBookFileStep::BackupMove, projectDir + name) ||
            !MoveFileTo(projectDir + name, backupFolder + name))
            return undoMoves("バックアップ作成時にエラーが発生しました。" + NameList({name}));
        moved.push_back(name);
    }

    // The backup keeps the book as it is in memory, not only as it was last saved.
    CString savedFolder = backupFolder;
    if (savedFolder.Right(1) == "/") savedFolder = savedFolder.Left(savedFolder.GetLength() - 1);
    m_strProjectFolder = savedFolder;
    SetCurrentFolder(savedFolder);
    m_strProjectFile = backupFolder + "Korvane.ncc";
    const int saved = BookFileFails(EBookFileStep::BackupSave, m_strProjectFile) ? 4 : SaveProject();
    m_strProjectFolder = projectFolder;
    m_strProjectFile = projectFolder + "/Korvane.ncc";
    SetCurrentFolder(projectFolder);
    if (saved != 0) return undoMoves("バックアップへのプロジェクト保存時にエラーが発生しました。");
    return 0;
}

int CKorvaneView::RestoreFromBackup(const CString& backupFolder) {
    const CString projectDir = m_strProjectFolder + "/";
    const std::vector<CString> held = FilesIn(backupFolder);
    std::vector<CString> failed;

    // Copy first: until every file is back, nothing in the project folder is deleted
    // that a failed copy would leave as the only version.
    for (const CString& name : held) {
        if (BookFileFails(EBookFileStep::RestoreCopy, projectDir + name) ||
            !CopyFileTo(backupFolder + name, projectDir + name, false))
            failed.push_back(name);
    }
    // Then only what the build added: files the backup does not hold.
    const std::set<CString> heldSet(held.begin(), held.end());
    for (const CString& name : FilesIn(projectDir)) {
        if (heldSet.count(name)) continue;
        if (BookFileFails(EBookFileStep::RestoreDelete, projectDir + name) || !DeleteFileAt(projectDir + name))
            failed.push_back(name);
    }
    if (failed.empty()) return 0;
    ShowError(m_bHasWindow ? this : nullptr,
              "プロジェクトフォルダを元に戻せませんでした。\n元のファイルはBackupフォルダに残っています。" +
                  NameList(failed));
    return 1;
}
