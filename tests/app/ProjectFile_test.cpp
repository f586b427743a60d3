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
    SectionAt(0)->m_strEndPage = "\x81,9\x81\r";  // stray lead bytes of a damaged import hide nothing
    view.m_bookInfo.m_strTitle = "a,b\nc";  // a book text is no comma-separated field
    ASSERT_EQ(view.SaveProject(), 0);
    Reload();
    ASSERT_EQ(Shape(), std::vector<int>{1});
    EXPECT_EQ(SectionAt(0)->m_strHeading, "序章，はじめに");
    EXPECT_EQ(SectionAt(0)->m_strEndPage, "\x81，9\x81");
    EXPECT_EQ(PhraseAt(0, 0)->m_strComment, "a，bc");
    EXPECT_EQ(view.m_bookInfo.m_strTitle.str(), "a,bc");
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

// The reader drops blanks and one pair of quotes around a value; book texts and the
// section comment that ends a section line come back as they were when they have them.
// A zero byte in a damaged file ends its value, and what the loader took of such a file
// comes back the same after the program's own save, which the next save writes again.
TEST_F(ProjectFiles, TextsWithQuotesOrBlanksAroundThemComeBack) {
    AddSection("一", 1);
    const char* texts[] = {"\"引用\"", "'a'", "  前後  ", "\"", "\"\"", "a\"b\"", "\ttab", "\t", " ", "注 "};
    for (const char* text : texts) {
        view.m_bookInfo.m_strTitle = text;
        SectionAt(0)->m_strComment = text;
        const BookData book = Book();
        ASSERT_EQ(view.SaveProject(), 0);
        Reload();
        EXPECT_EQ(view.m_bookInfo.m_strTitle, text);
        EXPECT_EQ(Book(), book) << "[" << text << "]";
    }
    const std::string zero(1, '\0');
    const std::string head = "[Format]\r\nCompression=1\r\n[BookInfo]\r\nSectionCount=2\r\n[Section]\r\n";
    const struct {
        const char* what;
        std::string ncc, sec1;
        const char* title;
        std::vector<std::string> comments;
    } damaged[] = {
        {"title", std::string("[BookInfo]\r\nTitle=ab\0cd\r\n", 22), "", "ab", {""}},
        {"blanks before the zero", head + "1=0,a,0,0,,,x " + zero + "y\r\n2=0,b,0,0,,, \t" + zero + "@\r\n", "", "",
         {"x ", " \t"}},
        // Found by fuzzing the loader: a comment of a carriage return and a tab before a
        // zero byte, and the lines behind it, which the loader passes over.
        {"blank comment",
         "[Format]\r\nCompression=1\r\nSamplePerSec=22050\r\nChannels=1\r\nBits=16\r\nBitrate=0\r\n[BookInfo]\r\n"
         "Title=\x93\xfa\x96{\r\nAuthor=\r\nIsbn=\r\nDiscrimination=\r\nPublisher=\r\nReader=\r\nEditor=\r\n"
         "OrgPublisher=\r\nOrgPublishDate=\r\nPublishDate=\r\nGenre=\r\nScheme=\r\nSectionCount=2\r\n"
         "WaveImportCount=1\r\n[Section]\r\n"
         "1=0,\x8c\xa9\x8fo\x82\xb5,2,64000,1,2,c\r\n2=1,b,1,32000,,,\r\t" + zero +
             "@@SEC\n[Section]\r\nPrefix=1\r\nSectionTime=64000\r\nPhrase=2\r\n[Phrase]\r\n"
             "1=0,32000,3200,A000001.wav,1,1,0,0,,32000\r\n2=32000,32000,320?,A000001.wav,0,,1,1,x,32000\r\n",
         "[Section]\r\nPrefix=2\r\nSectionTime=32000\r\nPhrase=1\r\n[Phrase]\r\n"
         "1=64000,32100,0,A000001.wav,0,,0,0,,32000\r\n",
         "\x93\xfa\x96{", {"c", "\t"}},
        {"carriage return behind a stray lead byte",
         "[BookInfo]\r\nTitle=\"a\x81\r\"\r\nSectionCount=2\r\n[Section]\r\n1=0,a,0,0,,,x\r\n2=0,b,0,0,,,\"\x81\r" +
             zero + "@\r\n",
         "", "a\x81",
         {"x", "\"\x81"}},
    };
    for (const auto& d : damaged) {
        fs::remove_all(dir);
        fs::create_directories(dir);
        WriteBytes(dir / "Korvane.ncc", d.ncc);
        if (!d.sec1.empty()) WriteBytes(dir / "SEC000001.sec", d.sec1);
        Reload();
        BookData book = Book();
        std::vector<std::string> comments;
        for (SectionData& s : book) {
            std::erase(s.comment, '\r');  // the saver leaves line breaks out of texts
            comments.push_back(s.comment);
        }
        EXPECT_EQ(comments, d.comments) << d.what;
        ASSERT_EQ(view.SaveProject(), 0);
        const Files saved = Folder();
        Reload();
        EXPECT_EQ(view.m_bookInfo.m_strTitle, d.title) << d.what;
        EXPECT_EQ(Book(), book) << d.what;
        ASSERT_EQ(view.SaveProject(), 0);
        EXPECT_EQ(Folder(), saved) << d.what;  // and the next save writes the same bytes
    }
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

namespace {

// A second project folder beside the first, for the commands that switch projects.
class ProjectSwitch : public ProjectFiles {
protected:
    void SetUp() override {
        ProjectFiles::SetUp();
        other = dir.string() + "-other";
        fs::remove_all(other);
        fs::create_directories(other);
        AddSection("一", 2);
        AddSection("二", 3);
        view.m_bProjectOpen = 1;
        view.m_bSuppressPlay = 1;  // an opened project selects its first phrase; nothing is to play here
    }
    void TearDown() override {
        fs::permissions(other / "Korvane.ncc", fs::perms::owner_all, fs::perm_options::add, ec);
        fs::remove_all(other, ec);
        ProjectFiles::TearDown();
    }
    // Runs `action` with a file chooser answered by `file` (when not empty) and the boxes
    // by `answers`; returns the boxes' texts.
    std::vector<std::string> Run(const std::function<void()>& action, const std::string& file = "",
                                 std::initializer_list<int> answers = {}) {
        CUiScript script;
        if (!file.empty()) script.AnswerFile({CString(file)});
        for (int a : answers) script.AnswerBox(a);
        action();
        std::vector<std::string> texts;
        for (const CString& t : script.BoxTexts()) texts.push_back(t.str());
        return texts;
    }
    // A build whose roll-back the disk cut short: the project's files `stranded` are still in
    // the backup, with the mark that names the project's files; the build wrote a file under
    // the name of the first of them and one of its own; the backup of the build before is
    // still aside.
    void StrandRestore(const std::vector<std::string>& stranded) {
        for (const auto& [name, bytes] : Folder()) WriteBytes(other / name, bytes);
        fs::create_directories(other / "Backup");
        fs::create_directories(other / "Backup.earlier");
        WriteBytes(other / "Backup.earlier" / "A000001.wav", "the recording before the last build");
        for (const std::string& name : stranded) fs::rename(other / name, other / "Backup" / name);
        // The mark names the project's files, in hexadecimal.
        std::string names;
        for (const auto& [name, bytes] : Folder()) {
            for (unsigned char c : name) names += "0123456789abcdef"[c >> 4], names += "0123456789abcdef"[c & 15];
            names += "\r\n";
        }
        names += ".\r\n";
        WriteBytes(other / "Backup" / "Korvane.backup", names);
        WriteBytes(other / stranded.front(), "half written by the build");
        WriteBytes(other / "NCC.html", "written by the build");
    }
    fs::path other;
};

// A save that fails leaves the project open, with its changes, and says where: new and
// open stop, the end of the program asks.
TEST_F(ProjectSwitch, AFailedSaveKeepsTheProjectOpenAndNamesTheFolder) {
    const BookData book = Book();
    const std::string folder = dir.string();
    fs::remove_all(dir);  // the folder went away (a removed stick, say): nothing can be saved
    const std::string text = "プロジェクトの保存時にエラーが発生しました。変更は保存されていません。\n" + folder;
    EXPECT_EQ(Run([&] { view.OnProjectOpen(); }, "", {IDOK}), std::vector<std::string>{text});
    EXPECT_EQ(Run([&] { view.OnProjectNew(); }, "", {IDOK}), std::vector<std::string>{text});
    EXPECT_EQ(view.m_strProjectFolder.str(), folder);
    EXPECT_EQ(Book(), book);
    const std::string ask = "プロジェクトの保存時にエラーが発生しました。\n" + folder + "\n\n保存せずに終了しますか？";
    bool closes = true;
    EXPECT_EQ(Run([&] { closes = view.SaveOnClose(); }, "", {IDNO}), std::vector<std::string>{ask});
    EXPECT_FALSE(closes);
    EXPECT_EQ(Run([&] { closes = view.SaveOnClose(); }, "", {IDYES}), std::vector<std::string>{ask});
    EXPECT_TRUE(closes);
    fs::create_directories(dir);
}

// Damage found at open is named file by file; the project that was open stays open and
// nothing changes on disk.
TEST_F(ProjectSwitch, ADamagedProjectIsNotOpened) {
    ASSERT_EQ(view.SaveProject(), 0);
    const Files good = Folder();
    const BookData book = Book();
    const std::string ncc = good.at("Korvane.ncc");
    struct Case {
        const char* what;
        std::function<void()> damage;
        const char* expected;
    };
    const Case cases[] = {
        {"truncated", [&] { WriteBytes(other / "Korvane.ncc", ncc.substr(0, ncc.find("OrgPublisher="))); },
         "Korvane.ncc：項目がありません（OrgPublisher、OrgPublishDate、PublishDate、"
         "Genre、Scheme、SectionCount、WaveImportCount）。"},
        {"cut in the sections", [&] { WriteBytes(other / "Korvane.ncc", ncc.substr(0, ncc.rfind("2="))); },
         "Korvane.ncc：セクション数2に対して1個しか読み込めません。"},
        {"random bytes", [&] { WriteBytes(other / "Korvane.ncc", std::string("\x8a\x00\xff\x13zz=\x81", 8)); },
         "Korvane.ncc：項目がありません（Compression、SamplePerSec、Channels、Bits、Bitrate、Title、Author、Isbn、"
         "Discrimination、Publisher、Reader、Editor、OrgPublisher、OrgPublishDate、PublishDate、Genre、Scheme、"
         "SectionCount、WaveImportCount）。"},
        {"empty", [&] { WriteBytes(other / "Korvane.ncc", ""); },
         "Korvane.ncc：項目がありません（Compression、SamplePerSec、Channels、Bits、Bitrate、Title、Author、Isbn、"
         "Discrimination、Publisher、Reader、Editor、OrgPublisher、OrgPublishDate、PublishDate、Genre、Scheme、"
         "SectionCount、WaveImportCount）。"},
        {"missing section file", [&] { fs::remove(other / "SEC000002.sec"); }, "SEC000002.sec：ファイルがありません。"},
        {"unreadable section file",
         [&] {
             fs::remove(other / "SEC000002.sec");
             fs::create_directory(other / "SEC000002.sec");
         },
         "SEC000002.sec：読み込めません。"},
        {"short section file",
         [&] {
             const std::string sec = good.at("SEC000002.sec");
             WriteBytes(other / "SEC000002.sec", sec.substr(0, sec.find("3=")));
         },
         "SEC000002.sec：フレーズ数3に対して2個しか読み込めません。"},
        {"section file of another save",
         [&] { WriteBytes(other / "SEC000002.sec", good.at("SEC000001.sec")); },
         "SEC000002.sec：フレーズ数2がプロジェクトファイルの3と合いません。"},
    };
    for (const Case& c : cases) {
        fs::remove_all(other);
        fs::create_directories(other);
        for (const auto& [name, bytes] : good) WriteBytes(other / name, bytes);
        c.damage();
        Files damaged;
        for (const auto& entry : fs::directory_iterator(other))
            if (entry.is_regular_file()) damaged[entry.path().filename()] = ReadBytes(entry.path());
        const std::string text = "プロジェクトファイルが壊れているため開けません。\n" + other.string() + "\n\n" + c.expected;
        EXPECT_EQ(Run([&] { view.OnProjectOpen(); }, (other / "Korvane.ncc").string(), {IDOK}),
                  std::vector<std::string>{text})
            << c.what;
        EXPECT_EQ(view.m_strProjectFolder.str(), dir.string()) << c.what;
        EXPECT_EQ(Book(), book) << c.what;
        Files after;
        for (const auto& entry : fs::directory_iterator(other))
            if (entry.is_regular_file()) after[entry.path().filename()] = ReadBytes(entry.path());
        EXPECT_EQ(after, damaged) << c.what;
    }
    // The whole project opens.
    fs::remove_all(other);
    fs::create_directories(other);
    for (const auto& [name, bytes] : good) WriteBytes(other / name, bytes);
    EXPECT_EQ(Run([&] { view.OnProjectOpen(); }, (other / "Korvane.ncc").string()), std::vector<std::string>{});
    EXPECT_EQ(view.m_strProjectFolder.str(), other.string());
    EXPECT_EQ(Book(), book);
}

// A build whose roll-back the disk cut short left a section file in the backup, marked as
// owed, beside the backup of the build before, kept aside. The open finishes the restore
// (what the build wrote gives way) before it reads the project, gives the earlier backup
// back, and says so.
TEST_F(ProjectSwitch, TheOpenFinishesARestoreABuildLeftUnfinished) {
    const BookData book = Book();
    ASSERT_EQ(view.SaveProject(), 0);
    const std::string section = ReadBytes(dir / "SEC000002.sec");
    StrandRestore({"SEC000002.sec"});
    SectionAt(0)->m_strHeading = "別の本";
    const BookData open = Book();
    // A mark of an older version names no file: the project folder's file under a name of
    // the backup's may be the user's. Until that is settled the project is not whole, and
    // the open reads none of it, whole as the project folder may look.
    const std::string mark = ReadBytes(other / "Backup" / "Korvane.backup");
    WriteBytes(other / "Backup" / "Korvane.backup", "");
    WriteBytes(other / "SEC000002.sec", section);
    EXPECT_EQ(Run([&] { view.OnProjectOpen(); }, (other / "Korvane.ncc").string(), {IDOK}),
              std::vector<std::string>{"前回のDaisy図書作成で元に戻せなかったファイルがBackupフォルダにあります。\n"
                                       "プロジェクトフォルダにも同じ名前のファイルがあるため、Backupフォルダを空にできません。"
                                       "確認してから、もう一度実行して下さい。\nSEC000002.sec"});
    EXPECT_EQ(view.m_strProjectFolder.str(), dir.string());
    EXPECT_EQ(Book(), open);
    EXPECT_TRUE(fs::exists(other / "Backup" / "Korvane.backup"));
    WriteBytes(other / "Backup" / "Korvane.backup", mark);
    WriteBytes(other / "SEC000002.sec", "half written by the build");
    EXPECT_EQ(Run([&] { view.OnProjectOpen(); }, (other / "Korvane.ncc").string(), {IDOK}),
              std::vector<std::string>{"前回のDaisy図書作成で元に戻せなかったファイルを、Backupフォルダからプロジェクト"
                                       "フォルダに戻しました。\n" + other.string() + "\nSEC000002.sec"});
    EXPECT_EQ(view.m_strProjectFolder.str(), other.string());
    EXPECT_EQ(Book(), book);
    EXPECT_EQ(ReadBytes(other / "SEC000002.sec"), section);
    EXPECT_FALSE(fs::exists(other / "NCC.html"));
    EXPECT_EQ(ReadBytes(other / "Backup" / "A000001.wav"), "the recording before the last build");
    EXPECT_FALSE(fs::exists(other / "Backup" / "Korvane.backup"));
    EXPECT_FALSE(fs::exists(other / "Backup.earlier"));
}

// With the project file itself still in the backup, the project folder holds none to
// choose: the one in the backup stands for its project, whose restore the open finishes.
TEST_F(ProjectSwitch, TheProjectFileLeftInTheBackupOpensItsProject) {
    const BookData book = Book();
    ASSERT_EQ(view.SaveProject(), 0);
    const std::string project = ReadBytes(dir / "Korvane.ncc");
    StrandRestore({"SEC000002.sec", "Korvane.ncc"});
    fs::remove(other / "SEC000002.sec");  // the build had not come to it
    SectionAt(0)->m_strHeading = "別の本";
    const auto texts = Run([&] { view.OnProjectOpen(); }, (other / "Backup" / "Korvane.ncc").string(), {IDOK});
    ASSERT_EQ(texts.size(), 1u);
    EXPECT_NE(texts[0].find("\nKorvane.ncc"), std::string::npos) << texts[0];
    EXPECT_EQ(view.m_strProjectFolder.str(), other.string());
    EXPECT_EQ(view.m_strProjectFile.str(), (other / "Korvane.ncc").string());
    EXPECT_EQ(Book(), book);
    EXPECT_EQ(ReadBytes(other / "Korvane.ncc"), project);
    EXPECT_FALSE(fs::exists(other / "Backup" / "Korvane.ncc"));
}

// A read-only project says so when it opens, once; its saves then change nothing.
TEST_F(ProjectSwitch, AReadOnlyProjectSaysSoOnceAtOpen) {
    ASSERT_EQ(view.SaveProject(), 0);
    for (const auto& [name, bytes] : Folder()) WriteBytes(other / name, bytes);
    fs::permissions(other / "Korvane.ncc", fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                    fs::perm_options::remove);
    const Files files = Folder();
    EXPECT_EQ(Run([&] { view.OnProjectOpen(); }, (other / "Korvane.ncc").string(), {IDOK}),
              std::vector<std::string>{"このプロジェクトの変更は保存できません。\nプロジェクトファイルが読み取り専用です。\n" +
                                       other.string()});
    SectionAt(0)->m_strHeading = "変更";
    EXPECT_EQ(Run([&] { view.OnProjectOpen(); }, dir.string() + "/Korvane.ncc"), std::vector<std::string>{});
    EXPECT_EQ(view.m_strProjectFolder.str(), dir.string());
    EXPECT_EQ(SectionAt(0)->m_strHeading, "一");
}

// The switch-over from the old files to the new is all or nothing: a section file that
// cannot be replaced puts back those already replaced, and a save cut short is settled
// at the next open or save.
TEST_F(ProjectFiles, TheSwitchOverIsAllOrNothing) {
    AddSection("一", 1);
    AddSection("二", 2);
    AddSection("三", 1);
    ASSERT_EQ(view.SaveProject(), 0);
    const Files files = Folder();
    const BookData before = Book();
    fs::permissions(dir / "SEC000002.sec", fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                    fs::perm_options::remove);
    SectionAt(0)->m_strHeading = "新";
    PhraseAt(0, 0)->m_nLength = 5;
    PhraseAt(2, 0)->m_nLength = 7;
    EXPECT_EQ(view.SaveProject(), 1);
    EXPECT_EQ(Folder(), files);
    fs::permissions(dir / "SEC000002.sec", fs::perms::owner_write, fs::perm_options::add);

    // Cut short before the project file was placed: the old files come back.
    WriteBytes(dir / "Korvane.ncc.tmp", "new");
    fs::rename(dir / "SEC000001.sec", dir / "SEC000001.sec.old");
    WriteBytes(dir / "SEC000001.sec", "new");
    WriteBytes(dir / "SEC000003.sec.tmp", "new");
    ASSERT_TRUE(CKorvaneView::RecoverProjectFiles(view.m_strProjectFolder));
    EXPECT_EQ(Folder(), files);
    // Cut short after it was placed: only the leftovers go.
    ASSERT_EQ(view.SaveProject(), 0);
    const Files saved = Folder();
    WriteBytes(dir / "SEC000002.sec.old", "old");
    ASSERT_TRUE(CKorvaneView::RecoverProjectFiles(view.m_strProjectFolder));
    EXPECT_EQ(Folder(), saved);
    Reload();
    EXPECT_NE(Book(), before);
    EXPECT_EQ(SectionAt(0)->m_strHeading, "新");
}

}  // namespace
