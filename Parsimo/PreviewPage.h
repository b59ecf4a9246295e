#pragma once
#include <cstdint>
#include <vector>

// What the dialog shows beside the toner-saving choice.
struct PreviewImage {
    int32_t width = 0;
    int32_t height = 0;
    std::vector<uint8_t> bgra;  // top row first, 4 bytes a pixel (blue, green, red, 255)
    double savedShare = 0;      // share of the page's toner the filter saved, 0 to 1
};

// A built-in sample page (heading, a QR code, body text, a photo, a chart and
// a cheque with its code line) drawn as the 256-colour page a job would bring,
// thinned by the job's own filter at the chosen saving, style and code
// protection, and zoomed so that every page pixel shows as a square and the
// keep/drop pattern can be seen.
class PreviewPage {
public:
    static constexpr int32_t kWidth = 232;  // page pixels
    static constexpr int32_t kHeight = 300;
    static constexpr int32_t kZoom = 2;
    // A region of the page in one solid colour (a bar of the chart), for
    // checking the pattern: left, top, right, bottom in page pixels, exclusive.
    static constexpr int32_t kSolid[4] = {154, 150, 164, 198};

    // The QR code's modules, kCodeModule page pixels each (as small as a
    // printer prints them at 300 dpi): left, top, right, bottom, exclusive.
    static constexpr int32_t kCodeModule = 2;
    static constexpr int32_t kCode[4] = {188, 4, 188 + 21 * kCodeModule, 4 + 21 * kCodeModule};

    static PreviewImage Render(int32_t savingsPercentage, int32_t savingsStyle, int32_t protectCodes);
};
