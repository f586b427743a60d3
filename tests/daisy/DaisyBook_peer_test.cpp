// The books against outside tools: the DAISY 2.02 schemas (jing), sox's idea of the
// audio's length, and a DAISY player.

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <regex>
#include <sstream>

#include "DaisyTestSupport.h"
#include "platform/MessageBox.h"

using namespace daisytest;

namespace {

TEST(DaisyBookPeer, GoldenBookPassesTheSchemas) {
    EXPECT_EQ(SchemaErrors(DataPath("daisy/golden")), std::vector<std::string>{});
}

TEST(DaisyBookPeer, TheValidatorRefusesABrokenBook) {
    // A validator that passes everything would make every check of this kind worthless.
    ScratchFolder folder;
    for (const char* name : {"NCC.html", "A000001.smil", "A000002.smil", "A000003.smil"})
        WriteBytes(folder.Path(name), ReadBytes(DataPath(std::string("daisy/golden/") + name)));
    std::string ncc = ReadBytes(folder.Path("NCC.html"));
    ncc.replace(ncc.find("audioNcc"), 8, "audioNCC");
    WriteBytes(folder.Path("NCC.html"), ncc);
    EXPECT_NE(SchemaErrors(folder.Root()), std::vector<std::string>{});
}

// The small project, built.
class BuiltBook : public SmallProject {
protected:
    void SetUp() override {
        SmallProject::SetUp();
        ASSERT_EQ(Build({IDYES, IDOK}).back(), "完了しました。");
    }
};

TEST_F(BuiltBook, PassesTheSchemasAndItsTimesAddUp) {
    EXPECT_EQ(SchemaErrors(folder.Root()), std::vector<std::string>{});
    EXPECT_EQ(CheckBookLinks(folder.Root()), std::vector<std::string>{});

    const std::regex audioRe("<audio src=\"([^\"]+)\" clip-begin=\"npt=([0-9.]+)s\" clip-end=\"npt=([0-9.]+)s\"");
    const std::regex durRe("<seq dur=\"([0-9.]+)s\">");
    double smilTotal = 0;
    for (int n = 1; n <= 3; ++n) {
        const std::string smil = ReadBytes(folder.Path(CString::Formatted("A%06d.smil", n).str()));
        std::smatch m;
        ASSERT_TRUE(std::regex_search(smil, m, durRe));
        smilTotal += std::stod(m[1]);
        for (std::sregex_iterator it(smil.begin(), smil.end(), audioRe), end; it != end; ++it) {
            std::string out;
            ASSERT_EQ(RunCommand("soxi -D '" + folder.Path((*it)[1]) + "'", &out), 0) << out;
            // Clip times are written to the millisecond.
            EXPECT_LE(std::stod((*it)[3]), std::stod(out) + 0.0005) << (*it)[1];
            EXPECT_LT(std::stod((*it)[2]), std::stod((*it)[3]));
        }
    }
    std::smatch total;
    const std::string ncc = ReadBytes(folder.Path("NCC.html"));
    ASSERT_TRUE(std::regex_search(ncc, total, std::regex("ncc:totalTime\" content=\"(\\d+):(\\d+):(\\d+)\"")));
    EXPECT_NEAR(smilTotal, std::stoi(total[1]) * 3600 + std::stoi(total[2]) * 60 + std::stoi(total[3]), 1.0);
    EXPECT_NEAR(smilTotal, 90000 / 44100.0, 0.002);
}

// daisy-player lists the sound cards of /proc/asound before it opens anything; a
// machine without one gets a private /proc that has a card, in a mount namespace of
// its own, and the book plays to ALSA's null device.
TEST_F(BuiltBook, ADaisyPlayerOpensIt) {
    if (RunCommand("command -v daisy-player && command -v tmux && unshare -m true") != 0)
        GTEST_SKIP() << "daisy-player, tmux or mount namespaces are not available";
    ScratchFolder home("home");
    const std::string script = home.Path("with-card.sh");
    WriteBytes(script,
               "#!/bin/sh\nset -e\n"
               "if [ ! -e /proc/asound/cards ]; then\n"
               "  r=\"$HOME/proc\"; mkdir -p \"$r\"; mount -t proc proc \"$r\"; mount -t tmpfs none /proc\n"
               "  for e in \"$r\"/*; do ln -s \"$e\" /proc/\"${e##*/}\"; done\n"
               "  mkdir /proc/asound; printf ' 0 [Null           ]: Null - Null\\n' > /proc/asound/cards\n"
               "fi\nexec \"$@\"\n");
    ::chmod(script.c_str(), 0755);
    const std::string session = "korvane-daisy-" + std::to_string(::getpid());
    const std::string run = "cd / && tmux new-session -d -s " + session + " -x 120 -y 30 \"HOME='" + home.Root() +
                            "' unshare -m '" + script + "' daisy-player '" + folder.Root() +
                            "' -i -n -d null:alsa 2>'" + home.Path("err.txt") + "'; sleep 30\"";
    ASSERT_EQ(RunCommand(run), 0);
    // Wait for the player's list of items, then quit it.
    std::string screen;
    for (int i = 0; i < 100 && screen.find("total length") == std::string::npos; ++i) {
        RunCommand("sleep 0.1");
        RunCommand("tmux capture-pane -p -t " + session, &screen);
    }
    RunCommand("tmux send-keys -t " + session + " q");
    RunCommand("tmux kill-session -t " + session);
    std::cout << screen.substr(0, screen.find_last_not_of(" \n") + 1) << "\n";
    EXPECT_NE(screen.find("level: 1 of 3"), std::string::npos) << screen << ReadBytes(home.Path("err.txt"));
    EXPECT_NE(screen.find("total length: 00:00:02"), std::string::npos) << screen;
}

}  // namespace
