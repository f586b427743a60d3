#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "EditBookFixture.h"
#include "app/AppProfile.h"

namespace fs = std::filesystem;

namespace {

std::string ReadBytes(const fs::path& p) {
    std::ostringstream s;
    s << std::ifstream(p, std::ios::binary).rdbuf();
    return s.str();
}

void WriteBytes(const fs::path& p, const std::string& bytes) { std::ofstream(p, std::ios::binary) << bytes; }

using Files = std::map<std::string, std::string>;

class ProjectFiles : public EditBook {
protected:
    void SetUp() override {
        EditBook::SetUp();
        dir = fs::temp_directory_path() / ("korvane-project-" + std::to_string(::getpid()) + "-" +
                                           ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir);
        fs::create_directories(dir);
        view.m_strProjectFolder = CString(dir.string());
        view.m_strProjectFile = view.m_strProjectFolder + "/Korvane.ncc";
        view.SetProjectFormat(1);
    }
    void TearDown() override {
        fs::permissions(dir / "Korvane.ncc", fs::perms::owner_all, fs::perm_options::add, ec);
        fs::remove_all(dir, ec);
    }
    void Reload() {
        view.m_lstSection.RemoveAll();
        TheAppProfile().SetProfileFile(view.m_strProjectFile);
        view.LoadProject();
    }
    // Every file of the project folder with its bytes.
    Files Folder() const {
        Files files;
        for (const auto& entry : fs::directory_iterator(dir)) files[entry.path().filename()] = ReadBytes(entry.path());
        return files;
    }
    std::error_code ec;
    fs::path dir;
};

TEST_F(ProjectFiles, NewProjectWritesTheOriginalsBytes) {
    AddBlankSections(1);
    ASSERT_EQ(view.SaveProject(), 0);
    EXPECT_EQ(Folder(), (Files{{"Korvane.ncc",
        "[Format]\r\nCompression=1\r\nSamplePerSec=22050\r\nChannels=1\r\nBits=16\r\nBitrate=0\r\n"
        "[BookInfo]\r\nTitle=\r\nAuthor=\r\nIsbn=\r\nDiscrimination=\r\nPublisher=\r\nReader=\r\nEditor=\r\n"
        "OrgPublisher=\r\nOrgPublishDate=\r\nPublishDate=\r\nGenre=\r\nScheme=\r\nSectionCount=1\r\n"
        "WaveImportCount=0\r\n[Section]\r\n1=0,見出し,0,0,,,\r\n"}}));
}

// Japanese headings, every page kind, groups, marks, comments and unsigned values
// beyond 2^31 come back field by field, and the second save writes the same bytes.
TEST_F(ProjectFiles, SaveLoadSaveIsByteIdenticalAndKeepsEveryField) {
    BuildSampleBook();
    view.m_bookInfo.m_strTitle = "吾輩は猫である";
    view.m_bookInfo.m_strScheme = "NDC";
    view.m_nWaveImportCount = 12;
    SectionAt(0)->m_strHeading = "第一章　ソ表";
    SectionAt(1)->m_nSectionTime = 0xFFFFFFF0u;
    PhraseAt(3, 0)->m_nStart = 0x80000000u;
    PhraseAt(3, 0)->m_nLength = 0xFFFFFFFFu;
    const BookData book = Book();
    ASSERT_EQ(view.SaveProject(), 0);
    const Files files = Folder();
    ASSERT_EQ(files.size(), 5u);
    Reload();
    EXPECT_EQ(Book(), book);
    EXPECT_EQ(view.m_bookInfo.m_strTitle, "吾輩は猫である");
    EXPECT_EQ(view.m_bookInfo.m_strScheme, "NDC");
    EXPECT_EQ(view.m_nWaveImportCount, 12);
    ASSERT_EQ(view.SaveProject(), 0);
    EXPECT_EQ(Folder(), files);
}

TEST_F(ProjectFiles, SectionFilesOnlyForSectionsWithPhrasesAndStaleOnesGo) {
    AddSection("一", 2);
    AddSection("二", 0);
    AddSection("三", 1);
    WriteBytes(dir / "SEC000002.sec", "stale");
    WriteBytes(dir / "SEC000005.sec", "stale");
    ASSERT_EQ(view.SaveProject(), 0);
    EXPECT_TRUE(fs::exists(dir / "SEC000001.sec"));
    EXPECT_FALSE(fs::exists(dir / "SEC000002.sec"));
    EXPECT_TRUE(fs::exists(dir / "SEC000005.sec"));  // behind the missing 4: not reached
    EXPECT_EQ(ReadBytes(dir / "SEC000003.sec"), "[Section]\r\nPrefix=3\r\nSectionTime=32000\r\nPhrase=1\r\n[Phrase]\r\n"
                                                "1=0,32000,3200,A000001.wav,0,,0,0,三-1,32000\r\n");
    SectionAt(2)->m_lstPhrase.RemoveAll();  // emptied and removed sections leave no file behind
    view.m_lstSection.RemoveAt(0);
    ASSERT_EQ(view.SaveProject(), 0);
    for (const char* name : {"SEC000001.sec", "SEC000002.sec", "SEC000003.sec"}) EXPECT_FALSE(fs::exists(dir / name));
}

TEST_F(ProjectFiles, ACommaOrLineBreakInATextNoLongerLosesTheSection) {
    AddSection("序章,はじめに", 1);
    PhraseAt(0, 0)->m_strComment = "a,b\nc";
    ASSERT_EQ(view.SaveProject(), 0);
    Reload();
    ASSERT_EQ(Shape(), std::vector<int>{1});
    EXPECT_EQ(SectionAt(0)->m_strHeading, "序章，はじめに");
    EXPECT_EQ(PhraseAt(0, 0)->m_strComment, "a，bc");
}

TEST_F(ProjectFiles, AFailedSaveLeavesThePreviousProjectReadable) {
    AddSection("一", 1);
    AddSection("二", 1);
    ASSERT_EQ(view.SaveProject(), 0);
    const Files files = Folder();
    const BookData before = Book();
    fs::create_directory(dir / "SEC000002.sec.tmp");  // the second section file cannot be written this time
    SectionAt(0)->m_strHeading = "変更";
    PhraseAt(1, 0)->m_nLength = 1;
    EXPECT_EQ(view.SaveProject(), 1);
    fs::remove(dir / "SEC000002.sec.tmp");
    EXPECT_EQ(Folder(), files);  // no temporary file is left either
    Reload();
    EXPECT_EQ(Book(), before);
}

TEST_F(ProjectFiles, LoaderLeavesOutMalformedLinesAndBoundsCountsAndLevels) {
    WriteBytes(dir / "Korvane.ncc",
               "[BookInfo]\r\nSectionCount=6\r\n[Section]\r\n1=0,一,2,0,,,\r\n2=1,第二章,3,96000,10,12\r\n"
               "3=0,三,0,0,,,\r\n4=9,a,1,0,,,\r\n5=-3,b,-1,0,,,\r\n6=2,c,1,0,,,\r\n");
    const std::string phrase = "[Phrase]\r\n1=0,1,2,A.wav,0,,0,0,,32000\r\n";
    WriteBytes(dir / "SEC000001.sec", "[Section]\r\nSectionTime=5\r\nPhrase=2\r\n" + phrase + "2=0,1,2,A.wav,0,,0,0,32000\r\n");
    WriteBytes(dir / "SEC000003.sec", "[Section]\r\nPhrase=1\r\n" + phrase);
    WriteBytes(dir / "SEC000004.sec", "[Section]\r\nPhrase=-1\r\n" + phrase);
    WriteBytes(dir / "SEC000006.sec", "[Section]\r\nPhrase=99999999\r\n" + phrase);
    Reload();
    // The six-field section and the nine-field phrase are left out; a count of 0 or
    // below reads nothing; levels and counts are brought into their bounds.
    EXPECT_EQ(Shape(), (std::vector<int>{1, 0, 0, 0, 1}));
    EXPECT_EQ(SectionAt(0)->m_nSectionTime, 5u);
    EXPECT_EQ(SectionAt(2)->m_nLevel, 5);
    EXPECT_EQ(SectionAt(3)->m_nLevel, 0);
    EXPECT_EQ(SectionAt(3)->m_nPhraseCount, 0u);
    EXPECT_EQ(SectionAt(4)->m_nPhraseCount, 20000u);
    // Defaults of a project file without a format section.
    EXPECT_EQ(view.m_nCompression, 1);
    EXPECT_EQ(view.m_nSamplePerSec, 22050);
    EXPECT_EQ(view.m_wBitrate, 32000);
    // No sections, or a negative count of them, give one fresh section.
    for (const char* content : {"[BookInfo]\r\nSectionCount=-7\r\n", "[BookInfo]\r\nTitle=x\r\n"}) {
        WriteBytes(dir / "Korvane.ncc", content);
        Reload();
        EXPECT_EQ(Book(), BookData{Capture(CSectionInformation())});
    }
}

TEST_F(ProjectFiles, FormatIndexAloneDecidesTheFormat) {
    WriteBytes(dir / "Korvane.ncc", "[Format]\r\nCompression=4\r\nSamplePerSec=22050\r\nBitrate=32000\r\n");
    Reload();
    view.SetProjectFormat(view.m_nCompression);
    EXPECT_EQ(view.m_nSamplePerSec, 44100);
    EXPECT_EQ(view.m_wBitrate, 64000);
    EXPECT_EQ(view.m_nProjectBytesPerSec, 88200);
    EXPECT_EQ(view.GetControlText(1017), "MP3 64Kbps Mono");
}

TEST_F(ProjectFiles, AMissingFolderFailsAndAReadOnlyProjectFileIsLeftAlone) {
    AddSection("見出し", 1);
    const CString folder = view.m_strProjectFolder;
    view.m_strProjectFolder = folder + "/missing";
    view.m_strProjectFile = view.m_strProjectFolder + "/Korvane.ncc";
    EXPECT_EQ(view.SaveProject(), 4);
    view.m_strProjectFolder = folder;
    view.m_strProjectFile = folder + "/Korvane.ncc";
    if (::geteuid() == 0) GTEST_SKIP() << "root ignores the read-only attribute check of the file system";
    WriteBytes(dir / "Korvane.ncc", "old");
    WriteBytes(dir / "SEC000001.sec", "old section");
    fs::permissions(dir / "Korvane.ncc", fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                    fs::perm_options::remove);
    EXPECT_EQ(view.SaveProject(), 0);
    EXPECT_EQ(Folder(), (Files{{"Korvane.ncc", "old"}, {"SEC000001.sec", "old section"}}));
}

}  // namespace
