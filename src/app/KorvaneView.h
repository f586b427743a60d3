#pragma once
// The main form. It owns the whole book (sections with their phrases, the
// bibliographic record, undo snapshots, clipboard), both players and the per-user
// settings; the shell, the audio engine and the book production add their members
// in their own source files.

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <wx/brush.h>
#include <wx/font.h>
#include <wx/panel.h>

#include "app/BookInfo.h"
#include "app/RecordList.h"
#include "app/SectionInformation.h"
#include "audio/Mp3PlayOperation.h"
#include "audio/WavePlayOperation.h"
#include "platform/CString.h"
#include "platform/ListView.h"
#include "platform/WaveOut.h"

class wxStaticText;
class wxButton;
class CLMRectStatic;
class CLMScaleStatic;

// What the view's key filter does with a key press (translated virtual-key code).
enum class EViewKeyAction {
    Swallow,       // eaten: reaches neither the accelerators nor the lists
    Pass,          // handled normally, playback goes on
    PlayOrStop,    // Space
    StopThenPass,  // playback stops, then the key is handled normally
};

class CKorvaneView : public wxPanel, public IListViewOwner, public IWaveOutOwner {
public:
    // The form with all its controls.
    explicit CKorvaneView(wxWindow* parent);
    // A view without a window, for running the editor's commands in tests: the lists
    // come from AttachLists and the form's texts are only kept (GetControlText).
    CKorvaneView();
    ~CKorvaneView() override;

    void AttachLists(IListView* sectionList, IListView* phraseList);
    // Text of a label or value field of the form, by control id.
    void SetControlText(int id, const CString& text);
    CString GetControlText(int id) const;
    bool HasWindow() const { return m_bHasWindow; }

    // --- life of the view
    void OnInitialUpdate();
    void LayoutControls(int width, int height);
    void CreateFonts();
    void SetButtonIcons();
    void ResizeMainWindow();
    void EnableButtons();
    void DisableButtons();
    void DeleteAllLists();
    void ApplyListFont();
    // The saves of the view's end. They run on the frame's close, while message boxes
    // can still be shown, rather than during window destruction.
    // False when the project could not be saved and the user chose to stay.
    bool SaveOnClose();
    CString GetExeFolder() const;
    CString GetTitleText() const;
    void UpdateTitle();

    // --- commands
    bool IsCommandEnabled(int id) const;
    bool RunCommand(int id);  // false when the command is unknown or disabled
    int GetCommandCheck(int id) const;  // 1 checked, 0 not, -1 no check mark
    void OnProjectNew();
    void OnProjectOpen();
    void OnHelpContents();
    // Format fields, format text and audio kind from the format index (0..4).
    void SetProjectFormat(int compression);

    // --- key filter; true when the key was consumed
    static EViewKeyAction ClassifyKey(int virtualKey);
    bool PreTranslateKeyDown(int virtualKey);

    // --- settings and column widths (registry)
    void LoadSettings();
    void SaveSettings();
    void LoadColumnWidths();
    void SaveColumnWidths();
    void LoadPrevVersionFolder();
    static const char* GetSpeedLabel(int speedIndex);  // "x0.75" .. "x3.00"; empty outside 1..8

    // --- project files
    int SaveProject();
    int WriteSectionFile(int index);
    int WriteSectionFileTo(int index, const CString& path);
    void LoadProject();
    void ReadSectionFile(int index, CSectionInformation& section);
    CString GetSectionFilePath(int index) const;
    // Saves the open project before another takes its place; false, after a message that
    // names the folder, when the changes could not be saved.
    bool SaveBeforeSwitch();
    // What is damaged in a project's files, one line per file with what is wrong; empty
    // when the files are whole. Reads only.
    static std::vector<CString> FindProjectDamage(const CString& projectFile);
    // Puts back, or finishes, a save of the folder that was cut short; false when a file
    // could not be put right.
    static bool RecoverProjectFiles(const CString& folder);
    // The folder of a project the user was told at open that it cannot be saved; saving
    // it leaves everything as it is.
    CString m_strUnsavableFolder;

    // --- playback
    void OnButtonPlay();
    void OnButtonStop();
    // Stop as the Stop button does, leaving the focus where it is.
    void StopPlayback();
    void OnMoveHead();
    void OnMoveTail();
    void PlayWavePhrase();
    void PlayMp3Phrase();
    void StopWavePlay();
    void StopMp3Play();
    int GetActiveDeviceState() const;
    int GetActivePlayState() const;
    void StopActivePlayer();
    void AfterStart();
    void MoveToNextPhrase();
    // A finished buffer of the device: level meter, refill, and the move to the next
    // phrase at the end of continuous play.
    void OnWaveOutDone(HWAVEOUT device, WAVEHDR* header) override;

    // --- options
    void InitOutputVolume();
    void OnPauseSetting();
    int RunPauseSetDlg();  // 0 after OK, 2 after Cancel
    void OnPlaySpeedUp();
    void OnPlaySpeedDown();
    void OnVolumeUp();
    void OnVolumeDown();
    void OnMp3QualitySpeed();
    void OnMp3QualityStandard();
    void OnMp3QualityHigh();
    void OnListFontLarge();
    void OnListFontStandard();
    void OnListFontSmall();
    void SetListFont(int size);

    // --- lists
    void CreateListColumns();
    void RefreshSectionList(int row);
    void RefreshPhraseList(int row);
    void SelectSection(int row);
    void SelectPhrase(int row);
    static CString GetHeadingIndent(int level, const CString& heading);
    CString OnGetDispInfoSectionList(int item, int column);
    CString OnGetDispInfoPhraseList(int item, int column);
    void OnItemChangedSectionList(int item, unsigned oldState, unsigned newState);
    void OnItemChangedPhraseList(int item, unsigned oldState, unsigned newState);
    void OnClickSectionList();
    void OnDblClkSectionList();
    void OnRClickSectionList();
    void OnRDblClkSectionList();
    void OnSetFocusSectionList();
    void OnClickPhraseList();
    void OnDblClkPhraseList();
    void OnRClickPhraseList();
    void OnRDblClkPhraseList();
    void OnSetFocusPhraseList();
    void OnEditSelectAll();
    void OnButtonBack();
    void OnButtonNext();
    void OnSectionAdd();
    // Plays the selected phrase unless m_bSuppressPlay is raised (defined with playback).
    void PlaySelectedPhrase();
    // --- end of lists

    // Controls, by the ids of the form.
    wxStaticText* m_staticSlash1 = nullptr;        // 1034
    wxStaticText* m_staticSectionLabel = nullptr;  // 1020
    wxStaticText* m_staticVolume = nullptr;        // 1039
    wxStaticText* m_staticVolumeLabel = nullptr;   // 1040
    wxStaticText* m_staticSlash2 = nullptr;        // 1035
    wxStaticText* m_staticPhraseLabel = nullptr;   // 1021
    wxStaticText* m_staticSpeed = nullptr;         // 1037
    wxStaticText* m_staticSpeedLabel = nullptr;    // 1036
    wxStaticText* m_staticFormatLabel = nullptr;   // 1022
    CLMScaleStatic* m_staticLevelScale = nullptr;  // 1018
    CLMRectStatic* m_staticLevelMeter = nullptr;   // 1019
    wxStaticText* m_staticFormat = nullptr;        // 1017
    wxStaticText* m_staticPhraseNo = nullptr;      // 1015
    wxStaticText* m_staticSectionNo = nullptr;     // 1013
    wxStaticText* m_staticPhraseCount = nullptr;   // 1016
    wxStaticText* m_staticSectionCount = nullptr;  // 1014
    wxStaticText* m_staticKey[11] = {};            // 1023 .. 1033
    wxButton* m_btnLevelUp = nullptr;              // 1001
    wxButton* m_btnTail = nullptr;                 // 1011
    wxButton* m_btnStop = nullptr;                 // 1009
    wxButton* m_btnPlay = nullptr;                 // 1008
    wxButton* m_btnPage = nullptr;                 // 1004
    wxButton* m_btnNext = nullptr;                 // 1007
    wxButton* m_btnMark = nullptr;                 // 1005
    wxButton* m_btnHead = nullptr;                 // 1010
    wxButton* m_btnGroup = nullptr;                // 1003
    wxButton* m_btnLevelDown = nullptr;            // 1002
    wxButton* m_btnBack = nullptr;                 // 1006
    IListView* m_listPhrase = nullptr;             // 1012
    IListView* m_listSection = nullptr;            // 1000

    // The book.
    CRecordList<CSectionInformation> m_lstSection;
    int m_nSectionUndoKind = 0;
    int m_nPhraseUndoKind = 0;
    CString m_strProjectFolder;
    CString m_strProjectFile;
    int m_bDiscWriteAllowed = 0;
    CString m_strPrevFolder;
    int m_nCaptionHeight = 0;
    int m_nMenuHeight = 0;
    wxBrush m_brWhite;
    wxBrush m_brBlack;
    wxFont m_fontButton;
    wxFont m_fontValue;
    wxFont m_fontLabel;
    wxFont m_fontListLarge;
    wxFont m_fontListStandard;
    wxFont m_fontListSmall;
    CWavePlayOperation m_wavePlayer;
    CMp3PlayOperation m_mp3Player;

    // The project's audio format.
    int m_nCompression = 0;
    int m_nSamplePerSec = 0;
    uint16_t m_wChannels = 0;
    uint16_t m_wBits = 0;
    uint16_t m_wBitrate = 0;
    int m_nMp3Quality = 1;
    int m_nBytesPer100ms = 0;
    int m_nProjectBytesPerSec = 0;

    int m_nSilenceDb = -35;
    int m_nWaveImportCount = 0;
    int m_nPlaySpeed = 2;
    int m_nVolume = 0;
    BookInfo m_bookInfo;
    int m_nPhrasePause = 2;
    int m_nSectionPause = 0;
    int m_nNoiseLevel = 1;
    int m_bProjectOpen = 0;

    // Undo snapshots and the internal clipboard.
    int m_nSectionUndoFirst = 0;
    int m_nSectionUndoCount = 0;
    CRecordList<CSectionInformation> m_lstSectionUndo;
    CRecordList<CSectionInformation> m_lstSectionClipboard;
    int m_nPhraseUndoSection = 0;
    int m_nPhraseUndoFirst = 0;
    int m_nPhraseUndoCount = 0;
    CRecordList<CPhraseInformation> m_lstPhraseUndo;
    CRecordList<CPhraseInformation> m_lstPhraseClipboard;

    IListView* m_hFocusList = nullptr;  // the list that last had the focus
    int m_bContinuousPlay = 0;
    int m_bSuppressPlay = 0;
    int m_nAudioKind = 0;  // 1 PCM project, 2 MP3 project
    int m_nListFont = 1;
    CString m_strExeFolder;
    int m_anSectionColumn[7] = {95, 70, 200, 80, 90, 120, 200};
    int m_anPhraseColumn[8] = {80, 50, 50, 80, 80, 80, 150, 200};

    // The lists' notifications.
    CString OnGetItemText(IListView& list, int item, int column) override;
    void OnItemChanged(IListView& list, int item, unsigned oldState, unsigned newState) override;
    void OnClick(IListView& list) override;
    void OnDblClk(IListView& list) override;
    void OnRClick(IListView& list) override;
    void OnRDblClk(IListView& list) override;
    void OnSetFocus(IListView& list) override;

    // --- book production
    static CString EscapeMarkup(const CString& text);
    void OnDaisyBuild();
    int AskBookInfo();                                     // 0 confirmed, 2 cancelled
    int BackupProjectFolder(const CString& backupFolder);  // 0, or 1 after its message (nothing left moved)
    int RestoreFromBackup(const CString& backupFolder);    // 0, or 1 after naming what it could not restore
    // Moves back what a roll-back left in the backup of `projectFolder`, and gives back the
    // backup of the build before; with `tell`, says which files came back. 0, or 1 after
    // its message.
    int FinishPendingRestore(const CString& projectFolder, bool tell = false);
    // Settles what a build cut short left beside or in the backup of `projectFolder`: a
    // restore still owed (`tell` as above), a backup kept aside. 0, or 1 after its message.
    int SettleBackupFolder(const CString& projectFolder, bool tell = false);
    // Every clip of a PCM project against its recording in the project folder, before
    // the build moves anything; 0, or the section builder's result after its message.
    int CheckSectionRecordings();
    int BuildSectionAudio(int n, const CString& folder, CSectionInformation* section);
    int BuildSectionWav(int n, const CString& folder, const CString& name, CSectionInformation* section);
    int ExportSectionFromWav(int n, const CString& newFolder, const CString& name, CSectionInformation* section,
                             int targetRate);
    // The same for MP3 projects: clips decoded and joined; the build encodes the joined
    // audio into `name` (encode true), the export leaves a WAV file at targetRate.
    // 0 done, 1 failed (shown), 2 cancelled, 11 empty folder or name.
    int BuildSectionMp3(int n, const CString& folder, const CString& name, CSectionInformation* section, bool encode);
    int ExportSectionFromMp3(int n, const CString& newFolder, const CString& name, CSectionInformation* section,
                             int targetRate);
    int WriteNcc(const CString& folder);
    int WriteSmilFiles(const CString& folder);
    int WriteDiscInfo(const CString& folder, const CString& projectName);
    int CountTocItems() const;
    void CountPages(int* front, int* normal, int* special) const;
    int GetMaxPageNormal() const;
    int GetMaxDepth() const;
    uint64_t GetTotalBytes() const;
    CString GetTotalTimeText() const;
    double BytesToSeconds(uint64_t bytes) const;
    CString FormatTime(uint64_t bytes) const;
    // DAISY import, export, disc information and the disc-writing hand-off.
    void OnDaisyImport();
    // The import after its dialog: 0 done, 2 cancelled, 1 failed (shown).
    int ImportDaisyBook(const CString& nccPath, int autoPage);
    void OnDaisyBookExport();
    // The export after its dialogs, into the new folder `newFolder` in format `format`
    // (0 .. 2); the caller has raised m_bSuppressPlay. 0 exported, other values failed
    // or refused (shown); the new project is offered for opening only after success.
    int ExportDaisyBook(int format, const CString& newFolder);
    void OnDiscInfo();
    void OnDiscWrite();
    // The project's next free audio file name after the import count ("A%06d.wav").
    CString NextDaisyImportName(const char* pattern);
    // Copies a 16-bit mono WAV file whole into the project's next audio file at the
    // project's rate. 0 done, 2 cancelled, 5 file, 8 format, 10 read, 11 empty path, 29
    // memory; every failure but cancel has shown its message.
    int ImportDaisyWavClip(CString source, CString* name, CString progressText);
    // Joins the clips of an imported section into one WAV file `joined` and points its
    // phrases into it. Results as ImportDaisyWavClip's.
    int JoinDaisySection(const CString& bookFolder, CSectionInformation* section, const CString& joined);
    // Copies an MP3 file of the project's own format whole into the project's next audio
    // file ("A%06d.mp3"). 0 done, 1 decoder objects, files or stream information, 2
    // cancelled, 5 missing file or failed copy, 8 another format, 11 empty path.
    int ImportDaisyMp3Clip(CString source, CString* name, CString progressText);
    // Whether `path` is an MP3 stream of the project's bit rate, rate and channels.
    bool IsProjectMp3File(const CString& path);
    // One imported section's audio into an MP3 project: its one MP3 file of the project's
    // format copied, else its clips joined, encoded and copied. `delay` gets the bytes the
    // encoder put in front of the audio (0 for a copy). Results as above.
    int ImportDaisySectionIntoMp3Project(const CString& bookFolder, CSectionInformation* section,
                                         const CString& joined, CString* name, const CString& progressText,
                                         uint32_t* delay);

    // --- editing
    // Removes the rows the undo record just saved (m_n...UndoCount from `first`) and hands
    // them over; shared by delete and cut.
    std::vector<std::unique_ptr<CSectionInformation>> TakeUndoSections(int first);
    std::vector<std::unique_ptr<CPhraseInformation>> TakeUndoPhrases(CSectionInformation& section, int first);
    // Undo snapshots and the internal clipboard.
    void SaveUndoSections();     // the caller sets m_nSectionUndoKind first
    void SaveUndoAllSections();  // the caller sets m_nSectionUndoKind first
    void SaveUndoPhrases();      // the caller sets m_nPhraseUndoKind first
    void RestoreUndoSections();
    void RestoreUndoPhrases();
    void ClearSectionUndo();
    void ClearPhraseUndo();
    void OnEditUndo();
    void OnEditCopy();
    void OnEditCut();
    void OnEditPaste();
    void PasteSections();
    void PastePhrases();
    static std::unique_ptr<CSectionInformation> CopySection(const CSectionInformation& source);
    static std::unique_ptr<CPhraseInformation> CopyPhrase(const CPhraseInformation& source);
    // Structural edits.
    void OnEditDelete();
    void OnEditDeleteAll();
    void OnEditJoin();
    void OnSectionSplit();
    // Page numbering and the check of the book before building.
    int RenumberPages();  // 0 numbered, 1 stopped at a faulty page (shown and selected)
    void OnRefresh();
    int ValidateBook();   // 0 the build may go on, 1 it must stop
    // Heading levels and the group, page and mark flags.
    void OnButtonLevelUp();
    void OnButtonLevelDown();
    void OnButtonGroup();
    void OnButtonPage();
    void OnButtonMark();
    void OnLevelUp();
    void OnLevelDown();
    void OnGroup();
    void OnPage();
    void OnMark();
    void OnDeleteAllGroups();
    void OnDeleteAllPages();
    void OnDeleteAllMarks();
    // Book information.
    void OnBookInfo();
    // The selection as the edits see it: the list with the focus (null: neither), the first
    // selected row (-1: none), and how many selected rows stand for records from `first`
    // on; the trailing extra row is never counted.
    IListView* GetFocusedList() const;
    int GetFirstSelectedSection() const;
    int GetFirstSelectedPhrase() const;
    static int CountSelectedRecords(const IListView* list, int first, int recordCount);
    // The section whose phrases the phrase list shows (the section row that is focused and
    // selected), and its record; -1 and null when it is not a real section.
    int GetShownSection() const;
    CSectionInformation* GetShownSectionRecord() const;
    // Section audio lengths never wrap: they stop at 0 and at the largest value.
    static void SubtractSectionTime(CSectionInformation& section, uint32_t bytes);
    static void AddSectionTime(CSectionInformation& section, uint32_t bytes);
    // What the section undo and the book looked like when the phrase undo was recorded,
    // so that with both recorded the later one is applied first.
    int m_nPhraseUndoSeenSectionKind = 0;
    int m_nPhraseUndoSeenSectionFirst = 0;
    int m_nPhraseUndoSeenSectionCount = 0;
    int m_nPhraseUndoSeenBookSize = -1;
    // The undone section's audio length as it was before the phrase edit.
    uint32_t m_nPhraseUndoSectionTime = 0;
    bool m_bPhraseUndoHasSectionTime = false;

    // --- audio import
    void OnAudioImport();
    // The import of the chosen files, in order, after the command's dialogs. Returns the
    // result of the last file: 0 done, 2 cancelled, other values failures already shown.
    int ImportAudioFiles(const std::vector<CString>& paths);
    // Cuts one 16-bit mono WAV file into the book while writing it to the project's next
    // audio file at the project's rate. 0 done, 2 cancelled, other values failures already
    // shown, except kImportNumbersUsedUp (audio/SilenceSplitter.h), which the command reports.
    // Recordings of an import that held no sound: their audio file was removed again,
    // and the command's end lists them.
    std::vector<CString> m_arrSoundlessImports;
    int ImportWaveFile(int* pCurrentIndex, const CString& source, const CString& nameText,
                       const CString& progressText);
    // The same for an MP3 file of the project's own format, copied byte for byte into the
    // project's next "A%06d.mp3" while it is decoded and cut. 0, 2, or a failure shown.
    // `encoderDelay`: the samples our encoder put in front of the recording when it made
    // the file; the cutting judges the recording from behind them.
    int ImportMp3File(int* pCurrentIndex, const CString& source, const CString& nameText,
                      const CString& progressText, uint32_t encoderDelay = 0);
    // The chains that bring an MP3 file into a PCM project, and any file into an MP3
    // project, through the temporary files of the project folder.
    int ImportMp3IntoPcmProject(int* pCurrentIndex, const CString& path, const CString& suffix);
    int ImportIntoMp3Project(int* pCurrentIndex, const CString& path, const CString& suffix);
    // The project's next audio file name by the import count ("A%06d.wav" or ".mp3"):
    // 0, or kImportNumbersUsedUp when every number is taken.
    int ChooseAudioFileName(const char* pattern, CString& fileName, CString& target);

    // --- navigation
    // The next or previous phrase with a group flag, a page, a mark, or any of them; the
    // selection moves there (and plays it), or a message says there is none.
    void OnPrevGroup();
    void OnNextGroup();
    void OnPrevPage();
    void OnNextPage();
    void OnPrevMark();
    void OnNextMark();
    void OnPrevEvent();
    void OnNextEvent();

    // --- search, properties, phrase split and silence measurement
    void OnTitleSearch();
    void OnPageSearch();
    void OnSectionSearch();
    void OnProperties();
    void SectionProperties();
    void PhraseProperties();
    void OnPhraseSplit();
    void OnSilenceDetect();
    // The silent 100 ms blocks at the end of a phrase of a PCM project, measured in its
    // file and stored as its trailing silence: 0, or 5 (the file cannot be opened or
    // holds less than the phrase) or 10 (a read failed) after the message.
    int MeasureWavePhraseSilence(CPhraseInformation* phrase);
    // The same for a phrase of an MP3 project, decoded in memory (after a phrase split) or
    // through "PhraseTemp.wav" (the command); 0, or non-zero after the message.
    int MeasureMp3PhraseSilence(CPhraseInformation* phrase);
    int MeasureMp3PhraseSilenceViaFile(CPhraseInformation* phrase);
    // One MP3 phrase's audio into a WAV file, silence-filled to its length when it ends
    // within a frame past its file; 0, 1 after its message, or 10 (kMp3DecodeCut) for a
    // phrase that runs further, which the caller names (CutRecordingMessage).
    int DecodeMp3PhraseToWave(const CString& source, const CString& destination, uint32_t length, uint32_t start);
    // The message for a phrase whose recording ends before the phrase does, naming the
    // file and the phrase's place in the book as the book's build does.
    CString CutRecordingMessage(const CPhraseInformation* phrase) const;

private:
    void CreateControls();
    wxStaticText* MakeLabel(int id, const char* text, bool blackBackground);
    wxButton* MakeButton(int id);
    void MeasureFrameBars();
    void BindButtons();
    const CPhraseInformation* PhraseToStart(int activeState);
    void OnSize(wxSizeEvent& event);
    void OnPaint(wxPaintEvent& event);

    bool m_bHasWindow = false;
    bool m_bButtonsEnabled = false;
    std::map<int, CString> m_mapControlText;
};

// The mark in the backup folder while the project's files are there, and not back in the
// project folder: from the backup until the build or its roll-back has finished.
inline constexpr char kBackupPendingMark[] = "Korvane.backup";
// Beside the backup folder while a build runs: the backup of the build before, kept whole
// until the build stands ("earlier"; given back when it does not), then on its way out
// ("discard").
inline constexpr char kBackupEarlierFolder[] = "Backup.earlier";
inline constexpr char kBackupDiscardFolder[] = "Backup.discard";
bool IsBackupPending(const CString& backupFolder);
