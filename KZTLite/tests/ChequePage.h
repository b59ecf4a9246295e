#pragma once
// Test cheques: a page drawn from rectangles in inches (y from the top), with
// E-13B code lines, cheque furniture and decoys. The same drawing becomes
// PostScript for the real Ghostscript or a page section in memory.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "Dib.h"

using Dib = std::unique_ptr<DibSectionObject, DibDeleter>;

struct PixelBox {
    int32_t left, top, right, bottom;  // inclusive; left > right when empty
};

class ChequePage {
public:
    ChequePage(double widthInches, double heightInches) : m_Width(widthInches), m_Height(heightInches) { }

    // Characters: '0'-'9', 'T' transit, 'A' amount, 'U' on-us, 'D' dash, ' ' blank.
    // The line's right end and the characters' bottom edge are given; the
    // line turns about that corner by skewDegrees (counterclockwise as seen).
    void CodeLine(const std::string& text, double rightEnd, double baseline, double skewDegrees = 0);
    // A cheque of the given box with its furniture (frame, date, payee and
    // amount boxes, signature and memo lines, words) and, unless codeLine is
    // false, its code line at the nominal place with the baseline moved by shift.
    void Cheque(double left, double top, double width, double height, bool codeLine = true, double shift = 0,
                double skewDegrees = 0, const std::string& text = kStandardLine);
    // A stub beside or under a cheque: words and a table.
    void Voucher(double left, double top, double width, double height);

    // Decoys that only look like code lines.
    void Table(double left, double top, int32_t rows, int32_t cols);
    void DashedRule(double left, double top, double length);
    void BarcodeBars(double left, double top, int32_t bars);
    void SignatureLine(double left, double top, double length);
    void Words(double left, double top, double width, int32_t lines, uint32_t seed);
    // Text in a real font, for Ghostscript only.
    void Text(const std::string& font, double size, double left, double baseline, const std::string& text);

    // Grey level (0 black .. 1 white) of the code lines in the PostScript.
    void SetCodeLineGray(double gray) { m_CodeLineGray = gray; }

    void Rect(double x, double y, double w, double h) { m_Shapes.push_back({x, y, w, h, 0, 0, 0, false}); }

    std::string PostScript() const;
    // bits 8 (Ghostscript's colour cube) or 24; speckles per square inch.
    Dib Render(int32_t dpi, uint16_t bits, bool topDown, double speckles = 0, uint32_t seed = 1) const;
    // Pixels that the code lines' own shapes cover on a page of that resolution.
    PixelBox CodeLineBox(int32_t dpi, size_t line) const;
    // Whether the point (inches) lies inside a shape of that code line, at least inset from its edges.
    bool InsideCodeLine(size_t line, double x, double y, double inset) const;
    size_t CodeLines() const { return m_LineCount; }

    static const std::string kStandardLine;

private:
    struct Shape {
        double x, y, w, h;
        double angle;  // degrees, about (px, py)
        double px, py;
        bool codeLine;
        size_t line = 0;
    };
    struct Label {
        std::string font;
        double size, x, y;
        std::string text;
    };
    bool Covers(const Shape& s, double x, double y) const;
    // Calls covered(x, y) for each pixel of a page of that resolution whose
    // centre the shape covers.
    template <typename Covered>
    void ForEachPixel(const Shape& s, int32_t dpi, Covered covered) const;

    double m_Width, m_Height;
    std::vector<Shape> m_Shapes;
    std::vector<Label> m_Labels;
    size_t m_LineCount = 0;
    double m_CodeLineGray = 0;
};
