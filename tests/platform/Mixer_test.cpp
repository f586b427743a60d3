// The output volume mixer where there is none: every operation fails cleanly, which is
// the path the view takes on a machine without a sound card.

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include <unistd.h>

#include "platform/Mixer.h"

namespace {

// Every operation fails and leaves the value alone.
bool FailsEverything(IMixer& mixer) {
    uint32_t value = 777;
    return !mixer.GetVolume(value) && !mixer.SetVolume(1000) && !mixer.Unmute() && value == 777;
}

TEST(AlsaMixer, RefusesEverythingWhileNotOpen) {
    CAlsaMixer mixer;
    EXPECT_TRUE(FailsEverything(mixer));
    mixer.Close();
    mixer.Close();
}

// A machine whose default control device does not exist, in a fresh process: ALSA
// reads its configuration once per process.
TEST(AlsaMixer, MachineWithoutMixerFailsEveryOperation) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    auto probe = [] {
        char home[] = "/tmp/korvane-nomixer-XXXXXX";
        if (!mkdtemp(home)) _exit(3);
        std::ofstream(std::string(home) + "/.asoundrc") << "ctl.!default {\n  type hw\n  card 31\n}\n";
        setenv("HOME", home, 1);
        CAlsaMixer mixer;
        const bool ok = !mixer.Open() && FailsEverything(mixer);
        std::filesystem::remove_all(home);
        _exit(ok ? 0 : 1);
    };
    EXPECT_EXIT(probe(), ::testing::ExitedWithCode(0), "");
}

}  // namespace
