#include "platform/FileSystem.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <vector>

#include "TempFolder.h"

namespace {

namespace fs = std::filesystem;

class FileSystemTest : public TempFolderTest {
protected:
    std::vector<std::string> Names(const CString& pattern) const {
        std::vector<std::string> names;
        CFileFind find;
        for (bool more = find.FindFile(pattern); more;) {
            more = find.FindNextFile();
            names.push_back(find.GetFileName().str() + (find.IsDirectory() ? "/" : ""));
        }
        return names;
    }
};

}  // namespace

TEST_F(FileSystemTest, Cp932PathsAreUtf8OnTheDiskAndBadPathsAreMissing) {
    ASSERT_EQ(CreateFolder(P("表ソ")), kFsOk);
    Write(Sys(u8"表ソ/見出し.txt"), "x");
    EXPECT_TRUE(FileExists(P("表ソ/見出し.txt")));
    EXPECT_TRUE(FileExists(P("表ソ")));  // a folder counts
    EXPECT_FALSE(FolderExists(P("表ソ/見出し.txt")));
    EXPECT_FALSE(FileExists(P("表ソ/見出し.txt\x83")));  // cannot be represented
    EXPECT_FALSE(FileExists(CString(P("表ソ").str() + std::string("\0x", 2))));

    EXPECT_EQ(GetProgramFolder().str(), fs::canonical("/proc/self/exe").parent_path().string() + "/");
    const CString before = GetCurrentFolder();
    ASSERT_TRUE(SetCurrentFolder(P("表ソ")));
    EXPECT_EQ(GetCurrentFolder(), P("表ソ"));
    ASSERT_TRUE(SetCurrentFolder(before));
}

TEST_F(FileSystemTest, CreateFolderDistinguishesTheFailures) {
    EXPECT_EQ(CreateFolder(P("Backup")), kFsOk);
    EXPECT_EQ(CreateFolder(P("Backup/")), kFsAlreadyExists);
    Write(Sys(u8"file"), "");
    EXPECT_EQ(CreateFolder(P("file")), kFsAlreadyExists);
    EXPECT_EQ(CreateFolder(P(std::string(300, 'n').c_str())), kFsNameTooLong);
    EXPECT_EQ(CreateFolder(P("missing/child")), kFsPathNotFound);
    EXPECT_EQ(CreateFolder(P("bad\x83")), kFsInvalidName);
    EXPECT_EQ(CreateFolderPath(P("a/表/c/")), kFsOk);
    EXPECT_TRUE(fs::is_directory(Sys(u8"a/表/c")));
    EXPECT_NE(CreateFolderPath(P("file")), kFsOk);  // a file is not the folder asked for
}

TEST_F(FileSystemTest, CopyAndDeleteHonourFailIfExistsAndReadOnly) {
    const std::string big(300000, 's');  // more than one round of the copy loop
    Write(Sys(u8"src.wav"), big);
    Write(Sys(u8"old.wav"), "old contents");
    EXPECT_TRUE(CopyFileTo(P("src.wav"), P("表.wav"), true));
    EXPECT_EQ(Read(Sys(u8"表.wav")), big);
    EXPECT_FALSE(CopyFileTo(P("src.wav"), P("old.wav"), true));
    EXPECT_EQ(Read(Sys(u8"old.wav")), "old contents");
    // Copying a file onto itself must not empty it.
    EXPECT_FALSE(CopyFileTo(P("src.wav"), P("src.wav"), false));
    EXPECT_EQ(Read(Sys(u8"src.wav")), big);

    // The read-only attribute goes with the copy; a read-only file is neither replaced
    // nor deleted, and neither is a folder.
    ASSERT_TRUE(SetFileReadOnly(P("src.wav"), true));
    EXPECT_TRUE(CopyFileTo(P("src.wav"), P("ro.wav"), true));
    EXPECT_TRUE(IsFileReadOnly(P("ro.wav")));
    EXPECT_FALSE(CopyFileTo(P("old.wav"), P("ro.wav"), false));
    EXPECT_EQ(Read(Sys(u8"ro.wav")), big);
    EXPECT_FALSE(DeleteFileAt(P("ro.wav")));
    ASSERT_EQ(CreateFolder(P("d")), kFsOk);
    EXPECT_FALSE(DeleteFileAt(P("d")));
    EXPECT_TRUE(FileExists(P("ro.wav")) && FileExists(P("d")));
}

TEST_F(FileSystemTest, MoveNeverReplacesTheTarget) {
    Write(Sys(u8"a.wav"), "a");
    Write(Sys(u8"b.wav"), "b");
    EXPECT_FALSE(MoveFileTo(P("a.wav"), P("b.wav")));
    EXPECT_EQ(Read(Sys(u8"a.wav")), "a");
    EXPECT_EQ(Read(Sys(u8"b.wav")), "b");
    ASSERT_EQ(CreateFolder(P("Backup")), kFsOk);
    EXPECT_TRUE(MoveFileTo(P("a.wav"), P("Backup/a.wav")));
    EXPECT_TRUE(MoveFileTo(P("Backup"), P("表")));  // folders move too
    EXPECT_EQ(Read(Sys(u8"表/a.wav")), "a");

    // Across file systems a file is copied, and the target is still never replaced.
    char tmpl[] = "/dev/shm/korvane-fs-XXXXXX";
    struct stat here, shm;
    if (::stat("/dev/shm", &shm) != 0 || ::stat(root.c_str(), &here) != 0 || here.st_dev == shm.st_dev ||
        !::mkdtemp(tmpl))
        GTEST_SKIP() << "no second file system to move to";
    const std::string other = tmpl;
    Write(other + "/taken.wav", "taken");
    EXPECT_TRUE(MoveFileTo(P("表/a.wav"), CString(other) + "/a.wav"));
    EXPECT_FALSE(FileExists(P("表/a.wav")));
    EXPECT_EQ(Read(other + "/a.wav"), "a");
    EXPECT_FALSE(MoveFileTo(P("b.wav"), CString(other) + "/taken.wav"));
    EXPECT_EQ(Read(other + "/taken.wav"), "taken");
    EXPECT_TRUE(FileExists(P("b.wav")));
    fs::remove_all(other);
}

TEST_F(FileSystemTest, SizesAndFreeSpaceAre64Bit) {
    int fd = ::open(Sys(u8"huge.wav").c_str(), O_WRONLY | O_CREAT, 0644);
    ASSERT_GE(fd, 0);
    const uint64_t huge = 5ull << 30;  // beyond 32 bits; sparse, so it takes no room
    ASSERT_EQ(::ftruncate(fd, static_cast<off_t>(huge)), 0);
    ::close(fd);
    uint64_t size = 0;
    ASSERT_TRUE(GetFileSize64(P("huge.wav"), size));
    EXPECT_EQ(size, huge);
    uint64_t freeBytes = 0;
    ASSERT_TRUE(GetFreeBytes(CString(root), freeBytes));
    struct statvfs vfs;
    ASSERT_EQ(::statvfs(root.c_str(), &vfs), 0);
    EXPECT_NEAR(static_cast<double>(freeBytes), static_cast<double>(vfs.f_bavail) * vfs.f_frsize, 64.0 * 1024 * 1024);
}

TEST_F(FileSystemTest, FindMatchesWildcardsWithoutCaseAndSkipsNamesCp932CannotCarry) {
    for (const char8_t* n : {u8"SEC000001.sec", u8"sec000002.SEC", u8"a000001.WAV", u8"b.wav", u8"表.wav",
                             u8"x.wave", u8"notes", u8"caf\u00E9.wav"})
        Write(Sys(n), "12345");
    Write(root + "/raw\xFF.wav", "x");
    ASSERT_EQ(CreateFolder(P("Backup")), kFsOk);
    EXPECT_EQ(Names(P("*.wav")), (std::vector<std::string>{"a000001.WAV", "b.wav", CString("表.wav").str()}));
    EXPECT_EQ(Names(P("SEC*.sec")), (std::vector<std::string>{"SEC000001.sec", "sec000002.SEC"}));
    EXPECT_EQ(Names(P("*.*")).size(), 8u);  // every name, with or without a dot, and the folder
    EXPECT_EQ(Names(P("back*")), (std::vector<std::string>{"Backup/"}));

    CFileFind find;
    ASSERT_TRUE(find.FindFile(P("b.*")));
    EXPECT_FALSE(find.FindNextFile());  // the only entry is also the last
    EXPECT_EQ(find.GetFilePath(), P("b.wav"));

    CString actual;
    Write(Sys(u8"B.WAV"), "upper");
    ASSERT_TRUE(FindPathNoCase(P("NOTES"), actual));
    EXPECT_EQ(actual, P("notes"));
    ASSERT_TRUE(FindPathNoCase(P("B.WAV"), actual));
    EXPECT_EQ(actual, P("B.WAV"));  // an exact match comes first
    EXPECT_FALSE(FindPathNoCase(P("*.wav"), actual));
}

TEST(FileNameMatch, CharacterWiseAndCaseBlind) {
    const struct {
        const char* pattern;
        const char* name;
        bool match;
    } cases[] = {
        {"*.*", "noext", true},      {"*.wav", "A.WAV", true},   {"*.wav", "a.wave", false},
        {"a*b*c", "aXXbYYc", true},  {"a*b*c", "aXXbYY", false},
        {"??.txt", "表x.txt", true},  // "?" takes a whole double-byte character
        {"???.txt", "表.txt", false}, {"ア", "ヂ", false},       // second bytes do not fold
        {"*ソ", "xソ", true},         {"*\\", "xソ", false},     // "\" is not the tail of "ソ"
    };
    for (const auto& c : cases) EXPECT_EQ(MatchFileName(c.pattern, c.name), c.match) << c.pattern << " " << c.name;
}

namespace {

// Names that CP932 cannot spell, or would spell as another name, are listed and moved by
// their bytes on the disk, each as itself; an unreadable folder is no empty one.
TEST_F(FileSystemTest, ListingAndMovingByTheSystemsOwnNames) {
    const std::vector<std::string> names = {"\xE3\x80\x9C\xE5\x90\x8C.txt",       // 〜同.txt
                                            "\xEF\xBD\x9E\xE5\x90\x8C.txt",       // ～同.txt
                                            "caf\xC3\xA9.wav", "bad\xFF.wav", "\xC2\xA5.txt"};
    for (size_t i = 0; i < names.size(); ++i) Write(root + "/" + names[i], std::to_string(i));
    fs::create_directory(root + "/sub");
    std::vector<std::string> listed;
    ASSERT_TRUE(ListFolderFiles(CString(root), listed));
    std::vector<std::string> sorted = names;
    std::sort(sorted.begin(), sorted.end());
    EXPECT_EQ(listed, sorted);
    // Through CP932 only the name that survives the way there and back is seen.
    EXPECT_EQ(Names(P("*.txt")), std::vector<std::string>{"\x81\x60\x93\xAF.txt"});

    fs::create_directory(root + "/to");
    for (const std::string& name : names) EXPECT_TRUE(MoveNamedFile(CString(root), P("to"), name, false)) << name;
    for (size_t i = 0; i < names.size(); ++i) EXPECT_EQ(Read(root + "/to/" + names[i]), std::to_string(i));
    Write(root + "/" + names[0], "new");
    EXPECT_FALSE(MoveNamedFile(CString(root), P("to"), names[0], false));
    EXPECT_TRUE(MoveNamedFile(CString(root), P("to"), names[0], true));
    EXPECT_EQ(Read(root + "/to/" + names[0]), "new");
    EXPECT_TRUE(DeleteNamedFile(P("to"), names[3]));
    EXPECT_FALSE(NamedFileExists(P("to"), names[3]));
    EXPECT_FALSE(MoveNamedFile(CString(root), P("to"), "../x", false));

    EXPECT_FALSE(ListFolderFiles(P("missing"), listed));
    Write(root + "/plain", "x");
    EXPECT_FALSE(ListFolderFiles(P("plain"), listed));
    EXPECT_TRUE(ListFolderFiles(P("sub"), listed));
    EXPECT_TRUE(listed.empty());
}

}  // namespace
