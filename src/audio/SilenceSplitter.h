#pragma once
// Cutting a recording into phrases and sections where it is silent, as it is imported.
//
// The recording is judged in blocks of 100 ms of 16-bit mono PCM at the rate it is
// written in. A block is silent when its peak lies below the threshold; a run of silent
// blocks at least as long as the phrase pause ends a phrase at the next sound, and a
// run at least as long as the section pause starts a new section there. All positions
// are byte offsets into the PCM stream that the project file holds.
//
// Nothing here touches a window: the splitter works on the book's section list, so that
// the rules can be checked on sample arrays.

#include <cstddef>
#include <cstdint>
#include <memory>

#include "app/RecordList.h"
#include "app/SectionInformation.h"
#include "platform/CString.h"

// Results of the import routines beyond those of the WAV routines. The values 0, 2, 5,
// 8, 10, 11 and 29 are what the callers have always tested; the last two are ours.
enum : int {
    kImportOk = 0,
    kImportCancelled = 2,
    kImportCannotOpen = 5,       // a file cannot be opened or written
    kImportBadFile = 8,          // header unreadable, or a format we cannot take
    kImportReadError = 10,       // nothing recorded, or reading the source failed
    kImportNoPath = 11,
    kImportNoMemory = 29,
    kImportBookFull = 30,        // the book cannot take another section (message shown)
    kImportNumbersUsedUp = 31,   // every audio file number up to the limit is taken (no message)
};

// Project audio files are numbered "A%06d" by the running import count up to this.
inline constexpr int kMaxImportNumber = 99999;

// Level of a block in whole dB, truncated toward zero; -96 for a block without signal.
inline constexpr int kSilentBlockDb = -96;
int BlockLevelDb(const int16_t* samples, size_t count);

// Minimum silences, in blocks, from the settings: PhrasePause 0..10 gives 2..10, 15 or
// 20 blocks; SectionPause n gives 10 x n blocks, 0 meaning never.
int PhrasePauseBlocks(int phrasePause);
int SectionPauseBlocks(int sectionPause);

struct CSplitSettings {
    int phrasePauseBlocks = 4;
    int sectionPauseBlocks = 0;  // 0: no section breaks
    int silenceDb = -35;         // a block below this is silent; one at it is sound
};
CSplitSettings MakeSplitSettings(int phrasePause, int sectionPause, int silenceDb);

class CSilenceSplitter {
public:
    // `bytesPerSecond` is that of the written stream (rate x 2); `fileName` goes into every
    // phrase, `nameText` into the comment of every section that receives phrases.
    CSilenceSplitter(CRecordList<CSectionInformation>& book, const CSplitSettings& settings, uint32_t bytesPerSecond,
                     const CString& fileName, const CString& nameText);
    ~CSilenceSplitter();
    CSilenceSplitter(const CSilenceSplitter&) = delete;
    CSilenceSplitter& operator=(const CSilenceSplitter&) = delete;

    // Chooses the section the recording begins in from row `index`: that section when it
    // holds no phrase; a new one right after it when it holds phrases; a new one at the
    // end when there is no such row. Nothing enters the book before the first phrase does.
    // False when a new section is needed and the book is full.
    bool Begin(int index);

    // The stream begins with `samples` that are no part of the recording (the encoder's
    // delay in front of an MP3 file's decoded audio): they are not judged, so the blocks
    // fall as they fall in the recording, yet every position counts them, and a phrase that
    // begins with the recording begins at the stream's start. Called before the first Feed.
    void SetLeadIn(size_t samples);

    // Judges the samples that follow those fed before. Whole blocks are judged at once;
    // the rest waits for the next call or for Finish. False once the book's limits stop
    // the cutting (a section would have to be added to a full book); later calls do
    // nothing. A section that reaches the phrase limit is closed and the next phrase
    // begins a new section, as after a section pause.
    bool Feed(const int16_t* samples, size_t count);

    // Ends the recording: judges a last short block, closes the open phrase and leaves
    // the last section in the book when it holds a phrase (a section made here that got
    // none is dropped; a reused one stays as it was). Normally the last phrase runs to the
    // end of what was written, in whole blocks; after a cancel, or when the limits stopped
    // the cutting, it ends one block before the position reached, because the audio after
    // that was never judged. `bytesWritten` is what the project file holds.
    void Finish(bool cancelled, uint64_t bytesWritten);

    // Row of the last section that holds this recording's phrases, or the row given to
    // Begin when none does: the next recording continues right after it.
    int GetCurrentIndex() const { return m_nIndex; }
    // Row of the first section that received phrases, -1 when none did.
    int GetFirstRow() const { return m_nFirstRow; }
    bool IsStopped() const { return m_bStopped; }
    uint32_t GetBlockBytes() const { return m_nBlockBytes; }
    // Byte position of the next block to judge.
    uint64_t GetPosition() const { return m_nPosition; }

private:
    bool JudgeBlock(const int16_t* samples, size_t count);
    // Puts the current section into the book (when it was made here) and moves on to the
    // one after it; false when that would need a section beyond the book's limit.
    bool BreakSection();
    void PutCurrentIntoBook();
    void ClosePhrase(uint64_t length);
    void AppendPhrase(uint64_t start);

    CRecordList<CSectionInformation>& m_book;
    CSplitSettings m_settings;
    uint32_t m_nBytesPerSecond;
    uint32_t m_nBlockBytes;
    size_t m_nBlockSamples;
    CString m_strFileName;
    CString m_strNameText;

    CSectionInformation* m_pCurrent = nullptr;
    std::unique_ptr<CSectionInformation> m_pOwned;  // the current section while it is not in the book
    int m_nRow = 0;                                 // its row (or the row it will take)
    bool m_bBroken = false;                         // a section break happened

    CPhraseInformation* m_pOpen = nullptr;
    CSectionInformation* m_pOpenSection = nullptr;
    uint64_t m_nRun = 0;  // silent blocks in a row
    uint64_t m_nPosition = 0;
    uint64_t m_nOrigin = 0;  // byte position of the recording's first block
    size_t m_nSkip = 0;      // lead-in samples still to pass over
    bool m_bStopped = false;
    bool m_bFinished = false;
    int m_nIndex = -1;
    int m_nFirstRow = -1;

    std::unique_ptr<int16_t[]> m_pending;  // the start of a block that is not complete yet
    size_t m_nPending = 0;
};
