#include "platform/FileSystem.h"

#include <dirent.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "platform/CodePage.h"

namespace {

int FolderResult(int err) {
    switch (err) {
    case 0: return kFsOk;
    case EEXIST: return kFsAlreadyExists;
    case ENAMETOOLONG: return kFsNameTooLong;
    case ENOENT:
    case ENOTDIR: return kFsPathNotFound;
    case EACCES:
    case EPERM:
    case EROFS: return kFsAccessDenied;
    default: return kFsFailed;
    }
}

bool StatPath(const CString& path, struct stat& st) {
    std::string sys;
    return ToSystemPath(path, sys) && ::stat(sys.c_str(), &st) == 0;
}

bool WriteAll(int fd, const char* data, size_t size) {
    while (size > 0) {
        ssize_t n = ::write(fd, data, size);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        data += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

bool CopyContents(int in, int out) {
    char buf[1 << 16];
    for (;;) {
        ssize_t n = ::read(in, buf, sizeof buf);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        if (n == 0) return true;
        if (!WriteAll(out, buf, static_cast<size_t>(n))) return false;
    }
}

bool CopySystemFile(const std::string& from, const std::string& to, bool failIfExists) {
    int in = ::open(from.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0) return false;
    struct stat st;
    if (::fstat(in, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(in);
        return false;
    }
    // The original refuses to overwrite a read-only file (root would be let through
    // here) and a file onto itself, which truncating would empty.
    struct stat target;
    if (!failIfExists && ::stat(to.c_str(), &target) == 0 &&
        (!(target.st_mode & S_IWUSR) || (target.st_dev == st.st_dev && target.st_ino == st.st_ino))) {
        ::close(in);
        errno = EACCES;
        return false;
    }
    int flags = O_WRONLY | O_CREAT | O_CLOEXEC | (failIfExists ? O_EXCL : O_TRUNC);
    int out = ::open(to.c_str(), flags, 0666);
    if (out < 0) {
        ::close(in);
        return false;
    }
    bool ok = CopyContents(in, out);
    // The read-only attribute travels with the copy, as on the original platform.
    if (ok) ok = ::fchmod(out, st.st_mode & 07777) == 0;
    ok = (::close(out) == 0) && ok;
    ::close(in);
    if (!ok) ::unlink(to.c_str());  // a half copy is worse than none
    return ok;
}

bool IsWildcard(const CString& s) { return s.FindOneOf("*?") >= 0; }

// Character-wise pattern match; letters fold in single-byte characters only.
bool MatchFrom(const unsigned char* p, const unsigned char* n) {
    auto width = [](const unsigned char* s) { return (CString::IsLeadByte(*s) && s[1]) ? 2 : 1; };
    auto fold = [](unsigned char c) { return (c >= 'A' && c <= 'Z') ? static_cast<unsigned char>(c + 32) : c; };
    while (*p) {
        if (*p == '*') {
            while (*p == '*') ++p;
            if (!*p) return true;
            for (const unsigned char* s = n; *s; s += width(s))
                if (MatchFrom(p, s)) return true;
            return false;
        }
        if (!*n) return false;
        int wp = width(p), wn = width(n);
        if (*p == '?') {
            p += 1;
            n += wn;
            continue;
        }
        if (wp != wn) return false;
        if (wp == 2) {
            if (p[0] != n[0] || p[1] != n[1]) return false;
        } else if (fold(*p) != fold(*n)) {
            return false;
        }
        p += wp;
        n += wn;
    }
    return *n == 0;
}

// Splits "dir/name" at the last "/" (a byte that never ends a double-byte character).
void SplitLast(const CString& path, CString& folder, CString& name) {
    int slash = path.ReverseFind('/');
    if (slash < 0) {
        folder = ".";
        name = path;
    } else {
        folder = slash == 0 ? CString("/") : path.Left(slash);
        name = path.Mid(slash + 1);
    }
}

CString JoinPath(const CString& folder, const CString& name) {
    if (folder == ".") return name;
    if (!folder.IsEmpty() && folder[folder.GetLength() - 1] == '/') return folder + name;
    return folder + "/" + name;
}

std::atomic<uint64_t> g_nFileChanges{0};

}  // namespace

uint64_t GetFileChangeCount() { return g_nFileChanges.load(std::memory_order_acquire); }
void NoteFileChange() { g_nFileChanges.fetch_add(1, std::memory_order_acq_rel); }

bool ToSystemPath(const CString& path, std::string& systemPath) {
    // A zero byte would cut the path short at the system call: a different file.
    if (path.IsEmpty() || std::strlen(path.c_str()) != static_cast<size_t>(path.GetLength())) return false;
    return Cp932ToUtf8Strict(path, systemPath);
}

bool FileExists(const CString& path) {
    struct stat st;
    return StatPath(path, st);
}

bool FolderExists(const CString& path) {
    struct stat st;
    return StatPath(path, st) && S_ISDIR(st.st_mode);
}

CString GetProgramFolder() {
    std::string buf(PATH_MAX, '\0');
    ssize_t n = ::readlink("/proc/self/exe", buf.data(), buf.size());
    if (n <= 0) return CString("./");
    buf.resize(static_cast<size_t>(n));
    buf.erase(buf.rfind('/') + 1);
    return Utf8ToCp932(buf);
}

CString GetCurrentFolder() {
    std::string buf(PATH_MAX, '\0');
    if (!::getcwd(buf.data(), buf.size())) return CString();
    buf.resize(std::strlen(buf.c_str()));
    return Utf8ToCp932(buf);
}

bool SetCurrentFolder(const CString& path) {
    std::string sys;
    return ToSystemPath(path, sys) && ::chdir(sys.c_str()) == 0;
}

int CreateFolder(const CString& path) {
    std::string sys;
    if (!ToSystemPath(path, sys)) return kFsInvalidName;
    return ::mkdir(sys.c_str(), 0777) == 0 ? kFsOk : FolderResult(errno);
}

int CreateFolderPath(const CString& path) {
    std::string sys;
    if (!ToSystemPath(path, sys)) return kFsInvalidName;
    // Create each level from the top; levels that exist already are passed over.
    for (size_t pos = sys.find('/', 1);; pos = sys.find('/', pos + 1)) {
        std::string level = sys.substr(0, pos);
        if (!level.empty() && level != "." && level != "..") {
            if (::mkdir(level.c_str(), 0777) != 0) {
                int err = errno;
                struct stat st;
                if (err != EEXIST) return FolderResult(err);
                if (::stat(level.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return kFsPathNotFound;
            }
        }
        if (pos == std::string::npos) break;
    }
    return kFsOk;
}

bool RemoveFolder(const CString& path) {
    std::string sys;
    return ToSystemPath(path, sys) && ::rmdir(sys.c_str()) == 0;
}

bool CopyFileTo(const CString& from, const CString& to, bool failIfExists) {
    std::string src, dst;
    if (!ToSystemPath(from, src) || !ToSystemPath(to, dst)) return false;
    NoteFileChange();
    return CopySystemFile(src, dst, failIfExists);
}

bool MoveFileTo(const CString& from, const CString& to) {
    std::string src, dst;
    if (!ToSystemPath(from, src) || !ToSystemPath(to, dst)) return false;
    struct stat st;
    if (::lstat(src.c_str(), &st) != 0) return false;
    NoteFileChange();
    // rename() would replace the target silently; the original's move fails instead.
    if (::renameat2(AT_FDCWD, src.c_str(), AT_FDCWD, dst.c_str(), RENAME_NOREPLACE) == 0) return true;
    if (errno == EINVAL || errno == ENOSYS) {
        // File systems without an atomic no-replace rename: check, then rename.
        struct stat target;
        if (::lstat(dst.c_str(), &target) == 0) return false;
        if (::rename(src.c_str(), dst.c_str()) == 0) return true;
    }
    if (errno != EXDEV || !S_ISREG(st.st_mode)) return false;
    if (!CopySystemFile(src, dst, true)) return false;
    if (::unlink(src.c_str()) != 0) {
        ::unlink(dst.c_str());
        return false;
    }
    return true;
}

bool ReplaceFileWith(const CString& target, const CString& source) {
    std::string src, dst;
    if (!ToSystemPath(source, src) || !ToSystemPath(target, dst)) return false;
    struct stat st;
    if (::lstat(dst.c_str(), &st) == 0 && S_ISREG(st.st_mode) && !(st.st_mode & S_IWUSR)) return false;
    NoteFileChange();
    return ::rename(src.c_str(), dst.c_str()) == 0;
}

bool DeleteFileAt(const CString& path) {
    std::string sys;
    if (!ToSystemPath(path, sys)) return false;
    struct stat st;
    if (::lstat(sys.c_str(), &st) != 0 || S_ISDIR(st.st_mode)) return false;
    if (S_ISREG(st.st_mode) && !(st.st_mode & S_IWUSR)) return false;  // read-only stays, as on the original
    NoteFileChange();
    return ::unlink(sys.c_str()) == 0;
}

bool IsFileReadable(const CString& path) {
    std::string sys;
    if (!ToSystemPath(path, sys)) return false;
    int fd = ::open(sys.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    struct stat st;
    bool ok = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    char buf[1 << 16];
    while (ok) {
        ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            ok = n == 0;
            break;
        }
    }
    ::close(fd);
    return ok;
}

namespace {

std::string InFolder(const std::string& folder, const std::string& name) {
    return !folder.empty() && folder.back() == '/' ? folder + name : folder + "/" + name;
}

bool SystemFolder(const CString& folder, std::string& sys) { return ToSystemPath(folder, sys); }

}  // namespace

namespace {

// The entries of a folder that are sub-folders (`folders`) or that are not.
bool ListFolderEntries(const CString& folder, std::vector<std::string>& names, bool folders) {
    names.clear();
    std::string sys;
    if (!SystemFolder(folder, sys)) return false;
    DIR* dir = ::opendir(sys.c_str());
    if (!dir) return false;
    const int dirFd = ::dirfd(dir);
    bool ok = true;
    for (;;) {
        errno = 0;
        const dirent* e = ::readdir(dir);
        if (!e) {
            ok = errno == 0;
            break;
        }
        if (std::strcmp(e->d_name, ".") == 0 || std::strcmp(e->d_name, "..") == 0) continue;
        struct stat st;
        if (::fstatat(dirFd, e->d_name, &st, 0) != 0 && ::fstatat(dirFd, e->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0) {
            ok = false;  // an entry that cannot be looked at cannot be said to be no file
            break;
        }
        if (S_ISDIR(st.st_mode) == folders) names.emplace_back(e->d_name);
    }
    ::closedir(dir);
    std::sort(names.begin(), names.end());
    if (!ok) names.clear();
    return ok;
}

}  // namespace

bool ListFolderFiles(const CString& folder, std::vector<std::string>& names) {
    return ListFolderEntries(folder, names, false);
}

bool ListSubFolders(const CString& folder, std::vector<std::string>& names) {
    return ListFolderEntries(folder, names, true);
}

bool MoveNamedFile(const CString& fromFolder, const CString& toFolder, const std::string& name, bool replace) {
    std::string from, to;
    if (name.empty() || name.find('/') != std::string::npos || !SystemFolder(fromFolder, from) ||
        !SystemFolder(toFolder, to))
        return false;
    from = InFolder(from, name);
    to = InFolder(to, name);
    NoteFileChange();
    if (replace) return ::rename(from.c_str(), to.c_str()) == 0;
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return true;
    if (errno != EINVAL && errno != ENOSYS) return false;
    struct stat target;
    if (::lstat(to.c_str(), &target) == 0) return false;
    return ::rename(from.c_str(), to.c_str()) == 0;
}

bool DeleteNamedFile(const CString& folder, const std::string& name) {
    std::string sys;
    if (name.empty() || name.find('/') != std::string::npos || !SystemFolder(folder, sys)) return false;
    NoteFileChange();
    return ::unlink(InFolder(sys, name).c_str()) == 0;
}

bool NamedFileExists(const CString& folder, const std::string& name) {
    std::string sys;
    struct stat st;
    return !name.empty() && SystemFolder(folder, sys) && ::lstat(InFolder(sys, name).c_str(), &st) == 0;
}

CString DisplayName(const std::string& name) { return Utf8ToCp932(name); }

bool FlushFileSystem(const CString& path) {
    std::string sys;
    if (!ToSystemPath(path, sys)) return false;
    int fd = ::open(sys.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    const bool ok = ::syncfs(fd) == 0;
    ::close(fd);
    return ok;
}

bool FlushFolder(const CString& folder) {
    std::string sys;
    if (!ToSystemPath(folder, sys)) return false;
    int fd = ::open(sys.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return false;
    const bool ok = ::fsync(fd) == 0;
    ::close(fd);
    return ok;
}

bool GetFileSize64(const CString& path, uint64_t& size) {
    struct stat st;
    if (!StatPath(path, st) || S_ISDIR(st.st_mode)) return false;
    size = static_cast<uint64_t>(st.st_size);
    return true;
}

bool GetFreeBytes(const CString& path, uint64_t& freeBytes) {
    std::string sys;
    struct statvfs vfs;
    if (!ToSystemPath(path, sys) || ::statvfs(sys.c_str(), &vfs) != 0) return false;
    freeBytes = static_cast<uint64_t>(vfs.f_bavail) * static_cast<uint64_t>(vfs.f_frsize);
    return true;
}

bool IsFileReadOnly(const CString& path) {
    struct stat st;
    return StatPath(path, st) && !(st.st_mode & S_IWUSR);
}

bool SetFileReadOnly(const CString& path, bool readOnly) {
    std::string sys;
    struct stat st;
    if (!ToSystemPath(path, sys) || ::stat(sys.c_str(), &st) != 0) return false;
    mode_t mode = st.st_mode & 07777;
    // Taking write permission away from everyone keeps the file read-only for all users;
    // giving it back is for the owner only, as far as the umask allows.
    if (readOnly) {
        mode &= ~static_cast<mode_t>(S_IWUSR | S_IWGRP | S_IWOTH);
    } else {
        mode |= S_IWUSR;
    }
    return ::chmod(sys.c_str(), mode) == 0;
}

bool IsFolderWritable(const CString& path) {
    std::string sys;
    return ToSystemPath(path, sys) && ::access(sys.c_str(), W_OK | X_OK) == 0;
}

bool MatchFileName(const CString& pattern, const CString& name) {
    if (pattern == "*.*" || pattern == "*") return true;
    return MatchFrom(reinterpret_cast<const unsigned char*>(pattern.c_str()),
                     reinterpret_cast<const unsigned char*>(name.c_str()));
}

bool FindPathNoCase(const CString& path, CString& actualPath) {
    if (FileExists(path)) {
        actualPath = path;
        return true;
    }
    CString folder, name;
    SplitLast(path, folder, name);
    if (name.IsEmpty() || IsWildcard(name)) return false;
    CFileFind find;
    if (!find.FindFile(JoinPath(folder, name))) return false;
    find.FindNextFile();
    actualPath = find.GetFilePath();
    return true;
}

bool IsPathWithinFolder(const CString& path, const CString& folder) {
    std::string sysPath, sysFolder;
    if (!ToSystemPath(path, sysPath) || !ToSystemPath(folder, sysFolder)) return false;
    auto real = [](const std::string& p, std::string& out) {
        char* r = ::realpath(p.c_str(), nullptr);
        if (!r) return false;
        out = r;
        std::free(r);
        return true;
    };
    std::string root, target;
    if (!real(sysFolder, root)) return false;
    if (!real(sysPath, target)) return errno == ENOENT || errno == ENOTDIR;
    if (root == "/") return true;
    return target == root || target.compare(0, root.size() + 1, root + "/") == 0;
}

bool CFileFind::FindFile(const CString& pattern) {
    Close();
    CString name;
    SplitLast(pattern, m_strFolder, name);
    if (name.IsEmpty()) return false;
    std::string sys;
    if (!ToSystemPath(m_strFolder, sys)) return false;
    DIR* dir = ::opendir(sys.c_str());
    if (!dir) return false;
    const int dirFd = ::dirfd(dir);
    while (const dirent* e = ::readdir(dir)) {
        if (std::strcmp(e->d_name, ".") == 0 || std::strcmp(e->d_name, "..") == 0) continue;
        CString entryName;
        if (!Utf8ToCp932Strict(e->d_name, entryName)) continue;
        if (!MatchFileName(name, entryName)) continue;
        Entry entry;
        entry.name = entryName;
        struct stat st;
        // A link counts as what it points to, as a shortcut-free original would see it;
        // a dangling link is still listed, as a plain file of no size.
        if (::fstatat(dirFd, e->d_name, &st, 0) == 0 || ::fstatat(dirFd, e->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0) {
            entry.isFolder = S_ISDIR(st.st_mode);
            entry.size = entry.isFolder ? 0 : static_cast<uint64_t>(st.st_size);
        }
        m_entries.push_back(std::move(entry));
    }
    ::closedir(dir);
    std::sort(m_entries.begin(), m_entries.end(), [](const Entry& a, const Entry& b) {
        int c = a.name.CompareNoCase(b.name);
        return c != 0 ? c < 0 : a.name.Compare(b.name) < 0;
    });
    return !m_entries.empty();
}

bool CFileFind::FindNextFile() {
    if (m_nNext < m_entries.size()) ++m_nNext;
    return m_nNext < m_entries.size();
}

void CFileFind::Close() {
    m_strFolder.Empty();
    m_entries.clear();
    m_nNext = 0;
}

const CFileFind::Entry* CFileFind::Current() const {
    return (m_nNext > 0 && m_nNext <= m_entries.size()) ? &m_entries[m_nNext - 1] : nullptr;
}

CString CFileFind::GetFileName() const {
    const Entry* e = Current();
    return e ? e->name : CString();
}

CString CFileFind::GetFilePath() const {
    const Entry* e = Current();
    return e ? JoinPath(m_strFolder, e->name) : CString();
}

bool CFileFind::IsDirectory() const {
    const Entry* e = Current();
    return e && e->isFolder;
}

bool CFileFind::IsDots() const {
    const Entry* e = Current();
    return e && (e->name == "." || e->name == "..");
}

uint64_t CFileFind::GetLength() const {
    const Entry* e = Current();
    return e ? e->size : 0;
}
