// The project file "Korvane.ncc" and the section files "SEC%06d.sec".

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "app/AppProfile.h"
#include "app/AppStrings.h"
#include "app/BookLimits.h"
#include "app/KorvaneView.h"
#include "app/ProgressDlg.h"
#include "app/SplitString.h"
#include "platform/FileSystem.h"
#include "platform/TextFile.h"
#include "platform/WaitCursor.h"

namespace {

const char kTempSuffix[] = ".tmp";

// A "," or a line break inside a text would change the number of fields or lines, and
// the reader would then leave the whole section or phrase out. Line breaks are left
// out and a "," of a comma-separated field is stored in its full-width form. Byte by
// byte, as the reader splits: none of these bytes is part of a double-byte character,
// also where a damaged text puts one behind a stray lead byte.
CString FieldText(const CString& text, bool commaSeparated = true) {
    const std::string& bytes = text.str();
    if (bytes.find_first_of(commaSeparated ? ",\r\n" : "\r\n") == std::string::npos) return text;
    std::string safe;
    for (char c : bytes) {
        if (c == ',' && commaSeparated) safe += "，";
        else if (c != '\r' && c != '\n') safe += c;
    }
    return CString(safe);
}

// The reader drops blanks around a value and one pair of matching quotes around it: a
// value that begins or ends with either goes out inside one more pair of quotes, so that
// it comes back as it was. That is a book text, or a section line whose comment (its
// last field) ends in blanks, as a comment of a damaged file can that ended at a zero
// byte.
CString ValueText(const CString& text) {
    const CString safe = FieldText(text, false);
    const int n = safe.GetLength();
    if (n == 0) return safe;
    const char first = safe[0], last = safe[n - 1];
    auto isBlank = [](char c) { return c == ' ' || c == '\t' || c == '\v' || c == '\f'; };
    const bool blank = isBlank(first) || isBlank(last);
    const bool quoted = n >= 2 && (first == '"' || first == '\'') && last == first;
    return blank || quoted ? "\"" + safe + "\"" : safe;
}

struct BookField {
    const char* key;
    CString* value;
};

std::vector<BookField> BookFields(BookInfo& b) {
    return {{"Title", &b.m_strTitle},         {"Author", &b.m_strAuthor},
            {"Isbn", &b.m_strIsbn},           {"Discrimination", &b.m_strDiscrimination},
            {"Publisher", &b.m_strPublisher}, {"Reader", &b.m_strReader},
            {"Editor", &b.m_strEditor},       {"OrgPublisher", &b.m_strOrgPublisher},
            {"OrgPublishDate", &b.m_strOrgPublishDate}, {"PublishDate", &b.m_strPublishDate},
            {"Genre", &b.m_strGenre},         {"Scheme", &b.m_strScheme}};
}

const char kOldSuffix[] = ".old";
// Beside a file that had no old version while the switch-over runs: a save cut short
// removes the new file again instead of leaving it with the old project.
const char kNoneSuffix[] = ".none";

bool WriteEmptyFile(const CString& path) {
    CTextFile file;
    return file.Open(path, CTextFile::modeCreateWrite) && file.Close();
}

const char kProjectFileName[] = "Korvane.ncc";

bool EndsWith(const CString& text, const char* tail) {
    const int n = static_cast<int>(std::strlen(tail));
    return text.GetLength() >= n && text.Right(n) == tail;
}

// Puts each "<target>.tmp" in the place of its target, all or nothing. Every old file
// first steps aside to "<target>.old" and stays there until every new file is in place;
// when a step fails, the old files come back. The project file goes last: until its old
// version is gone, the switch-over counts as not done (RecoverProjectFiles).
bool SwitchProjectFiles(const CString& folder, const std::vector<CString>& targets) {
    struct Placed {
        CString target;
        bool hadOld;
    };
    std::vector<Placed> placed;
    auto undo = [&] {
        for (auto it = placed.rbegin(); it != placed.rend(); ++it) {
            if (it->hadOld) {
                ReplaceFileWith(it->target, it->target + kOldSuffix);
            } else if (DeleteFileAt(it->target) || !FileExists(it->target)) {
                DeleteFileAt(it->target + kNoneSuffix);
            }
        }
    };
    for (const CString& target : targets) {
        const CString old = target + kOldSuffix;
        const bool hadOld = FileExists(target);
        if (hadOld) {
            // A read-only file is the user's way of keeping it as it is.
            if (IsFileReadOnly(target) || (FileExists(old) && !DeleteFileAt(old)) || !MoveFileTo(target, old)) {
                undo();
                return false;
            }
        }
        if (!hadOld && !WriteEmptyFile(target + kNoneSuffix)) {
            DeleteFileAt(target + kNoneSuffix);
            undo();
            return false;
        }
        if (!MoveFileTo(target + kTempSuffix, target)) {
            if (hadOld) MoveFileTo(old, target);
            else DeleteFileAt(target + kNoneSuffix);
            undo();
            return false;
        }
        placed.push_back({target, hadOld});
    }
    if (!FlushFolder(folder)) {
        undo();
        return false;
    }
    // The old project file goes first: from then on the new project stands.
    for (auto it = placed.rbegin(); it != placed.rend(); ++it)
        DeleteFileAt(it->target + (it->hadOld ? kOldSuffix : kNoneSuffix));
    return true;
}

}  // namespace

// A save that was cut short (a power cut, a disk that failed half-way) leaves its
// ".tmp" and ".old" files. While the new project file has not taken its place
// ("Korvane.ncc.tmp" is still there) the old files are put back; once it has, only
// what is left over goes.
bool CKorvaneView::RecoverProjectFiles(const CString& folder) {
    std::vector<std::string> names;
    if (!ListFolderFiles(folder, names)) return false;
    const CString dir = folder + "/";
    const bool projectPlaced = std::find(names.begin(), names.end(),
                                         std::string(kProjectFileName) + kTempSuffix) == names.end();
    auto isOurs = [](const CString& name) {
        return name.CompareNoCase(kProjectFileName) == 0 ||
               (name.GetLength() == 13 && name.Left(3) == "SEC" && name.Right(4) == ".sec");
    };
    bool ok = true;
    for (const std::string& raw : names) {
        const CString name(raw);
        if (EndsWith(name, kOldSuffix) && isOurs(name.Left(name.GetLength() - 4))) {
            const CString target = dir + name.Left(name.GetLength() - 4);
            if (projectPlaced) ok = DeleteFileAt(dir + name) && ok;
            else ok = ReplaceFileWith(target, dir + name) && ok;
        }
        if (EndsWith(name, kNoneSuffix) && isOurs(name.Left(name.GetLength() - 5))) {
            const CString target = dir + name.Left(name.GetLength() - 5);
            if (!projectPlaced && FileExists(target)) ok = DeleteFileAt(target) && ok;
            if (ok) ok = DeleteFileAt(dir + name);
        }
    }
    for (const std::string& raw : names) {
        const CString name(raw);
        if (EndsWith(name, kTempSuffix) && isOurs(name.Left(name.GetLength() - 4)) && FileExists(dir + name))
            ok = DeleteFileAt(dir + name) && ok;
    }
    if (ok) FlushFolder(folder);
    return ok;
}

namespace {

// Counts read from a file decide how long the loaders run: never below 0, never past
// what a book can hold.
int ClampCount(int count, int limit) { return std::clamp(count, 0, limit); }

int AsInt(uint32_t v) { return static_cast<int>(v); }

}  // namespace

CString CKorvaneView::GetSectionFilePath(int index) const {
    return m_strProjectFolder + "/" + CString::Formatted("SEC%06d.sec", index + 1);
}

int CKorvaneView::SaveProject() {
    CProgressDlg progress;
    progress.Create(m_bHasWindow ? this : nullptr);
    progress.SetRange(0, m_lstSection.GetCount() + 2);
    progress.SetWindowText(g_strMainTitle);
    progress.SetMessage("プロジェクト情報保存中...");
    progress.ShowCancelButton(false);
    CWaitCursor wait;

    // A read-only project is left exactly as it is (the user was told when it opened).
    if (FileExists(m_strProjectFile) && IsFileReadOnly(m_strProjectFile)) return 0;
    if (!m_strUnsavableFolder.IsEmpty() && m_strUnsavableFolder == m_strProjectFolder) return 0;
    // What an earlier save left half done is settled first: this one must not take an old
    // file that is the only copy for a leftover.
    if (!RecoverProjectFiles(m_strProjectFolder)) return 4;

    // Every file is written beside the old one and put in its place only when all of
    // them were written: a failure part-way leaves the previous project readable.
    const CString temp = m_strProjectFile + kTempSuffix;
    CTextFile file;
    if (!file.Open(temp, CTextFile::modeCreateWrite)) return 4;

    CString line;
    file.WriteString("[Format]\n");
    line.Format("Compression=%d\n", m_nCompression); file.WriteString(line);
    line.Format("SamplePerSec=%d\n", m_nSamplePerSec); file.WriteString(line);
    line.Format("Channels=%d\n", m_wChannels); file.WriteString(line);
    line.Format("Bits=%d\n", m_wBits); file.WriteString(line);
    line.Format("Bitrate=%d\n", m_wBitrate); file.WriteString(line);
    progress.SetPos(1);

    file.WriteString("[BookInfo]\n");
    for (const auto& entry : BookFields(m_bookInfo)) {
        line.Format("%s=%s\n", entry.key, ValueText(*entry.value).c_str());
        file.WriteString(line);
    }
    line.Format("SectionCount=%d\n", m_lstSection.GetCount()); file.WriteString(line);
    line.Format("WaveImportCount=%d\n", m_nWaveImportCount); file.WriteString(line);
    progress.SetPos(2);

    std::vector<int> written;
    auto discard = [&] {
        DeleteFileAt(temp);
        for (int i : written) DeleteFileAt(GetSectionFilePath(i) + kTempSuffix);
    };
    file.WriteString("[Section]\n");
    for (int i = 0; i < m_lstSection.GetCount(); ++i) {
        const CSectionInformation* s = m_lstSection.GetAt(i);
        line.Format("%d,%s,%d,%d,%s,%s,%s", s->m_nLevel, FieldText(s->m_strHeading).c_str(),
                    s->m_lstPhrase.GetCount(), AsInt(s->m_nSectionTime), FieldText(s->m_strStartPage).c_str(),
                    FieldText(s->m_strEndPage).c_str(), FieldText(s->m_strComment).c_str());
        file.WriteString(CString::Formatted("%d=", i + 1) + ValueText(line) + "\n");
        if (s->m_lstPhrase.GetCount() > 0) {
            if (WriteSectionFileTo(i, GetSectionFilePath(i) + kTempSuffix) != 0) {
                file.Close();
                DeleteFileAt(GetSectionFilePath(i) + kTempSuffix);
                discard();
                return 1;
            }
            written.push_back(i);
        }
        progress.SetPos(i + 3);
    }
    // A write that did not reach the disk is a failed save, not a short project file.
    if (!file.Close()) {
        discard();
        return 4;
    }
    // The new files reach the disk before any old one gives up its name: after a power
    // cut the folder holds the old project or the new one, not empty files.
    if (!FlushFileSystem(temp)) {
        discard();
        return 4;
    }

    std::vector<CString> targets;
    for (int i : written) targets.push_back(GetSectionFilePath(i));
    targets.push_back(m_strProjectFile);
    if (!SwitchProjectFiles(m_strProjectFolder, targets)) {
        discard();
        return written.empty() ? 4 : 1;
    }
    // Section files that no section of the book needs any more.
    for (int i = 0;; ++i) {
        const CSectionInformation* s = m_lstSection.GetAt(i);
        if (s && s->m_lstPhrase.GetCount() > 0) continue;
        const CString stale = GetSectionFilePath(i);
        if (!FileExists(stale)) {
            if (i >= m_lstSection.GetCount()) break;
            continue;
        }
        DeleteFileAt(stale);
    }
    return 0;
}

int CKorvaneView::WriteSectionFile(int index) {
    const CString path = GetSectionFilePath(index);
    const CString temp = path + kTempSuffix;
    int result = WriteSectionFileTo(index, temp);
    if (result == 0 && !ReplaceFileWith(path, temp)) result = 4;
    if (result != 0) DeleteFileAt(temp);
    return result;
}

int CKorvaneView::WriteSectionFileTo(int index, const CString& path) {
    CWaitCursor wait;
    CTextFile file;
    if (!file.Open(path, CTextFile::modeCreateWrite)) return 4;
    const CSectionInformation* s = m_lstSection.GetAt(index);
    if (!s) return file.Close() ? 0 : 4;

    CString line;
    file.WriteString("[Section]\n");
    line.Format("Prefix=%d\n", index + 1); file.WriteString(line);
    line.Format("SectionTime=%d\n", AsInt(s->m_nSectionTime)); file.WriteString(line);
    line.Format("Phrase=%d\n", s->m_lstPhrase.GetCount()); file.WriteString(line);
    file.WriteString("[Phrase]\n");
    int k = 1;
    for (const auto& p : s->m_lstPhrase) {
        line.Format("%d=%d,%d,%d,%s,%d,%s,%d,%d,%s,%d\n", k++, AsInt(p->m_nStart), AsInt(p->m_nLength),
                    AsInt(p->m_nPause), FieldText(p->m_strFileName).c_str(), AsInt(p->m_nPageKind),
                    FieldText(p->m_strPageText).c_str(), AsInt(p->m_nGroup), AsInt(p->m_nMark),
                    FieldText(p->m_strComment).c_str(), AsInt(p->m_nBytesPerSec));
        file.WriteString(line);
    }
    return file.Close() ? 0 : 4;
}

void CKorvaneView::LoadProject() {
    CWaitCursor wait;
    CProfile& profile = TheAppProfile();
    m_nCompression = profile.GetProfileInt("Format", "Compression", 1);
    m_nSamplePerSec = profile.GetProfileInt("Format", "SamplePerSec", 22050);
    m_wChannels = static_cast<uint16_t>(profile.GetProfileInt("Format", "Channels", 1));
    m_wBits = static_cast<uint16_t>(profile.GetProfileInt("Format", "Bits", 16));
    m_wBitrate = static_cast<uint16_t>(profile.GetProfileInt("Format", "Bitrate", 32000));

    for (const auto& entry : BookFields(m_bookInfo)) *entry.value = profile.GetProfileString("BookInfo", entry.key, "");
    int count = ClampCount(profile.GetProfileInt("BookInfo", "SectionCount", 0), kMaxSections);
    m_nWaveImportCount = profile.GetProfileInt("BookInfo", "WaveImportCount", 0);

    CProgressDlg progress;
    progress.Create(m_bHasWindow ? this : nullptr);
    progress.SetRange(0, count);
    progress.SetWindowText(g_strMainTitle);
    progress.SetMessage("プロジェクト情報読込中...");
    progress.ShowCancelButton(false);

    const CString projectFile = profile.GetProfileFile();
    for (int i = 0; i < count; ++i) {
        CString value = profile.GetProfileString("Section", CString::Formatted("%d", i + 1), "");
        if (!value.IsEmpty()) {
            std::vector<CString> f = SplitString(value, ",");
            if (f.size() == 7) {
                auto section = std::make_unique<CSectionInformation>();
                section->m_nLevel = std::clamp(ParseDecimal(f[0]), 0, 5);
                section->m_strHeading = f[1];
                section->m_nPhraseCount = static_cast<uint32_t>(ClampCount(ParseDecimal(f[2]), kMaxPhrasesPerSection));
                section->m_nSectionTime = static_cast<uint32_t>(ParseDecimal(f[3]));
                section->m_strStartPage = f[4];
                section->m_strEndPage = f[5];
                section->m_strComment = f[6];
                if (section->m_nPhraseCount != 0) ReadSectionFile(i, *section);
                profile.SetProfileFile(projectFile);
                m_lstSection.Add(std::move(section));
            }
        }
        progress.SetPos(i + 1);
    }
    // A book always has a section: also when none of the lines could be read, or the
    // next save would write a book of none, which loads as one fresh section.
    if (m_lstSection.IsEmpty()) m_lstSection.Add(std::make_unique<CSectionInformation>());
}

void CKorvaneView::ReadSectionFile(int index, CSectionInformation& section) {
    CProfile& profile = TheAppProfile();
    profile.SetProfileFile(GetSectionFilePath(index));
    section.m_nSectionTime = static_cast<uint32_t>(profile.GetProfileInt("Section", "SectionTime", 0));
    section.m_nPhraseCount =
        static_cast<uint32_t>(ClampCount(profile.GetProfileInt("Section", "Phrase", 0), kMaxPhrasesPerSection));
    for (uint32_t k = 1; k <= section.m_nPhraseCount; ++k) {
        CString value = profile.GetProfileString("Phrase", CString::Formatted("%u", k), "");
        if (value.IsEmpty()) continue;
        std::vector<CString> f = SplitString(value, ",");
        if (f.size() != 10) continue;
        auto p = std::make_unique<CPhraseInformation>();
        p->m_nStart = static_cast<uint32_t>(ParseDecimal(f[0]));
        p->m_nLength = static_cast<uint32_t>(ParseDecimal(f[1]));
        p->m_nPause = static_cast<uint32_t>(ParseDecimal(f[2]));
        p->m_strFileName = f[3];
        p->m_nPageKind = static_cast<uint32_t>(ParseDecimal(f[4]));
        p->m_strPageText = f[5];
        p->m_nGroup = static_cast<uint32_t>(ParseDecimal(f[6]));
        p->m_nMark = static_cast<uint32_t>(ParseDecimal(f[7]));
        p->m_strComment = f[8];
        p->m_nBytesPerSec = static_cast<uint32_t>(ParseDecimal(f[9]));
        section.m_lstPhrase.Add(std::move(p));
    }
}

namespace {

// A key is missing when the reader gives back whatever default it is handed: any one
// default could also be a saved value, two different ones cannot both be.
bool HasKey(const CString& file, const char* section, const char* key) {
    return GetPrivateProfileString(section, key, "\x01", file) != "\x01" ||
           GetPrivateProfileString(section, key, "\x02", file) != "\x02";
}

CString JoinNames(const std::vector<const char*>& names) {
    CString text;
    for (const char* name : names) text += CString(text.IsEmpty() ? "" : "、") + name;
    return text;
}

}  // namespace

std::vector<CString> CKorvaneView::FindProjectDamage(const CString& projectFile) {
    std::vector<CString> damage;
    const int slash = projectFile.ReverseFind('/');
    const CString folder = slash < 0 ? CString(".") : projectFile.Left(slash);
    const CString name = projectFile.Mid(slash + 1);
    if (!IsFileReadable(projectFile)) {
        damage.push_back(name + "：読み込めません。");
        return damage;
    }

    // Every key the saver writes, in its order; a file that lacks one was cut short or
    // is no project file of this program.
    std::vector<const char*> missing;
    for (const char* key : {"Compression", "SamplePerSec", "Channels", "Bits", "Bitrate"})
        if (!HasKey(projectFile, "Format", key)) missing.push_back(key);
    BookInfo keys;
    for (const auto& entry : BookFields(keys))
        if (!HasKey(projectFile, "BookInfo", entry.key)) missing.push_back(entry.key);
    for (const char* key : {"SectionCount", "WaveImportCount"})
        if (!HasKey(projectFile, "BookInfo", key)) missing.push_back(key);
    if (!missing.empty()) {
        damage.push_back(name + "：項目がありません（" + JoinNames(missing) + "）。");
        return damage;
    }

    const int count = GetPrivateProfileInt("BookInfo", "SectionCount", 0, projectFile);
    if (count < 0 || count > kMaxSections) {
        damage.push_back(name + CString::Formatted("：セクション数（%d）が正しくありません。", count));
        return damage;
    }
    int sectionsRead = 0;
    for (int i = 0; i < count; ++i) {
        const CString value = GetPrivateProfileString("Section", CString::Formatted("%d", i + 1), "", projectFile);
        const std::vector<CString> f = SplitString(value, ",");
        if (value.IsEmpty() || f.size() != 7) continue;
        ++sectionsRead;
        const int phrases = ParseDecimal(f[2]);
        if (phrases == 0) continue;
        const CString sectionName = CString::Formatted("SEC%06d.sec", i + 1);
        const CString sectionPath = folder + "/" + sectionName;
        if (!FileExists(sectionPath)) {
            damage.push_back(sectionName + "：ファイルがありません。");
            continue;
        }
        if (!IsFileReadable(sectionPath)) {
            damage.push_back(sectionName + "：読み込めません。");
            continue;
        }
        if (!HasKey(sectionPath, "Section", "Phrase")) {
            damage.push_back(sectionName + "：項目がありません（Phrase）。");
            continue;
        }
        const int declared = GetPrivateProfileInt("Section", "Phrase", 0, sectionPath);
        if (declared < 0 || declared > kMaxPhrasesPerSection) {
            damage.push_back(sectionName + CString::Formatted("：フレーズ数（%d）が正しくありません。", declared));
            continue;
        }
        int phrasesRead = 0;
        for (int k = 1; k <= declared; ++k) {
            const CString line = GetPrivateProfileString("Phrase", CString::Formatted("%d", k), "", sectionPath);
            if (!line.IsEmpty() && SplitString(line, ",").size() == 10) ++phrasesRead;
        }
        if (phrasesRead < declared)
            damage.push_back(sectionName +
                             CString::Formatted("：フレーズ数%dに対して%d個しか読み込めません。", declared, phrasesRead));
        else if (declared != phrases)
            damage.push_back(sectionName + CString::Formatted("：フレーズ数%dがプロジェクトファイルの%dと合いません。",
                                                              declared, phrases));
    }
    if (sectionsRead < count)
        damage.insert(damage.begin(), name + CString::Formatted("：セクション数%dに対して%d個しか読み込めません。",
                                                                count, sectionsRead));
    return damage;
}
