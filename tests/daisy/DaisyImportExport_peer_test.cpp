// Imported and exported books against outside tools: the DAISY 2.02 schemas, a real
// book of another producer (its MP3 audio decoded by mpg123), xorriso's view of the disc
// image, du and df.

#include <gtest/gtest.h>

#include <dlfcn.h>

#include <filesystem>
#include <regex>

#include "DaisyTestSupport.h"
#include "app/AppProfile.h"
#include "app/ControlIds.h"
#include "daisy/DiscInfoDlg.h"
#include "platform/DialogHost.h"
#include "platform/FileSystem.h"
#include "platform/FolderSize.h"
#include "platform/MessageBox.h"

using namespace daisytest;
namespace fs = std::filesystem;

namespace {

class BookRoundTrip : public SmallProject {
protected:
    ScratchFolder other{"other"};
};

TEST_F(BookRoundTrip, ExportedBooksInEveryPcmFormatPassTheSchemas) {
    for (int format = 0; format <= 2; ++format) {
        const std::string target = other.Path("Format" + std::to_string(format));
        CUiScript script;
        script.AnswerBox(IDNO);
        view.m_bSuppressPlay = 1;
        ASSERT_EQ(view.ExportDaisyBook(format, CString(target)), 0) << format;
        EXPECT_EQ(CheckBookLinks(target), std::vector<std::string>{}) << format;
        const auto exported = FolderFiles(target);
        // The exported project opens and builds its own book, which passes the schemas
        // as the exported one does.
        CFakeListView sections{IDC_LIST_SECTION}, phrases{IDC_LIST_PHRASE};
        CKorvaneView opened;
        opened.AttachLists(&sections, &phrases);
        SetUpProject(opened, target);
        TheAppProfile().SetProfileFile(opened.m_strProjectFile);
        opened.LoadProject();
        opened.SetProjectFormat(opened.m_nCompression);
        EXPECT_EQ(opened.m_nCompression, format);
        CUiScript build;
        build.AnswerBox(IDYES).AnswerBox(IDOK);
        opened.OnDaisyBuild();
        EXPECT_EQ(build.BoxTexts().back(), "完了しました。") << format;
        EXPECT_EQ(SchemaErrors(target), std::vector<std::string>{}) << format;
        EXPECT_EQ(exported.count("NCC.html"), 1u);
    }
    SetCurrentFolder("/");
}

TEST_F(BookRoundTrip, ABookOfSixLevelsAndEveryPageKindIsValidAndComesBack) {
    for (int level = 3; level <= 5; ++level)
        AddClipSection(view, level, "深い見出し", "A000002.wav", {4410, 4410}, 4410 * level);
    const uint32_t kinds[] = {2, 3, 4};
    for (int i = 0; i < 3; ++i) {
        CPhraseInformation* p = view.m_lstSection.GetAt(3 + i)->m_lstPhrase.GetAt(1);
        p->m_nPageKind = kinds[i];
        p->m_strPageText = CString::Formatted("%d", 10 + i);
        p->m_nGroup = 1;
    }
    ASSERT_EQ(Build({IDYES, IDOK}).back(), "完了しました。");
    EXPECT_EQ(SchemaErrors(folder.Root()), std::vector<std::string>{});

    CFakeListView sections{IDC_LIST_SECTION}, phrases{IDC_LIST_PHRASE};
    CKorvaneView target;
    target.AttachLists(&sections, &phrases);
    SetUpProject(target, other.Root());
    CUiScript script;
    script.AnswerBox(IDNO);
    ASSERT_EQ(target.ImportDaisyBook(CString(folder.Path("NCC.html")), 0), 0);
    ASSERT_EQ(target.m_lstSection.GetCount(), view.m_lstSection.GetCount());
    for (int s = 0; s < view.m_lstSection.GetCount(); ++s) {
        EXPECT_EQ(target.m_lstSection.GetAt(s)->m_nLevel, view.m_lstSection.GetAt(s)->m_nLevel);
        EXPECT_EQ(target.m_lstSection.GetAt(s)->m_strHeading, view.m_lstSection.GetAt(s)->m_strHeading);
    }
    for (int i = 0; i < 3; ++i) {
        const CPhraseInformation* p = target.m_lstSection.GetAt(3 + i)->m_lstPhrase.GetAt(1);
        EXPECT_EQ(p->m_nPageKind, kinds[i]);
        EXPECT_EQ(p->m_strPageText, CString::Formatted("%d", 10 + i));
        EXPECT_EQ(p->m_nGroup, 1u);
    }
    SetCurrentFolder("/");
}

TEST_F(BookRoundTrip, AnImportedShiftJisBookBuildsAValidBook) {
    ASSERT_EQ(Build({IDYES, IDOK}).back(), "完了しました。");
    CFakeListView sections{IDC_LIST_SECTION}, phrases{IDC_LIST_PHRASE};
    CKorvaneView target;
    target.AttachLists(&sections, &phrases);
    SetUpProject(target, other.Root());
    {
        CUiScript script;
        script.AnswerBox(IDYES);
        ASSERT_EQ(target.ImportDaisyBook(CString(folder.Path("NCC.html")), 0), 0);
    }
    EXPECT_EQ(target.m_bookInfo.m_strTitle, "表とソフト");
    ASSERT_EQ(target.m_lstSection.GetCount(), 3);
    EXPECT_EQ(target.m_lstSection.GetAt(1)->m_strHeading, "ソフト");
    CUiScript build;
    build.AnswerBox(IDYES).AnswerBox(IDOK);
    target.OnDaisyBuild();
    EXPECT_EQ(build.BoxTexts().back(), "完了しました。");
    EXPECT_EQ(SchemaErrors(other.Root()), std::vector<std::string>{});
    SetCurrentFolder("/");
}

// The real book of another producer: UTF-8, MP3 audio at 22050 Hz, sections whose note
// bodies lie in another section's file, note references that are no page marks.
TEST(RealBook, AUtf8BookOfAnotherProducerImports) {
    if (RunCommand("command -v mpg123") != 0) GTEST_SKIP() << "mpg123 is not installed";
    const std::string shared = std::string(KORVANE_SHARED_DIR) + "/daisy202/books/dontworrybehappy";
    ScratchFolder book("book"), project("project");
    // Until the editor decodes MP3 itself, the book's audio is WAV decoded by mpg123.
    for (const auto& entry : fs::directory_iterator(shared)) {
        const std::string name = entry.path().filename().string();
        if (entry.path().extension() == ".mp3") {
            const std::string wav = book.Path(entry.path().stem().string() + ".wav");
            ASSERT_EQ(RunCommand("mpg123 -q -m -w '" + wav + "' '" + entry.path().string() + "'"), 0) << name;
        } else {
            std::string bytes = ReadBytes(entry.path().string());
            if (entry.path().extension() == ".smil") bytes = std::regex_replace(bytes, std::regex("\\.mp3\""), ".wav\"");
            WriteBytes(book.Path(name), bytes);
        }
    }
    CFakeListView sections{IDC_LIST_SECTION}, phrases{IDC_LIST_PHRASE};
    CKorvaneView view;
    view.AttachLists(&sections, &phrases);
    SetUpProject(view, project.Root());
    CUiScript script;
    script.AnswerBox(IDYES);
    ASSERT_EQ(view.ImportDaisyBook(CString(book.Path("ncc.html")), 0), 0) << script.BoxTexts().back().str();
    EXPECT_EQ(view.m_bookInfo.m_strTitle, "Don't Worry, Be Happy Lyrics");
    EXPECT_EQ(view.m_bookInfo.m_strAuthor, "Bobby McFerrin");
    EXPECT_EQ(view.m_bookInfo.m_strPublishDate, "20070521");
    ASSERT_EQ(view.m_lstSection.GetCount(), 7);
    const int levels[7] = {0, 0, 0, 1, 0, 1, 0};
    for (int s = 0; s < 7; ++s) EXPECT_EQ(view.m_lstSection.GetAt(s)->m_nLevel, levels[s]) << s;
    EXPECT_EQ(view.m_lstSection.GetAt(1)->m_strHeading, "Introductio");
    // Section 2 holds ten clips, one of them the note body from the last section's file:
    // all of them are in its one new file, one after the other.
    const CSectionInformation* intro = view.m_lstSection.GetAt(1);
    ASSERT_EQ(intro->m_lstPhrase.GetCount(), 10);
    uint32_t end = 0;
    for (const auto& phrase : intro->m_lstPhrase) {
        EXPECT_EQ(phrase->m_strFileName, intro->m_lstPhrase.GetAt(0)->m_strFileName);
        EXPECT_EQ(phrase->m_nPageKind, 0u);
        EXPECT_GE(phrase->m_nStart + 4410, end);
        end = phrase->m_nStart + phrase->m_nLength;
    }
    // The note body (clip 5, 1.6 s to 11.2 s of the notes' file) is 9.6 s long.
    EXPECT_EQ(intro->m_lstPhrase.GetAt(4)->m_nLength, 96u * 4410u);
    const std::string data = WavData(project.Path(intro->m_lstPhrase.GetAt(0)->m_strFileName.str()));
    EXPECT_NEAR(static_cast<double>(data.size()), end, 10 * 4410.0);

    CUiScript build;
    build.AnswerBox(IDYES).AnswerBox(IDOK);
    view.OnDaisyBuild();
    EXPECT_EQ(build.BoxTexts().back(), "完了しました。");
    EXPECT_EQ(SchemaErrors(project.Root()), std::vector<std::string>{});
    SetCurrentFolder("/");
}

// The project folder as the user has it after two builds: the book, the project's own
// files, a note and a sub-folder of the user's, and the backup of the recordings. The
// disc holds exactly the files that the disc information counts, nothing below them.
class DiscImage : public SmallProject {};

TEST_F(DiscImage, ThePlugInWritesWhatTheDiscInformationCountsAndNeverTheBackup) {
    if (RunCommand("command -v xorriso") != 0) GTEST_SKIP() << "xorriso is not installed";
    void* plugin = ::dlopen((std::string(KORVANE_BUILD_DIR) + "/libkorvane_discwrite.so").c_str(), RTLD_NOW);
    ASSERT_NE(plugin, nullptr) << ::dlerror();
    using MakeImage = int (*)(const char*, const char*, const char*, char*, int);
    auto make = reinterpret_cast<MakeImage>(::dlsym(plugin, "KorvaneDiscWriteMakeImage"));
    ASSERT_NE(make, nullptr);
    for (int i = 0; i < 2; ++i) ASSERT_EQ(Build({IDYES, IDOK}).back(), "完了しました。");
    SetCurrentFolder("/");
    ASSERT_FALSE(FolderFiles(folder.Path("Backup")).empty());
    const std::map<std::string, std::string> top = FolderFiles(folder.Root());
    // A link to a file elsewhere on this machine is no file of the book: neither counted
    // nor put on the disc, where it would point at nothing or at another machine's file.
    ScratchFolder work("work");
    WriteBytes(work.Path("private.txt"), std::string(7000, 'p'));
    fs::create_symlink(work.Path("private.txt"), folder.Path("link.txt"));
    uint64_t counted = 0;
    ASSERT_TRUE(GetFolderFilesSize(CString(folder.Root()), counted));

    char message[512];
    const std::string image = work.Path("book.iso");
    ASSERT_EQ(make(folder.Root().c_str(), "SoftBook", image.c_str(), message, sizeof message), 0) << message;
    const std::string out = work.Path("disc");
    std::string said;
    ASSERT_EQ(RunCommand("xorriso -osirrox on -indev '" + image + "' -extract / '" + out + "' 2>&1", &said), 0) << said;
    uint64_t onDisc = 0;
    std::vector<std::string> below, links;
    for (const auto& entry : fs::recursive_directory_iterator(out)) {
        if (entry.is_regular_file()) onDisc += entry.file_size();
        if (entry.is_symlink()) links.push_back(entry.path().filename().string());
        if (entry.path().parent_path() != fs::path(out)) below.push_back(entry.path().lexically_relative(out).string());
    }
    EXPECT_EQ(below, std::vector<std::string>{});
    EXPECT_EQ(links, std::vector<std::string>{});
    EXPECT_EQ(DiffFiles(FolderFiles(out), top), "");
    EXPECT_EQ(onDisc, counted);

    // An image inside the book would end up in itself, in its backup too; a missing folder
    // is named.
    for (const char* inside : {"x.iso", "Backup/x.iso"}) {
        EXPECT_NE(make(folder.Root().c_str(), "b", folder.Path(inside).c_str(), message, sizeof message), 0) << inside;
        EXPECT_EQ(std::string(message), Cp932ToUtf8(CString("イメージファイルはDaisy図書のフォルダの外に作成して下さい。")))
            << inside;
        EXPECT_FALSE(fs::exists(folder.Path(inside))) << inside;
    }
    EXPECT_NE(make(work.Path("none").c_str(), "b", image.c_str(), message, sizeof message), 0);
    EXPECT_NE(std::string(message).find("none"), std::string::npos) << message;
}

TEST(DiscInfo, SizesAreDuAndFreeSpaceIsDf) {
    ScratchFolder folder;
    WriteBytes(folder.Path("a.wav"), std::string(123457, 'a'));
    WriteBytes(folder.Path("b.smil"), std::string(999, 'b'));
    fs::create_directories(folder.Path("Backup"));
    WriteBytes(folder.Path("Backup/c.wav"), std::string(5000, 'c'));
    std::string du;
    ASSERT_EQ(RunCommand("find '" + folder.Root() + "' -maxdepth 1 -type f -print0 | du -bc --files0-from=- | tail -1", &du),
              0);
    uint64_t bytes = 0;
    ASSERT_TRUE(GetFolderFilesSize(CString(folder.Root()), bytes));
    EXPECT_EQ(bytes, std::stoull(du));

    std::string df;
    ASSERT_EQ(RunCommand("df -B1 --output=avail '" + folder.Root() + "' | tail -1", &df), 0);
    uint64_t freeBytes = 0;
    ASSERT_TRUE(GetFreeBytes(CString(folder.Root()), freeBytes));
    // Other programs write meanwhile; a block or two may come and go.
    EXPECT_NEAR(static_cast<double>(freeBytes), static_cast<double>(std::stoull(df)), 64.0 * 1024 * 1024);
}

}  // namespace
