#include "ChequePage.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <random>

namespace {

constexpr double kUnit = 0.013;  // the E-13B design grid
constexpr double kPitch = 0.125;
constexpr double kPi = 3.14159265358979323846;

// Our own outlines on a 7 x 9 grid of 0.013 inch: characters 0.091 inch wide
// at most and 0.117 inch high, strokes of whole grid units.
struct Glyph {
    char code;
    const char* rows[9];
};
constexpr Glyph kGlyphs[] = {
    {'0', {".#####.", ".#...#.", ".#...#.", ".#...#.", "##...##", "##...##", "##...##", "##...##", "#######"}},
    {'1', {".###...", "...#...", "...#...", "...#...", "...#...", "..####.", "..####.", "..####.", "..####."}},
    {'2', {"######.", ".....#.", ".....#.", ".....#.", "######.", "##.....", "##.....", "##.....", "#######"}},
    {'3', {"#####..", "....#..", "....#..", "....#..", "#######", "....###", "....###", "....###", "#######"}},
    {'4', {"##.....", "##.....", "##.....", "##..##.", "##..##.", "#######", "....##.", "....##.", "....##."}},
    {'5', {"######.", "#......", "#......", "#......", "######.", "....###", "....###", "....###", "#######"}},
    {'6', {"#......", "#......", "#......", "#......", "#######", "##...##", "##...##", "##...##", "#######"}},
    {'7', {"######.", ".....#.", ".....#.", "....##.", "...##..", "...##..", "...##..", "...##..", "...##.."}},
    {'8', {".#####.", ".#...#.", ".#...#.", ".#####.", "##...##", "##...##", "##...##", "##...##", "#######"}},
    {'9', {"#######", "#.....#", "#.....#", "#.....#", "#######", "....###", "....###", "....###", "....###"}},
    {'T', {"##.....", "##.....", "##..###", "##..###", "##.....", "##..###", "##..###", "##.....", "##....."}},
    {'A', {"##...##", "##...##", "##.....", "##.###.", "##.###.", "##.###.", "##.....", "##...##", "##...##"}},
    {'U', {"##.##..", "##.##..", "##.##..", "##.##..", "##.##..", "##.##..", ".......", ".....##", ".....##"}},
    {'D', {".......", ".......", "##.##..", "##.##..", "##.##..", "##.##..", "##.##..", ".......", "......."}},
};

const Glyph* GlyphOf(char c)
{
    for (const Glyph& g : kGlyphs)
        if (g.code == c) return &g;
    return nullptr;
}

double Points(double inches)
{
    return inches * 72.0;
}

}  // namespace

const std::string ChequePage::kStandardLine = "U001234U T123456780T 12D345678U";

void ChequePage::CodeLine(const std::string& text, double rightEnd, double baseline, double skewDegrees)
{
    const size_t line = m_LineCount++;
    const double start = rightEnd - static_cast<double>(text.size()) * kPitch;
    const double inset = (kPitch - 7 * kUnit) / 2;  // each character centred in its cell
    for (size_t i = 0; i < text.size(); ++i) {
        const Glyph* g = GlyphOf(text[i]);
        if (g == nullptr) continue;
        const double left = start + static_cast<double>(i) * kPitch + inset;
        for (int row = 0; row < 9; ++row)
            for (int col = 0; col < 7;) {
                if (g->rows[row][col] != '#') {
                    ++col;
                    continue;
                }
                const int from = col;
                while (col < 7 && g->rows[row][col] == '#') ++col;
                m_Shapes.push_back({left + from * kUnit, baseline - (9 - row) * kUnit, (col - from) * kUnit, kUnit,
                                    skewDegrees, rightEnd, baseline, true, line});
            }
    }
}

void ChequePage::Cheque(double left, double top, double width, double height, bool codeLine, double shift,
                        double skewDegrees, const std::string& text)
{
    const double rule = 0.01;
    const double bottom = top + height;
    // Frame.
    Rect(left, top, width, rule);
    Rect(left, bottom - rule, width, rule);
    Rect(left, top, rule, height);
    Rect(left + width - rule, top, rule, height);
    // Drawer's name and address, date, payee line, amount box, words line.
    Words(left + 0.3, top + 0.3, 2.5, 3, 7);
    Words(left + width - 2.2, top + 0.45, 1.0, 1, 11);
    Rect(left + width - 1.3, top + 0.6, 1.0, rule);
    Words(left + 0.3, top + 1.2, 0.8, 1, 13);
    Rect(left + 1.2, top + 1.35, width - 3.0, rule);
    const double box = left + width - 1.6;
    Rect(box, top + 1.1, 1.3, rule);
    Rect(box, top + 1.4, 1.3, rule);
    Rect(box, top + 1.1, rule, 0.3);
    Rect(box + 1.3 - rule, top + 1.1, rule, 0.3);
    Rect(left + 0.3, top + 1.8, width - 1.5, rule);
    // Memo and signature lines stay above the clear band (5/8 inch).
    Words(left + 0.3, bottom - 0.95, 0.5, 1, 17);
    Rect(left + 0.9, bottom - 0.8, 2.5, rule);
    SignatureLine(left + width - 3.3, bottom - 0.8, 3.0);
    if (codeLine) CodeLine(text, left + width - 5.0 / 16, bottom - 3.0 / 16 + shift, skewDegrees);
}

void ChequePage::Voucher(double left, double top, double width, double height)
{
    Words(left + 0.3, top + 0.3, width - 0.6, 4, 23);
    Table(left + 0.3, top + 1.2, std::max(1, static_cast<int32_t>((height - 1.5) / 0.25)),
          std::max(1, static_cast<int32_t>((width - 0.6) / 1.4)));
}

void ChequePage::Table(double left, double top, int32_t rows, int32_t cols)
{
    const double cellW = 1.4, cellH = 0.25, rule = 0.01;
    for (int32_t r = 0; r <= rows; ++r) Rect(left, top + r * cellH, cols * cellW, rule);
    for (int32_t c = 0; c <= cols; ++c) Rect(left + c * cellW, top, rule, rows * cellH + rule);
    // Figures in the cells: blocks of a digit's size on the code line's pitch.
    for (int32_t r = 0; r < rows; ++r)
        for (int32_t c = 0; c < cols; ++c)
            for (int32_t k = 0; k < 8; ++k) {
                const double x = left + c * cellW + 0.2 + k * kPitch, y = top + r * cellH + 0.06;
                Rect(x, y, 0.06, 0.02);
                Rect(x, y + 0.097, 0.06, 0.02);
                Rect(x, y, 0.02, 0.117);
                Rect(x + 0.04, y, 0.02, 0.117);
                Rect(x, y + 0.05, 0.06, 0.017);
            }
}

void ChequePage::DashedRule(double left, double top, double length)
{
    for (double x = 0; x + 0.07 <= length; x += kPitch) Rect(left + x, top, 0.07, 0.012);
}

void ChequePage::BarcodeBars(double left, double top, int32_t bars)
{
    // Bars of a character's height on its pitch, solid and of several widths.
    const double widths[] = {0.02, 0.04, 0.06, 0.03, 0.05, 0.07};
    for (int32_t i = 0; i < bars; ++i) Rect(left + i * kPitch, top, widths[i % 6], 0.117);
}

void ChequePage::SignatureLine(double left, double top, double length)
{
    Rect(left, top, length, 0.01);
    // A scribble above it: strokes leaning across one another.
    for (int i = 0; i < 6; ++i)
        m_Shapes.push_back({left + 0.3 + i * 0.3, top - 0.25, 0.35, 0.02, i % 2 ? 25.0 : -35.0, left + 0.3 + i * 0.3,
                            top - 0.25, false});
}

void ChequePage::Words(double left, double top, double width, int32_t lines, uint32_t seed)
{
    // Lower-case words of x-height with an ascender here and there, 12 point leading.
    std::mt19937 random(seed);
    for (int32_t l = 0; l < lines; ++l) {
        double x = left;
        const double y = top + l * (12.0 / 72);
        while (x < left + width) {
            const int letters = 2 + static_cast<int>(random() % 7);
            for (int k = 0; k < letters && x < left + width; ++k) {
                const double w = 0.04 + (random() % 3) * 0.01;
                const bool tall = random() % 4 == 0;
                Rect(x, y + (tall ? 0 : 0.03), 0.012, tall ? 0.1 : 0.07);
                Rect(x, y + 0.03, w, 0.012);
                Rect(x + w - 0.012, y + 0.03, 0.012, 0.07);
                x += w + 0.02;
            }
            x += 0.06;
        }
    }
}

void ChequePage::Text(const std::string& font, double size, double left, double baseline, const std::string& text)
{
    m_Labels.push_back({font, size, left, baseline, text});
}

std::string ChequePage::PostScript() const
{
    char line[256];
    std::string ps;
    std::snprintf(line, sizeof line, "<< /PageSize [%.3f %.3f] >> setpagedevice\n0 setgray\n", Points(m_Width),
                  Points(m_Height));
    ps += line;
    for (const Shape& s : m_Shapes) {
        std::snprintf(line, sizeof line, "%.3f setgray ", s.codeLine ? m_CodeLineGray : 0.0);
        ps += line;
        // PostScript counts y from the bottom, so angles turn the other way round.
        std::snprintf(line, sizeof line,
                      "gsave %.4f %.4f translate %.4f rotate %.4f %.4f %.4f %.4f rectfill grestore\n", Points(s.px),
                      Points(m_Height - s.py), s.angle, Points(s.x - s.px), Points(s.py - s.y - s.h), Points(s.w),
                      Points(s.h));
        ps += line;
    }
    for (const Label& l : m_Labels) {
        std::snprintf(line, sizeof line, "/%s findfont %.2f scalefont setfont %.3f %.3f moveto (", l.font.c_str(),
                      l.size, Points(l.x), Points(m_Height - l.y));
        ps += line + l.text + ") show\n";
    }
    return ps + "showpage\n";
}

bool ChequePage::Covers(const Shape& s, double x, double y) const
{
    // Turn the point back into the shape's own frame (y grows downwards, so a
    // counterclockwise turn as seen is clockwise in these coordinates).
    double u = x, v = y;
    if (s.angle != 0) {
        const double a = s.angle * kPi / 180, dx = x - s.px, dy = y - s.py;
        u = s.px + dx * std::cos(a) - dy * std::sin(a);
        v = s.py + dx * std::sin(a) + dy * std::cos(a);
    }
    return u >= s.x && u < s.x + s.w && v >= s.y && v < s.y + s.h;
}

template <typename Covered>
void ChequePage::ForEachPixel(const Shape& s, int32_t dpi, Covered covered) const
{
    // Searched within the turned shape's bounding box, a little widened.
    const double a = s.angle * kPi / 180;
    double x0 = 1e9, y0 = 1e9, x1 = -1e9, y1 = -1e9;
    for (const double cx : {s.x, s.x + s.w})
        for (const double cy : {s.y, s.y + s.h}) {
            const double dx = cx - s.px, dy = cy - s.py;
            const double u = s.px + dx * std::cos(a) + dy * std::sin(a);
            const double v = s.py - dx * std::sin(a) + dy * std::cos(a);
            x0 = std::min(x0, u), x1 = std::max(x1, u), y0 = std::min(y0, v), y1 = std::max(y1, v);
        }
    const auto width = static_cast<int32_t>(std::lround(m_Width * dpi));
    const auto height = static_cast<int32_t>(std::lround(m_Height * dpi));
    const auto lowest = [dpi](double inches) {
        return std::max(0, static_cast<int32_t>(std::floor(inches * dpi)) - 1);
    };
    const auto highest = [dpi](double inches) { return static_cast<int32_t>(std::ceil(inches * dpi)) + 1; };
    for (int32_t y = lowest(y0); y <= std::min(height - 1, highest(y1)); ++y)
        for (int32_t x = lowest(x0); x <= std::min(width - 1, highest(x1)); ++x)
            if (Covers(s, (x + 0.5) / dpi, (y + 0.5) / dpi)) covered(x, y);
}

Dib ChequePage::Render(int32_t dpi, uint16_t bits, bool topDown, double speckles, uint32_t seed) const
{
    const auto width = static_cast<int32_t>(std::lround(m_Width * dpi));
    const auto height = static_cast<int32_t>(std::lround(m_Height * dpi));
    std::vector<uint8_t> ink(static_cast<size_t>(width) * height, 0);
    for (const Shape& s : m_Shapes)
        ForEachPixel(s, dpi, [&](int32_t x, int32_t y) { ink[static_cast<size_t>(y) * width + x] = 1; });
    std::mt19937 random(seed);
    const auto count = static_cast<int64_t>(speckles * m_Width * m_Height);
    const int32_t dot = std::max(1, dpi / 150);  // 1/150 inch at most
    for (int64_t i = 0; i < count; ++i) {
        const int32_t x = static_cast<int32_t>(random() % static_cast<uint32_t>(width));
        const int32_t y = static_cast<int32_t>(random() % static_cast<uint32_t>(height));
        const int32_t size = 1 + static_cast<int32_t>(random() % static_cast<uint32_t>(dot));
        for (int32_t dy = 0; dy < size && y + dy < height; ++dy)
            for (int32_t dx = 0; dx < size && x + dx < width; ++dx)
                ink[static_cast<size_t>(y + dy) * width + x + dx] = 1;
    }

    RGBQUAD cube[256] = {};
    for (int i = 0; i < 216; ++i)
        cube[i] = RGBQUAD{static_cast<uint8_t>(i % 6 * 51), static_cast<uint8_t>(i / 6 % 6 * 51),
                          static_cast<uint8_t>(i / 36 * 51), 0};
    Dib page(CreateDibSection(width, topDown ? -height : height, bits, BI_RGB, bits == 8 ? cube : nullptr,
                              bits == 8 ? 256 : 0, nullptr));
    if (!page) return page;
    auto* pixels = static_cast<uint8_t*>(page->ds.dsBm.bmBits);
    const auto stride = static_cast<size_t>(page->ds.dsBm.bmWidthBytes);
    // Paper is a pale blue tint, ink is black: both must read right.
    for (int32_t y = 0; y < height; ++y) {
        uint8_t* row = pixels + static_cast<size_t>(topDown ? y : height - 1 - y) * stride;
        for (int32_t x = 0; x < width; ++x) {
            const bool on = ink[static_cast<size_t>(y) * width + x] != 0;
            if (bits == 8) {
                row[x] = on ? 0 : static_cast<uint8_t>(36 * 4 + 6 * 5 + 5);
            } else {
                row[3 * x] = on ? 0 : 255;
                row[3 * x + 1] = on ? 0 : 255;
                row[3 * x + 2] = on ? 0 : 204;
            }
        }
    }
    return page;
}

PixelBox ChequePage::CodeLineBox(int32_t dpi, size_t line) const
{
    PixelBox box{INT32_MAX, INT32_MAX, -1, -1};
    for (const Shape& s : m_Shapes)
        if (s.codeLine && s.line == line)
            ForEachPixel(s, dpi, [&box](int32_t x, int32_t y) {
                box = {std::min(box.left, x), std::min(box.top, y), std::max(box.right, x), std::max(box.bottom, y)};
            });
    return box;
}

bool ChequePage::InsideCodeLine(size_t line, double x, double y, double inset) const
{
    for (Shape s : m_Shapes) {
        if (!s.codeLine || s.line != line) continue;
        s.x += inset, s.y += inset, s.w -= 2 * inset, s.h -= 2 * inset;
        if (s.w > 0 && s.h > 0 && Covers(s, x, y)) return true;
    }
    return false;
}
