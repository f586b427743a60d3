#pragma once
// Limits of a book and the messages that refuse going past them.

inline constexpr int kMaxSections = 20000;
inline constexpr int kMaxPhrasesPerSection = 20000;

inline constexpr const char kMsgSectionAddFull[] = "セクション数が最大のため追加出来ません。";
inline constexpr const char kMsgSectionPasteFull[] = "セクション数が最大のため貼り付け出来ません。";
inline constexpr const char kMsgPhrasePasteFull[] = "フレーズ数が最大のため貼り付け出来ません。";
inline constexpr const char kMsgSectionSplitFull[] = "セクション数が最大のため分割出来ません。";
inline constexpr const char kMsgSectionJoinFull[] = "結合出来ません。";
inline constexpr const char kMsgDaisyImportFull[] = "セクション数が最大のため貼り付け出来ません。";
