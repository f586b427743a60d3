#pragma once
// The program's fixed identity texts.

inline constexpr const char g_strAppId[] = "Brelloway Tolvane Korvane";
inline constexpr const char g_strProductName[] = "Tolvane Zavi Ver1.1.9";
inline constexpr const char g_strProductTitle[] = "Tolvane Zavi （Daisy編集機能 Ver1.1.9）";
inline constexpr const char g_strPrevVersionNo[] = "01";
inline constexpr const char g_strLanguage[] = "Japanese";
inline constexpr const char g_strCharset[] = "Shift_JIS";
inline constexpr const char g_strDefaultHeading[] = "見出し";
// Main window title and caption of the project save and load progress dialogs.
inline constexpr const char g_strMainTitle[] = "Tolvane Zavi";
