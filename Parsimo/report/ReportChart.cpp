#include "ReportChart.h"

#include <cairo-svg.h>
#include <cairo.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>

#include "ReportWriter.h"
#include "TextBuffer.h"

namespace {
constexpr double kLeft = 90, kRight = 30, kTop = 96, kBottom = 120;
constexpr double kPagesColour[] = {0.27, 0.44, 0.67};
constexpr double kSavedColour[] = {0.35, 0.63, 0.31};
constexpr int kMaxLabel = 16;

using Surface = std::unique_ptr<cairo_surface_t, decltype(&cairo_surface_destroy)>;
using Context = std::unique_ptr<cairo_t, decltype(&cairo_destroy)>;

// A round step for about six grid lines up to `top`.
double NiceStep(double top)
{
    const double raw = std::max(top, 1.0) / 6.0;
    const double magnitude = std::pow(10.0, std::floor(std::log10(raw)));
    for (const double factor : {1.0, 2.0, 2.5, 5.0, 10.0})
        if (raw <= factor * magnitude) return factor * magnitude;
    return 10.0 * magnitude;
}

// Cairo draws nothing more after a text that is not UTF-8: names are
// escaped, and cut only between characters.
std::string Label(const std::string& name)
{
    std::string text = name.empty() ? "(none)" : ReportWriter::TerminalText(name);
    if (text.size() > kMaxLabel) {
        size_t cut = kMaxLabel - 3;
        while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) --cut;
        text = text.substr(0, cut) + "...";
    }
    return text;
}

std::string Number(double value)
{
    char text[32];
    std::snprintf(text, sizeof text, value >= 100 || value == std::floor(value) ? "%.0f" : "%.1f", value);
    return text;
}

void Text(cairo_t* cr, double x, double y, const std::string& text, double size, double alignX, bool bold = false)
{
    cairo_select_font_face(cr, "DejaVu Sans", CAIRO_FONT_SLANT_NORMAL,
                           bold ? CAIRO_FONT_WEIGHT_BOLD : CAIRO_FONT_WEIGHT_NORMAL);
    cairo_set_font_size(cr, size);
    cairo_text_extents_t extents;
    cairo_text_extents(cr, text.c_str(), &extents);
    cairo_move_to(cr, x - extents.x_advance * alignX, y);
    cairo_show_text(cr, text.c_str());
}

void Draw(cairo_t* cr, int width, const std::vector<ReportGroup>& groups, ReportOptions::GroupBy groupBy,
          const std::string& period)
{
    const double plotWidth = width - kLeft - kRight;
    const double plotHeight = ReportChart::kHeight - kTop - kBottom;
    const double bottom = kTop + plotHeight;
    cairo_set_source_rgb(cr, 1, 1, 1);
    cairo_paint(cr);

    cairo_set_source_rgb(cr, 0.1, 0.1, 0.1);
    Text(cr, width / 2.0, 34, std::string("Pages printed and toner saved by ") + GroupByName(groupBy) + ", " + period,
         18, 0.5, true);

    // Legend under the title.
    const char* legend[] = {"Pages printed", "Toner saved (ISO/IEC 19752 reference pages, 5 % coverage)"};
    const double* colours[] = {kPagesColour, kSavedColour};
    double x = kLeft;
    for (int i = 0; i < 2; ++i) {
        cairo_set_source_rgb(cr, colours[i][0], colours[i][1], colours[i][2]);
        cairo_rectangle(cr, x, 56, 14, 14);
        cairo_fill(cr);
        cairo_set_source_rgb(cr, 0.1, 0.1, 0.1);
        Text(cr, x + 20, 68, legend[i], 13, 0);
        cairo_text_extents_t extents;
        cairo_text_extents(cr, legend[i], &extents);
        x += 20 + extents.x_advance + 30;
    }

    double top = 1;
    for (const ReportGroup& g : groups) top = std::max({top, static_cast<double>(g.pages), g.Saved()});
    const double step = NiceStep(top);
    const double scaleTop = std::ceil(top / step) * step;

    // Grid and the value axis.
    cairo_set_line_width(cr, 1);
    for (double value = 0; value <= scaleTop + step / 2; value += step) {
        const double y = std::round(bottom - value / scaleTop * plotHeight) + 0.5;
        cairo_set_source_rgb(cr, 0.85, 0.85, 0.85);
        cairo_move_to(cr, kLeft, y);
        cairo_line_to(cr, kLeft + plotWidth, y);
        cairo_stroke(cr);
        cairo_set_source_rgb(cr, 0.2, 0.2, 0.2);
        Text(cr, kLeft - 8, y + 4, Number(value), 12, 1);
    }
    cairo_set_source_rgb(cr, 0.2, 0.2, 0.2);
    cairo_move_to(cr, kLeft + 0.5, kTop);
    cairo_line_to(cr, kLeft + 0.5, bottom + 0.5);
    cairo_line_to(cr, kLeft + plotWidth, bottom + 0.5);
    cairo_stroke(cr);
    cairo_save(cr);
    cairo_translate(cr, 24, kTop + plotHeight / 2);
    cairo_rotate(cr, -M_PI / 2);
    Text(cr, 0, 0, "Pages", 14, 0.5);
    cairo_restore(cr);
    // Two bars per group; labels turn when they would not fit.
    const double slot = plotWidth / static_cast<double>(std::max<size_t>(groups.size(), 1));
    const double bar = std::min(slot * 0.36, 48.0);
    bool turn = false;
    for (const ReportGroup& g : groups) {
        cairo_text_extents_t extents;
        cairo_set_font_size(cr, 12);
        cairo_text_extents(cr, Label(g.name).c_str(), &extents);
        turn = turn || extents.x_advance > slot - 4;
    }
    std::string axis = GroupByName(groupBy);
    axis[0] = static_cast<char>(axis[0] - 'a' + 'A');
    Text(cr, kLeft + plotWidth / 2, turn ? ReportChart::kHeight - 16 : bottom + 52, axis, 14, 0.5);

    for (size_t i = 0; i < groups.size(); ++i) {
        const ReportGroup& g = groups[i];
        const double centre = kLeft + slot * (static_cast<double>(i) + 0.5);
        const double values[] = {static_cast<double>(g.pages), g.Saved()};
        for (int k = 0; k < 2; ++k) {
            const double h = values[k] / scaleTop * plotHeight;
            const double left = centre - bar + k * bar;
            cairo_set_source_rgb(cr, colours[k][0], colours[k][1], colours[k][2]);
            cairo_rectangle(cr, left, bottom - h, bar - 1, h);
            cairo_fill(cr);
            if (bar >= 22) {
                cairo_set_source_rgb(cr, 0.15, 0.15, 0.15);
                Text(cr, left + bar / 2, bottom - h - 4, Number(values[k]), 11, 0.5);
            }
        }
        cairo_set_source_rgb(cr, 0.1, 0.1, 0.1);
        if (turn) {
            cairo_save(cr);
            cairo_translate(cr, centre + 4, bottom + 12);
            cairo_rotate(cr, -M_PI / 4);
            Text(cr, 0, 0, Label(g.name), 12, 1);
            cairo_restore(cr);
        } else {
            Text(cr, centre, bottom + 20, Label(g.name), 12, 0.5);
        }
    }
}
}  // namespace

int ReportChart::Width(size_t groups)
{
    return static_cast<int>(
        std::clamp<double>(kLeft + kRight + 64.0 * static_cast<double>(groups), kMinWidth, kMaxWidth));
}

bool ReportChart::Write(const std::string& path, const std::vector<ReportGroup>& groups, ReportOptions::GroupBy groupBy,
                        const std::string& period, std::string& error)
{
    const int width = Width(groups.size());
    const bool svg = path.size() > 4 && TextBuffer(path.substr(path.size() - 4).c_str()).Compare(".svg", true) == 0;
    Surface surface(svg ? cairo_svg_surface_create(path.c_str(), width, kHeight)
                        : cairo_image_surface_create(CAIRO_FORMAT_RGB24, width, kHeight),
                    &cairo_surface_destroy);
    if (cairo_surface_status(surface.get()) != CAIRO_STATUS_SUCCESS) {
        error = "cannot write the chart " + path + ": " + cairo_status_to_string(cairo_surface_status(surface.get()));
        return false;
    }
    cairo_status_t status = CAIRO_STATUS_SUCCESS;
    {
        const Context cr(cairo_create(surface.get()), &cairo_destroy);
        Draw(cr.get(), width, groups, groupBy, period);
        status = cairo_status(cr.get());
    }
    if (status != CAIRO_STATUS_SUCCESS) {
        error = "cannot draw the chart " + path + ": " + cairo_status_to_string(status);
        return false;
    }
    if (svg) {
        cairo_surface_finish(surface.get());
        status = cairo_surface_status(surface.get());
    } else {
        status = cairo_surface_write_to_png(surface.get(), path.c_str());
    }
    if (status != CAIRO_STATUS_SUCCESS) {
        error = "cannot write the chart " + path + ": " + cairo_status_to_string(status);
        return false;
    }
    return true;
}
