// Texts that go into the book's markup. The five characters that markup treats
// specially become their full-width forms instead of entities, so that a player that
// shows the raw text still shows something sensible. The replacements contain none of
// the five, so escaping twice changes nothing. None of the five is ever the second
// byte of a double-byte character, so a plain replacement cannot cut one.

#include "app/KorvaneView.h"

CString CKorvaneView::EscapeMarkup(const CString& text) {
    if (text.FindOneOf("&<>'\"") < 0) return text;
    CString escaped = text;
    escaped.Replace("&", "＆");
    escaped.Replace("<", "＜");
    escaped.Replace(">", "＞");
    escaped.Replace("'", "’");
    escaped.Replace("\"", "”");
    return escaped;
}
