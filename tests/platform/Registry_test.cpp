#include "platform/Registry.h"

#include "TempFolder.h"

namespace {

const char* const kSettingsKey = "SOFTWARE\\KVT\\Tolvane Zavi";

// Points the store at the test's folder.
class RegistryTest : public TempFolderTest {
protected:
    void SetUp() override {
        TempFolderTest::SetUp();
        ScopedEnv::Set("XDG_CONFIG_HOME", (root + "/config").c_str());
    }
    ScopedEnv m_xdg{"XDG_CONFIG_HOME"}, m_home{"HOME"};
};

}  // namespace

TEST_F(RegistryTest, MissingKeysAndValuesAreReportedAsMissing) {
    CRegistryKey key;
    EXPECT_FALSE(key.Open(kSettingsKey));
    uint32_t n = 5;
    CString s("unchanged");
    EXPECT_FALSE(key.SetDWORD("PlaySpeed", 3));
    ASSERT_TRUE(key.Create(kSettingsKey));
    EXPECT_FALSE(key.QueryDWORD("PlaySpeed", n));
    EXPECT_FALSE(key.QueryString("Folder", s));
    EXPECT_EQ(n, 5u);
    EXPECT_EQ(s, "unchanged");
    EXPECT_TRUE(key.Close());
    EXPECT_TRUE(key.Open(kSettingsKey));  // a created key exists from then on, values or not
}

TEST_F(RegistryTest, ValuesSurviveReopeningKeepTheirKindsAndAreUtf8OnDisk) {
    const CString folder(" /home/利用者/本 \\ソ表 \"q\" $HOME %PATH% a=b [x] ");
    {
        CRegistryKey key;
        ASSERT_TRUE(key.Create(kSettingsKey));
        EXPECT_TRUE(key.SetString("Folder", folder));
        EXPECT_TRUE(key.SetString("Digits", "42"));
        EXPECT_TRUE(key.SetString("TooBig", "4294967296"));
        EXPECT_TRUE(key.SetDWORD("Big", 0xFFFFFFFFu));
        EXPECT_TRUE(key.SetDWORD("SectionColumn1", 95));
        EXPECT_TRUE(key.SetDWORD("SectionColumn1", 120));  // the last write stays
        EXPECT_FALSE(key.SetDWORD("a/b", 1));               // value names are flat
    }  // closing writes
    CRegistryKey key;
    ASSERT_TRUE(key.Open("software\\kvt\\TOLVANE ZAVI"));  // key paths ignore case
    CString s;
    uint32_t n = 0;
    EXPECT_TRUE(key.QueryString("Folder", s) && s == folder);
    EXPECT_TRUE(key.QueryString("SectionColumn1", s) && s == "120");
    EXPECT_TRUE(key.QueryDWORD("Big", n) && n == 0xFFFFFFFFu);
    EXPECT_TRUE(key.QueryDWORD("Digits", n) && n == 42u);
    EXPECT_FALSE(key.QueryDWORD("TooBig", n));
    EXPECT_FALSE(key.QueryDWORD("Folder", n));
    EXPECT_FALSE(key.SetDWORD("PlaySpeed", 1));  // a key opened for reading takes no writes

    const std::string file = CRegistryKey::GetKeyFile(kSettingsKey);
    ASSERT_EQ(file.rfind(root + "/config/korvane/", 0), 0u) << file;
    EXPECT_NE(Read(file).find(reinterpret_cast<const char*>(u8"利用者")), std::string::npos);
}

TEST_F(RegistryTest, KeyPathsNameSafeDistinctFiles) {
    EXPECT_NE(CRegistryKey::GetKeyFile(kSettingsKey), CRegistryKey::GetKeyFile("SOFTWARE\\KVT\\Tolvane\\V01"));
    EXPECT_NE(CRegistryKey::GetKeyFile("a\\b"), CRegistryKey::GetKeyFile("a/b"));
    const std::string store = root + "/config/korvane/";
    for (const char* path : {"..\\..\\evil", "../../evil", "..", "/etc/passwd", ".hidden"}) {
        const std::string file = CRegistryKey::GetKeyFile(path);
        ASSERT_EQ(file.rfind(store, 0), 0u) << path;
        EXPECT_EQ(file.find('/', store.size()), std::string::npos) << file;
        EXPECT_NE(file[store.size()], '.') << file;
    }
}

TEST_F(RegistryTest, RelativeConfigHomeFallsBackToHomeAndAnUnwritableStoreFailsQuietly) {
    ScopedEnv::Set("XDG_CONFIG_HOME", "relative/dir");
    ScopedEnv::Set("HOME", root.c_str());
    CRegistryKey key;
    ASSERT_TRUE(key.Create("k"));
    EXPECT_TRUE(key.Close());
    EXPECT_TRUE(std::filesystem::exists(root + "/.config/korvane/k.ini"));

    ScopedEnv::Set("XDG_CONFIG_HOME", "/proc/korvane-cannot-exist");
    EXPECT_FALSE(key.Create(kSettingsKey));
    EXPECT_FALSE(key.SetDWORD("PlaySpeed", 1));
}
