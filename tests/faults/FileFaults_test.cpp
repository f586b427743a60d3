// Every file operation of the project save and of the book build failed in turn, once and
// from then on, through the interposer of the C library's file calls. Afterwards (once the
// program has settled what a cut-short save left, as its next open or save does) the
// project folder is as before or the saved or built state is whole: never a mixture, never
// a lost file. A listing that fails is one of those operations.

#include <gtest/gtest.h>

#include <dlfcn.h>
#include <unistd.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "../daisy/DaisyTestSupport.h"
#include "FileCallFaults.h"
#include "UiScriptFaults.h"
#include "platform/CodePage.h"
#include "platform/DialogHost.h"
#include "platform/FileSystem.h"
#include "platform/MessageBox.h"

using namespace daisytest;
namespace fs = std::filesystem;
using Files = std::map<std::string, std::string>;

namespace {

const char kDone[] = "完了しました。";

// The book of the small project: three sections cut from two recordings.
void MakeBook(CKorvaneView& view, const std::string& root) {
    SetUpProject(view, root);
    view.m_bookInfo.m_strTitle = "表とソフト";
    AddClipSection(view, 0, "表紙", "A000001.wav", {10000, 8000});
    AddClipSection(view, 1, "ソフト", "A000001.wav", {12000, 20000}, 18000);
    AddClipSection(view, 2, "表", "A000002.wav", {15000, 15000, 10000});
}

void PutFiles(const std::string& folder, const Files& files) {
    fs::remove_all(folder);
    fs::create_directories(folder);
    for (const auto& [name, bytes] : files) WriteBytes(folder + "/" + name, bytes);
}

// The project in memory-backed storage where there is some: the flushes the save and the
// build make on every run would otherwise wait for a disk a thousand times over.
class ScratchInMemory {
public:
    ScratchInMemory() {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        const std::string base = fs::is_directory("/dev/shm") ? "/dev/shm" : "/tmp";
        m_root = base + "/korvane-faults-" + std::to_string(::getpid()) + "-" + info->name();
        fs::remove_all(m_root);
        fs::create_directories(m_root);
    }
    ~ScratchInMemory() {
        std::error_code ec;
        fs::remove_all(m_root, ec);
    }
    const std::string& Root() const { return m_root; }

private:
    std::string m_root;
};

class FileFaults : public ::testing::Test {
public:
    const std::string& Root() const { return folder.Root(); }
    CFakeListView sectionList{IDC_LIST_SECTION};
    CFakeListView phraseList{IDC_LIST_PHRASE};

protected:
    void TearDown() override {
        filefaults::Disarm();
        SetCurrentFolder("/");
    }
    ScratchInMemory folder;
};

TEST_F(FileFaults, EverySaveOperationFailedInTurnLeavesTheOldProjectOrTheNew) {
    CKorvaneView view;
    MakeBook(view, folder.Root());
    ASSERT_EQ(view.SaveProject(), 0);
    const Files before = FolderFiles(folder.Root());
    // The new book: one section fewer phrases, one section more.
    auto change = [&] {
        view.m_lstSection.RemoveAll();
        MakeBook(view, folder.Root());
        view.m_lstSection.GetAt(1)->m_lstPhrase.RemoveAt(0);
        AddClipSection(view, 1, "付録", "A000002.wav", {1000});
    };
    change();
    filefaults::Arm(filefaults::Mode::Count);
    ASSERT_EQ(view.SaveProject(), 0);
    const long operations = filefaults::Disarm();
    const Files after = FolderFiles(folder.Root());
    ASSERT_NE(after, before);
    ASSERT_GT(operations, 10);

    long tried = 0;
    for (filefaults::Mode mode : {filefaults::Mode::FailOnce, filefaults::Mode::FailFrom}) {
        for (long k = 1; k <= operations; ++k) {
            SCOPED_TRACE(testing::Message() << (mode == filefaults::Mode::FailOnce ? "once " : "from ") << k);
            PutFiles(folder.Root(), before);
            change();
            filefaults::Arm(mode, k);
            const int result = view.SaveProject();
            const std::string call = k <= static_cast<long>(filefaults::Calls().size()) ? filefaults::Calls()[k - 1] : "";
            filefaults::Disarm();
            ++tried;
            ASSERT_TRUE(CKorvaneView::RecoverProjectFiles(view.m_strProjectFolder)) << call;
            const Files now = FolderFiles(folder.Root());
            EXPECT_TRUE(now == before || now == after) << call << ":" << DiffFiles(now, before);
            // A save that says it is done is done.
            if (result == 0) {
                EXPECT_EQ(now, after) << call;
            }
        }
    }
    std::cout << "[ save ] " << operations << " file operations; " << tried << " runs with one failing\n";
}

// Fails every file operation of a build in turn, on the small project as it stands or
// (earlierBuild) on the same project built once already, whose backup then holds the
// recordings as they were before that build.
void FailEveryBuildOperation(FileFaults& test, bool earlierBuild) {
    const std::string root = test.Root();
    const std::string backupDir = root + "/Backup";
    const std::string rec1 = Pattern(60000, 1), rec2 = Pattern(40000, 2);
    std::unique_ptr<CKorvaneView> view;
    Files before, backupBefore;
    std::string bookBefore, bookBuilt;  // the sections as the next open reads them
    std::vector<CString> said;          // the boxes of the last build
    // Runs the build, answering every box; true when it reported the book done.
    auto build = [&] {
        ScopedFaultLog unused;  // how many boxes come depends on where it failed
        CUiScript script;
        script.AnswerBox(IDYES);
        for (int i = 0; i < 6; ++i) script.AnswerBox(IDOK);
        view->OnDaisyBuild();
        said = script.BoxTexts();
        return !said.empty() && said.back() == kDone;
    };
    // Opens the project as the user next would, in a view of its own; the sections it
    // read, or "not opened".
    auto nextOpen = [&] {
        ScopedFaultLog unused;
        CUiScript script;
        script.AnswerFile({CString(root + "/Korvane.ncc")});
        for (int i = 0; i < 3; ++i) script.AnswerBox(IDOK);
        CFakeListView sections{IDC_LIST_SECTION}, phrases{IDC_LIST_PHRASE};
        CKorvaneView next;
        next.AttachLists(&sections, &phrases);
        next.m_bSuppressPlay = 1;
        next.OnProjectOpen();
        SetCurrentFolder("/");
        return next.m_bProjectOpen == 1 ? DescribeBook(next.m_lstSection) : std::string("not opened");
    };
    auto folderFiles = [](const std::string& folder) { return fs::is_directory(folder) ? FolderFiles(folder) : Files{}; };
    auto prepare = [&] {
        PutFiles(root, {});
        WriteWav(root + "/A000001.wav", 22050, rec1);
        WriteWav(root + "/A000002.wav", 22050, rec2);
        WriteBytes(root + "/memo.txt", "not part of the book");
        view = std::make_unique<CKorvaneView>();
        view->AttachLists(&test.sectionList, &test.phraseList);
        MakeBook(*view, root);
        view->m_bSuppressPlay = 1;
        view->RefreshSectionList(0);
        view->m_bSuppressPlay = 0;
        ASSERT_EQ(view->SaveProject(), 0);
        if (earlierBuild) {
            ASSERT_TRUE(build());
        }
        before = FolderFiles(root);
        backupBefore = folderFiles(backupDir);
        bookBefore = DescribeBook(view->m_lstSection);
    };
    // Every file the project held before is there, as it was, in the project folder or
    // (when a roll-back could not finish) in the backup; every file of the backup of the
    // build before is in the backup or in the folder it was kept aside in.
    // Right after a failed build a project file may still wait under its ".old" name in
    // the backup, where the save into the backup was cut short; the next build settles it.
    auto nothingLost = [&](const std::string& what, bool settled) {
        const Files project = FolderFiles(root);
        const Files backup = folderFiles(backupDir);
        auto holds = [](const Files& files, const std::string& name, const std::string& bytes) {
            auto it = files.find(name);
            return it != files.end() && it->second == bytes;
        };
        for (const auto& [name, bytes] : before) {
            EXPECT_TRUE(holds(project, name, bytes) || holds(backup, name, bytes) ||
                        (!settled && holds(backup, name + ".old", bytes)))
                << what << ": " << name;
        }
        const Files earlier = folderFiles(root + "/" + kBackupEarlierFolder);
        const Files discard = folderFiles(root + "/" + kBackupDiscardFolder);
        for (const auto& [name, bytes] : backupBefore)
            EXPECT_TRUE(holds(backup, name, bytes) || holds(earlier, name, bytes) || holds(discard, name, bytes))
                << what << ": Backup/" << name;
    };
    // The whole folder as it was, the backup included.
    auto asItWas = [&](const std::string& what) {
        EXPECT_EQ(DiffFiles(FolderFiles(root), before), "") << what;
        EXPECT_EQ(DiffFiles(folderFiles(backupDir), backupBefore), "") << what;
        EXPECT_FALSE(fs::exists(root + "/" + kBackupEarlierFolder)) << what;
        EXPECT_FALSE(fs::exists(root + "/" + kBackupDiscardFolder)) << what;
    };
    // The leftovers a cut-short save leaves in the backup are no loss; the next build's
    // backup deals with them. The mark is gone: with it the next open would take the book
    // apart again.
    auto builtWhole = [&](const std::string& what) {
        Files backup = FolderFiles(backupDir);
        std::erase_if(backup, [](const auto& e) {
            return e.first.ends_with(".old") || e.first.ends_with(".none") || e.first.ends_with(".tmp");
        });
        EXPECT_EQ(DiffFiles(backup, before), "") << what;
        for (const char* name : {"A000001.wav", "A000002.wav", "A000003.wav", "NCC.html", "DiscInfo.html",
                                 "A000001.smil", "A000002.smil", "A000003.smil", "Korvane.ncc"})
            EXPECT_TRUE(fs::exists(root + "/" + name)) << what << ": " << name;
        EXPECT_EQ(CheckBookLinks(root), std::vector<std::string>{}) << what;
    };

    prepare();
    // The operation from which on the book stands but for its last steps: setting the
    // earlier backup aside, removing the mark, discarding the earlier backup.
    long stands = 0;
    filefaults::Arm(filefaults::Mode::Count);
    {
        ScopedFault hook([&](EBookFileStep step, const CString&) {
            if ((step == EBookFileStep::BackupDiscard || step == EBookFileStep::BackupRelease) && !stands)
                stands = static_cast<long>(filefaults::Calls().size()) + 1;
            return false;
        });
        ASSERT_TRUE(build());
    }
    const long operations = filefaults::Disarm();
    builtWhole("no fault");
    bookBuilt = DescribeBook(view->m_lstSection);
    EXPECT_EQ(nextOpen(), bookBuilt);
    ASSERT_GT(operations, 50);
    ASSERT_GT(stands, 0);
    ASSERT_LE(stands, operations);

    long tried = 0, failedBuilds = 0, settledAtOpen = 0, leftForTheUser = 0;
    for (filefaults::Mode mode : {filefaults::Mode::FailOnce, filefaults::Mode::FailFrom}) {
        for (long k = 1; k <= operations; ++k) {
            const std::string what =
                std::string(mode == filefaults::Mode::FailOnce ? "once " : "from ") + std::to_string(k);
            prepare();
            filefaults::Arm(mode, k);
            const bool done = build();
            const std::string call = k <= static_cast<long>(filefaults::Calls().size()) ? filefaults::Calls()[k - 1] : "";
            filefaults::Disarm();
            ++tried;
            const std::string where = what + " (" + call + ")";
            // What the build said is what the next open reads: the book it built ...
            if (done) {
                builtWhole(where);
                EXPECT_EQ(nextOpen(), bookBuilt) << where;
                builtWhole(where + ", opened");
                EXPECT_FALSE(fs::exists(root + "/" + kBackupDiscardFolder)) << where;
                EXPECT_FALSE(fs::exists(root + "/" + kBackupEarlierFolder)) << where;
                continue;
            }
            ++failedBuilds;
            nothingLost(where, false);
            // ... or the project as it was, with the file that stopped the book named.
            if (k >= stands) {
                bool named = false;
                for (const CString& text : said) named = named || text.str().find(root + "/") != std::string::npos;
                EXPECT_TRUE(named) << where << ": " << (said.empty() ? std::string() : said.back().str());
            }
            // A roll-back that finished leaves the folder exactly as it was.
            const bool settled = !IsBackupPending(CString(backupDir + "/")) &&
                                 !fs::exists(root + "/" + kBackupEarlierFolder) &&
                                 !fs::exists(root + "/" + kBackupDiscardFolder);
            if (settled) asItWas(where);
            // What the disk kept from finishing, the next open finishes; the folder is then
            // as it was, or the open says why not, changes nothing and reads nothing.
            const std::string opened = nextOpen();
            const bool settledNow = !IsBackupPending(CString(backupDir + "/")) &&
                                    !fs::exists(root + "/" + kBackupEarlierFolder) &&
                                    !fs::exists(root + "/" + kBackupDiscardFolder);
            if (settledNow) {
                if (!settled) ++settledAtOpen;
                asItWas(where + ", opened");
                EXPECT_EQ(opened, bookBefore) << where;
            } else {
                ++leftForTheUser;
                nothingLost(where + ", not settled", true);
                EXPECT_EQ(opened, "not opened") << where;
            }
            // The next build, without faults, builds or refuses; it loses nothing either.
            // (A failed first build gave the book an identifier; a built book has its own.)
            if (!earlierBuild) view->m_bookInfo.m_strDiscrimination.Empty();
            if (build()) builtWhole(where + ", second build");
            else nothingLost(where + ", second build", true);
        }
    }
    std::cout << "[ build" << (earlierBuild ? " again" : "") << " ] " << operations << " file operations; " << tried
              << " runs with one failing, " << failedBuilds << " of them failed builds, " << settledAtOpen
              << " settled by the next open, " << leftForTheUser << " left for the user to settle\n";
}

TEST_F(FileFaults, EveryBuildOperationFailedInTurnLosesNoRecording) { FailEveryBuildOperation(*this, false); }

// The backup of the build before is the last copy of the recordings as they were: a build
// that does not finish leaves it as it was.
TEST_F(FileFaults, EveryOperationOfASecondBuildFailedInTurnKeepsTheBackupOfTheFirst) {
    FailEveryBuildOperation(*this, true);
}

// A project folder that cannot be listed is no empty one: the build stops before it
// moves anything, and says which folder. Nor is one whose listing fails part-way the
// whole book: the disc image plug-in makes no image of what it listed so far.
TEST_F(FileFaults, AFolderListingThatFailsStopsTheBuildAndTheDiscImage) {
    const std::string root = folder.Root();
    WriteWav(root + "/A000001.wav", 22050, Pattern(60000, 1));
    WriteWav(root + "/A000002.wav", 22050, Pattern(40000, 2));
    CKorvaneView view;
    view.AttachLists(&sectionList, &phraseList);
    MakeBook(view, root);
    view.m_bSuppressPlay = 1;
    view.RefreshSectionList(0);
    view.m_bSuppressPlay = 0;
    ASSERT_EQ(view.SaveProject(), 0);
    const Files before = FolderFiles(root);
    auto build = [&] {
        CUiScript script;
        script.AnswerBox(IDYES).AnswerBox(IDOK);
        view.OnDaisyBuild();
        return script.BoxTexts();
    };
    // The first listing of the build is the project folder's (the backup is a fresh folder).
    filefaults::Arm(filefaults::Mode::Count);
    build();
    filefaults::Disarm();
    const std::vector<std::string> calls = filefaults::Calls();
    PutFiles(root, before);
    view.m_lstSection.RemoveAll();  // the book as it was, on its recordings
    MakeBook(view, root);
    long first = 0;
    for (size_t i = 0; i < calls.size() && !first; ++i)
        if (calls[i] == "opendir") first = static_cast<long>(i) + 1;
    ASSERT_GT(first, 0);
    filefaults::Arm(filefaults::Mode::FailOnce, first);
    const std::vector<CString> boxes = build();
    filefaults::Disarm();
    EXPECT_EQ(boxes, (std::vector<CString>{"Daisy図書を生成しますか？", CString("フォルダの内容が読み取れません。\n" + root)}));
    EXPECT_EQ(DiffFiles(FolderFiles(root), before), "");
    EXPECT_FALSE(fs::exists(root + "/Backup"));

    if (::system("command -v xorriso >/dev/null 2>&1") != 0) GTEST_SKIP() << "xorriso is not installed";
    void* plugin = ::dlopen((std::string(KORVANE_BUILD_DIR) + "/libkorvane_discwrite.so").c_str(), RTLD_NOW);
    ASSERT_NE(plugin, nullptr) << ::dlerror();
    using MakeImage = int (*)(const char*, const char*, const char*, char*, int);
    auto make = reinterpret_cast<MakeImage>(::dlsym(plugin, "KorvaneDiscWriteMakeImage"));
    ASSERT_NE(make, nullptr);
    const std::string image = root + "-disc.iso";
    char message[512];
    filefaults::Arm(filefaults::Mode::Count);
    ASSERT_EQ(make(root.c_str(), "b", image.c_str(), message, sizeof message), 0) << message;
    filefaults::Disarm();
    fs::remove(image);
    // The listing's last read finds the end; the one before it, the last file.
    std::vector<long> reads;
    for (size_t i = 0; i < filefaults::Calls().size(); ++i)
        if (filefaults::Calls()[i] == "readdir") reads.push_back(static_cast<long>(i) + 1);
    ASSERT_GE(reads.size(), before.size() + 1);
    filefaults::Arm(filefaults::Mode::FailOnce, reads[reads.size() - 2]);
    const int made = make(root.c_str(), "b", image.c_str(), message, sizeof message);
    filefaults::Disarm();
    EXPECT_NE(made, 0);
    EXPECT_EQ(std::string(message), root + Cp932ToUtf8(CString(" の内容が読み取れません。")));
    EXPECT_FALSE(fs::exists(image));
    fs::remove(image);
}

}  // namespace
