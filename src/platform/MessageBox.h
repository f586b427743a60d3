#pragma once
// Every message box of the program goes through KvMessageBox, with the original
// platform's style flags and button results, so that a test script (CUiScript in
// DialogHost.h) can answer the boxes in order and record what they said.

#include <memory>

#include "platform/CString.h"

class wxFont;
class wxString;
class wxWindow;
class wxMessageDialogBase;

// Buttons.
constexpr long MB_OK = 0x0000L;
constexpr long MB_OKCANCEL = 0x0001L;
constexpr long MB_YESNOCANCEL = 0x0003L;
constexpr long MB_YESNO = 0x0004L;
constexpr long MB_TYPEMASK = 0x000FL;
// Icons.
constexpr long MB_ICONHAND = 0x0010L;
constexpr long MB_ICONSTOP = MB_ICONHAND;
constexpr long MB_ICONERROR = MB_ICONHAND;
constexpr long MB_ICONQUESTION = 0x0020L;
constexpr long MB_ICONEXCLAMATION = 0x0030L;
constexpr long MB_ICONWARNING = MB_ICONEXCLAMATION;
constexpr long MB_ICONASTERISK = 0x0040L;
constexpr long MB_ICONINFORMATION = MB_ICONASTERISK;
constexpr long MB_ICONMASK = 0x00F0L;
// Default button.
constexpr long MB_DEFBUTTON1 = 0x0000L;
constexpr long MB_DEFBUTTON2 = 0x0100L;
constexpr long MB_DEFMASK = 0x0F00L;

// Results (also the end codes of modal dialogs).
constexpr int IDOK = 1;
constexpr int IDCANCEL = 2;
constexpr int IDYES = 6;
constexpr int IDNO = 7;

// Caption of the library-style box: the application's title.
inline constexpr const char* kAppTitle = "Korvane";

// Shows a box and returns the button pressed (IDOK, IDCANCEL, IDYES, IDNO). The result
// is always one of the box's own buttons: closing a Yes/No box counts as No and closing
// an OK box as OK, because the original's boxes of that kind cannot be cancelled and
// callers test for exactly those results.
int KvMessageBox(wxWindow* parent, const CString& text, const CString& caption, long style);

// The class library's box: the application's title as caption, the main window as
// parent, and the library's icon when the type names none (warning for OK and
// OK/Cancel, question for Yes/No and Yes/No/Cancel).
int AfxMessageBox(const CString& text, long type = MB_OK);

// The button a box answers with when nobody chooses one (an unscripted box in a test,
// a program without a display): OK for an OK box, No for Yes/No, Cancel otherwise.
int DefaultBoxResult(long style);

// True when `result` is one of the buttons of a box of `style`.
bool IsBoxButton(long style, int result);

// The box's result from the toolkit's answer (wxID_OK ...), kept within the box's buttons.
int BoxResultFromWx(long style, int wxId);

// The toolkit's dialog KvMessageBox shows: style flags translated, the icon drawn,
// Japanese button texts as the original's system shows them.
std::unique_ptr<wxMessageDialogBase> MakeMessageDialog(wxWindow* parent, const CString& text,
                                                   const CString& caption, long style);

// The widest a line of a box's text may be, in pixels, before it wraps.
int MessageTextWidth();

// `text` with a line break wherever a line would be wider than `maxWidth` pixels in
// `font`: after a blank where one fits, else between characters (Japanese), never before
// closing punctuation.
wxString WrapMessageText(const wxString& text, const wxFont& font, int maxWidth);
