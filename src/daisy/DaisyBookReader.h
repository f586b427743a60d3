#pragma once
// Reads a DAISY 2.02 book for the import: the NCC's bibliographic record and headings,
// and for each heading the clips of the SMIL file it links to, as section and phrase
// records whose starts and lengths are bytes of the clips' own audio files. Page and
// group marks of the NCC become the page kinds and group flags of the phrases they
// point at. Every failure is shown in a message before the reader returns.

#include <cstdint>

#include "app/BookInfo.h"
#include "app/RecordList.h"
#include "app/SectionInformation.h"
#include "platform/CString.h"
#include "platform/MarkupDocument.h"

class CDaisyBookReader {
public:
    CDaisyBookReader();
    ~CDaisyBookReader();

    // 0 read, 1 failed in the body walk, 2 cancelled by the user, 41 the NCC could not be
    // read, 43 it is not a document we can read (unknown encoding, no text, cut short), 44
    // book information not read. The sections read so far stay in `sections` on any result;
    // the caller owns them.
    int LoadNcc(CString nccPath, BookInfo* info, CRecordList<CSectionInformation>* sections, int autoPage);
    bool ReadBookInfo(const CMarkupDocument& ncc, BookInfo* info);
    int ReadNccBody(const CMarkupDocument& ncc, CRecordList<CSectionInformation>* sections, int autoPage);

    // Loads the SMIL file `name` (relative to the book folder) into `smil`, through a
    // repaired copy when the parser refuses the file as it is. False after a message.
    bool LoadSmil(const CString& name, CMarkupDocument& smil);
    // One phrase per <audio> element. 0 done, 1 failed without a message of its own
    // (the caller names the step), 3 failed after naming the file that is at fault.
    int GetPhraseInformation(const CMarkupDocument& smil, const CString& smilName,
                             CRecordList<CPhraseInformation>* phrases);
    // The 1-based number of the phrase that the NCC mark `id` starts.
    bool GetTargetPhrase(const CString& id, const CMarkupDocument& smil, int* phrase);

    static uint32_t GetWavBytesPerSecond(const CString& path);
    static uint32_t GetMp3BytesPerSecond(const CString& path);
    // The decoded size of an MP3 file's whole frames, in bytes of 16-bit samples, and the
    // size of its largest frame in the same bytes. False when the file cannot be read.
    static bool GetMp3AudioBytes(const CString& path, uint64_t* audioBytes, uint32_t* frameBytes);
    // A clip time ("npt=12.345s") as a byte offset at `bytesPerSecond`, kept to tenths of a
    // second. False when the value is not a time or its offset does not fit 32 bits.
    static bool ClipTimeToBytes(const CString& value, uint32_t bytesPerSecond, uint32_t* bytes);

    CString m_strBookFolder;     // ends with "/"
    CString m_strProjectFolder;  // where the repaired copy of a SMIL file is written

private:
    // The path of the book's file `name`, linked from the book's file `linkedFrom`; false
    // after a message when the link leads out of the book's folder.
    bool ResolveBookFile(const CString& name, const CString& linkedFrom, CString* path) const;
    void DeleteTempSmil();
    bool m_bTempSmil = false;
    CString m_strNccName;  // the NCC's file name, for messages
    // The MP3 file measured last, which the next clips mostly name again.
    CString m_strMeasuredMp3;
    uint64_t m_nMp3AudioBytes = 0;
    uint32_t m_nMp3FrameBytes = 0;
};

// The repaired copy of a refused SMIL file, in the project folder.
inline constexpr const char* kTempSmilName = "TempSmil.smil";
