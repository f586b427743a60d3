#include "daisy/DaisyBookReader.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "app/BookLimits.h"
#include "app/ProgressDlg.h"
#include "audio/Mp3Part.h"
#include "audio/WaveFile.h"
#include "mp3dec/mp3dec.h"
#include "platform/FileSystem.h"
#include "platform/MessageBox.h"
#include "platform/Riff.h"

namespace {

using Node = CMarkupDocument::Node;

void ShowError(const CString& text) { KvMessageBox(nullptr, text, "エラー", MB_OK | MB_ICONSTOP); }

// "Y-M-D" dates are kept as the project keeps them, digits only.
CString WithoutHyphens(CString text) {
    text.Remove('-');
    return text;
}

CString Extension(const CString& path) {
    const int dot = path.ReverseFind('.');
    const int slash = path.ReverseFind('/');
    return dot > slash ? path.Mid(dot) : CString();
}

bool IsSuccess(SSC status) { return (static_cast<uint32_t>(status) >> 30) <= 1; }

CString UnreadableTextMessage(const CString& file, const CString& code) {
    if (MarkupEncodingName(code.str()) == "CP932")
        return CString::Formatted("%s には文字コード（%s）として読めないデータが含まれているためインポート出来ません。",
                                  file.c_str(), code.c_str());
    return CString::Formatted(
        "%s には文字コード（%s）としてもShift_JISとしても読めないデータが含まれているためインポート出来ません。",
        file.c_str(), code.c_str());
}

// True when the name, taken in a folder, stays in it: no absolute path, and no ".."
// that climbs above the folder.
bool StaysInFolder(const CString& name) {
    if (!name.IsEmpty() && name[0] == '/') return false;
    int depth = 0;
    int from = 0;
    while (from <= name.GetLength()) {
        int slash = name.Find('/', from);
        if (slash < 0) slash = name.GetLength();
        const CString part = name.Mid(from, slash - from);
        if (part == "..") {
            if (--depth < 0) return false;
        } else if (!part.IsEmpty() && part != ".") {
            ++depth;
        }
        from = slash + 1;
    }
    return true;
}

}  // namespace

CDaisyBookReader::CDaisyBookReader() = default;
CDaisyBookReader::~CDaisyBookReader() { DeleteTempSmil(); }

bool CDaisyBookReader::ResolveBookFile(const CString& name, const CString& linkedFrom, CString* path) const {
    // A book reads its own files only: a link that climbs out of its folder, names a place
    // of its own or leaves through a symbolic link would bring someone else's file into
    // the project.
    bool inside = StaysInFolder(name);
    if (inside) {
        // Books made on Windows name their files without regard to case.
        *path = m_strBookFolder + name;
        CString actual;
        if (FindPathNoCase(*path, actual)) *path = actual;
        inside = IsPathWithinFolder(*path, m_strBookFolder);
    }
    if (inside) return true;
    ShowError(CString::Formatted("%s のリンク「%s」が図書のフォルダの外を指しているためインポート出来ません。",
                                 linkedFrom.c_str(), name.c_str()));
    return false;
}

void CDaisyBookReader::DeleteTempSmil() {
    if (!m_bTempSmil) return;
    DeleteFileAt(m_strProjectFolder + "/" + kTempSmilName);
    m_bTempSmil = false;
}

int CDaisyBookReader::LoadNcc(CString nccPath, BookInfo* info, CRecordList<CSectionInformation>* sections,
                              int autoPage) {
    const int slash = nccPath.ReverseFind('/');
    m_strBookFolder = slash < 0 ? CString("./") : nccPath.Left(slash + 1);

    CString actual;
    if (FindPathNoCase(nccPath, actual)) nccPath = actual;
    m_strNccName = nccPath.Mid(nccPath.ReverseFind('/') + 1);
    CMarkupDocument ncc;
    switch (ncc.LoadHtmlFile(nccPath)) {
    case EMarkupLoad::Ok:
        break;
    case EMarkupLoad::CannotRead:
        ShowError("NCC.htmlの読込みに失敗しました。");
        return 41;
    case EMarkupLoad::UnknownEncoding:
        ShowError(CString::Formatted("NCC.htmlの文字コード（%s）には対応していません。", ncc.GetError().encoding.c_str()));
        return 43;
    case EMarkupLoad::BadBytes:
        ShowError(UnreadableTextMessage(m_strNccName, ncc.GetError().encoding));
        return 43;
    default:
        ShowError("NCC.htmlのドキュメント情報の取得に失敗しました。");
        return 43;
    }
    if (!ReadBookInfo(ncc, info)) {
        ShowError("書誌情報の取得に失敗しました。");
        return 44;
    }
    return ReadNccBody(ncc, sections, autoPage);
}

bool CDaisyBookReader::ReadBookInfo(const CMarkupDocument& ncc, BookInfo* info) {
    const auto titles = ncc.ElementsByTagName("title");
    // A document without a title is no NCC; nothing of it is taken.
    if (titles.empty()) return false;
    info->m_strTitle = CMarkupDocument::OuterText(titles.front());

    struct MetaField {
        const char* name;
        CString BookInfo::*field;
        bool date;
    };
    static const MetaField kFields[] = {
        {"dc:creator", &BookInfo::m_strAuthor, false},
        {"dc:identifier", &BookInfo::m_strDiscrimination, false},
        {"dc:publisher", &BookInfo::m_strPublisher, false},
        {"dc:source", &BookInfo::m_strIsbn, false},
        {"ncc:narrator", &BookInfo::m_strReader, false},
        {"ncc:producer", &BookInfo::m_strEditor, false},
        {"dc:date", &BookInfo::m_strPublishDate, true},
        {"ncc:sourcePublisher", &BookInfo::m_strOrgPublisher, false},
        {"ncc:sourceDate", &BookInfo::m_strOrgPublishDate, true},
        {"dc:subject", &BookInfo::m_strGenre, false},
    };
    for (Node meta : ncc.ElementsByTagName("meta")) {
        CString name;
        if (!CMarkupDocument::GetAttribute(meta, "name", name)) continue;
        for (const MetaField& f : kFields) {
            if (name.CompareNoCase(f.name) != 0) continue;
            CString content;
            CMarkupDocument::GetAttribute(meta, "content", content);
            info->*f.field = f.date ? WithoutHyphens(content) : content;
            if (f.field == &BookInfo::m_strGenre) {
                CString scheme;
                CMarkupDocument::GetAttribute(meta, "scheme", scheme);
                info->m_strScheme = scheme;
            }
            break;
        }
    }
    return true;
}

int CDaisyBookReader::ReadNccBody(const CMarkupDocument& ncc, CRecordList<CSectionInformation>* sections,
                                  int autoPage) {
    const auto bodies = ncc.ElementsByTagName("body");
    const std::vector<Node> elements = bodies.empty() ? std::vector<Node>() : CMarkupDocument::Descendants(bodies.front());
    const int n = static_cast<int>(elements.size());

    CProgressDlg progress;
    progress.Create(nullptr);
    progress.SetRange(0, n);
    progress.SetWindowText("Daisy図書インポート");
    progress.SetMessage("Daisy図書をインポートしています...");

    CMarkupDocument smil;
    CSectionInformation* current = nullptr;
    auto fail = [&](const CString& message) {
        if (!message.IsEmpty()) ShowError(message);
        DeleteTempSmil();
        return 1;
    };

    for (int k = 0; k < n; ++k) {
        const CString tag = CMarkupDocument::TagName(elements[k]);
        const bool heading = tag.GetLength() == 2 && (tag[0] == 'h' || tag[0] == 'H') && tag[1] >= '1' && tag[1] <= '6';
        if (heading) {
            auto section = std::make_unique<CSectionInformation>();
            section->m_nLevel = tag[1] - '1';
            if (k + 1 >= n) return fail("NCC.htmlの見出しが読み取れません。");
            const Node link = elements[++k];
            section->m_strHeading = CMarkupDocument::OuterText(link);
            CString href;
            CMarkupDocument::GetAttribute(link, "href", href);
            // A link without a fragment names the whole file.
            const int hash = href.Find('#');
            const CString smilName = hash < 0 ? href : href.Left(hash);
            if (!LoadSmil(smilName, smil)) return fail("");
            const int got = GetPhraseInformation(smil, smilName, &section->m_lstPhrase);
            if (got != 0) return fail(got == 1 ? "GetPhraseInformationでエラーが発生しました。" : "");
            uint64_t total = 0;
            for (const auto& phrase : section->m_lstPhrase) total += phrase->m_nLength;
            if (total > UINT32_MAX)
                return fail(CString::Formatted("%s の音声が長過ぎるためインポート出来ません。", smilName.c_str()));
            section->m_nPhraseCount = static_cast<uint32_t>(section->m_lstPhrase.GetCount());
            section->m_nSectionTime = static_cast<uint32_t>(total);
            current = sections->Add(std::move(section));
        } else if (tag.CompareNoCase("span") == 0) {
            CString cls;
            CMarkupDocument::GetAttribute(elements[k], "class", cls);
            uint32_t kind = 0;
            if (cls.CompareNoCase("page-normal") == 0) kind = 2;
            else if (cls.CompareNoCase("page-front") == 0) kind = 3;
            else if (cls.CompareNoCase("page-special") == 0) kind = 4;
            // Spans of other classes (note references, for one) are no page marks.
            if (kind != 0) {
                CString id;
                CMarkupDocument::GetAttribute(elements[k], "id", id);
                int m = 0;
                if (!current) return fail("フレーズが存在しません。（Page）");
                if (!GetTargetPhrase(id, smil, &m)) return fail("GetTargetPhrase（Page）でエラーが発生しました。");
                if (k + 1 >= n) return fail("ページ番号が取得出来ません。");
                const CString text = CMarkupDocument::OuterText(elements[k + 1]);
                CPhraseInformation* phrase = current->m_lstPhrase.GetAt(m - 1);
                if (!phrase) return fail("フレーズが存在しません。（Page）");
                if (autoPage == 1) {
                    phrase->m_nPageKind = 1;
                    phrase->m_strPageText.Empty();
                } else {
                    phrase->m_nPageKind = kind;
                    phrase->m_strPageText = text;
                }
            }
        } else if (tag.CompareNoCase("div") == 0) {
            CString id;
            CMarkupDocument::GetAttribute(elements[k], "id", id);
            int m = 0;
            if (!current) return fail("フレーズが存在しません。（Group）");
            if (!GetTargetPhrase(id, smil, &m)) return fail("GetTargetPhrase（Group）でエラーが発生しました。");
            CPhraseInformation* phrase = current->m_lstPhrase.GetAt(m - 1);
            if (!phrase) return fail("フレーズが存在しません。（Group）");
            phrase->m_nGroup = 1;
        }

        DeleteTempSmil();
        progress.SetPos(k);
        if (progress.CheckCancel() &&
            KvMessageBox(nullptr, "Daisy図書インポートを中止しますか？", "確認", MB_YESNO | MB_ICONQUESTION) == IDYES)
            return 2;
    }
    return 0;
}

bool CDaisyBookReader::LoadSmil(const CString& name, CMarkupDocument& smil) {
    CString path;
    if (!ResolveBookFile(name, m_strNccName, &path)) return false;
    const EMarkupLoad loaded = smil.LoadXmlFile(path);
    const CString declared = smil.GetError().encoding;
    if (loaded == EMarkupLoad::Ok) return true;
    if (loaded == EMarkupLoad::UnknownEncoding) {
        ShowError(CString::Formatted("%s の文字コード（%s）には対応していません。", name.c_str(),
                                     smil.GetError().encoding.c_str()));
        return false;
    }
    if (!FileExists(path) || FolderExists(path)) {
        ShowError(CString::Formatted("%s が存在しません。", path.c_str()));
        return false;
    }
    // The repair: the file behind a Shift_JIS declaration, in place of its own.
    std::string sysPath;
    std::ifstream in;
    if (ToSystemPath(path, sysPath)) in.open(sysPath, std::ios::binary);
    if (!in) {
        ShowError(CString::Formatted("%s がオープン出来ません。", name.c_str()));
        return false;
    }
    // Lines end as the original's text mode writes them, CR LF.
    auto chomp = [](std::string& l) {
        if (!l.empty() && l.back() == '\r') l.pop_back();
    };
    std::string first, rest, line;
    std::getline(in, first);
    chomp(first);
    while (std::getline(in, line)) {
        chomp(line);
        rest += line + "\r\n";
    }
    if (in.bad()) {
        ShowError(CString::Formatted("%s がオープン出来ません。", name.c_str()));
        return false;
    }
    std::string copy = "<?xml version=\"1.0\" encoding=\"Shift-JIS\"?>\r\n";
    if (first.rfind("<?xml", 0) != 0) copy += first + "\r\n";
    copy += rest;

    const CString temp = m_strProjectFolder + "/" + kTempSmilName;
    std::string sysTemp;
    std::ofstream out;
    if (ToSystemPath(temp, sysTemp)) out.open(sysTemp, std::ios::binary | std::ios::trunc);
    if (out) out.write(copy.data(), static_cast<std::streamsize>(copy.size()));
    if (out) out.close();
    if (!out) {
        DeleteFileAt(temp);
        ShowError("Smilファイルが作成出来ません。");
        return false;
    }
    NoteFileChange();
    m_bTempSmil = true;
    const EMarkupLoad repaired = smil.LoadXmlFile(temp);
    if (repaired == EMarkupLoad::Ok) return true;

    const CMarkupError& error = smil.GetError();
    if (repaired == EMarkupLoad::BadBytes)
        ShowError(UnreadableTextMessage(name, declared));
    else if (error.badCharacter)
        ShowError(CString::Formatted("%s の %d行目のデータに不正な文字  & < > ' \" が含まれているためインポート出来ません。",
                                     name.c_str(), error.line));
    else
        ShowError(CString::Formatted("%X：%s", static_cast<unsigned>(error.code), error.reason.c_str()));
    DeleteTempSmil();
    return false;
}

int CDaisyBookReader::GetPhraseInformation(const CMarkupDocument& smil, const CString& smilName,
                                           CRecordList<CPhraseInformation>* phrases) {
    const auto clips = smil.ElementsByTagName("audio");
    if (clips.empty()) return 1;
    if (clips.size() > static_cast<size_t>(kMaxPhrasesPerSection)) {
        ShowError(CString::Formatted("%s のフレーズ数が最大を超えているためインポート出来ません。", smilName.c_str()));
        return 3;
    }
    for (Node clip : clips) {
        auto phrase = std::make_unique<CPhraseInformation>();
        CString src, begin, end;
        if (!CMarkupDocument::GetAttribute(clip, "src", src) || !CMarkupDocument::GetAttribute(clip, "clip-begin", begin) ||
            !CMarkupDocument::GetAttribute(clip, "clip-end", end))
            return 1;
        phrase->m_strFileName = src;
        CString path;
        if (!ResolveBookFile(src, smilName, &path)) return 3;
        const CString ext = Extension(path);
        uint32_t rate = 0;
        uint64_t audioBytes = 0;
        // How far a clip may end after its audio: its times are read to the tenth of a
        // second, and an MP3 file ends with a whole frame that may have been cut off.
        uint32_t rounding = 0;
        if (ext.CompareNoCase(".wav") == 0) {
            WaveFormatEx format{};
            uint32_t dataSize = 0, dataOffset = 0;
            if (ReadWaveHeader(path, format, dataSize, dataOffset) == kWaveHeaderOk) {
                rate = format.nAvgBytesPerSec;
                rounding = rate / 10;
                uint64_t fileSize = 0;
                // The data chunk may claim more than the file holds.
                audioBytes = GetFileSize64(path, fileSize) && fileSize > dataOffset
                                 ? std::min<uint64_t>(dataSize, fileSize - dataOffset)
                                 : 0;
            }
        } else if (ext.CompareNoCase(".mp3") == 0) {
            rate = GetMp3BytesPerSecond(path);
            if (rate != 0 && path != m_strMeasuredMp3) {
                m_strMeasuredMp3.Empty();
                if (GetMp3AudioBytes(path, &m_nMp3AudioBytes, &m_nMp3FrameBytes))
                    m_strMeasuredMp3 = path;
                else
                    rate = 0;
            }
            audioBytes = m_nMp3AudioBytes;
            rounding = std::max(m_nMp3FrameBytes, rate / 10);
        } else {
            return 1;
        }
        // Without a rate every offset would be 0 and the phrase would play nothing.
        if (rate == 0) {
            ShowError(CString::Formatted("%s の音声形式が読み取れません。", src.c_str()));
            return 3;
        }
        uint32_t from = 0, to = 0;
        if (!ClipTimeToBytes(begin, rate, &from) || !ClipTimeToBytes(end, rate, &to)) {
            ShowError(CString::Formatted("%s のクリップ時間が正しくありません。（%s - %s）", smilName.c_str(), begin.c_str(),
                                         end.c_str()));
            return 3;
        }
        if (to < from) {
            ShowError(CString::Formatted("%s のクリップの終了時間が開始時間より前です。（%s - %s）", smilName.c_str(),
                                         begin.c_str(), end.c_str()));
            return 3;
        }
        // A clip that runs on after its audio has lost the end of its speech (a recording
        // cut short); the import would fill it with silence.
        if (from > audioBytes || to > audioBytes + rounding) {
            ShowError(CString::Formatted("%s のクリップ（%s - %s）が %s の長さを超えています。", smilName.c_str(),
                                         begin.c_str(), end.c_str(), src.c_str()));
            return 3;
        }
        phrase->m_nStart = from;
        phrase->m_nLength = to - from;
        phrase->m_nBytesPerSec = rate;
        phrases->Add(std::move(phrase));
    }
    return 0;
}

bool CDaisyBookReader::GetTargetPhrase(const CString& id, const CMarkupDocument& smil, int* phrase) {
    const auto pars = smil.ElementsByTagName("par");
    const auto clips = smil.ElementsByTagName("audio");
    bool matched = false;
    for (size_t i = 0; i < pars.size(); ++i) {
        for (Node child : CMarkupDocument::ChildElements(pars[i])) {
            if (CMarkupDocument::TagName(child).CompareNoCase("text") != 0) continue;
            CString src, ownId;
            CMarkupDocument::GetAttribute(child, "src", src);
            const int hash = src.Find('#');
            const CString target = hash < 0 ? src : src.Mid(hash + 1);
            CMarkupDocument::GetAttribute(child, "id", ownId);
            if (target.CompareNoCase(id) == 0 || ownId.CompareNoCase(id) == 0) matched = true;
            if (!matched) continue;

            // The clip: the first of the par's own <seq>, or of the next par when this one
            // holds only its text.
            const auto children = CMarkupDocument::ChildElements(pars[i]);
            Node clip = nullptr;
            if (!children.empty() && CMarkupDocument::TagName(children.back()).CompareNoCase("seq") == 0) {
                const auto inSeq = CMarkupDocument::ChildElements(children.back());
                if (!inSeq.empty()) clip = inSeq.front();
            } else if (!children.empty() && CMarkupDocument::TagName(children.back()).CompareNoCase("audio") == 0) {
                // A par that holds its one clip directly (books of other producers).
                clip = children.back();
            } else {
                if (i + 1 >= pars.size()) return false;
                const auto next = CMarkupDocument::ChildElements(pars[i + 1]);
                if (next.empty()) return false;
                const auto inLast = CMarkupDocument::ChildElements(next.back());
                clip = inLast.empty() ? next.back() : inLast.front();
            }
            CString clipId;
            if (!clip || !CMarkupDocument::GetAttribute(clip, "id", clipId)) return false;
            for (size_t p = 0; p < clips.size(); ++p) {
                CString audioId;
                if (CMarkupDocument::GetAttribute(clips[p], "id", audioId) && audioId.CompareNoCase(clipId) == 0) {
                    *phrase = static_cast<int>(p) + 1;
                    return true;
                }
            }
            break;  // not found: the next par is examined
        }
    }
    return false;
}

uint32_t CDaisyBookReader::GetWavBytesPerSecond(const CString& path) {
    WaveFormatEx format{};
    uint32_t dataSize = 0, dataOffset = 0;
    if (ReadWaveHeader(path, format, dataSize, dataOffset) != kWaveHeaderOk) return 0;
    return format.nAvgBytesPerSec;
}

bool CDaisyBookReader::GetMp3AudioBytes(const CString& path, uint64_t* audioBytes, uint32_t* frameBytes) {
    int error = 0;
    std::unique_ptr<CRiffFile> file = CRiffFile::Open(path, RiffOpenMode::Read, error);
    return file && MeasureMp3Frames(*file, *audioBytes, *frameBytes);
}

uint32_t CDaisyBookReader::GetMp3BytesPerSecond(const CString& path) {
    MP3DecoderInfo* info = nullptr;
    if (!IsSuccess(MP3CreateDecoderInfo(&info)) || !info) return 0;
    uint32_t rate = 0;
    int error = 0;
    std::unique_ptr<CRiffFile> file = CRiffFile::Open(path, RiffOpenMode::Read, error);
    // The stream information lies behind any tag in front of the audio.
    std::vector<uint8_t> head(8192);
    int64_t got = 0, audioStart = 0, size = 0;
    if (file && ReadMp3Head(*file, head, got, audioStart, size) && size > 0 && size <= UINT32_MAX &&
        info->Open(head.data(), static_cast<int>(got), static_cast<uint32_t>(size))) {
        const MP3StreamInfo* s = info->GetInfo();
        if (s) rate = s->channels * s->sampleRate * 2;
    }
    info->Release();
    return rate;
}

bool CDaisyBookReader::ClipTimeToBytes(const CString& value, uint32_t bytesPerSecond, uint32_t* bytes) {
    CString text = value;
    text.Replace("npt=", "");
    text.Remove('s');
    text.Trim();
    const std::string& s = text.str();
    size_t i = 0;
    uint64_t seconds = 0;
    while (i < s.size() && s[i] >= '0' && s[i] <= '9') {
        seconds = seconds * 10 + static_cast<uint64_t>(s[i] - '0');
        if (seconds > UINT32_MAX) return false;
        ++i;
    }
    const bool wholeDigits = i > 0;
    uint64_t tenths = 0;
    if (i < s.size() && s[i] == '.') {
        ++i;
        const size_t firstFraction = i;
        while (i < s.size() && s[i] >= '0' && s[i] <= '9') ++i;
        if (i == firstFraction && !wholeDigits) return false;
        if (i > firstFraction) tenths = static_cast<uint64_t>(s[firstFraction] - '0');
    } else if (!wholeDigits) {
        return false;
    }
    if (i != s.size()) return false;
    // Tenths of a second, as the phrases of a project are cut.
    const uint64_t offset = seconds * bytesPerSecond + tenths * (bytesPerSecond / 10);
    if (offset > UINT32_MAX) return false;
    *bytes = static_cast<uint32_t>(offset);
    return true;
}
