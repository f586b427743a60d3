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

TEST(AlsaMixer, RefusesEverythingWhileNotOpen) {
    CAlsaMixer mixer;
    uint32_t value = 12345;
    EXPECT_FALSE(mixer.GetVolume(value));
    EXPECT_EQ(value, 12345u);
    EXPECT_FALSE(mixer.SetVolume(30000));
    EXPECT_FALSE(mixer.Unmute());
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
        const bool opened = mixer.Open();
        uint32_t value = 777;
        const bool got = mixer.GetVolume(value);
        const bool set = mixer.SetVolume(1000);
        const bool unmuted = mixer.Unmute();
        std::filesystem::remove_all(home);
        fprintf(stderr, "open %d get %d set %d unmute %d value %u\n", opened, got, set, unmuted, value);
        _exit(!opened && !got && !set && !unmuted && value == 777 ? 0 : 1);
    };
    EXPECT_EXIT(probe(), ::testing::ExitedWithCode(0), "");
}

TEST(AlsaMixer, FactoryGivesWhatATestInstalledAndAlsaOtherwise) {
    struct Fake : IMixer {
        bool Open() override { return true; }
        void Close() override {}
        bool GetVolume(uint32_t& v) override { v = 42; return true; }
        bool SetVolume(uint32_t) override { return true; }
        bool Unmute() override { return true; }
    };
    SetMixerFactory([] { return std::make_unique<Fake>(); });
    std::unique_ptr<IMixer> fake = CreateMixer();
    EXPECT_NE(dynamic_cast<Fake*>(fake.get()), nullptr);
    SetMixerFactory({});
    std::unique_ptr<IMixer> alsa = CreateMixer();
    EXPECT_NE(dynamic_cast<CAlsaMixer*>(alsa.get()), nullptr);
}

}  // namespace
