#include "platform/PrivateProfile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <ctime>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/FileSystem.h"

namespace {

// Blanks are single bytes below 0x40, so they are never the second byte of a
// double-byte character and can be cut from either end of CP932 text.
bool IsBlank(unsigned char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; }

std::string_view TrimBlanks(std::string_view s) {
    while (!s.empty() && IsBlank(static_cast<unsigned char>(s.front()))) s.remove_prefix(1);
    while (!s.empty() && IsBlank(static_cast<unsigned char>(s.back()))) s.remove_suffix(1);
    return s;
}

std::string FoldName(std::string_view name) {
    CString folded(TrimBlanks(name));
    folded.MakeLower();  // single-byte letters only: a second byte that looks like a letter stays
    return folded.str();
}

std::string LookupKey(const CString& section, const CString& key) {
    return FoldName(section.str()) + '\n' + FoldName(key.str());
}

enum class LineKind { other, section, key };

// What one line is, with the trimmed name (and value) it carries.
LineKind ParseLine(std::string_view line, std::string_view& name, std::string_view& value) {
    std::string_view t = TrimBlanks(line);
    if (!t.empty() && t.front() == '[') {
        // "]" (0x5D) is a possible second byte ("ゾ" is 83 5D): look for it as a character.
        int close = CString(t).ReverseFind(']');
        if (close < 1) return LineKind::other;
        name = TrimBlanks(t.substr(1, static_cast<size_t>(close) - 1));
        return LineKind::section;
    }
    size_t eq = t.find('=');  // "=" (0x3D) is never a second byte
    if (eq == std::string_view::npos) return LineKind::other;
    name = TrimBlanks(t.substr(0, eq));
    value = TrimBlanks(t.substr(eq + 1));
    return LineKind::key;
}

std::string_view Unquote(std::string_view v) {
    if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front()) return v.substr(1, v.size() - 2);
    return v;
}

// Lines of a file: [begin, contentEnd) is the text, [contentEnd, next) its line end.
struct Line {
    size_t begin, contentEnd, next;
};

std::vector<Line> SplitLines(const std::string& bytes) {
    std::vector<Line> lines;
    for (size_t pos = 0; pos < bytes.size();) {
        size_t nl = bytes.find('\n', pos);
        size_t next = nl == std::string::npos ? bytes.size() : nl + 1;
        size_t end = nl == std::string::npos ? bytes.size() : nl;
        if (nl != std::string::npos && end > pos && bytes[end - 1] == '\r') --end;
        lines.push_back({pos, end, next});
        pos = next;
    }
    return lines;
}

struct ParsedProfile {
    // Folded "section\nkey" -> value without blanks and quotes; the first key wins.
    std::unordered_map<std::string, std::string> values;
};

std::shared_ptr<const ParsedProfile> Parse(const std::string& b) {
    auto parsed = std::make_shared<ParsedProfile>();
    bool inSection = false;
    std::string section;
    for (const Line& line : SplitLines(b)) {
        std::string_view name, value;
        switch (ParseLine(std::string_view(b).substr(line.begin, line.contentEnd - line.begin), name, value)) {
        case LineKind::section:
            inSection = true;
            section = FoldName(name) + '\n';
            break;
        case LineKind::key:
            if (inSection) parsed->values.emplace(section + FoldName(name), std::string(Unquote(value)));
            break;
        case LineKind::other:
            break;
        }
    }
    return parsed;
}

bool ReadWhole(int fd, std::string& out) {
    out.clear();
    char buf[1 << 16];
    for (;;) {
        ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        if (n == 0) return true;
        out.append(buf, static_cast<size_t>(n));
    }
}

int64_t Nanoseconds(const timespec& t) { return static_cast<int64_t>(t.tv_sec) * 1000000000 + t.tv_nsec; }

// Parsed files, reused while the file's identity, size and times stay the same and no
// file was changed through this layer. A file written so recently that a second write
// could still carry the same time stamp is read again on each use until it is older.
class ProfileCache {
public:
    std::shared_ptr<const ParsedProfile> Get(const std::string& sys) {
        struct stat st;
        if (::stat(sys.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return nullptr;
        const uint64_t changes = GetFileChangeCount();
        std::lock_guard<std::mutex> lock(m_mutex);
        ++m_nClock;
        for (Entry& e : m_entries) {
            if (e.path == sys && !e.racy && e.changes == changes && Same(e, st)) {
                e.lastUse = m_nClock;
                return e.data;
            }
        }
        int fd = ::open(sys.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) return nullptr;
        std::string bytes;
        bool ok = ::fstat(fd, &st) == 0 && ReadWhole(fd, bytes);
        ::close(fd);
        if (!ok) return nullptr;
        Entry fresh{sys, st.st_dev, st.st_ino, st.st_size, Nanoseconds(st.st_mtim), Nanoseconds(st.st_ctim),
                    changes, Parse(bytes), m_nClock, false};
        timespec now;
        ::clock_gettime(CLOCK_REALTIME, &now);
        fresh.racy = Nanoseconds(now) - std::max(fresh.mtime, fresh.ctime) < kRacyNs;
        Store(std::move(fresh));
        return m_entries.back().data;
    }

    void Forget(const std::string& sys) {
        std::lock_guard<std::mutex> lock(m_mutex);
        std::erase_if(m_entries, [&](const Entry& e) { return e.path == sys; });
    }

private:
    // Longer than the coarse clock's tick that stamps file times on Linux.
    static constexpr int64_t kRacyNs = 50'000'000;
    static constexpr size_t kFiles = 8;  // a project file and the section files read between its keys

    struct Entry {
        std::string path;
        dev_t dev;
        ino_t ino;
        off_t size;
        int64_t mtime, ctime;
        uint64_t changes;
        std::shared_ptr<const ParsedProfile> data;
        uint64_t lastUse;
        bool racy;
    };

    static bool Same(const Entry& e, const struct stat& st) {
        return e.dev == st.st_dev && e.ino == st.st_ino && e.size == st.st_size && e.mtime == Nanoseconds(st.st_mtim) &&
               e.ctime == Nanoseconds(st.st_ctim);
    }

    void Store(Entry fresh) {
        std::erase_if(m_entries, [&](const Entry& e) { return e.path == fresh.path; });
        if (m_entries.size() >= kFiles) {
            auto oldest = m_entries.begin();
            for (auto it = m_entries.begin(); it != m_entries.end(); ++it)
                if (it->lastUse < oldest->lastUse) oldest = it;
            m_entries.erase(oldest);
        }
        m_entries.push_back(std::move(fresh));
    }

    std::mutex m_mutex;
    std::vector<Entry> m_entries;
    uint64_t m_nClock = 0;
};

ProfileCache& Cache() {
    static ProfileCache cache;
    return cache;
}

// The value as stored, or false when the file, the section or the key is missing.
bool LookUp(const CString& section, const CString& key, const CString& path, std::string& value) {
    std::string sys;
    if (!ToSystemPath(path, sys)) return false;
    std::shared_ptr<const ParsedProfile> parsed = Cache().Get(sys);
    if (!parsed) return false;
    auto it = parsed->values.find(LookupKey(section, key));
    if (it == parsed->values.end()) return false;
    value = it->second;
    return true;
}

// Cuts to at most `maxBytes` bytes, leaving out a double-byte character cut in half.
CString CutToBytes(std::string_view s, int maxBytes) {
    if (maxBytes <= 0) return CString();
    size_t limit = static_cast<size_t>(maxBytes);
    if (s.size() <= limit) return CString(s);
    size_t i = 0;
    while (i < limit) {
        size_t step = CString::IsLeadByte(static_cast<unsigned char>(s[i])) && i + 1 < s.size() ? 2 : 1;
        if (i + step > limit) break;
        i += step;
    }
    return CString(s.substr(0, i));
}

bool WriteFileBytes(int fd, const std::string& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        done += static_cast<size_t>(n);
    }
    return true;
}

}  // namespace

CString GetPrivateProfileString(const CString& section, const CString& key, const CString& defaultValue,
                                const CString& path, int maxBytes) {
    std::string value;
    if (LookUp(section, key, path, value)) {
        // The caller gets a C string: a zero byte in a damaged file ends the value there,
        // as it would for the original's callers (and for every writer of the value).
        if (size_t zero = value.find('\0'); zero != std::string::npos) value.resize(zero);
        return CutToBytes(value, maxBytes);
    }
    std::string_view def = defaultValue.str();
    while (!def.empty() && IsBlank(static_cast<unsigned char>(def.back()))) def.remove_suffix(1);
    return CutToBytes(def, maxBytes);
}

int GetPrivateProfileInt(const CString& section, const CString& key, int defaultValue, const CString& path) {
    std::string value;
    if (!LookUp(section, key, path, value) || value.empty()) return defaultValue;
    size_t i = 0;
    while (i < value.size() && IsBlank(static_cast<unsigned char>(value[i]))) ++i;
    bool negative = false;
    if (i < value.size() && (value[i] == '-' || value[i] == '+')) negative = value[i++] == '-';
    // Unsigned arithmetic wraps instead of overflowing, so "4294967295" and "-1" agree.
    uint32_t n = 0;
    for (; i < value.size() && value[i] >= '0' && value[i] <= '9'; ++i) n = n * 10u + static_cast<uint32_t>(value[i] - '0');
    if (negative) n = 0u - n;
    return static_cast<int>(n);
}

bool WritePrivateProfileString(const CString& section, const CString& key, const CString& value,
                               const CString& path) {
    std::string sys;
    if (!ToSystemPath(path, sys)) return false;
    struct stat st;
    bool exists = ::stat(sys.c_str(), &st) == 0;
    if (!exists && errno != ENOENT) return false;
    if (exists && (!S_ISREG(st.st_mode) || !(st.st_mode & S_IWUSR))) return false;

    std::string bytes;
    if (exists) {
        int fd = ::open(sys.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) return false;
        bool ok = ReadWhole(fd, bytes);
        ::close(fd);
        if (!ok) return false;
    }

    const std::string wantSection = FoldName(section.str());
    const std::string wantKey = FoldName(key.str());
    const std::string newLine = std::string(TrimBlanks(key.str())) + "=" + value.str();

    // The key that a reader would find is the one to change; failing that, the key joins
    // the first section of that name behind its last line that is not blank.
    const std::vector<Line> lines = SplitLines(bytes);
    constexpr size_t kNone = SIZE_MAX;
    size_t keyLine = kNone, sectionEnd = kNone;
    bool inMatch = false, inFirst = false;
    for (size_t i = 0; i < lines.size(); ++i) {
        std::string_view text = std::string_view(bytes).substr(lines[i].begin, lines[i].contentEnd - lines[i].begin);
        std::string_view name, val;
        LineKind kind = ParseLine(text, name, val);
        if (kind == LineKind::section) {
            inMatch = FoldName(name) == wantSection;
            inFirst = inMatch && sectionEnd == kNone;
            if (inFirst) sectionEnd = i;
            continue;
        }
        if (inMatch && kind == LineKind::key && FoldName(name) == wantKey) {
            keyLine = i;
            break;
        }
        if (inFirst && !TrimBlanks(text).empty()) sectionEnd = i;
    }

    std::string out;
    if (keyLine != kNone) {
        out = bytes.substr(0, lines[keyLine].begin) + newLine + bytes.substr(lines[keyLine].contentEnd);
    } else if (sectionEnd != kNone) {
        const Line& after = lines[sectionEnd];
        out = bytes.substr(0, after.next);
        if (after.next == after.contentEnd) out += "\r\n";  // the last line had no line end
        out += newLine + "\r\n";
        out += bytes.substr(after.next);
    } else {
        out = bytes;
        if (!out.empty() && out.back() != '\n') out += "\r\n";
        out += "[" + std::string(TrimBlanks(section.str())) + "]\r\n" + newLine + "\r\n";
    }

    // An existing file is written beside itself and renamed over, so that a failed write
    // (a full disk) leaves the old file whole; a new file is simply created.
    std::string target = exists ? sys + ".XXXXXX" : sys;
    int fd = exists ? ::mkostemp(target.data(), O_CLOEXEC) : ::open(sys.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) return false;
    bool ok = WriteFileBytes(fd, out);
    if (ok && exists) ok = ::fchmod(fd, st.st_mode & 07777) == 0;
    ok = (::close(fd) == 0) && ok;
    if (ok && exists) ok = ::rename(target.c_str(), sys.c_str()) == 0;
    if (!ok) ::unlink(target.c_str());
    NoteFileChange();
    Cache().Forget(sys);
    return ok;
}

int CProfile::GetProfileInt(const CString& section, const CString& key, int defaultValue) const {
    return GetPrivateProfileInt(section, key, defaultValue, m_strProfileFile);
}

CString CProfile::GetProfileString(const CString& section, const CString& key, const CString& defaultValue) const {
    return GetPrivateProfileString(section, key, defaultValue, m_strProfileFile);
}
