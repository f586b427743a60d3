#include "platform/AccessibleName.h"

#include <gtk/gtk.h>

#include <wx/window.h>

#include "platform/CodePage.h"

void SetAccessibleName(wxWindow& window, const CString& name) {
    GtkWidget* widget = static_cast<GtkWidget*>(window.GetHandle());
    if (!widget) return;
    if (AtkObject* accessible = gtk_widget_get_accessible(widget))
        atk_object_set_name(accessible, Cp932ToUtf8(name).c_str());
}
