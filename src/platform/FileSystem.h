#pragma once
// Files and folders on CP932 paths with "/" separators. Each path is converted to UTF-8
// only at the system call, strictly: a path that CP932 text cannot carry over fails as
// a file that cannot be opened would. Results follow what the program's code expects of
// the original platform, not what POSIX happens to do (a move never replaces, a
// read-only file is not deleted, names from the disk are matched without case).

#include <cstdint>
#include <string>
#include <vector>

#include "platform/CString.h"

// The path as the system takes it; false when the path cannot be represented.
bool ToSystemPath(const CString& path, std::string& systemPath);

// Every change made to files through this layer (written files, deletes, moves, copies)
// is counted, so that a cache of a file's contents can tell that it may be stale where
// the file system's time stamps are too coarse to show it.
uint64_t GetFileChangeCount();
void NoteFileChange();

// True when the path names anything: a file or a folder.
bool FileExists(const CString& path);
bool FolderExists(const CString& path);

// The folder of the running program, ending in "/".
CString GetProgramFolder();

// The process's current folder (no trailing "/" except for the root).
CString GetCurrentFolder();
bool SetCurrentFolder(const CString& path);

// Results of the folder calls, numbered as the original platform's error codes so that
// callers can keep their distinctions ("already exists" is often no error at all).
enum : int {
    kFsOk = 0,
    kFsPathNotFound = 3,
    kFsAccessDenied = 5,
    kFsFailed = 31,
    kFsInvalidName = 123,
    kFsAlreadyExists = 183,
    kFsNameTooLong = 206,
};

// Creates one folder; its parent must exist. kFsAlreadyExists when anything of that
// name is there, a file too.
int CreateFolder(const CString& path);
// Creates the folder and every missing folder above it. kFsOk when it exists already.
int CreateFolderPath(const CString& path);
// Removes an empty folder.
bool RemoveFolder(const CString& path);

// Copies a file with its read-only attribute. With `failIfExists` an existing target is
// left alone and the copy fails; without, the target is replaced unless it is read-only.
bool CopyFileTo(const CString& from, const CString& to, bool failIfExists);
// Moves or renames a file or folder. Fails when the target exists. A file moves across
// file systems by copying.
bool MoveFileTo(const CString& from, const CString& to);
// Puts `source` in place of `target` in one step (both in one folder): a reader sees the
// old file or the new one, never a half-written one. A read-only target stays.
bool ReplaceFileWith(const CString& target, const CString& source);
// Deletes a file; a folder or a read-only file is not deleted.
bool DeleteFileAt(const CString& path);

// True when the whole file can be read: a file that exists but cannot be read (no
// permission, an I/O error) is not to be taken for an empty one.
bool IsFileReadable(const CString& path);

// Names as the system holds them (bytes on the disk, whatever CP932 can carry), for
// code that only lists, moves and deletes files and must not miss or confuse any.
// The plain files of a folder (links to files too; sub-folders left out), in byte
// order. False when the folder cannot be read: an unreadable folder is not an empty one.
bool ListFolderFiles(const CString& folder, std::vector<std::string>& names);
// The sub-folders of a folder, in byte order; false when the folder cannot be read.
bool ListSubFolders(const CString& folder, std::vector<std::string>& names);
// Moves the file (or folder) `name` from one folder to the other under the same name, in
// one step on one file system. With `replace` an existing target is replaced; without, the move
// fails when the target exists.
bool MoveNamedFile(const CString& fromFolder, const CString& toFolder, const std::string& name, bool replace);
// Deletes the file `name` of a folder, read-only or not.
bool DeleteNamedFile(const CString& folder, const std::string& name);
bool NamedFileExists(const CString& folder, const std::string& name);
// The name for messages ("?" for what CP932 cannot show).
CString DisplayName(const std::string& name);

// Writes what the file system holding `path` has cached to the disk: what was written
// before survives a power cut. False on an I/O error.
bool FlushFileSystem(const CString& path);
// Writes a folder's entries to the disk (renames and deletes in it).
bool FlushFolder(const CString& folder);

bool GetFileSize64(const CString& path, uint64_t& size);
// Bytes that the user may still write on the volume that holds the path.
bool GetFreeBytes(const CString& path, uint64_t& freeBytes);

// Read-only means the owner may not write. Missing files are not read-only.
bool IsFileReadOnly(const CString& path);
bool SetFileReadOnly(const CString& path, bool readOnly);
// True when files can be created, renamed and deleted in the folder.
bool IsFolderWritable(const CString& path);

// The path of an existing entry whose last component matches that of `path` without
// case ("ncc.html" finds "NCC.HTML"); an exact match is preferred. False when none.
bool FindPathNoCase(const CString& path, CString& actualPath);

// True when `path`, with every symbolic link on it followed, lies in `folder` (whose own
// links are followed too). A path that leads to nothing holds nothing to read: true.
bool IsPathWithinFolder(const CString& path, const CString& folder);

// Matches a name against a pattern with "*" and "?" without case, character by
// character; "*.*" matches every name.
bool MatchFileName(const CString& pattern, const CString& name);

// Enumerates the entries of one folder that match a pattern ("dir/*.wav",
// "dir/SEC*.sec", "dir/*.*"), without case, in name order, leaving out "." and "..".
// Used as the original's find objects are:
//     bool more = find.FindFile(pattern);
//     while (more) { more = find.FindNextFile(); ... find.GetFileName() ... }
// Names that CP932 cannot carry are left out: such a file could not be opened anyway.
class CFileFind {
public:
    CFileFind() = default;

    // True when at least one entry matches. No entry is current until FindNextFile.
    bool FindFile(const CString& pattern = "*.*");
    // Makes the next entry current; false when it is the last one.
    bool FindNextFile();
    void Close();

    CString GetFileName() const;
    CString GetFilePath() const;  // folder of the pattern + "/" + name
    bool IsDirectory() const;
    bool IsDots() const;
    uint64_t GetLength() const;

private:
    struct Entry {
        CString name;
        bool isFolder = false;
        uint64_t size = 0;
    };
    const Entry* Current() const;

    CString m_strFolder;
    std::vector<Entry> m_entries;
    size_t m_nNext = 0;
};
