#include "app/MainMenu.h"

#include <wx/menu.h>

#include "app/CommandIds.h"
#include "platform/CodePage.h"
#include "platform/KeyMap.h"

namespace {

struct Item {
    int id;  // 0: separator
    const char* caption;
    bool check = false;
};

wxMenu* MakeMenu(std::initializer_list<Item> items) {
    auto* menu = new wxMenu();
    for (const Item& item : items) {
        if (item.id == 0) menu->AppendSeparator();
        // The key stays in the caption as text; the window's own key hook runs the
        // accelerators, in the order the view's key filter needs.
        else menu->Append(WxIdFromCommand(item.id), ToWx(item.caption), wxEmptyString,
                          item.check ? wxITEM_CHECK : wxITEM_NORMAL);
    }
    return menu;
}

// The toolkit takes item ids below 32767 only; the commands keep their own numbers
// everywhere else.
constexpr int kWxIdOffset = 30000;

}  // namespace

int WxIdFromCommand(int command) {
    if (command == ID_APP_EXIT) return wxID_EXIT;
    if (command == ID_APP_ABOUT) return wxID_ABOUT;
    return command - kWxIdOffset;
}

int CommandFromWxId(int wxId) {
    if (wxId == wxID_EXIT) return ID_APP_EXIT;
    if (wxId == wxID_ABOUT) return ID_APP_ABOUT;
    return wxId + kWxIdOffset;
}

wxMenuBar* CreateMainMenu() {
    auto* bar = new wxMenuBar();
    bar->Append(MakeMenu({{ID_PROJECT_NEW, "新規作成(&N)... Ctrl+N"},
                          {ID_PROJECT_OPEN, "開く(&O)... Ctrl+O"},
                          {0, nullptr},
                          {ID_APP_EXIT, "終了(&X)"}}),
                ToWx("ファイル(&F)"));
    bar->Append(MakeMenu({{ID_EDIT_UNDO, "元に戻す(&U) Ctrl+Z"},
                          {0, nullptr},
                          {ID_EDIT_CUT, "切り取り(&T) Ctrl+X"},
                          {ID_EDIT_COPY, "コピー(&C) Ctrl+C"},
                          {ID_EDIT_PASTE, "貼り付け(&P) Ctrl+V"},
                          {0, nullptr},
                          {ID_EDIT_DELETE, "削除(&D)... Delete"},
                          {ID_EDIT_DELETE_ALL, "全て削除(&E)..."},
                          {ID_EDIT_SELECT_ALL, "全て選択(&L) Ctrl+A"},
                          {0, nullptr},
                          {ID_EDIT_JOIN, "結合(&J)... Shift+C"},
                          {ID_SECTION_SPLIT, "セクション分割(&S)... Shift+S"},
                          {ID_PHRASE_SPLIT, "フレーズ分割(&H)... Shift+H"},
                          {ID_SECTION_ADD, "セクション追加(&I)... Shift+A"},
                          {0, nullptr},
                          {ID_LEVEL_UP, "レベルUp(&Q) Q"},
                          {ID_LEVEL_DOWN, "レベルDown(&W) W"},
                          {ID_GROUP, "グループ(&G) G"},
                          {ID_PAGE, "ページ(&A) P"},
                          {ID_MARK, "マーク(&M) M"},
                          {0, nullptr},
                          {ID_GROUP_DELETE_ALL, "グループの全削除(&V)..."},
                          {ID_PAGE_DELETE_ALL, "ページの全削除(&B)..."},
                          {ID_MARK_DELETE_ALL, "マークの全削除(&N)..."},
                          {0, nullptr},
                          {ID_PROPERTIES, "プロパティ(&R)... Enter"}}),
                ToWx("編集(&E)"));
    bar->Append(MakeMenu({{ID_MOVE_HEAD, "先頭へ移動(&M) C"},
                          {ID_MOVE_TAIL, "末尾へ移動(&E) V"},
                          {0, nullptr},
                          {ID_PREV_PHRASE, "前のフレーズ(&Z) E"},
                          {ID_NEXT_PHRASE, "次のフレーズ(&X) R"},
                          {0, nullptr},
                          {ID_PREV_GROUP, "前のグループ(&T) Shift+←"},
                          {ID_NEXT_GROUP, "次のグループ(&Y) Shift+→"},
                          {0, nullptr},
                          {ID_PREV_PAGE, "前のページ(&G) Ctrl+←"},
                          {ID_NEXT_PAGE, "次のページ(&H) Ctrl+→"},
                          {0, nullptr},
                          {ID_PREV_MARK, "前のマーク(&B) Shift+E"},
                          {ID_NEXT_MARK, "次のマーク(&N) Shift+R"},
                          {0, nullptr},
                          {ID_PREV_EVENT, "前のイベント(&A) Ctrl+E"},
                          {ID_NEXT_EVENT, "次のイベント(&S) Ctrl+R"},
                          {0, nullptr},
                          {ID_HEADING_SEARCH, "見出し検索(&I)... Ctrl+F"},
                          {ID_SECTION_SEARCH, "セクション検索(&O)... Ctrl+T"},
                          {ID_PAGE_SEARCH, "ページ検索(&P)... Ctrl+G"}}),
                ToWx("移動(&M)"));
    bar->Append(MakeMenu({{ID_PLAY, "再生(&P) D"},
                          {ID_STOP, "停止(&H) H"},
                          {0, nullptr},
                          {ID_VOLUME_DOWN, "再生音量Down(&D) F3"},
                          {ID_VOLUME_UP, "再生音量Up(&U) F4"},
                          {0, nullptr},
                          {ID_SPEED_DOWN, "再生スピードDown(&O) F9"},
                          {ID_SPEED_UP, "再生スピードUp(&S) F10"},
                          {0, nullptr},
                          {ID_REFRESH, "最新の情報に更新(&F) F5"}}),
                ToWx("コントロール(&C)"));
    bar->Append(MakeMenu({{ID_DAISY_BUILD, "Daisy図書作成(&M)... F6"},
                          {0, nullptr},
                          {ID_DAISY_IMPORT, "Daisy図書インポート(&I)..."},
                          {ID_AUDIO_IMPORT, "音声インポート(&A)... Ctrl+M"},
                          {0, nullptr},
                          {ID_DAISY_EXPORT, "Daisy図書エクスポート(&E)..."},
                          {0, nullptr},
                          {ID_SILENCE_DETECT, "無音時間検出(&P)..."},
                          {0, nullptr},
                          {ID_CD_WRITE, "CD書込み(&W)... Ctrl+W"},
                          {0, nullptr},
                          {ID_DISC_INFO, "ディスク情報(&S)... Ctrl+S"}}),
                ToWx("ツール(&T)"));
    wxMenu* options = MakeMenu({{ID_BOOK_INFO, "書誌情報(&I)... Ctrl+I"},
                                {0, nullptr},
                                {ID_PAUSE_SETTINGS, "区切り設定(&S)... Ctrl+K"},
                                {0, nullptr}});
    options->AppendSubMenu(MakeMenu({{ID_MP3_QUALITY_SPEED, "速度優先", true},
                                     {ID_MP3_QUALITY_STANDARD, "標準", true},
                                     {ID_MP3_QUALITY_BEST, "音質優先", true}}),
                           ToWx("MP3音質設定(&Q)"));
    options->AppendSubMenu(MakeMenu({{ID_LIST_FONT_LARGE, "大", true},
                                     {ID_LIST_FONT_STANDARD, "標準", true},
                                     {ID_LIST_FONT_SMALL, "小", true}}),
                           ToWx("リストフォントサイズ(&F)"));
    bar->Append(options, ToWx("オプション(&O)"));
    bar->Append(MakeMenu({{ID_HELP_CONTENTS, "ヘルプ(&H)"}, {ID_APP_ABOUT, "バージョン情報(&A)..."}}),
                ToWx("ヘルプ(&H)"));
    return bar;
}

const std::vector<CAccelerator>& MainAccelerators() {
    static const std::vector<CAccelerator> table = {
        {true, false, 'N', ID_PROJECT_NEW},      {true, false, 'O', ID_PROJECT_OPEN},
        {true, false, 'Z', ID_EDIT_UNDO},        {true, false, 'X', ID_EDIT_CUT},
        {true, false, 'C', ID_EDIT_COPY},        {true, false, 'V', ID_EDIT_PASTE},
        {false, false, VK_DELETE, ID_EDIT_DELETE}, {true, false, 'A', ID_EDIT_SELECT_ALL},
        {false, true, 'C', ID_EDIT_JOIN},        {false, true, 'S', ID_SECTION_SPLIT},
        {false, true, 'H', ID_PHRASE_SPLIT},     {false, true, 'A', ID_SECTION_ADD},
        {false, false, 'Q', ID_LEVEL_UP},        {false, false, 'W', ID_LEVEL_DOWN},
        {false, false, 'G', ID_GROUP},           {false, false, 'P', ID_PAGE},
        {false, false, 'M', ID_MARK},            {false, false, VK_RETURN, ID_PROPERTIES},
        {false, false, 'C', ID_MOVE_HEAD},       {false, false, 'V', ID_MOVE_TAIL},
        {false, false, 'E', ID_PREV_PHRASE},     {false, false, 'R', ID_NEXT_PHRASE},
        {false, true, VK_LEFT, ID_PREV_GROUP},   {false, true, VK_RIGHT, ID_NEXT_GROUP},
        {true, false, VK_LEFT, ID_PREV_PAGE},    {true, false, VK_RIGHT, ID_NEXT_PAGE},
        {false, true, 'E', ID_PREV_MARK},        {false, true, 'R', ID_NEXT_MARK},
        {true, false, 'E', ID_PREV_EVENT},       {true, false, 'R', ID_NEXT_EVENT},
        {true, false, 'F', ID_HEADING_SEARCH},   {true, false, 'T', ID_SECTION_SEARCH},
        {true, false, 'G', ID_PAGE_SEARCH},      {false, false, 'D', ID_PLAY},
        {false, false, 'H', ID_STOP},            {false, false, VK_F3, ID_VOLUME_DOWN},
        {false, false, VK_F4, ID_VOLUME_UP},     {false, false, VK_F9, ID_SPEED_DOWN},
        {false, false, VK_F10, ID_SPEED_UP},     {false, false, VK_F5, ID_REFRESH},
        {false, false, VK_F6, ID_DAISY_BUILD},   {true, false, 'M', ID_AUDIO_IMPORT},
        {true, false, 'W', ID_CD_WRITE},         {true, false, 'S', ID_DISC_INFO},
        {true, false, 'I', ID_BOOK_INFO},        {true, false, 'K', ID_PAUSE_SETTINGS},
    };
    return table;
}

int FindAccelerator(int virtualKey, bool ctrl, bool shift, bool alt) {
    if (alt) return 0;
    for (const CAccelerator& a : MainAccelerators())
        if (a.virtualKey == virtualKey && a.ctrl == ctrl && a.shift == shift) return a.command;
    return 0;
}
