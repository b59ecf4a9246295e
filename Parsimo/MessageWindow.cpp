#include "MessageWindow.h"

#include <gtk/gtk.h>

#include <cstdio>
#include <initializer_list>

#include "MessageBox.h"

namespace {
struct Box {
    GMainLoop* loop = nullptr;
    int answer = kMessageYes;
    // What Escape and closing the window mean: No for a question, else OK.
    int dismissed = kMessageYes;
    bool decided = false;
};

void Decide(Box& box, int answer)
{
    if (box.decided) return;
    box.decided = true;
    box.answer = answer;
    g_main_loop_quit(box.loop);
}

void YesClicked(GtkButton*, gpointer data)
{
    Decide(*static_cast<Box*>(data), kMessageYes);
}
void NoClicked(GtkButton*, gpointer data)
{
    Decide(*static_cast<Box*>(data), kMessageNo);
}

gboolean CloseRequested(GtkWindow*, gpointer data)
{
    auto& box = *static_cast<Box*>(data);
    Decide(box, box.dismissed);
    return TRUE;  // the window goes when the box ends
}

gboolean EscapePressed(GtkWidget*, GVariant*, gpointer data)
{
    auto& box = *static_cast<Box*>(data);
    Decide(box, box.dismissed);
    return TRUE;
}

gboolean TimeRanOut(gpointer data)
{
    Decide(*static_cast<Box*>(data), kMessageNotAnswered);
    return G_SOURCE_REMOVE;
}

GtkWidget* Button(GtkWidget* row, const char* mnemonic, const char* name, GCallback clicked, Box& box)
{
    GtkWidget* button = gtk_button_new_with_mnemonic(mnemonic);
    gtk_accessible_update_property(GTK_ACCESSIBLE(button), GTK_ACCESSIBLE_PROPERTY_LABEL, name, -1);
    gtk_widget_set_size_request(button, 88, -1);
    g_signal_connect(button, "clicked", clicked, &box);
    gtk_box_append(GTK_BOX(row), button);
    return button;
}
}  // namespace

int MessageWindow::Run(Kind kind, const char* title, const char* text, int limitSeconds)
{
    if (!gtk_init_check()) {
        std::fprintf(stderr, "Parsimo: no display to show the message on.\n");
        return kNotShown;
    }
    Box box;
    const bool question = kind == Kind::Question;
    box.dismissed = question ? kMessageNo : kMessageYes;
    box.loop = g_main_loop_new(nullptr, FALSE);

    GtkWidget* window = gtk_window_new();
    gtk_window_set_title(GTK_WINDOW(window), title);
    gtk_window_set_resizable(GTK_WINDOW(window), FALSE);
    gtk_window_set_titlebar(GTK_WINDOW(window), gtk_header_bar_new());
    g_signal_connect(window, "close-request", G_CALLBACK(CloseRequested), &box);

    GtkWidget* outer = gtk_box_new(GTK_ORIENTATION_VERTICAL, 16);
    for (auto margin : {gtk_widget_set_margin_top, gtk_widget_set_margin_bottom, gtk_widget_set_margin_start,
                        gtk_widget_set_margin_end})
        margin(outer, 18);
    gtk_window_set_child(GTK_WINDOW(window), outer);
    GtkWidget* content = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 16);
    gtk_box_append(GTK_BOX(outer), content);
    const char* icon = question ? "dialog-question" : kind == Kind::Error ? "dialog-error" : "dialog-information";
    GtkWidget* image = gtk_image_new_from_icon_name(icon);
    gtk_image_set_pixel_size(GTK_IMAGE(image), 48);
    gtk_widget_set_valign(image, GTK_ALIGN_START);
    gtk_box_append(GTK_BOX(content), image);
    // Plain text: our texts hold file names, which are not markup.
    GtkWidget* label = gtk_label_new(text);
    gtk_label_set_wrap(GTK_LABEL(label), TRUE);
    gtk_label_set_wrap_mode(GTK_LABEL(label), PANGO_WRAP_WORD_CHAR);
    // Wrapped, a label asks for its narrowest width: lines of some forty characters read better.
    gtk_label_set_width_chars(GTK_LABEL(label), 40);
    gtk_label_set_max_width_chars(GTK_LABEL(label), 60);
    gtk_label_set_xalign(GTK_LABEL(label), 0);
    gtk_box_append(GTK_BOX(content), label);

    GtkWidget* buttons = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 8);
    gtk_widget_set_halign(buttons, GTK_ALIGN_END);
    gtk_box_append(GTK_BOX(outer), buttons);
    if (question) Button(buttons, "_No", "No", G_CALLBACK(NoClicked), box);
    GtkWidget* yes = Button(buttons, question ? "_Yes" : "_OK", question ? "Yes" : "OK", G_CALLBACK(YesClicked), box);
    gtk_widget_add_css_class(yes, "suggested-action");
    gtk_window_set_default_widget(GTK_WINDOW(window), yes);
    gtk_window_set_focus(GTK_WINDOW(window), yes);

    GtkEventController* keys = gtk_shortcut_controller_new();
    gtk_shortcut_controller_add_shortcut(
        GTK_SHORTCUT_CONTROLLER(keys),
        gtk_shortcut_new(gtk_keyval_trigger_new(GDK_KEY_Escape, static_cast<GdkModifierType>(0)),
                         gtk_callback_action_new(EscapePressed, &box, nullptr)));
    gtk_widget_add_controller(window, keys);

    gtk_window_present(GTK_WINDOW(window));
    const guint timer =
        limitSeconds > 0 ? g_timeout_add_seconds(static_cast<guint>(limitSeconds), TimeRanOut, &box) : 0;
    g_main_loop_run(box.loop);
    if (timer != 0 && box.answer != kMessageNotAnswered) g_source_remove(timer);
    gtk_window_destroy(GTK_WINDOW(window));
    g_main_loop_unref(box.loop);
    return box.answer;
}
