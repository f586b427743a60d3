#include "platform/Registry.h"

#include <gtest/gtest.h>

#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

namespace {

namespace fs = std::filesystem;

const char* const kSettingsKey = "SOFTWARE\\KVT\\Tolvane Zavi";

std::string U8(const char8_t* s) { return std::string(reinterpret_cast<const char*>(s)); }

// Points the store at a fresh folder and puts the environment back afterwards.
class RegistryTest : public ::testing::Test {
protected:
    void SetUp() override {
        char tmpl[] = "/tmp/korvane-rg-XXXXXX";
        ASSERT_NE(::mkdtemp(tmpl), nullptr);
        m_root = tmpl;
        Save("XDG_CONFIG_HOME", m_savedXdg);
        Save("HOME", m_savedHome);
        ::setenv("XDG_CONFIG_HOME", (m_root + "/config").c_str(), 1);
    }
    void TearDown() override {
        Restore("XDG_CONFIG_HOME", m_savedXdg);
        Restore("HOME", m_savedHome);
        std::error_code ec;
        fs::remove_all(m_root, ec);
    }
    static void Save(const char* name, std::optional<std::string>& slot) {
        if (const char* v = ::getenv(name)) slot = v;
    }
    static void Restore(const char* name, const std::optional<std::string>& slot) {
        if (slot) ::setenv(name, slot->c_str(), 1); else ::unsetenv(name);
    }
    static std::string Read(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    std::string m_root;
    std::optional<std::string> m_savedXdg, m_savedHome;
};

}  // namespace

TEST_F(RegistryTest, MissingKeysAndValuesAreReportedAsMissing) {
    CRegistryKey key;
    EXPECT_FALSE(key.Open(kSettingsKey));
    EXPECT_FALSE(key.IsOpen());
    uint32_t n = 5;
    CString s("unchanged");
    EXPECT_FALSE(key.QueryDWORD("PlaySpeed", n));
    EXPECT_FALSE(key.SetDWORD("PlaySpeed", 3));

    ASSERT_TRUE(key.Create(kSettingsKey));
    EXPECT_FALSE(key.QueryDWORD("PlaySpeed", n));
    EXPECT_FALSE(key.QueryString("Folder", s));
    EXPECT_EQ(n, 5u);
    EXPECT_EQ(s, "unchanged");
    EXPECT_TRUE(key.Close());
    // A created key exists from then on, values or not.
    EXPECT_TRUE(key.Open(kSettingsKey));
}

TEST_F(RegistryTest, ValuesSurviveClosingAndReopening) {
    const CString folder(" /home/利用者/本 \\ソ表 \"q\" $HOME %PATH% a=b [x] ");
    {
        CRegistryKey key;
        ASSERT_TRUE(key.Create(kSettingsKey));
        EXPECT_TRUE(key.SetString("Folder", folder));
        EXPECT_TRUE(key.SetString("Empty", ""));
        EXPECT_TRUE(key.SetString("Lines", "one\ntwo\tthree"));
        EXPECT_TRUE(key.SetDWORD("PlaySpeed", 9));
        EXPECT_TRUE(key.SetDWORD("Big", 0xFFFFFFFFu));
        EXPECT_TRUE(key.SetDWORD("SectionColumn1", 95));
        EXPECT_TRUE(key.SetDWORD("SectionColumn1", 120));  // the last write stays
    }  // closing writes
    CRegistryKey key;
    ASSERT_TRUE(key.Open(kSettingsKey));
    CString s;
    ASSERT_TRUE(key.QueryString("Folder", s));
    EXPECT_EQ(s, folder);
    ASSERT_TRUE(key.QueryString("Empty", s));
    EXPECT_EQ(s, "");
    ASSERT_TRUE(key.QueryString("Lines", s));
    EXPECT_EQ(s, "one\ntwo\tthree");
    uint32_t n = 0;
    ASSERT_TRUE(key.QueryDWORD("PlaySpeed", n));
    EXPECT_EQ(n, 9u);
    ASSERT_TRUE(key.QueryDWORD("Big", n));
    EXPECT_EQ(n, 0xFFFFFFFFu);
    ASSERT_TRUE(key.QueryDWORD("SectionColumn1", n));
    EXPECT_EQ(n, 120u);
    // A key opened for reading takes no writes.
    EXPECT_FALSE(key.SetDWORD("PlaySpeed", 1));
}

TEST_F(RegistryTest, TextIsUtf8InTheFile) {
    {
        CRegistryKey key;
        ASSERT_TRUE(key.Create(kSettingsKey));
        ASSERT_TRUE(key.SetString("Folder", "題名"));
    }
    const std::string file = CRegistryKey::GetKeyFile(kSettingsKey);
    ASSERT_EQ(file.rfind(m_root + "/config/korvane/", 0), 0u) << file;
    EXPECT_NE(Read(file).find(U8(u8"題名")), std::string::npos);
}

TEST_F(RegistryTest, NumbersAndStringsKeepTheirKinds) {
    CRegistryKey key;
    ASSERT_TRUE(key.Create(kSettingsKey));
    key.SetString("Text", "12x");
    key.SetString("Digits", "42");
    key.SetString("TooBig", "4294967296");
    key.SetDWORD("Number", 7);
    uint32_t n = 0;
    EXPECT_FALSE(key.QueryDWORD("Text", n));
    EXPECT_FALSE(key.QueryDWORD("TooBig", n));
    EXPECT_TRUE(key.QueryDWORD("Digits", n));
    EXPECT_EQ(n, 42u);
    CString s;
    EXPECT_TRUE(key.QueryString("Number", s));
    EXPECT_EQ(s, "7");
    EXPECT_FALSE(key.SetDWORD("a/b", 1));  // value names are flat
}

TEST_F(RegistryTest, KeyPathsNameSafeFilesWithoutCase) {
    const std::string a = CRegistryKey::GetKeyFile("SOFTWARE\\KVT\\Tolvane Zavi");
    EXPECT_EQ(a, CRegistryKey::GetKeyFile("software\\kvt\\TOLVANE ZAVI"));
    EXPECT_NE(a, CRegistryKey::GetKeyFile("SOFTWARE\\KVT\\Tolvane\\V01"));
    EXPECT_NE(CRegistryKey::GetKeyFile("a\\b"), CRegistryKey::GetKeyFile("a/b"));
    const std::string store = m_root + "/config/korvane/";
    for (const char* path : {"..\\..\\evil", "../../evil", "..", "/etc/passwd", ".hidden"}) {
        const std::string file = CRegistryKey::GetKeyFile(path);
        ASSERT_EQ(file.rfind(store, 0), 0u) << path;
        EXPECT_EQ(file.find('/', store.size()), std::string::npos) << file;
        EXPECT_NE(file[store.size()], '.') << file;
    }

    CRegistryKey key;
    ASSERT_TRUE(key.Create("SOFTWARE\\KVT\\Tolvane Zavi"));
    key.SetDWORD("ListFont", 2);
    key.Close();
    ASSERT_TRUE(key.Open("Software\\KVT\\tolvane zavi"));
    uint32_t n = 0;
    EXPECT_TRUE(key.QueryDWORD("ListFont", n));
    EXPECT_EQ(n, 2u);
}

TEST_F(RegistryTest, RelativeConfigHomeFallsBackToHome) {
    ::setenv("XDG_CONFIG_HOME", "relative/dir", 1);
    ::setenv("HOME", m_root.c_str(), 1);
    EXPECT_EQ(CRegistryKey::GetKeyFile("k"), m_root + "/.config/korvane/k.ini");
    ::unsetenv("XDG_CONFIG_HOME");
    CRegistryKey key;
    ASSERT_TRUE(key.Create("k"));
    EXPECT_TRUE(key.Close());
    EXPECT_TRUE(fs::exists(m_root + "/.config/korvane/k.ini"));
}

TEST_F(RegistryTest, AnUnwritableStoreFailsQuietly) {
    ::setenv("XDG_CONFIG_HOME", "/proc/korvane-cannot-exist", 1);
    CRegistryKey key;
    EXPECT_FALSE(key.Create(kSettingsKey));
    EXPECT_FALSE(key.SetDWORD("PlaySpeed", 1));
}
