#include "platform/FileSystem.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

std::string U8(const char8_t* s) { return std::string(reinterpret_cast<const char*>(s)); }

// A fresh folder per test; its own path is ASCII, so it is the same in CP932.
class FileSystemTest : public ::testing::Test {
protected:
    void SetUp() override {
        char tmpl[] = "/tmp/korvane-fs-XXXXXX";
        ASSERT_NE(::mkdtemp(tmpl), nullptr);
        m_root = tmpl;
    }
    void TearDown() override {
        std::error_code ec;
        fs::remove_all(m_root, ec);
    }
    CString P(const char* rel) const { return CString(m_root) + "/" + rel; }
    std::string Sys(const char8_t* rel) const { return m_root + "/" + U8(rel); }
    static void Write(const std::string& sysPath, const std::string& bytes) {
        std::ofstream(sysPath, std::ios::binary) << bytes;
    }
    static std::string Read(const std::string& sysPath) {
        std::ifstream in(sysPath, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    std::vector<std::string> Names(const CString& pattern) const {
        std::vector<std::string> names;
        CFileFind find;
        bool more = find.FindFile(pattern);
        while (more) {
            more = find.FindNextFile();
            names.push_back(find.GetFileName().str() + (find.IsDirectory() ? "/" : ""));
        }
        return names;
    }
    std::string m_root;
};

}  // namespace

TEST_F(FileSystemTest, ExistenceCountsFilesAndFolders) {
    Write(Sys(u8"a.txt"), "x");
    EXPECT_TRUE(FileExists(P("a.txt")));
    EXPECT_TRUE(FileExists(CString(m_root)));
    EXPECT_TRUE(FolderExists(CString(m_root)));
    EXPECT_FALSE(FolderExists(P("a.txt")));
    EXPECT_FALSE(FileExists(P("b.txt")));
    EXPECT_FALSE(FileExists(CString()));
    EXPECT_FALSE(FileExists(P("a.txt\x83")));  // cannot be represented: fails like a missing file
    EXPECT_FALSE(FileExists(CString(P("a.txt").str() + std::string("\0x", 2))));
}

TEST_F(FileSystemTest, Cp932PathsAreUtf8OnTheDisk) {
    ASSERT_EQ(CreateFolder(P("表ソ")), kFsOk);
    EXPECT_TRUE(fs::is_directory(Sys(u8"表ソ")));
    Write(Sys(u8"表ソ/見出し.txt"), "x");
    EXPECT_TRUE(FileExists(P("表ソ/見出し.txt")));
    std::string sys;
    ASSERT_TRUE(ToSystemPath(P("表ソ"), sys));
    EXPECT_EQ(sys, Sys(u8"表ソ"));
}

TEST_F(FileSystemTest, ProgramAndCurrentFolders) {
    CString exeFolder = GetProgramFolder();
    ASSERT_FALSE(exeFolder.IsEmpty());
    EXPECT_EQ(exeFolder.Right(1), "/");
    EXPECT_EQ(exeFolder.str(), fs::canonical("/proc/self/exe").parent_path().string() + "/");

    const CString before = GetCurrentFolder();
    ASSERT_EQ(CreateFolder(P("表")), kFsOk);
    ASSERT_TRUE(SetCurrentFolder(P("表")));
    EXPECT_EQ(GetCurrentFolder(), P("表"));
    EXPECT_TRUE(FileExists("."));
    EXPECT_FALSE(SetCurrentFolder(P("missing")));
    EXPECT_EQ(GetCurrentFolder(), P("表"));
    ASSERT_TRUE(SetCurrentFolder(before));
}

TEST_F(FileSystemTest, CreateFolderDistinguishesTheFailures) {
    EXPECT_EQ(CreateFolder(P("Backup")), kFsOk);
    EXPECT_EQ(CreateFolder(P("Backup")), kFsAlreadyExists);
    EXPECT_EQ(CreateFolder(P("Backup/")), kFsAlreadyExists);
    Write(Sys(u8"file"), "");
    EXPECT_EQ(CreateFolder(P("file")), kFsAlreadyExists);
    EXPECT_EQ(CreateFolder(P(std::string(300, 'n').c_str())), kFsNameTooLong);
    EXPECT_EQ(CreateFolder(P("missing/child")), kFsPathNotFound);
    EXPECT_EQ(CreateFolder(P("bad\x83")), kFsInvalidName);
    Write(Sys(u8"Backup/f"), "x");
    EXPECT_FALSE(RemoveFolder(P("Backup")));  // only an empty folder goes
    ASSERT_TRUE(DeleteFileAt(P("Backup/f")));
    EXPECT_TRUE(RemoveFolder(P("Backup")));
}

TEST_F(FileSystemTest, CreateFolderPathMakesEveryLevel) {
    EXPECT_EQ(CreateFolderPath(P("a/表/c/")), kFsOk);
    EXPECT_TRUE(fs::is_directory(Sys(u8"a/表/c")));
    EXPECT_EQ(CreateFolderPath(P("a/表/c")), kFsOk);  // already there
    Write(Sys(u8"a/plain"), "");
    EXPECT_NE(CreateFolderPath(P("a/plain/d")), kFsOk);
    EXPECT_NE(CreateFolderPath(P("a/plain")), kFsOk);  // a file is not the folder asked for
    EXPECT_EQ(CreateFolderPath(P((std::string(300, 'n') + "/x").c_str())), kFsNameTooLong);
}

TEST_F(FileSystemTest, CopyHonoursFailIfExistsAndReadOnly) {
    const std::string big(300000, 's');  // more than one round of the copy loop
    Write(Sys(u8"src.wav"), "source");
    Write(Sys(u8"big.wav"), big);
    Write(Sys(u8"old.wav"), "old contents");
    EXPECT_TRUE(CopyFileTo(P("big.wav"), P("表.wav"), true));
    EXPECT_EQ(Read(Sys(u8"表.wav")), big);
    EXPECT_TRUE(CopyFileTo(P("src.wav"), P("new.wav"), true));
    EXPECT_EQ(Read(Sys(u8"new.wav")), "source");
    EXPECT_FALSE(CopyFileTo(P("src.wav"), P("old.wav"), true));
    EXPECT_EQ(Read(Sys(u8"old.wav")), "old contents");
    EXPECT_TRUE(CopyFileTo(P("src.wav"), P("old.wav"), false));
    EXPECT_EQ(Read(Sys(u8"old.wav")), "source");

    // Copying a file onto itself must not empty it.
    EXPECT_FALSE(CopyFileTo(P("src.wav"), P("src.wav"), false));
    EXPECT_EQ(Read(Sys(u8"src.wav")), "source");

    // The read-only attribute goes with the copy, and a read-only target is not replaced.
    ASSERT_TRUE(SetFileReadOnly(P("src.wav"), true));
    EXPECT_TRUE(CopyFileTo(P("src.wav"), P("ro.wav"), true));
    EXPECT_TRUE(IsFileReadOnly(P("ro.wav")));
    Write(Sys(u8"other.wav"), "other");
    EXPECT_FALSE(CopyFileTo(P("other.wav"), P("ro.wav"), false));
    EXPECT_EQ(Read(Sys(u8"ro.wav")), "source");

    EXPECT_FALSE(CopyFileTo(P("missing.wav"), P("x.wav"), false));
    EXPECT_FALSE(FileExists(P("x.wav")));
    EXPECT_FALSE(CopyFileTo(P("src.wav"), P("no/such/folder.wav"), false));
}

TEST_F(FileSystemTest, MoveNeverReplacesTheTarget) {
    Write(Sys(u8"a.wav"), "a");
    Write(Sys(u8"b.wav"), "b");
    EXPECT_FALSE(MoveFileTo(P("a.wav"), P("b.wav")));
    EXPECT_EQ(Read(Sys(u8"a.wav")), "a");
    EXPECT_EQ(Read(Sys(u8"b.wav")), "b");

    ASSERT_EQ(CreateFolder(P("Backup")), kFsOk);
    EXPECT_TRUE(MoveFileTo(P("a.wav"), P("Backup/a.wav")));
    EXPECT_FALSE(FileExists(P("a.wav")));
    EXPECT_EQ(Read(Sys(u8"Backup/a.wav")), "a");
    EXPECT_TRUE(MoveFileTo(P("Backup"), P("表")));  // folders move too
    EXPECT_TRUE(FileExists(P("表/a.wav")));
    EXPECT_FALSE(MoveFileTo(P("missing"), P("elsewhere")));
}

TEST_F(FileSystemTest, MoveAcrossFileSystemsCopies) {
    char tmpl[] = "/dev/shm/korvane-fs-XXXXXX";
    struct stat a, b;
    if (::stat("/dev/shm", &b) != 0 || ::stat(m_root.c_str(), &a) != 0 || a.st_dev == b.st_dev || !::mkdtemp(tmpl))
        GTEST_SKIP() << "no second file system to move to";
    const std::string other = tmpl;
    Write(Sys(u8"a.wav"), "across");
    Write(other + "/taken.wav", "taken");
    EXPECT_TRUE(MoveFileTo(P("a.wav"), CString(other) + "/a.wav"));
    EXPECT_FALSE(FileExists(P("a.wav")));
    EXPECT_EQ(Read(other + "/a.wav"), "across");
    EXPECT_FALSE(MoveFileTo(CString(other) + "/a.wav", CString(other) + "/taken.wav"));
    Write(Sys(u8"b.wav"), "b");
    EXPECT_FALSE(MoveFileTo(P("b.wav"), CString(other) + "/taken.wav"));
    EXPECT_EQ(Read(other + "/taken.wav"), "taken");
    EXPECT_TRUE(FileExists(P("b.wav")));
    fs::remove_all(other);
}

TEST_F(FileSystemTest, DeleteLeavesFoldersAndReadOnlyFiles) {
    Write(Sys(u8"f.txt"), "x");
    Write(Sys(u8"ro.txt"), "x");
    ASSERT_EQ(CreateFolder(P("d")), kFsOk);
    ASSERT_TRUE(SetFileReadOnly(P("ro.txt"), true));
    EXPECT_TRUE(DeleteFileAt(P("f.txt")));
    EXPECT_FALSE(FileExists(P("f.txt")));
    EXPECT_FALSE(DeleteFileAt(P("f.txt")));
    EXPECT_FALSE(DeleteFileAt(P("d")));
    EXPECT_TRUE(FileExists(P("d")));
    EXPECT_FALSE(DeleteFileAt(P("ro.txt")));
    EXPECT_TRUE(FileExists(P("ro.txt")));
    ASSERT_TRUE(SetFileReadOnly(P("ro.txt"), false));
    EXPECT_FALSE(IsFileReadOnly(P("ro.txt")));
    EXPECT_TRUE(DeleteFileAt(P("ro.txt")));
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
    EXPECT_FALSE(GetFileSize64(P("missing"), size));

    CFileFind find;
    ASSERT_TRUE(find.FindFile(P("huge.wav")));
    find.FindNextFile();
    EXPECT_EQ(find.GetLength(), huge);

    uint64_t freeBytes = 0;
    ASSERT_TRUE(GetFreeBytes(CString(m_root), freeBytes));
    struct statvfs vfs;
    ASSERT_EQ(::statvfs(m_root.c_str(), &vfs), 0);
    EXPECT_NEAR(static_cast<double>(freeBytes), static_cast<double>(vfs.f_bavail) * vfs.f_frsize, 64.0 * 1024 * 1024);
    EXPECT_FALSE(GetFreeBytes(P("missing/folder"), freeBytes));
}

TEST_F(FileSystemTest, FindMatchesWildcardsWithoutCase) {
    for (const char8_t* n : {u8"SEC000001.sec", u8"sec000002.SEC", u8"a000001.WAV", u8"b.wav", u8"表.wav",
                             u8"x.wave", u8"notes", u8"Korvane.ncc"})
        Write(Sys(n), "12345");
    ASSERT_EQ(CreateFolder(P("Backup")), kFsOk);

    EXPECT_EQ(Names(P("*.wav")), (std::vector<std::string>{"a000001.WAV", "b.wav", CString("表.wav").str()}));
    EXPECT_EQ(Names(P("SEC*.sec")), (std::vector<std::string>{"SEC000001.sec", "sec000002.SEC"}));
    EXPECT_EQ(Names(P("?.wav")), (std::vector<std::string>{"b.wav", CString("表.wav").str()}));
    EXPECT_EQ(Names(P("*.*")).size(), 9u);  // every name, with or without a dot, and the folder
    EXPECT_EQ(Names(P("*.*")).front(), "a000001.WAV");
    EXPECT_EQ(Names(P("back*")), (std::vector<std::string>{"Backup/"}));
    EXPECT_EQ(Names(P("KORVANE.NCC")), (std::vector<std::string>{"Korvane.ncc"}));
    EXPECT_TRUE(Names(P("*.mp3")).empty());
    EXPECT_TRUE(Names(P("missing/*.*")).empty());

    CFileFind find;
    ASSERT_TRUE(find.FindFile(P("b.*")));
    EXPECT_TRUE(find.GetFileName().IsEmpty());  // nothing is current before the first step
    EXPECT_FALSE(find.FindNextFile());          // the only entry is also the last
    EXPECT_EQ(find.GetFileName(), "b.wav");
    EXPECT_EQ(find.GetFilePath(), P("b.wav"));
    EXPECT_FALSE(find.IsDirectory());
    EXPECT_FALSE(find.IsDots());
    EXPECT_EQ(find.GetLength(), 5u);
}

TEST_F(FileSystemTest, FindLeavesOutNamesCp932CannotCarry) {
    Write(Sys(u8"caf\u00E9.wav"), "x");
    Write(m_root + "/raw\xFF.wav", "x");
    Write(Sys(u8"ok.wav"), "x");
    EXPECT_EQ(Names(P("*.wav")), (std::vector<std::string>{"ok.wav"}));
}

TEST_F(FileSystemTest, LookupWithoutCaseFindsTheActualName) {
    Write(Sys(u8"NCC.HTML"), "x");
    Write(Sys(u8"a.wav"), "lower");
    Write(Sys(u8"A.WAV"), "upper");
    CString actual;
    ASSERT_TRUE(FindPathNoCase(P("ncc.html"), actual));
    EXPECT_EQ(actual, P("NCC.HTML"));
    ASSERT_TRUE(FindPathNoCase(P("A.WAV"), actual));
    EXPECT_EQ(actual, P("A.WAV"));  // an exact match comes first
    ASSERT_TRUE(FindPathNoCase(P("a.Wav"), actual));
    EXPECT_EQ(actual.CompareNoCase(P("a.wav")), 0);
    EXPECT_FALSE(FindPathNoCase(P("ncc.htm"), actual));
    EXPECT_FALSE(FindPathNoCase(P("*.html"), actual));
}

TEST(FileNameMatch, CharacterWiseAndCaseBlind) {
    EXPECT_TRUE(MatchFileName("*.*", "noext"));
    EXPECT_TRUE(MatchFileName("*.wav", "A.WAV"));
    EXPECT_FALSE(MatchFileName("*.wav", "a.wave"));
    EXPECT_TRUE(MatchFileName("a*b*c", "aXXbYYc"));
    EXPECT_FALSE(MatchFileName("a*b*c", "aXXbYY"));
    EXPECT_TRUE(MatchFileName("??.txt", "表x.txt"));   // "?" takes a whole double-byte character
    EXPECT_FALSE(MatchFileName("???.txt", "表.txt"));
    EXPECT_FALSE(MatchFileName("ア", "ヂ"));            // second bytes do not fold
    EXPECT_TRUE(MatchFileName("*ソ", "xソ"));
    EXPECT_FALSE(MatchFileName("*\\", "xソ"));          // "\" is not the tail of "ソ"
}
