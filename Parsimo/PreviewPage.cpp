#include "PreviewPage.h"

#include <ZXing/BitMatrix.h>
#include <ZXing/MultiFormatWriter.h>
#include <cairo.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <stdexcept>
#include <string>

#include "AppEnvironment.h"
#include "BitmapProcessing.h"
#include "Dib.h"

namespace {
constexpr int kCubeLevels = 6;
constexpr int kCubeColors = kCubeLevels * kCubeLevels * kCubeLevels;
constexpr int kGrays = 256 - kCubeColors;
// A pixel whose channels differ by no more than this is drawn from the grays.
constexpr int kGraySpread = 10;
constexpr int kBayer[4][4] = {{0, 8, 2, 10}, {12, 4, 14, 6}, {3, 11, 1, 9}, {15, 7, 13, 5}};

struct SurfaceFree {
    void operator()(cairo_surface_t* s) const { cairo_surface_destroy(s); }
};
struct ContextFree {
    void operator()(cairo_t* c) const { cairo_destroy(c); }
};

void Colour(cairo_t* cr, unsigned rgb)
{
    cairo_set_source_rgb(cr, (rgb >> 16 & 0xFF) / 255.0, (rgb >> 8 & 0xFF) / 255.0, (rgb & 0xFF) / 255.0);
}

void Box(cairo_t* cr, unsigned rgb, double x, double y, double w, double h)
{
    Colour(cr, rgb);
    cairo_rectangle(cr, x, y, w, h);
    cairo_fill(cr);
}

void Text(cairo_t* cr, unsigned rgb, double x, double y, double size, const char* text, bool bold = false,
          const char* family = "DejaVu Sans")
{
    Colour(cr, rgb);
    cairo_select_font_face(cr, family, CAIRO_FONT_SLANT_NORMAL,
                           bold ? CAIRO_FONT_WEIGHT_BOLD : CAIRO_FONT_WEIGHT_NORMAL);
    cairo_set_font_size(cr, size);
    cairo_move_to(cr, x, y);
    cairo_show_text(cr, text);
}

void DrawPhoto(cairo_t* cr, double x, double y, double w, double h)
{
    cairo_save(cr);
    cairo_rectangle(cr, x, y, w, h);
    cairo_clip(cr);
    cairo_pattern_t* sky = cairo_pattern_create_linear(0, y, 0, y + h);
    cairo_pattern_add_color_stop_rgb(sky, 0, 0.16, 0.35, 0.70);
    cairo_pattern_add_color_stop_rgb(sky, 0.55, 0.96, 0.62, 0.36);
    cairo_pattern_add_color_stop_rgb(sky, 1, 0.99, 0.86, 0.55);
    cairo_set_source(cr, sky);
    cairo_paint(cr);
    cairo_pattern_destroy(sky);
    cairo_pattern_t* sun = cairo_pattern_create_radial(x + w * 0.68, y + h * 0.52, 2, x + w * 0.68, y + h * 0.52, 16);
    cairo_pattern_add_color_stop_rgba(sun, 0, 1, 0.97, 0.80, 1);
    cairo_pattern_add_color_stop_rgba(sun, 1, 1, 0.85, 0.50, 0);
    cairo_set_source(cr, sun);
    cairo_paint(cr);
    cairo_pattern_destroy(sun);
    // Two hills in front of the evening sky.
    cairo_pattern_t* hill = cairo_pattern_create_linear(0, y + h * 0.55, 0, y + h);
    cairo_pattern_add_color_stop_rgb(hill, 0, 0.22, 0.42, 0.20);
    cairo_pattern_add_color_stop_rgb(hill, 1, 0.08, 0.20, 0.10);
    cairo_set_source(cr, hill);
    cairo_move_to(cr, x, y + h * 0.72);
    cairo_curve_to(cr, x + w * 0.25, y + h * 0.50, x + w * 0.45, y + h * 0.62, x + w * 0.62, y + h * 0.78);
    cairo_curve_to(cr, x + w * 0.78, y + h * 0.66, x + w * 0.92, y + h * 0.70, x + w, y + h * 0.64);
    cairo_line_to(cr, x + w, y + h);
    cairo_line_to(cr, x, y + h);
    cairo_close_path(cr);
    cairo_fill(cr);
    cairo_pattern_destroy(hill);
    cairo_restore(cr);
}

void DrawChart(cairo_t* cr)
{
    // Bars stand on the axis at y 200, 14 pixels wide, 20 apart; bar 1 is kSolid's.
    // Colours of the 256-colour cube, so that each bar stays one solid colour.
    const unsigned colours[4] = {0x3366CC, 0x003366, 0xFF9933, 0x339966};
    const int tops[4] = {168, 146, 124, 154};
    Text(cr, 0x222222, 126, 104, 8, "Sales per quarter", true);
    for (int i = 0; i < 4; ++i) {
        Box(cr, colours[i], 132 + 20 * i, tops[i], 14, 200 - tops[i]);
        const char label[3] = {'Q', static_cast<char>('1' + i), '\0'};
        Text(cr, 0x333333, 134 + 20 * i, 210, 7, label);
    }
    for (int y = 120; y < 200; y += 20) Box(cr, 0xC8C8C8, 126, y, 90, 1);
    Box(cr, 0x222222, 126, 200, 90, 1);
    Box(cr, 0x222222, 126, 112, 1, 89);
}

void DrawCheque(cairo_t* cr)
{
    Box(cr, 0x7A9A80, 14, 222, 204, 66);
    Box(cr, 0xEEF5EA, 15, 223, 202, 64);
    Text(cr, 0x2E4A36, 20, 233, 6.5, "FIRST RIVER BANK", true);
    Text(cr, 0x2E4A36, 176, 233, 6.5, "No. 0412");
    Text(cr, 0x333333, 20, 247, 5.5, "PAY TO THE ORDER OF");
    Text(cr, 0x10204A, 90, 247, 7.5, "Ada Moreno", false, "DejaVu Serif");
    Box(cr, 0x555555, 88, 249, 70, 1);
    Box(cr, 0x555555, 162, 238, 52, 13);
    Box(cr, 0xFFFFFF, 163, 239, 50, 11);
    Text(cr, 0x10204A, 166, 248, 7, "$ 1,250.00", true);
    Box(cr, 0x555555, 140, 266, 74, 1);
    Text(cr, 0x10204A, 146, 264, 8, "A. Lindqvist", false, "DejaVu Serif");
    // The code line at the foot of the cheque, with its transit and on-us marks.
    const char* groups[3] = {"021000021", "1234567890", "0412"};
    double x = 24;
    for (int g = 0; g < 3; ++g) {
        Box(cr, 0x000000, x, 275, 2, 6);
        Box(cr, 0x000000, x + 3, 277, 2, 4);
        x += 8;
        Text(cr, 0x000000, x, 282, 9, groups[g], true, "DejaVu Sans Mono");
        cairo_text_extents_t extents;
        cairo_text_extents(cr, groups[g], &extents);
        x += extents.x_advance + 6;
    }
}

// A version 1 QR code beside the heading, as reports carry a link.
void DrawCode(cairo_t* cr)
{
    const ZXing::BitMatrix code =
        ZXing::MultiFormatWriter(ZXing::BarcodeFormat::QRCode).setMargin(0).encode(std::string("Q3 0412"), 0, 0);
    for (int y = 0; y < code.height(); ++y)
        for (int x = 0; x < code.width(); ++x)
            if (code.get(x, y))
                Box(cr, 0x000000, PreviewPage::kCode[0] + x * PreviewPage::kCodeModule,
                    PreviewPage::kCode[1] + y * PreviewPage::kCodeModule, PreviewPage::kCodeModule,
                    PreviewPage::kCodeModule);
}

void DrawPage(cairo_t* cr)
{
    cairo_set_source_rgb(cr, 1, 1, 1);
    cairo_paint(cr);
    Text(cr, 0x1A3A6B, 14, 30, 17, "Quarterly Report", true);
    DrawCode(cr);
    Box(cr, 0x1A3A6B, 14, 35, PreviewPage::kCode[0] - 20, 2);  // the rule ends short of the code
    const char* body[] = {
        "Our third quarter closed above plan. Orders rose in",
        "every region, and the new print service cut running",
        "costs by a fifth. Inks and paper are now bought once",
        "a month, which keeps the stock low and the prices fair.",
    };
    for (int i = 0; i < 4; ++i) Text(cr, 0x202020, 14, 50 + 10 * i, 7, body[i]);
    DrawPhoto(cr, 14, 98, 104, 72);
    const char* caption[] = {"Evening over the new plant.", "Photo: R. Okafor", "Total sales: 4.2 million,",
                             "a rise of 12 % on last year."};
    for (int i = 0; i < 4; ++i) Text(cr, 0x202020, 14, 182 + 10 * i, 7, caption[i], i == 2);
    DrawChart(cr);
    DrawCheque(cr);
}

// The 256-colour table of a rendered page: a 6 x 6 x 6 cube and a gray ramp.
void MakePalette(RGBQUAD (&colors)[256])
{
    for (int i = 0; i < kCubeColors; ++i) {
        colors[i].rgbRed = static_cast<uint8_t>(i / 36 * 51);
        colors[i].rgbGreen = static_cast<uint8_t>(i / 6 % 6 * 51);
        colors[i].rgbBlue = static_cast<uint8_t>(i % 6 * 51);
        colors[i].rgbReserved = 0;
    }
    for (int i = 0; i < kGrays; ++i) {
        const auto level = static_cast<uint8_t>(i * 255 / (kGrays - 1));
        colors[kCubeColors + i] = {level, level, level, 0};
    }
}

uint8_t ColourIndex(int r, int g, int b, int x, int y)
{
    if (std::max({r, g, b}) - std::min({r, g, b}) <= kGraySpread)
        return static_cast<uint8_t>(kCubeColors + ((r + g + b) * (kGrays - 1) + 382) / 765);
    // Ordered dither between the cube's levels, as a 256-colour renderer does.
    const int threshold = kBayer[y % 4][x % 4] * 51 / 16;
    const auto level = [threshold](int v) { return std::min((v + threshold) / 51, kCubeLevels - 1); };
    return static_cast<uint8_t>(level(r) * 36 + level(g) * 6 + level(b));
}
}  // namespace

PreviewImage PreviewPage::Render(int32_t savingsPercentage, int32_t savingsStyle, int32_t protectCodes)
{
    PreviewImage image;
    std::unique_ptr<cairo_surface_t, SurfaceFree> surface(
        cairo_image_surface_create(CAIRO_FORMAT_RGB24, kWidth, kHeight));
    std::unique_ptr<cairo_t, ContextFree> cr(cairo_create(surface.get()));
    if (cairo_status(cr.get()) != CAIRO_STATUS_SUCCESS) return image;
    DrawPage(cr.get());
    cairo_surface_flush(surface.get());

    RGBQUAD colors[256];
    MakePalette(colors);
    std::unique_ptr<DibSectionObject, DibDeleter> page(
        CreateDibSection(kWidth, kHeight, 8, BI_RGB, colors, 256, nullptr));
    if (!page) return image;
    // A page arrives bottom row first.
    const unsigned char* pixels = cairo_image_surface_get_data(surface.get());
    const int sourceStride = cairo_image_surface_get_stride(surface.get());
    auto* bits = static_cast<uint8_t*>(page->ds.dsBm.bmBits);
    const int32_t stride = page->ds.dsBm.bmWidthBytes;
    for (int32_t y = 0; y < kHeight; ++y) {
        const auto* row = reinterpret_cast<const uint32_t*>(pixels + static_cast<ptrdiff_t>(y) * sourceStride);
        uint8_t* out = bits + static_cast<ptrdiff_t>(kHeight - 1 - y) * stride;
        for (int32_t x = 0; x < kWidth; ++x)
            out[x] = ColourIndex(static_cast<int>(row[x] >> 16 & 0xFF), static_cast<int>(row[x] >> 8 & 0xFF),
                                 static_cast<int>(row[x] & 0xFF), x, y);
    }

    AppEnvironment env{AppEnvironment::DefaultsOnly{}};
    env.SavingsPercentage = savingsPercentage;
    env.SavingsStyle = savingsStyle;
    env.ProtectCodes = protectCodes;
    env.AdvUsageStat = 1;
    std::unique_ptr<UsageDetails, decltype(&std::free)> usage(nullptr, &std::free);
    try {
        usage.reset(ProcessBitmap(page.get(), &env, 300, 0));
    } catch (const std::exception&) {
        return image;  // logged by the filter; an empty preview says it failed
    }
    if (usage) {
        const double before = usage->CyanBefore + usage->MagentaBefore + usage->YellowBefore + usage->BlackBefore;
        const double after = usage->CyanAfter + usage->MagentaAfter + usage->YellowAfter + usage->BlackAfter;
        image.savedShare = before > 0 ? (before - after) / before : 0;
    }

    image.width = kWidth * kZoom;
    image.height = kHeight * kZoom;
    image.bgra.resize(static_cast<size_t>(image.width) * static_cast<size_t>(image.height) * 4);
    uint8_t* out = image.bgra.data();
    for (int32_t y = 0; y < image.height; ++y) {
        const uint8_t* row = bits + static_cast<ptrdiff_t>(kHeight - 1 - y / kZoom) * stride;
        for (int32_t x = 0; x < image.width; ++x) {
            const RGBQUAD& c = colors[row[x / kZoom]];
            *out++ = c.rgbBlue;
            *out++ = c.rgbGreen;
            *out++ = c.rgbRed;
            *out++ = 255;
        }
    }
    return image;
}
