#include "SettingsDialog.h"

#include <gtk/gtk.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "AppEnvironment.h"
#include "BitmapProcessing.h"
#include "FixedText.h"
#include "PreviewPage.h"
#include "PrinterChoices.h"
#include "SavingChoice.h"
#include "SavingsMasks.h"
#include "SysUtils.h"
#include "TextBuffer.h"

namespace {
constexpr int kSavingsStep = SavingsMasks::kStep;
constexpr int kSavingsMaximum = SavingsMasks::kMaximum;

// Output choices and the PrintOutFormat each stores.
constexpr const char* kOutputs[] = {"Print on the target printer", "Save as a PDF file", "Save as image files"};
constexpr const char* kOutputValues[] = {"", "PDF", "IMAGE"};
// Image formats and the DefaultImageFormat each stores; the second column
// names the stored spellings that show as the same choice.
constexpr const char* kImages[] = {"JPEG", "BMP, 256 colours", "BMP, true colour"};
constexpr const char* kImageValues[] = {"jpeg", "bmp256", "bmp16m"};
constexpr const char* kImageAliases[] = {"jpg", "bmp", "bmp16m"};
constexpr const char* kLogLevels[] = {"0 – every trace", "1 – notes and errors", "2 – errors (usual)",
                                      "3 – essentials only"};

struct Dialog {
    AppEnvironment stored{AppEnvironment::DefaultsOnly{}};  // as read when the dialog opened
    AppEnvironment chosen{AppEnvironment::DefaultsOnly{}};
    std::vector<std::string> printers;  // names in the order of the list
    bool forJob = true;
    GMainLoop* loop = nullptr;
    bool decided = false;
    bool print = false;
    bool timedOut = false;
    int minimum = 0;         // the machine's MinimumSaving: the scale starts there
    int initialSavings = 0;  // where the scale started: unmoved, the stored setting stays

    GtkWidget* window = nullptr;
    GtkWidget* savings = nullptr;
    GtkWidget* legible = nullptr;
    GtkWidget* codes = nullptr;
    GtkWidget* preview = nullptr;
    GtkWidget* savedLabel = nullptr;
    GtkWidget* printer = nullptr;
    GtkWidget* output = nullptr;
    GtkWidget* image = nullptr;
    GtkWidget* showDialog = nullptr;
    GtkWidget* micr = nullptr;
    GtkWidget* statistics = nullptr;
    GtkWidget* logLevel = nullptr;
    PreviewImage page;
};

int IndexOf(const char* value, const char* const* values, int count, const char* const* aliases = nullptr)
{
    for (int i = 0; i < count; ++i)
        if (TextBuffer(value).Compare(values[i], true) == 0 ||
            (aliases && TextBuffer(value).Compare(aliases[i], true) == 0))
            return i;
    return 0;
}

void Label(GtkWidget* widget, const char* name)
{
    gtk_accessible_update_property(GTK_ACCESSIBLE(widget), GTK_ACCESSIBLE_PROPERTY_LABEL, name, -1);
}

GtkWidget* DropDown(const char* const* items, int count, const char* name)
{
    std::vector<const char*> strings(items, items + count);
    strings.push_back(nullptr);
    GtkWidget* drop = gtk_drop_down_new_from_strings(strings.data());
    Label(drop, name);
    return drop;
}

// A caption in the left column; its mnemonic moves the focus to the control.
void Row(GtkGrid* grid, int row, const char* caption, GtkWidget* control)
{
    GtkWidget* label = gtk_label_new_with_mnemonic(caption);
    gtk_label_set_mnemonic_widget(GTK_LABEL(label), control);
    gtk_widget_set_halign(label, GTK_ALIGN_START);
    gtk_grid_attach(grid, label, 0, row, 1, 1);
    gtk_widget_set_hexpand(control, TRUE);
    gtk_grid_attach(grid, control, 1, row, 1, 1);
    gtk_accessible_update_relation(GTK_ACCESSIBLE(control), GTK_ACCESSIBLE_RELATION_LABELLED_BY, label, nullptr, -1);
}

int Savings(const Dialog& d)
{
    return static_cast<int>(gtk_range_get_value(GTK_RANGE(d.savings)) + 0.5);
}

void DrawPreview(GtkDrawingArea*, cairo_t* cr, int, int, gpointer data)
{
    auto* d = static_cast<Dialog*>(data);
    if (d->page.bgra.empty()) return;
    cairo_surface_t* surface = cairo_image_surface_create_for_data(d->page.bgra.data(), CAIRO_FORMAT_RGB24,
                                                                   d->page.width, d->page.height, d->page.width * 4);
    cairo_set_source_surface(cr, surface, 0, 0);
    // Every pixel as it is: a smoothed picture would hide the pattern.
    cairo_pattern_set_filter(cairo_get_source(cr), CAIRO_FILTER_NEAREST);
    cairo_paint(cr);
    cairo_surface_destroy(surface);
}

void UpdatePreview(Dialog& d)
{
    d.page = PreviewPage::Render(Savings(d), gtk_check_button_get_active(GTK_CHECK_BUTTON(d.legible)) ? 1 : 0,
                                 gtk_check_button_get_active(GTK_CHECK_BUTTON(d.codes)) ? 1 : 0);
    TextBuffer text;
    if (Savings(d) == 0)
        text.Assign("Toner saving is off: the page prints as it is.");
    else
        text.Format("This sample page needs %.0f %% less toner.", d.page.savedShare * 100);
    gtk_label_set_text(GTK_LABEL(d.savedLabel), text.GetText());
    // The style and the codes matter only while something is saved.
    gtk_widget_set_sensitive(d.legible, Savings(d) != 0);
    gtk_widget_set_sensitive(d.codes, Savings(d) != 0);
    gtk_widget_queue_draw(d.preview);
}

// Where the scale starts: the saving the job would get (its job processor
// says), else the stored setting as the filter applies it; never below the minimum.
int InitialSavings(const AppEnvironment& stored)
{
    const std::string forJob = GetEnvironmentText("PARSIMO_JOB_SAVING");
    const std::optional<int32_t> job = forJob == "0" ? 0 : SavingChoice::ParseLevel(forJob);
    const int32_t level = SavingsMasks::Level(stored.SavingsPercentage);
    const int32_t start = job ? *job : (level < 0 ? 0 : SavingsMasks::Percentage(level));
    return std::max(start, stored.MinimumSaving);
}

gchar* SavingsText(GtkScale*, double value, gpointer)
{
    const int percent = static_cast<int>(value + 0.5);
    return percent == 0 ? g_strdup("Off") : g_strdup_printf("%d %%", percent);
}

void SavingsChanged(GtkRange* range, gpointer data)
{
    // The scale moves in whole steps of the filter's masks.
    const double value = gtk_range_get_value(range);
    const double snapped = std::max<double>(kSavingsStep * static_cast<int>(value / kSavingsStep + 0.5),
                                            static_cast<Dialog*>(data)->minimum);
    if (snapped != value) {
        gtk_range_set_value(range, snapped);
        return;
    }
    UpdatePreview(*static_cast<Dialog*>(data));
}

void StyleToggled(GtkCheckButton*, gpointer data)
{
    UpdatePreview(*static_cast<Dialog*>(data));
}

void OutputChanged(GObject*, GParamSpec*, gpointer data)
{
    auto* d = static_cast<Dialog*>(data);
    const guint output = gtk_drop_down_get_selected(GTK_DROP_DOWN(d->output));
    gtk_widget_set_sensitive(d->image, output == 2);
    gtk_widget_set_sensitive(d->printer, output == 0);
}

void Decide(Dialog& d, bool print)
{
    if (d.decided) return;
    d.decided = true;
    d.print = print;
    g_main_loop_quit(d.loop);
}

gboolean TimeRanOut(gpointer data)
{
    auto& d = *static_cast<Dialog*>(data);
    if (!d.decided) {
        d.decided = d.timedOut = true;
        g_main_loop_quit(d.loop);
    }
    return G_SOURCE_REMOVE;
}

void PrintClicked(GtkButton*, gpointer data)
{
    Decide(*static_cast<Dialog*>(data), true);
}
void CancelClicked(GtkButton*, gpointer data)
{
    Decide(*static_cast<Dialog*>(data), false);
}

gboolean CloseRequested(GtkWindow*, gpointer data)
{
    Decide(*static_cast<Dialog*>(data), false);
    return TRUE;  // the window goes when the dialog ends
}

gboolean EscapePressed(GtkWidget*, GVariant*, gpointer data)
{
    Decide(*static_cast<Dialog*>(data), false);
    return TRUE;
}

GtkWidget* Check(const char* caption, int32_t value)
{
    GtkWidget* check = gtk_check_button_new_with_mnemonic(caption);
    gtk_check_button_set_active(GTK_CHECK_BUTTON(check), value != 0);
    std::string name;
    for (const char* c = caption; *c; ++c)
        if (*c != '_') name.push_back(*c);
    Label(check, name.c_str());
    return check;
}

void Build(Dialog& d)
{
    const AppEnvironment& s = d.stored;
    d.window = gtk_window_new();
    const std::string title = std::string(s.AppTitle) + (d.forJob ? "" : " settings");
    gtk_window_set_title(GTK_WINDOW(d.window), title.c_str());
    gtk_window_set_resizable(GTK_WINDOW(d.window), FALSE);
    // The title and the close button in a bar of our own, whatever the desktop draws.
    gtk_window_set_titlebar(GTK_WINDOW(d.window), gtk_header_bar_new());
    g_signal_connect(d.window, "close-request", G_CALLBACK(CloseRequested), &d);

    GtkWidget* outer = gtk_box_new(GTK_ORIENTATION_VERTICAL, 12);
    for (auto margin : {gtk_widget_set_margin_top, gtk_widget_set_margin_bottom, gtk_widget_set_margin_start,
                        gtk_widget_set_margin_end})
        margin(outer, 16);
    gtk_window_set_child(GTK_WINDOW(d.window), outer);
    GtkWidget* columns = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 20);
    gtk_box_append(GTK_BOX(outer), columns);

    GtkWidget* grid = gtk_grid_new();
    gtk_grid_set_row_spacing(GTK_GRID(grid), 10);
    gtk_grid_set_column_spacing(GTK_GRID(grid), 12);
    gtk_widget_set_size_request(grid, 360, -1);
    gtk_box_append(GTK_BOX(columns), grid);

    GtkWidget* heading = gtk_label_new(nullptr);
    gtk_label_set_markup(GTK_LABEL(heading),
                         d.forJob ? "<b>Before this job is printed</b>" : "<b>For the next jobs</b>");
    gtk_widget_set_halign(heading, GTK_ALIGN_START);
    gtk_grid_attach(GTK_GRID(grid), heading, 0, 0, 2, 1);

    // The scale offers what the machine allows (a range needs two ends).
    d.savings = gtk_scale_new_with_range(
        GTK_ORIENTATION_HORIZONTAL, std::min(d.minimum, kSavingsMaximum - kSavingsStep), kSavingsMaximum, kSavingsStep);
    gtk_scale_set_digits(GTK_SCALE(d.savings), 0);
    gtk_scale_set_draw_value(GTK_SCALE(d.savings), TRUE);
    gtk_scale_set_value_pos(GTK_SCALE(d.savings), GTK_POS_RIGHT);
    gtk_scale_set_format_value_func(GTK_SCALE(d.savings), SavingsText, nullptr, nullptr);
    gtk_range_set_increments(GTK_RANGE(d.savings), kSavingsStep, 25);
    for (int mark = 0; mark <= kSavingsMaximum; mark += 25)
        if (mark >= d.minimum) gtk_scale_add_mark(GTK_SCALE(d.savings), mark, GTK_POS_BOTTOM, nullptr);
    gtk_range_set_value(GTK_RANGE(d.savings), d.initialSavings);
    Label(d.savings, "Toner saving");
    Row(GTK_GRID(grid), 1, "_Toner saving", d.savings);
    // Below the machine's minimum the scale does not go: say why it starts there.
    if (d.minimum > 0) {
        TextBuffer mark, tip;
        mark.Format("min. %d %%", d.minimum);
        gtk_scale_add_mark(GTK_SCALE(d.savings), d.minimum, GTK_POS_TOP, mark.GetText());
        tip.Format("This computer saves at least %d %% on every job.", d.minimum);
        gtk_widget_set_tooltip_text(d.savings, tip.GetText());
    }
    d.legible = Check("Keep te_xt sharp", s.SavingsStyle);
    gtk_widget_set_tooltip_text(d.legible, "Keeps the edges of letters and lines and thins their insides and fills "
                                           "harder, for the same saving");
    d.codes = Check("Keep _barcodes whole", s.ProtectCodes);
    gtk_widget_set_tooltip_text(d.codes, "Prints the barcodes and 2-D codes found on a page at full strength");
    gtk_grid_attach(GTK_GRID(grid), d.legible, 1, 2, 1, 1);
    gtk_grid_attach(GTK_GRID(grid), d.codes, 1, 3, 1, 1);

    std::vector<const char*> names;
    for (const std::string& name : d.printers) names.push_back(name.c_str());
    if (names.empty()) names.push_back("(no printer found)");
    d.printer = DropDown(names.data(), static_cast<int>(names.size()), "Target printer");
    gtk_widget_set_sensitive(d.printer, !d.printers.empty());
    Row(GTK_GRID(grid), 4, "Target _printer", d.printer);

    d.output = DropDown(kOutputs, 3, "Output");
    gtk_drop_down_set_selected(GTK_DROP_DOWN(d.output),
                               static_cast<guint>(IndexOf(s.PrintOutFormat, kOutputValues, 3)));
    Row(GTK_GRID(grid), 5, "_Output", d.output);

    d.image = DropDown(kImages, 3, "Image format");
    gtk_drop_down_set_selected(GTK_DROP_DOWN(d.image),
                               static_cast<guint>(IndexOf(s.DefaultImageFormat, kImageValues, 3, kImageAliases)));
    Row(GTK_GRID(grid), 6, "_Image format", d.image);

    d.showDialog = Check("_Show this dialog before every job", s.ShowDialog);
    d.micr = Check("_Enhanced MICR line quality", s.EnhancedMicrLineQuality);
    d.statistics = Check("_Collect per-page ink statistics", s.AdvUsageStat);
    int row = 7;
    for (GtkWidget* check : {d.showDialog, d.micr, d.statistics})
        gtk_grid_attach(GTK_GRID(grid), check, 0, row++, 2, 1);

    GtkWidget* expander = gtk_expander_new_with_mnemonic("_Advanced");
    Label(expander, "Advanced");
    GtkWidget* advanced = gtk_grid_new();
    gtk_grid_set_column_spacing(GTK_GRID(advanced), 12);
    gtk_widget_set_margin_top(advanced, 8);
    d.logLevel = DropDown(kLogLevels, 4, "Log level");
    gtk_drop_down_set_selected(GTK_DROP_DOWN(d.logLevel), static_cast<guint>(s.LogLevel));
    Row(GTK_GRID(advanced), 0, "_Log level", d.logLevel);
    gtk_expander_set_child(GTK_EXPANDER(expander), advanced);
    gtk_grid_attach(GTK_GRID(grid), expander, 0, row++, 2, 1);

    GtkWidget* note = gtk_label_new(d.forJob ? "Print keeps these settings for this job and the next ones. "
                                               "Cancel job ends this job; the settings stay as they were."
                                             : "Save keeps these settings for the next jobs. "
                                               "Close leaves them as they were.");
    gtk_label_set_wrap(GTK_LABEL(note), TRUE);
    gtk_label_set_max_width_chars(GTK_LABEL(note), 44);
    gtk_label_set_xalign(GTK_LABEL(note), 0);
    gtk_widget_add_css_class(note, "dim-label");
    gtk_widget_set_valign(note, GTK_ALIGN_END);
    gtk_widget_set_vexpand(note, TRUE);
    gtk_grid_attach(GTK_GRID(grid), note, 0, row, 2, 1);

    GtkWidget* previewBox = gtk_box_new(GTK_ORIENTATION_VERTICAL, 6);
    gtk_box_append(GTK_BOX(columns), previewBox);
    GtkWidget* frame = gtk_frame_new(nullptr);
    d.preview = gtk_drawing_area_new();
    gtk_drawing_area_set_content_width(GTK_DRAWING_AREA(d.preview), PreviewPage::kWidth * PreviewPage::kZoom);
    gtk_drawing_area_set_content_height(GTK_DRAWING_AREA(d.preview), PreviewPage::kHeight * PreviewPage::kZoom);
    gtk_drawing_area_set_draw_func(GTK_DRAWING_AREA(d.preview), DrawPreview, &d, nullptr);
    gtk_accessible_update_property(GTK_ACCESSIBLE(d.preview), GTK_ACCESSIBLE_PROPERTY_LABEL, "Preview",
                                   GTK_ACCESSIBLE_PROPERTY_DESCRIPTION,
                                   "A sample page thinned at the chosen toner saving", -1);
    gtk_frame_set_child(GTK_FRAME(frame), d.preview);
    gtk_box_append(GTK_BOX(previewBox), frame);
    d.savedLabel = gtk_label_new(nullptr);
    gtk_widget_set_halign(d.savedLabel, GTK_ALIGN_START);
    gtk_box_append(GTK_BOX(previewBox), d.savedLabel);

    GtkWidget* buttons = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 8);
    gtk_widget_set_halign(buttons, GTK_ALIGN_END);
    GtkWidget* cancel = gtk_button_new_with_mnemonic(d.forJob ? "Cancel _job" : "_Close");
    GtkWidget* print = gtk_button_new_with_mnemonic(d.forJob ? "_Print" : "_Save");
    Label(cancel, d.forJob ? "Cancel job" : "Close");
    Label(print, d.forJob ? "Print" : "Save");
    gtk_widget_add_css_class(print, "suggested-action");
    gtk_box_append(GTK_BOX(buttons), cancel);
    gtk_box_append(GTK_BOX(buttons), print);
    gtk_box_append(GTK_BOX(outer), buttons);
    g_signal_connect(print, "clicked", G_CALLBACK(PrintClicked), &d);
    g_signal_connect(cancel, "clicked", G_CALLBACK(CancelClicked), &d);
    gtk_window_set_default_widget(GTK_WINDOW(d.window), print);

    GtkEventController* keys = gtk_shortcut_controller_new();
    gtk_shortcut_controller_add_shortcut(
        GTK_SHORTCUT_CONTROLLER(keys),
        gtk_shortcut_new(gtk_keyval_trigger_new(GDK_KEY_Escape, static_cast<GdkModifierType>(0)),
                         gtk_callback_action_new(EscapePressed, &d, nullptr)));
    gtk_widget_add_controller(d.window, keys);

    g_signal_connect(d.savings, "value-changed", G_CALLBACK(SavingsChanged), &d);
    g_signal_connect(d.legible, "toggled", G_CALLBACK(StyleToggled), &d);
    g_signal_connect(d.codes, "toggled", G_CALLBACK(StyleToggled), &d);
    g_signal_connect(d.output, "notify::selected", G_CALLBACK(OutputChanged), &d);
    OutputChanged(nullptr, nullptr, &d);
    UpdatePreview(d);
    gtk_widget_grab_focus(d.savings);
}

// The dialog's controls into `chosen`; what the user did not touch keeps
// its stored spelling.
void Collect(Dialog& d)
{
    AppEnvironment& c = d.chosen;
    c.SavingsPercentage = Savings(d);
    if (c.SavingsPercentage == d.initialSavings) c.SavingsPercentage = d.stored.SavingsPercentage;
    const guint printer = gtk_drop_down_get_selected(GTK_DROP_DOWN(d.printer));
    if (printer < d.printers.size()) CopyField(c.TargetPrinterName, d.printers[printer].c_str());
    const guint output = gtk_drop_down_get_selected(GTK_DROP_DOWN(d.output));
    if (static_cast<int>(output) != IndexOf(d.stored.PrintOutFormat, kOutputValues, 3))
        CopyField(c.PrintOutFormat, kOutputValues[output]);
    const guint image = gtk_drop_down_get_selected(GTK_DROP_DOWN(d.image));
    if (static_cast<int>(image) != IndexOf(d.stored.DefaultImageFormat, kImageValues, 3, kImageAliases))
        CopyField(c.DefaultImageFormat, kImageValues[image]);
    c.ShowDialog = gtk_check_button_get_active(GTK_CHECK_BUTTON(d.showDialog)) ? 1 : 0;
    c.SavingsStyle = gtk_check_button_get_active(GTK_CHECK_BUTTON(d.legible)) ? 1 : 0;
    c.ProtectCodes = gtk_check_button_get_active(GTK_CHECK_BUTTON(d.codes)) ? 1 : 0;
    c.EnhancedMicrLineQuality = gtk_check_button_get_active(GTK_CHECK_BUTTON(d.micr)) ? 1 : 0;
    c.AdvUsageStat = gtk_check_button_get_active(GTK_CHECK_BUTTON(d.statistics)) ? 1 : 0;
    c.LogLevel = static_cast<int32_t>(gtk_drop_down_get_selected(GTK_DROP_DOWN(d.logLevel)));
}

// Stores the settings the user changed, then the answer for the job, if any.
bool Save(Dialog& d)
{
    AppEnvironment& c = d.chosen;
    const AppSetting* answer = AppEnvironment::FindSetting("PrintJobCancellation");
    if (d.forJob) c.PrintJobCancellation = d.print ? 0 : 1;
    try {
        for (const AppSetting& setting : AppEnvironment::Settings()) {
            const bool changed = setting.text ? std::strcmp(c.*setting.text, d.stored.*setting.text) != 0
                                              : c.*setting.number != d.stored.*setting.number;
            if (d.print && changed && &setting != answer) c.WriteSetting(setting);
        }
        if (d.forJob) c.WriteSetting(*answer);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "Parsimo: the settings could not be stored (%s).\n", e.what());
        return false;
    }
    return true;
}
}  // namespace

int SettingsDialog::Run(int limitSeconds, Purpose purpose)
{
    if (!gtk_init_check()) {
        std::fprintf(stderr, "Parsimo: no display to show the settings dialog on; the settings stay as they are.\n");
        return 1;
    }
    auto d = std::make_unique<Dialog>();
    d->forJob = purpose == Purpose::Job;
    d->stored.ReadSettings();
    d->chosen.ReadSettings();
    d->stored.ReadMachineLimits();
    d->minimum = d->stored.MinimumSaving;
    d->initialSavings = InitialSavings(d->stored);
    const PrinterChoices choices(d->stored);
    for (const PrinterEntry& printer : choices.GetPrinters()) d->printers.push_back(printer.name);
    int selected = choices.Preselected(d->stored.TargetPrinterName);
    // A stored printer that is not there now stays the choice until the user picks another.
    if (d->stored.TargetPrinterName[0] && !choices.Contains(d->stored.TargetPrinterName)) {
        d->printers.insert(d->printers.begin(), d->stored.TargetPrinterName);
        selected = 0;
    }

    d->loop = g_main_loop_new(nullptr, FALSE);
    Build(*d);
    if (selected > 0) gtk_drop_down_set_selected(GTK_DROP_DOWN(d->printer), static_cast<guint>(selected));
    gtk_window_present(GTK_WINDOW(d->window));
    const guint timer =
        limitSeconds > 0 ? g_timeout_add_seconds(static_cast<guint>(limitSeconds), TimeRanOut, d.get()) : 0;
    g_main_loop_run(d->loop);
    if (timer != 0 && !d->timedOut) g_source_remove(timer);
    Collect(*d);
    gtk_window_destroy(GTK_WINDOW(d->window));
    g_main_loop_unref(d->loop);
    if (d->timedOut) {
        std::fprintf(stderr, "Parsimo: the settings dialog was not answered within %d seconds; nothing was stored.\n",
                     limitSeconds);
        return kNotAnswered;
    }
    return Save(*d) ? 0 : 1;
}
