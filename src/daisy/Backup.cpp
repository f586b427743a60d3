// The backup that makes the book build safe. Before the build writes anything, every
// file of the project folder moves into its "Backup" folder and the book in memory is
// saved there; if the build fails, the files move back. Nothing here may lose the
// user's only copy of a file: files only ever move (which needs no free space), every
// move is checked, and while the project's files are in the backup a mark there says
// so, so that no later build empties the backup before they are back.
//
// The backup of the build before is the last copy of the recordings as they were then:
// it is not emptied when a build starts but kept aside whole beside the new backup, and
// goes only once the new book stands; a build that does not finish gives it back.
//
// Files are listed and moved by the names the system holds, whatever CP932 can spell:
// a file the program never opens must still go and come back as itself.

#include <set>
#include <string>
#include <vector>

#include "app/KorvaneView.h"
#include "daisy/BookFileFaults.h"
#include "platform/FileSystem.h"
#include "platform/MessageBox.h"
#include "platform/TextFile.h"

namespace {

// At most this many names in a message; the rest are counted.
constexpr size_t kNamesShown = 10;

CString NameList(const std::vector<std::string>& names) {
    CString list;
    for (size_t i = 0; i < names.size() && i < kNamesShown; ++i) list += "\n" + DisplayName(names[i]);
    if (names.size() > kNamesShown) list.AppendFormat("\n他%d個", static_cast<int>(names.size() - kNamesShown));
    return list;
}

void ShowError(wxWindow* parent, const CString& text) { KvMessageBox(parent, text, "エラー", MB_OK | MB_ICONSTOP); }

CString Unslashed(const CString& folder) {
    return folder.Right(1) == "/" ? folder.Left(folder.GetLength() - 1) : folder;
}

CString Unlisted(const CString& folder) { return "フォルダの内容が読み取れません。\n" + Unslashed(folder); }

// The plain files of a folder, the mark left out.
bool FilesIn(const CString& folder, std::vector<std::string>& names) {
    if (!ListFolderFiles(Unslashed(folder), names)) return false;
    std::erase(names, std::string(kBackupPendingMark));
    return true;
}

// The mark names the files that are the project's while it stands: the project folder's
// when the backup begins, the backup's once the project is saved there. Whatever else
// the project folder holds then is what the build wrote. The names go in hexadecimal,
// one a line, so that any byte of a name comes back as itself; a last line "." says that
// the list is whole.
bool WriteMark(const CString& backupFolder, const std::vector<std::string>& names) {
    static const char kDigits[] = "0123456789abcdef";
    CTextFile mark;
    if (!mark.Open(backupFolder + kBackupPendingMark, CTextFile::modeCreateWrite)) return false;
    for (const std::string& name : names) {
        std::string line;
        for (unsigned char c : name) line += {kDigits[c >> 4], kDigits[c & 15]};
        mark.WriteString(CString(line + "\n"));
    }
    mark.WriteString(".\n");
    return mark.Close() && FlushFolder(Unslashed(backupFolder));
}

// The names of a mark; false unless the list is whole (a mark of an older version names
// nothing, one cut short lacks its end), and then nothing can be said to be the build's.
bool ReadMark(const CString& backupFolder, std::set<std::string>& names) {
    CTextFile mark;
    if (!mark.Open(backupFolder + kBackupPendingMark, CTextFile::modeRead)) return false;
    auto digit = [](char c) { return c <= '9' ? c - '0' : c - 'a' + 10; };
    CString line;
    while (mark.ReadString(line)) {
        const std::string& hex = line.str();
        if (hex == ".") return !mark.ReadString(line);
        if (hex.empty() || hex.size() % 2 != 0 || hex.find_first_not_of("0123456789abcdef") != std::string::npos)
            return false;
        std::string name;
        for (size_t i = 0; i < hex.size(); i += 2) name += static_cast<char>(digit(hex[i]) << 4 | digit(hex[i + 1]));
        names.insert(name);
    }
    return false;
}

CString Beside(const CString& projectFolder, const char* name) { return projectFolder + "/" + name; }

// The backup of the build before, under the name it has now, or null.
const char* KeptAside(const CString& projectFolder) {
    if (FolderExists(Beside(projectFolder, kBackupEarlierFolder))) return kBackupEarlierFolder;
    if (FolderExists(Beside(projectFolder, kBackupDiscardFolder))) return kBackupDiscardFolder;
    return nullptr;
}

// A build that did not stand, with nothing of the project left in its backup and the
// mark gone: the backup of the build before takes the place of the (empty) new one. Only
// an empty folder gives way, so nothing in it can be lost.
bool PutBackEarlier(const CString& projectFolder) {
    const char* aside = KeptAside(projectFolder);
    if (!aside) return true;
    const CString backupDir = Beside(projectFolder, "Backup");
    if (FolderExists(backupDir) && !RemoveFolder(backupDir)) return false;
    if (!MoveFileTo(Beside(projectFolder, aside), backupDir)) return false;
    FlushFolder(projectFolder);
    return true;
}

CString NotPutBack(const CString& projectFolder) {
    return "Backupフォルダを元に戻せませんでした。\n前回のBackupフォルダの内容は次のフォルダに残っています。\n" +
           Beside(projectFolder, KeptAside(projectFolder) ? KeptAside(projectFolder) : kBackupEarlierFolder);
}

// After a build that stood: the copies of the build before go, as a build has always
// emptied its backup; folders of the user's in it move on into the new backup.
void DiscardEarlier(const CString& projectFolder) {
    const CString discard = Beside(projectFolder, kBackupDiscardFolder);
    if (!FolderExists(discard)) return;
    std::vector<std::string> names;
    if (ListFolderFiles(discard, names))
        for (const std::string& name : names) DeleteNamedFile(discard, name);
    if (ListSubFolders(discard, names))
        for (const std::string& name : names) MoveNamedFile(discard, Beside(projectFolder, "Backup"), name, false);
    RemoveFolder(discard);
}

// Puts the project folder back from its backup: every file the build started from moves
// back over what the build wrote in its place (a move needs no free space, so a full disk
// cannot keep them out), then what the build added goes (what the mark does not name);
// once nothing of the project is left in the backup, the backup of the build before
// comes back. `returned` gets the names moved back. 0, or 1 after naming what it could
// not restore.
int RestoreProject(wxWindow* parent, const CString& projectFolder, const CString& backupFolder,
                   std::vector<std::string>* returned) {
    const CString backupDir = Unslashed(backupFolder);
    std::vector<std::string> held;
    if (!FilesIn(backupFolder, held)) {
        ShowError(parent, Unlisted(backupFolder) + "\n元のファイルはBackupフォルダに残っています。");
        return 1;
    }
    std::set<std::string> project;
    const bool named = ReadMark(backupFolder, project);
    std::vector<std::string> failed;
    bool allBack = true;
    for (const std::string& name : held) {
        if (BookFileFails(EBookFileStep::RestoreMove, projectFolder + "/" + DisplayName(name)) ||
            !MoveNamedFile(backupDir, projectFolder, name, true)) {
            failed.push_back(name);
            allBack = false;
        } else if (returned) {
            returned->push_back(name);
        }
    }
    // Then only what the build added: files the backup did not hold, and not the
    // project's (moved back by a roll-back cut short before).
    const std::set<std::string> heldSet(held.begin(), held.end());
    std::vector<std::string> present;
    if (named && FilesIn(projectFolder, present)) {
        for (const std::string& name : present) {
            if (heldSet.count(name) || project.count(name)) continue;
            if (BookFileFails(EBookFileStep::RestoreDelete, projectFolder + "/" + DisplayName(name)) ||
                !DeleteNamedFile(projectFolder, name))
                failed.push_back(name);
        }
    }
    FlushFolder(projectFolder);
    // While the mark stands, a backup set aside to be discarded is that of a build that did
    // not stand (the mark could not go): it takes its first name back before the mark
    // goes, or the next open would discard it.
    CString kept;
    bool markGone = false;
    if (allBack) {
        const CString discard = Beside(projectFolder, kBackupDiscardFolder);
        if (FolderExists(discard) && !MoveFileTo(discard, Beside(projectFolder, kBackupEarlierFolder)))
            kept = discard;
        else if (!DeleteNamedFile(backupDir, kBackupPendingMark))
            kept = backupFolder + kBackupPendingMark;
        else
            markGone = true;
    }
    const bool putBack = markGone ? PutBackEarlier(projectFolder) : true;
    if (failed.empty() && putBack && kept.IsEmpty()) return 0;
    CString text;
    if (!failed.empty())
        text = "プロジェクトフォルダを元に戻せませんでした。\n元のファイルはBackupフォルダに残っています。" + NameList(failed);
    // The project's files are back; what is left is settled at the next open or build.
    if (!kept.IsEmpty())
        text += (text.IsEmpty() ? "" : "\n\n") +
                CString("Backupフォルダの後始末ができませんでした。次回プロジェクトを開くときに片付けます。\n") + kept;
    if (!putBack) text += (text.IsEmpty() ? "" : "\n\n") + NotPutBack(projectFolder);
    ShowError(parent, text);
    return 1;
}

}  // namespace

bool IsBackupPending(const CString& backupFolder) { return NamedFileExists(Unslashed(backupFolder), kBackupPendingMark); }

int CKorvaneView::FinishPendingRestore(const CString& projectFolder, bool tell) {
    wxWindow* parent = m_bHasWindow ? this : nullptr;
    const CString backupFolder = projectFolder + "/Backup/";
    // The save into the backup may have been cut short too: its old files first.
    RecoverProjectFiles(Unslashed(backupFolder));
    std::vector<std::string> held;
    if (!FilesIn(backupFolder, held)) {
        ShowError(parent, Unlisted(backupFolder));
        return 1;
    }
    // The project's own file is in the backup, so what the project folder holds under its
    // name is what the build wrote there: it gives way, as in the roll-back. Without the
    // names in the mark that cannot be said, and which of the two files is the user's is
    // not for the program to guess.
    std::set<std::string> project;
    std::vector<std::string> both;
    if (!ReadMark(backupFolder, project))
        for (const std::string& name : held)
            if (NamedFileExists(projectFolder, name)) both.push_back(name);
    if (!both.empty()) {
        ShowError(parent,
                  "前回のDaisy図書作成で元に戻せなかったファイルがBackupフォルダにあります。\n"
                  "プロジェクトフォルダにも同じ名前のファイルがあるため、Backupフォルダを空にできません。"
                  "確認してから、もう一度実行して下さい。" +
                      NameList(both));
        return 1;
    }
    std::vector<std::string> returned;
    if (RestoreProject(parent, projectFolder, backupFolder, &returned) != 0) return 1;
    if (tell && !returned.empty())
        KvMessageBox(parent,
                     "前回のDaisy図書作成で元に戻せなかったファイルを、Backupフォルダからプロジェクトフォルダに戻しました。\n" +
                         projectFolder + NameList(returned),
                     "確認", MB_OK | MB_ICONINFORMATION);
    return 0;
}

int CKorvaneView::SettleBackupFolder(const CString& projectFolder, bool tell) {
    if (IsBackupPending(projectFolder + "/Backup/")) return FinishPendingRestore(projectFolder, tell);
    // With no restore owed, a backup kept aside under its first name is that of a build
    // that did not stand; under the second, that of one that did.
    if (FolderExists(Beside(projectFolder, kBackupEarlierFolder))) {
        if (!PutBackEarlier(projectFolder)) {
            ShowError(m_bHasWindow ? this : nullptr, NotPutBack(projectFolder));
            return 1;
        }
        return 0;
    }
    DiscardEarlier(projectFolder);
    return 0;
}

int CKorvaneView::BackupProjectFolder(const CString& backupFolder) {
    wxWindow* parent = m_bHasWindow ? this : nullptr;
    const CString projectFolder = m_strProjectFolder;
    const CString backupDir = Unslashed(backupFolder);

    // The files of a build whose roll-back did not finish are still only in the backup.
    if (SettleBackupFolder(projectFolder) != 0) return 1;
    if (FolderExists(Beside(projectFolder, kBackupDiscardFolder))) {
        ShowError(parent, "前回のBackupフォルダが削除できません。\n" + Beside(projectFolder, kBackupDiscardFolder));
        return 1;
    }

    // The backup of the build before stays whole until this one stands: the new backup
    // is a fresh folder in its place.
    const CString earlier = Beside(projectFolder, kBackupEarlierFolder);
    if (FolderExists(backupDir) && (BookFileFails(EBookFileStep::BackupClear, earlier) || !MoveFileTo(backupDir, earlier))) {
        ShowError(parent, "バックアップ作成時にエラーが発生しました。\n" + backupDir);
        return 1;
    }
    if (CreateFolder(backupDir) != kFsOk) {
        const bool back = PutBackEarlier(projectFolder);
        ShowError(parent, "バックアップ作成時にエラーが発生しました。\n" + backupDir +
                              (back ? CString() : "\n\n" + NotPutBack(projectFolder)));
        return 1;
    }

    // A folder that cannot be listed is not an empty one: the build would then write
    // over recordings that never reached the backup.
    std::vector<std::string> names;
    if (!FilesIn(projectFolder, names)) {
        ShowError(parent, Unlisted(projectFolder));
        return 1;
    }
    if (BookFileFails(EBookFileStep::BackupMark, backupFolder + kBackupPendingMark) || !WriteMark(backupFolder, names)) {
        DeleteNamedFile(backupDir, kBackupPendingMark);
        ShowError(parent, "バックアップ作成時にエラーが発生しました。");
        return 1;
    }

    std::vector<std::string> moved;
    // Puts back what was moved; names what stays behind, so the user knows where it is.
    auto undoMoves = [&](const CString& message) {
        RecoverProjectFiles(backupDir);
        std::vector<std::string> stranded;
        for (auto it = moved.rbegin(); it != moved.rend(); ++it) {
            if (BookFileFails(EBookFileStep::MoveBack, backupFolder + DisplayName(*it)) ||
                !MoveNamedFile(backupDir, projectFolder, *it, false))
                stranded.push_back(*it);
        }
        // The save into the backup may have left its own files there.
        std::vector<std::string> left;
        bool putBack = true;
        if (stranded.empty() && FilesIn(backupFolder, left)) {
            for (const std::string& name : left) DeleteNamedFile(backupDir, name);
            if (DeleteNamedFile(backupDir, kBackupPendingMark)) putBack = PutBackEarlier(projectFolder);
        }
        CString text = message;
        if (!stranded.empty()) text += "\n\n次のファイルはBackupフォルダに残っています。" + NameList(stranded);
        else if (!putBack) text += "\n\n" + NotPutBack(projectFolder);
        ShowError(parent, text);
        return 1;
    };

    for (const std::string& name : names) {
        if (BookFileFails(EBookFileStep::BackupMove, projectFolder + "/" + DisplayName(name)) ||
            !MoveNamedFile(projectFolder, backupDir, name, false))
            return undoMoves("バックアップ作成時にエラーが発生しました。" + NameList({name}));
        moved.push_back(name);
    }

    // The backup keeps the book as it is in memory, not only as it was last saved.
    m_strProjectFolder = backupDir;
    SetCurrentFolder(backupDir);
    m_strProjectFile = backupFolder + "Korvane.ncc";
    const CString unsavable = m_strUnsavableFolder;
    m_strUnsavableFolder.Empty();
    const int saved = BookFileFails(EBookFileStep::BackupSave, m_strProjectFile) ? 4 : SaveProject();
    m_strUnsavableFolder = unsavable;
    m_strProjectFolder = projectFolder;
    m_strProjectFile = projectFolder + "/Korvane.ncc";
    SetCurrentFolder(projectFolder);
    if (saved != 0) return undoMoves("バックアップへのプロジェクト保存時にエラーが発生しました。");
    // The save may have added section files: the mark names every file of the backup.
    std::vector<std::string> held;
    if (!FilesIn(backupFolder, held) || !WriteMark(backupFolder, held))
        return undoMoves("バックアップ作成時にエラーが発生しました。");
    return 0;
}

int CKorvaneView::RestoreFromBackup(const CString& backupFolder) {
    return RestoreProject(m_bHasWindow ? this : nullptr, m_strProjectFolder, backupFolder, nullptr);
}
