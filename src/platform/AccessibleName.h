#pragma once
// What a screen reader reads of a control where the toolkit leaves it empty or takes it
// from the wrong place. On the original platform a control is named by the label that
// stands before it in the dialog's order and a picture button by its caption; here a
// label beside a control is not related to it, and a window's name is not its
// accessible name.

#include <initializer_list>
#include <utility>

#include "platform/CString.h"

class wxWindow;

// Sets the name a screen reader reads for `control` (for a control that scrolls its
// content, on the part that takes the focus as well).
void SetAccessibleName(wxWindow& control, const CString& name);

// Sets the text a screen reader reads after the name (a value that changes, such as a
// position); an empty text removes it.
void SetAccessibleDescription(wxWindow& control, const CString& text);

// The key that works `control` wherever the focus is in its window (shown beside it, not
// in its caption), as the key binding of the control's action. It only tells the key: the
// key is handled where it always was.
void SetAccessibleKeyBinding(wxWindow& control, const CString& key);

// A dialog is read as one: a screen reader reads its text as it opens. The toolkit
// reports every top-level window of ours as a frame.
void SetAccessibleDialogRole(wxWindow& window);

// `label` names `control`: the control takes the label's text as its name, and the two
// are related (labelled-by, label-for) as a mnemonic label relates them.
void SetAccessibleLabel(wxWindow& label, wxWindow& control);

// SetAccessibleLabel for each pair of child ids of `parent` (label, control).
void SetAccessibleLabels(wxWindow& parent, std::initializer_list<std::pair<int, int>> labelAndControl);
