// The build on a real, small file system (1 MiB of memory-backed storage) filled to every
// level in steps: whatever room is left, no recording is lost, neither by the build nor by
// the build after it. Mounting needs the right to mount; without it the test is skipped.

#include <gtest/gtest.h>

#include <sys/mount.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "../daisy/DaisyTestSupport.h"
#include "UiScriptFaults.h"
#include "platform/DialogHost.h"
#include "platform/FileSystem.h"
#include "platform/MessageBox.h"

using namespace daisytest;
namespace fs = std::filesystem;
using Files = std::map<std::string, std::string>;

namespace {

class SmallDisk : public ::testing::Test {
protected:
    void SetUp() override {
        m_mount = "/tmp/korvane-smalldisk-" + std::to_string(::getpid());
        fs::create_directories(m_mount);
        if (::mount("tmpfs", m_mount.c_str(), "tmpfs", 0, "size=1m,mode=0755") != 0) {
            fs::remove(m_mount);
            GTEST_SKIP() << "cannot mount a small file system here (" << std::strerror(errno)
                         << "); the build on a full disk is not checked";
        }
        m_mounted = true;
    }
    void TearDown() override {
        SetCurrentFolder("/");
        if (m_mounted) ::umount(m_mount.c_str());
        std::error_code ec;
        fs::remove_all(m_mount, ec);
    }
    uint64_t FreeBytes() const {
        struct statvfs v;
        ::statvfs(m_mount.c_str(), &v);
        return static_cast<uint64_t>(v.f_bavail) * v.f_frsize;
    }
    std::string m_mount;
    bool m_mounted = false;
};

TEST_F(SmallDisk, NoRecordingIsLostWhateverRoomIsLeft) {
    const std::string root = m_mount + "/Book";
    const std::string filler = m_mount + "/filler";
    const std::string rec1 = Pattern(60000, 1), rec2 = Pattern(40000, 2);
    CFakeListView sectionList{IDC_LIST_SECTION}, phraseList{IDC_LIST_PHRASE};
    int levels = 0, built = 0;
    for (uint64_t room = 0; room <= 160 * 1024; room += 4096) {
        SCOPED_TRACE(room);
        std::error_code ec;
        fs::remove_all(root, ec);
        fs::remove(filler, ec);
        fs::create_directories(root);
        WriteWav(root + "/A000001.wav", 22050, rec1);
        WriteWav(root + "/A000002.wav", 22050, rec2);
        WriteBytes(root + "/memo.txt", "not part of the book");
        CKorvaneView view;
        view.AttachLists(&sectionList, &phraseList);
        SetUpProject(view, root);
        view.m_bookInfo.m_strTitle = "表とソフト";
        AddClipSection(view, 0, "表紙", "A000001.wav", {10000, 8000});
        AddClipSection(view, 1, "ソフト", "A000001.wav", {12000, 20000}, 18000);
        AddClipSection(view, 2, "表", "A000002.wav", {15000, 15000, 10000});
        view.m_bSuppressPlay = 1;
        view.RefreshSectionList(0);
        view.m_bSuppressPlay = 0;
        ASSERT_EQ(view.SaveProject(), 0);
        Files before = FolderFiles(root);
        // Fill the disk up to the room this level leaves.
        const uint64_t free = FreeBytes();
        if (free > room) WriteBytes(filler, std::string(free - room, 'f'));
        ++levels;

        auto build = [&] {
            ScopedFaultLog unused;
            CUiScript script;
            script.AnswerBox(IDYES);
            for (int i = 0; i < 6; ++i) script.AnswerBox(IDOK);
            view.OnDaisyBuild();
            const std::vector<CString> texts = script.BoxTexts();
            return !texts.empty() && texts.back() == "完了しました。";
        };
        auto nothingLost = [&](const char* when) {
            const Files project = FolderFiles(root);
            const Files backup = fs::exists(root + "/Backup") ? FolderFiles(root + "/Backup") : Files{};
            for (const auto& [name, bytes] : before) {
                auto p = project.find(name), b = backup.find(name);
                EXPECT_TRUE((p != project.end() && p->second == bytes) || (b != backup.end() && b->second == bytes))
                    << when << ": " << name;
            }
        };
        const bool first = build();
        nothingLost("first build");
        if (!first && !IsBackupPending(CString(root + "/Backup/"))) {
            EXPECT_EQ(DiffFiles(FolderFiles(root), before), "") << "a finished roll-back";
        }
        // After a finished build its section files are the book's recordings, and the
        // next backup takes their place in the backup folder.
        if (first) {
            ++built;
            before = FolderFiles(root);
        }
        if (!first) view.m_bookInfo.m_strDiscrimination.Empty();  // a failed build's identifier
        build();
        nothingLost("second build");
    }
    std::cout << "[ small disk ] " << levels << " levels of free room, " << built << " builds done\n";
    EXPECT_GT(built, 0);
    EXPECT_LT(built, levels);
}

}  // namespace
