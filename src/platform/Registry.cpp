#include "platform/Registry.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include <wx/fileconf.h>
#include <wx/log.h>

#include "platform/CodePage.h"

namespace {

// $XDG_CONFIG_HOME when it is an absolute path (relative ones are to be ignored),
// else ~/.config.
std::string ConfigHome() {
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    if (xdg && xdg[0] == '/') return xdg;
    const char* home = std::getenv("HOME");
    std::string h = (home && home[0] == '/') ? home : std::string();
    if (h.empty()) {
        if (const passwd* pw = ::getpwuid(::getuid()); pw && pw->pw_dir) h = pw->pw_dir;
    }
    return h.empty() ? std::string() : h + "/.config";
}

std::string StoreFolder() {
    std::string home = ConfigHome();
    return home.empty() ? std::string() : home + "/korvane";
}

bool MakeFolders(const std::string& path) {
    for (size_t pos = path.find('/', 1);; pos = path.find('/', pos + 1)) {
        std::string level = path.substr(0, pos);
        struct stat st;
        if (::mkdir(level.c_str(), 0700) != 0 && (errno != EEXIST || ::stat(level.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)))
            return false;
        if (pos == std::string::npos) return true;
    }
}

// wxFileConfig takes "/" in a name as a path into groups; a registry value name is flat.
bool ToEntryName(const CString& name, wxString& entry) {
    if (name.IsEmpty() || name.Find('/') >= 0) return false;
    std::string utf8;
    if (!Cp932ToUtf8Strict(name, utf8)) return false;
    entry = wxString::FromUTF8(utf8);
    return true;
}

}  // namespace

CRegistryKey::CRegistryKey() = default;

CRegistryKey::~CRegistryKey() { Close(); }

std::string CRegistryKey::GetKeyFile(const CString& keyPath) {
    std::string utf8;
    if (keyPath.IsEmpty() || !Cp932ToUtf8Strict(keyPath, utf8)) return std::string();
    std::string folder = StoreFolder();
    if (folder.empty()) return std::string();
    // One file name per key whatever the spelling: letters fold, and every byte that
    // could mean something to the file system ("\", "/", a leading ".") is escaped.
    std::string name;
    static const char kHex[] = "0123456789ABCDEF";
    for (unsigned char c : utf8) {
        if (c >= 'A' && c <= 'Z') c = static_cast<unsigned char>(c + 32);
        bool plain = (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == ' ' || c == '_' || c == '-' ||
                     (c == '.' && !name.empty()) || c >= 0x80;
        if (plain) {
            name += static_cast<char>(c);
        } else {
            name += '%';
            name += kHex[c >> 4];
            name += kHex[c & 15];
        }
    }
    if (name.size() > 200) return std::string();
    return folder + "/" + name + ".ini";
}

bool CRegistryKey::OpenFile(const CString& keyPath, bool create) {
    Close();
    std::string file = GetKeyFile(keyPath);
    if (file.empty()) return false;
    struct stat st;
    if (::stat(file.c_str(), &st) != 0) {
        if (!create) return false;
        // The key exists from now on, as a created registry key does, even without values.
        if (!MakeFolders(StoreFolder())) return false;
        int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
        if (fd < 0) return false;
        ::close(fd);
    } else if (!S_ISREG(st.st_mode)) {
        return false;
    }
    wxLogNull quiet;  // failures are results here, never boxes on the screen
    // The path is absolute already; "relative" keeps wx from asking for its own folders,
    // which it cannot do before the application object exists (start-up, tests).
    m_config = std::make_unique<wxFileConfig>(wxEmptyString, wxEmptyString, wxString::FromUTF8(file), wxEmptyString,
                                              wxCONFIG_USE_LOCAL_FILE | wxCONFIG_USE_RELATIVE_PATH, wxConvUTF8);
    // A folder name holding "$" or "%" is a name, not a variable to expand.
    m_config->SetExpandEnvVars(false);
    m_config->SetUmask(0077);
    m_bWritable = create;
    return true;
}

bool CRegistryKey::Open(const CString& keyPath) { return OpenFile(keyPath, false); }

bool CRegistryKey::Create(const CString& keyPath) { return OpenFile(keyPath, true); }

bool CRegistryKey::Close() {
    if (!m_config) return true;
    bool ok = true;
    if (m_bWritable) {
        wxLogNull quiet;
        ok = m_config->Flush();
    }
    m_config.reset();
    m_bWritable = false;
    return ok;
}

bool CRegistryKey::QueryDWORD(const CString& name, uint32_t& value) const {
    wxString entry, text;
    if (!m_config || !ToEntryName(name, entry) || !m_config->Read(entry, &text)) return false;
    // Only a plain decimal number within 32 bits is a number value.
    if (text.empty() || text.length() > 10) return false;
    uint64_t n = 0;
    for (wxUniChar c : text) {
        if (c < '0' || c > '9') return false;
        n = n * 10 + static_cast<uint64_t>(c.GetValue() - '0');
    }
    if (n > 0xFFFFFFFFu) return false;
    value = static_cast<uint32_t>(n);
    return true;
}

bool CRegistryKey::QueryString(const CString& name, CString& value) const {
    wxString entry, text;
    if (!m_config || !ToEntryName(name, entry) || !m_config->Read(entry, &text)) return false;
    value = FromWx(text);
    return true;
}

bool CRegistryKey::SetDWORD(const CString& name, uint32_t value) {
    wxString entry;
    if (!m_config || !m_bWritable || !ToEntryName(name, entry)) return false;
    wxLogNull quiet;
    return m_config->Write(entry, static_cast<long>(value));
}

bool CRegistryKey::SetString(const CString& name, const CString& value) {
    wxString entry;
    if (!m_config || !m_bWritable || !ToEntryName(name, entry)) return false;
    wxLogNull quiet;
    return m_config->Write(entry, ToWx(value));
}
