#pragma once
// Helpers of the WAV, conversion and import tests: a scratch folder, WAV files built byte
// by byte (so that odd layouts can be made), recordings of tones and silences, tone
// measurement, and a host that records what the copy and the conversion show.

#include <cstdint>
#include <string>
#include <vector>

#include "audio/WaveTaskHost.h"
#include "platform/CString.h"

namespace wavetest {

// A fresh folder in /tmp (an ASCII path, the same in CP932 and UTF-8), removed with the object.
class ScratchFolder {
public:
    ScratchFolder();
    ~ScratchFolder();
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;
    std::string Path(const std::string& name) const { return m_root + "/" + name; }
    CString CPath(const std::string& name) const { return CString(Path(name)); }

private:
    std::string m_root;
};

std::string Le16(uint32_t v);
std::string Le32(uint32_t v);
// One chunk with its pad byte; a `size` of -1 means the data's length.
std::string Chunk(const std::string& id, const std::string& data, int64_t size = -1);
// The 16 leading bytes of a format record, with the derived fields given explicitly.
std::string FmtRecord(uint16_t tag, uint16_t channels, uint32_t rate, uint32_t bytesPerSecond, uint16_t blockAlign,
                      uint16_t bits);
std::string PcmFmt(uint16_t channels, uint32_t rate, uint16_t bits);  // a consistent PCM record
// "RIFF" + size + "WAVE" around `body`; `size` -1 means the body's length + 4.
std::string RiffWave(const std::string& body, int64_t size = -1);
// A "fmt " chunk of `fmt`, then a "data" chunk of `data`, in a RIFF form.
std::string WaveBytes(const std::string& fmt, const std::string& data);

std::string SamplesToBytes(const std::vector<int16_t>& samples);
std::vector<int16_t> BytesToSamples(const std::string& bytes);
void WriteBytes(const std::string& path, const std::string& bytes);
std::string ReadBytes(const std::string& path);

// A canonical 16-bit PCM WAV file.
void WriteWav(const std::string& path, uint32_t rate, uint16_t channels, const std::vector<int16_t>& samples);
// The samples of a canonical file written by the code under test (header 44 bytes,
// checked), or an empty vector with a test failure.
std::vector<int16_t> ReadCanonicalWav(const std::string& path, uint32_t& rate);

// Samples that differ from their neighbours and from seed to seed, so that a byte out of place shows.
std::vector<int16_t> Noise16(size_t count, uint32_t seed = 1);
// Runs of 100 ms blocks: "S5 Q3 +700" is five blocks of a 1 kHz tone at half scale (-6 dB),
// three blocks of digital silence and 700 samples of the tone (a block cut short).
std::vector<int16_t> Blocks(uint32_t rate, const std::string& script);

// A sine at `frequency` Hz of `amplitude` (full scale 1.0), as doubles and as PCM.
std::vector<double> Tone(double frequency, double rate, long count, double amplitude);
std::vector<int16_t> TonePcm(double frequency, double rate, long count, double amplitude);
// Amplitude (full scale 1.0) of the component at `frequency`, fitted over [first, first+count).
double ToneAmplitude(const std::vector<double>& values, double frequency, double rate, long first, long count);
double ToneAmplitude(const std::vector<int16_t>& samples, double frequency, double rate, long first, long count);
double Rms(const std::vector<double>& values, long first, long count);
// Signal-to-noise ratio in dB of `samples` against the best-fitting sine at `frequency`.
double SnrAgainstTone(const std::vector<int16_t>& samples, double frequency, double rate, long first, long count);

// Runs `command` through the shell, its standard output into `output`; true when it exits with 0.
bool RunCommand(const std::string& command, std::string& output);
bool HaveTool(const std::string& name);
// soxi's answer to `option` on `path`, without its line end.
std::string Soxi(const std::string& option, const std::string& path);
// The samples sox decodes from `path` as 16-bit mono.
std::vector<int16_t> SoxDecode(const std::string& path);

// Records messages and progress; answers questions and cancel checks from a script.
class RecordingHost : public CWaveTaskHost {
public:
    void ShowError(const CString& message) override { errors.push_back(message); }
    bool AskYesNo(const CString& question) override {
        questions.push_back(question);
        return answerYes;
    }
    void BeginProgress(const CString& c, const CString& t, int r) override {
        ++begun;
        caption = c, text = t, range = r;
    }
    void SetProgress(int position) override { positions.push_back(position); }
    bool CheckCancel() override { return cancelAfter >= 0 && static_cast<int>(positions.size()) > cancelAfter; }
    void EndProgress() override { ++ended; }

    std::vector<CString> errors, questions;
    std::vector<int> positions;
    CString caption, text;
    int range = -1, begun = 0, ended = 0;
    bool answerYes = true;
    int cancelAfter = -1;  // cancel is pressed once this many positions were set
};

}  // namespace wavetest
