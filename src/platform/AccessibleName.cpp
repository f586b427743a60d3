#include "platform/AccessibleName.h"

#include <map>
#include <vector>

#include <wx/window.h>

#include "platform/CodePage.h"

#include <gtk/gtk.h>

namespace {

// The button inside a drop-down takes the focus, and its accessible object hangs below
// the drop-down's box rather than the drop-down: a screen reader may read it alone.
void CollectToggleButtons(GtkWidget* widget, gpointer data) {
    auto* found = static_cast<std::vector<GtkWidget*>*>(data);
    if (GTK_IS_TOGGLE_BUTTON(widget)) found->push_back(widget);
    else if (GTK_IS_CONTAINER(widget)) gtk_container_forall(GTK_CONTAINER(widget), CollectToggleButtons, data);
}

// The widgets whose accessible objects a screen reader meets for `control`: the
// control's own, and for a scrolled control (multi-line edit, list box) the view inside
// it, which is what takes the focus and is read.
std::vector<AtkObject*> Accessibles(wxWindow& control) {
    std::vector<AtkObject*> objects;
    GtkWidget* widget = control.GetHandle();
    if (!widget) return objects;
    if (AtkObject* outer = gtk_widget_get_accessible(widget)) objects.push_back(outer);
    if (GTK_IS_SCROLLED_WINDOW(widget)) {
        GtkWidget* inner = gtk_bin_get_child(GTK_BIN(widget));
        // Children without their own window sit in a viewport.
        if (inner && GTK_IS_VIEWPORT(inner)) inner = gtk_bin_get_child(GTK_BIN(inner));
        if (inner)
            if (AtkObject* view = gtk_widget_get_accessible(inner)) objects.push_back(view);
    }
    if (GTK_IS_COMBO_BOX(widget)) {
        std::vector<GtkWidget*> buttons;
        gtk_container_forall(GTK_CONTAINER(widget), CollectToggleButtons, &buttons);
        for (GtkWidget* button : buttons)
            if (AtkObject* object = gtk_widget_get_accessible(button)) objects.push_back(object);
    }
    return objects;
}

// The key binding a control was given, kept on its accessible object. The toolkit's
// objects derive their binding from a mnemonic only, so their class's action is made to
// answer with the given one first; objects given none answer as before.
GQuark KeyBindingQuark() {
    static const GQuark quark = g_quark_from_static_string("korvane-key-binding");
    return quark;
}

using GetKeyBinding = const gchar* (*)(AtkAction*, gint);

// The toolkit's own answer for each class whose action was taken over. A subclass set up
// afterwards inherits the taken-over answer, so the lookup goes up to the class found.
std::map<GType, GetKeyBinding>& ToolkitKeyBindings() {
    static std::map<GType, GetKeyBinding> bindings;
    return bindings;
}

const gchar* KeyBindingGiven(AtkAction* action, gint i) {
    if (i == 0)
        if (auto* given = static_cast<const gchar*>(g_object_get_qdata(G_OBJECT(action), KeyBindingQuark())))
            return given;
    for (GType type = G_TYPE_FROM_INSTANCE(action); type; type = g_type_parent(type)) {
        auto found = ToolkitKeyBindings().find(type);
        if (found != ToolkitKeyBindings().end()) return found->second ? found->second(action, i) : nullptr;
    }
    return nullptr;
}

void AnswerGivenKeyBinding(AtkObject* object) {
    auto* iface = static_cast<AtkActionIface*>(g_type_interface_peek(G_OBJECT_GET_CLASS(object), ATK_TYPE_ACTION));
    if (!iface || iface->get_keybinding == KeyBindingGiven) return;
    ToolkitKeyBindings()[G_TYPE_FROM_INSTANCE(object)] = iface->get_keybinding;
    iface->get_keybinding = KeyBindingGiven;
}

}  // namespace

void SetAccessibleKeyBinding(wxWindow& control, const CString& key) {
    const std::string utf8 = Cp932ToUtf8(key);
    for (AtkObject* object : Accessibles(control)) {
        if (!ATK_IS_ACTION(object)) continue;
        AnswerGivenKeyBinding(object);
        g_object_set_qdata_full(G_OBJECT(object), KeyBindingQuark(), g_strdup(utf8.c_str()), g_free);
    }
}

void SetAccessibleDialogRole(wxWindow& window) {
    GtkWidget* widget = window.GetHandle();
    if (AtkObject* object = widget ? gtk_widget_get_accessible(widget) : nullptr)
        atk_object_set_role(object, ATK_ROLE_DIALOG);
}

void SetAccessibleName(wxWindow& control, const CString& name) {
    const std::string utf8 = Cp932ToUtf8(name);
    for (AtkObject* object : Accessibles(control)) atk_object_set_name(object, utf8.c_str());
}

void SetAccessibleDescription(wxWindow& control, const CString& text) {
    const std::string utf8 = Cp932ToUtf8(text);
    for (AtkObject* object : Accessibles(control)) atk_object_set_description(object, utf8.c_str());
}

void SetAccessibleLabel(wxWindow& label, wxWindow& control) {
    SetAccessibleName(control, FromWx(label.GetLabel()));
    GtkWidget* labelWidget = label.GetHandle();
    AtkObject* labelObject = labelWidget ? gtk_widget_get_accessible(labelWidget) : nullptr;
    if (!labelObject) return;
    for (AtkObject* object : Accessibles(control)) {
        atk_object_add_relationship(object, ATK_RELATION_LABELLED_BY, labelObject);
        atk_object_add_relationship(labelObject, ATK_RELATION_LABEL_FOR, object);
    }
}

void SetAccessibleLabels(wxWindow& parent, std::initializer_list<std::pair<int, int>> labelAndControl) {
    for (const auto& [labelId, controlId] : labelAndControl) {
        wxWindow* label = parent.FindWindow(labelId);
        wxWindow* control = parent.FindWindow(controlId);
        if (label && control) SetAccessibleLabel(*label, *control);
    }
}
