#pragma once
// The settings store in place of the original platform's registry. A key path such as
// "SOFTWARE\KVT\Tolvane Zavi" is one file under $XDG_CONFIG_HOME/korvane (by default
// ~/.config/korvane), kept by wxFileConfig; names and values are CP932 here and UTF-8
// in the file. Key paths match without case, as the registry's do.

#include <cstdint>
#include <memory>
#include <string>

#include "platform/CString.h"

class wxFileConfig;

class CRegistryKey {
public:
    CRegistryKey();
    ~CRegistryKey();  // closes, writing what was set
    CRegistryKey(const CRegistryKey&) = delete;
    CRegistryKey& operator=(const CRegistryKey&) = delete;

    // Opens an existing key for reading; false when there is no such key.
    bool Open(const CString& keyPath);
    // Opens the key for reading and writing, creating it when it is missing.
    bool Create(const CString& keyPath);
    // Writes what was set; false when it could not be written. The key is closed either way.
    bool Close();
    bool IsOpen() const { return m_config != nullptr; }

    // False when the value is missing (or is not a 32-bit number): the caller keeps its default.
    bool QueryDWORD(const CString& name, uint32_t& value) const;
    bool QueryString(const CString& name, CString& value) const;

    // False when the key is not open for writing or the name cannot be stored.
    bool SetDWORD(const CString& name, uint32_t value);
    bool SetString(const CString& name, const CString& value);

    // The file that holds a key (UTF-8); empty when the key path cannot name one.
    static std::string GetKeyFile(const CString& keyPath);

private:
    bool OpenFile(const CString& keyPath, bool create);

    std::unique_ptr<wxFileConfig> m_config;
    bool m_bWritable = false;
};
