#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "app/AppProfile.h"
#include "app/KorvaneView.h"
#include "app/SplitString.h"
#include "platform/CodePage.h"

namespace fs = std::filesystem;

namespace {

std::string ReadBytes(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

void WriteBytes(const fs::path& p, const std::string& bytes) {
    std::ofstream out(p, std::ios::binary);
    out << bytes;
}

class ProjectFiles : public ::testing::Test {
protected:
    void SetUp() override {
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
    CSectionInformation* AddSection(const char* heading, int phrases) {
        auto* s = view.m_lstSection.Add(std::make_unique<CSectionInformation>());
        s->m_strHeading = heading;
        for (int i = 0; i < phrases; ++i) {
            auto* p = s->m_lstPhrase.Add(std::make_unique<CPhraseInformation>());
            p->m_nStart = 1000u * static_cast<unsigned>(i);
            p->m_nLength = 500;
            p->m_nPause = 44100;
            p->m_strFileName = "A000001.wav";
            p->m_nBytesPerSec = 44100;
        }
        return s;
    }
    void Reload() {
        view.m_lstSection.RemoveAll();
        TheAppProfile().SetProfileFile(view.m_strProjectFile);
        view.LoadProject();
    }
    std::error_code ec;
    fs::path dir;
    CKorvaneView view;
};

TEST_F(ProjectFiles, NewProjectWritesTheOriginalsBytes) {
    AddSection("見出し", 0);
    ASSERT_EQ(view.SaveProject(), 0);
    std::string expected =
        "[Format]\r\nCompression=1\r\nSamplePerSec=22050\r\nChannels=1\r\nBits=16\r\nBitrate=0\r\n"
        "[BookInfo]\r\nTitle=\r\nAuthor=\r\nIsbn=\r\nDiscrimination=\r\nPublisher=\r\nReader=\r\nEditor=\r\n"
        "OrgPublisher=\r\nOrgPublishDate=\r\nPublishDate=\r\nGenre=\r\nScheme=\r\nSectionCount=1\r\n"
        "WaveImportCount=0\r\n[Section]\r\n1=0,見出し,0,0,,,\r\n";
    EXPECT_EQ(ReadBytes(dir / "Korvane.ncc"), expected);
    EXPECT_FALSE(fs::exists(dir / "SEC000001.sec"));
}

TEST_F(ProjectFiles, SectionFilesOnlyForSectionsWithPhrasesAndStaleOnesUpToAGap) {
    AddSection("一", 2);
    AddSection("二", 0);
    AddSection("三", 1);
    WriteBytes(dir / "SEC000002.sec", "stale");
    WriteBytes(dir / "SEC000005.sec", "stale");
    ASSERT_EQ(view.SaveProject(), 0);
    EXPECT_TRUE(fs::exists(dir / "SEC000001.sec"));
    EXPECT_FALSE(fs::exists(dir / "SEC000002.sec"));
    EXPECT_TRUE(fs::exists(dir / "SEC000003.sec"));
    EXPECT_TRUE(fs::exists(dir / "SEC000005.sec"));  // behind the missing 4: not reached
    EXPECT_EQ(ReadBytes(dir / "SEC000003.sec"),
              "[Section]\r\nPrefix=3\r\nSectionTime=0\r\nPhrase=1\r\n[Phrase]\r\n1=0,500,44100,A000001.wav,0,,0,0,,44100\r\n");
}

TEST_F(ProjectFiles, RoundTripKeepsEveryFieldIncludingHighUnsignedValues) {
    view.m_bookInfo.m_strTitle = "吾輩は猫である";
    view.m_bookInfo.m_strScheme = "NDC";
    view.m_nWaveImportCount = 12;
    CSectionInformation* s = AddSection("第一章　ソ表", 1);
    s->m_nLevel = 2;
    s->m_strStartPage = "1";
    s->m_strEndPage = "9";
    s->m_strComment = "注";
    s->m_nSectionTime = 0xFFFFFFF0u;
    CPhraseInformation* p = s->m_lstPhrase.GetAt(0);
    p->m_nStart = 0x80000000u;
    p->m_nLength = 0xFFFFFFFFu;
    p->m_nPageKind = 2;
    p->m_strPageText = "12";
    p->m_nGroup = 1;
    p->m_nMark = 1;
    p->m_strComment = "読み";
    ASSERT_EQ(view.SaveProject(), 0);
    Reload();
    ASSERT_EQ(view.m_lstSection.GetCount(), 1);
    const CSectionInformation* r = view.m_lstSection.GetAt(0);
    EXPECT_EQ(r->m_nLevel, 2);
    EXPECT_EQ(r->m_strHeading, "第一章　ソ表");
    EXPECT_EQ(r->m_strStartPage, "1");
    EXPECT_EQ(r->m_strEndPage, "9");
    EXPECT_EQ(r->m_strComment, "注");
    EXPECT_EQ(r->m_nSectionTime, 0xFFFFFFF0u);
    ASSERT_EQ(r->m_lstPhrase.GetCount(), 1);
    const CPhraseInformation* q = r->m_lstPhrase.GetAt(0);
    EXPECT_EQ(q->m_nStart, 0x80000000u);
    EXPECT_EQ(q->m_nLength, 0xFFFFFFFFu);
    EXPECT_EQ(q->m_nPause, 44100u);
    EXPECT_EQ(q->m_strFileName, "A000001.wav");
    EXPECT_EQ(q->m_nPageKind, 2u);
    EXPECT_EQ(q->m_strPageText, "12");
    EXPECT_EQ(q->m_nGroup, 1u);
    EXPECT_EQ(q->m_nMark, 1u);
    EXPECT_EQ(q->m_strComment, "読み");
    EXPECT_EQ(q->m_nBytesPerSec, 44100u);
    EXPECT_EQ(view.m_bookInfo.m_strTitle, "吾輩は猫である");
    EXPECT_EQ(view.m_bookInfo.m_strScheme, "NDC");
    EXPECT_EQ(view.m_nWaveImportCount, 12);
}

TEST_F(ProjectFiles, ACommaInATextNoLongerLosesTheSection) {
    CSectionInformation* s = AddSection("序章,はじめに", 1);
    s->m_lstPhrase.GetAt(0)->m_strComment = "a,b\nc";
    ASSERT_EQ(view.SaveProject(), 0);
    Reload();
    ASSERT_EQ(view.m_lstSection.GetCount(), 1);
    EXPECT_EQ(view.m_lstSection.GetAt(0)->m_strHeading, "序章，はじめに");
    ASSERT_EQ(view.m_lstSection.GetAt(0)->m_lstPhrase.GetCount(), 1);
    EXPECT_EQ(view.m_lstSection.GetAt(0)->m_lstPhrase.GetAt(0)->m_strComment, "a，bc");
}

TEST_F(ProjectFiles, LoaderLeavesOutMalformedLinesAndTakesDefaults) {
    WriteBytes(dir / "Korvane.ncc",
               "[BookInfo]\r\nSectionCount=3\r\n[Section]\r\n1=0,一,2,0,,,\r\n2=1,第二章,3,96000,10,12\r\n"
               "3=0,三,0,0,,,\r\n");
    WriteBytes(dir / "SEC000001.sec",
               "[Section]\r\nSectionTime=5\r\nPhrase=2\r\n[Phrase]\r\n1=0,1,2,A.wav,0,,0,0,,32000\r\n"
               "2=0,1,2,A.wav,0,,0,0,32000\r\n");
    WriteBytes(dir / "SEC000003.sec", "[Section]\r\nPhrase=1\r\n[Phrase]\r\n1=0,1,2,A.wav,0,,0,0,,32000\r\n");
    Reload();
    ASSERT_EQ(view.m_lstSection.GetCount(), 2);  // the six-field line is left out
    EXPECT_EQ(view.m_lstSection.GetAt(0)->m_lstPhrase.GetCount(), 1);  // the nine-field phrase too
    EXPECT_EQ(view.m_lstSection.GetAt(0)->m_nSectionTime, 5u);
    EXPECT_EQ(view.m_lstSection.GetAt(1)->m_lstPhrase.GetCount(), 0);  // count 0: its file is not read
    // Defaults of a project file without a format section.
    EXPECT_EQ(view.m_nCompression, 1);
    EXPECT_EQ(view.m_nSamplePerSec, 22050);
    EXPECT_EQ(view.m_wBitrate, 32000);
}

TEST_F(ProjectFiles, AFailedSaveLeavesThePreviousProjectReadable) {
    AddSection("一", 1);
    AddSection("二", 1);
    ASSERT_EQ(view.SaveProject(), 0);
    const std::string project = ReadBytes(dir / "Korvane.ncc");
    const std::string second = ReadBytes(dir / "SEC000002.sec");
    // The second section file cannot be written this time.
    fs::create_directory(dir / "SEC000002.sec.tmp");
    view.m_lstSection.GetAt(0)->m_strHeading = "変更";
    view.m_lstSection.GetAt(1)->m_lstPhrase.GetAt(0)->m_nLength = 1;
    EXPECT_EQ(view.SaveProject(), 1);
    EXPECT_EQ(ReadBytes(dir / "Korvane.ncc"), project);
    EXPECT_EQ(ReadBytes(dir / "SEC000002.sec"), second);
    EXPECT_FALSE(fs::exists(dir / "Korvane.ncc.tmp"));
    EXPECT_FALSE(fs::exists(dir / "SEC000001.sec.tmp"));
    Reload();
    ASSERT_EQ(view.m_lstSection.GetCount(), 2);
    EXPECT_EQ(view.m_lstSection.GetAt(0)->m_strHeading, "一");
}

TEST_F(ProjectFiles, CountsAndLevelsFromTheFileAreBounded) {
    WriteBytes(dir / "Korvane.ncc",
               "[BookInfo]\r\nSectionCount=3\r\n[Section]\r\n1=9,a,1,0,,,\r\n2=-3,b,-1,0,,,\r\n3=2,c,1,0,,,\r\n");
    WriteBytes(dir / "SEC000001.sec", "[Section]\r\nPhrase=-1\r\n[Phrase]\r\n1=0,1,2,A.wav,0,,0,0,,32000\r\n");
    WriteBytes(dir / "SEC000003.sec", "[Section]\r\nPhrase=99999999\r\n[Phrase]\r\n1=0,1,2,A.wav,0,,0,0,,32000\r\n");
    Reload();
    ASSERT_EQ(view.m_lstSection.GetCount(), 3);
    EXPECT_EQ(view.m_lstSection.GetAt(0)->m_nLevel, 5);
    EXPECT_EQ(view.m_lstSection.GetAt(1)->m_nLevel, 0);
    EXPECT_EQ(view.m_lstSection.GetAt(0)->m_lstPhrase.GetCount(), 0);  // a negative count reads nothing
    EXPECT_EQ(view.m_lstSection.GetAt(1)->m_nPhraseCount, 0u);
    EXPECT_EQ(view.m_lstSection.GetAt(2)->m_nPhraseCount, 20000u);
    EXPECT_EQ(view.m_lstSection.GetAt(2)->m_lstPhrase.GetCount(), 1);

    WriteBytes(dir / "Korvane.ncc", "[BookInfo]\r\nSectionCount=-7\r\n");
    Reload();
    EXPECT_EQ(view.m_lstSection.GetCount(), 1);
}

TEST_F(ProjectFiles, StaleSectionFilesOfEmptiedSectionsGo) {
    AddSection("一", 1);
    AddSection("二", 1);
    ASSERT_EQ(view.SaveProject(), 0);
    ASSERT_TRUE(fs::exists(dir / "SEC000002.sec"));
    view.m_lstSection.GetAt(1)->m_lstPhrase.RemoveAll();
    view.m_lstSection.RemoveAt(0);
    ASSERT_EQ(view.SaveProject(), 0);
    EXPECT_FALSE(fs::exists(dir / "SEC000002.sec"));
    EXPECT_FALSE(fs::exists(dir / "SEC000001.sec"));
}

TEST_F(ProjectFiles, NoSectionsGiveOneFreshSection) {
    for (const char* content : {"[BookInfo]\r\nSectionCount=0\r\n", "[BookInfo]\r\nTitle=x\r\n"}) {
        WriteBytes(dir / "Korvane.ncc", content);
        Reload();
        ASSERT_EQ(view.m_lstSection.GetCount(), 1);
        EXPECT_EQ(view.m_lstSection.GetAt(0)->m_strHeading, "見出し");
    }
}

TEST_F(ProjectFiles, ReadOnlyProjectFileIsLeftAlone) {
    AddSection("見出し", 1);
    WriteBytes(dir / "Korvane.ncc", "old");
    WriteBytes(dir / "SEC000001.sec", "old section");
    fs::permissions(dir / "Korvane.ncc", fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                    fs::perm_options::remove);
    if (::geteuid() == 0) GTEST_SKIP() << "root ignores the read-only attribute check of the file system";
    EXPECT_EQ(view.SaveProject(), 0);
    EXPECT_EQ(ReadBytes(dir / "Korvane.ncc"), "old");
    EXPECT_EQ(ReadBytes(dir / "SEC000001.sec"), "old section");
}

TEST_F(ProjectFiles, UnwritableFolderFailsWithFour) {
    view.m_strProjectFolder = CString((dir / "missing").string());
    view.m_strProjectFile = view.m_strProjectFolder + "/Korvane.ncc";
    AddSection("見出し", 0);
    EXPECT_EQ(view.SaveProject(), 4);
}

TEST_F(ProjectFiles, FormatIndexAloneDecidesTheFormat) {
    WriteBytes(dir / "Korvane.ncc", "[Format]\r\nCompression=4\r\nSamplePerSec=22050\r\nBitrate=32000\r\n");
    Reload();
    view.SetProjectFormat(view.m_nCompression);
    EXPECT_EQ(view.m_nSamplePerSec, 44100);
    EXPECT_EQ(view.m_wBitrate, 64000);
    EXPECT_EQ(view.m_nAudioKind, 2);
    EXPECT_EQ(view.m_nProjectBytesPerSec, 88200);
    EXPECT_EQ(view.GetControlText(1017), "MP3 64Kbps Mono");
}

TEST(SplitStringRule, FieldsAreSeparatorsPlusOne) {
    EXPECT_EQ(SplitString("a,b,,c,", ",").size(), 5u);
    EXPECT_EQ(SplitString("", ",").size(), 1u);
    std::vector<CString> f = SplitString("ソ,表", ",");
    ASSERT_EQ(f.size(), 2u);
    EXPECT_EQ(f[0], "ソ");
    EXPECT_EQ(f[1], "表");
}

TEST(SplitStringRule, NumbersReadLikeTheOriginal) {
    EXPECT_EQ(ParseDecimal("  42abc"), 42);
    EXPECT_EQ(ParseDecimal("-1"), -1);
    EXPECT_EQ(static_cast<uint32_t>(ParseDecimal("-1")), 0xFFFFFFFFu);
    EXPECT_EQ(static_cast<uint32_t>(ParseDecimal("4294967295")), 0xFFFFFFFFu);
    EXPECT_EQ(ParseDecimal("x1"), 0);
    EXPECT_EQ(ParseDecimal(""), 0);
}

}  // namespace
