#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

class ColourIndex;
class ImageDeflater;
class PrintSink;

// A PDF document written page by page into a PrintSink. Images are enlarged
// or reduced nearest neighbour to whole pixels and stored losslessly (Flate,
// the fewest bits per pixel that keep every colour exact), so a keep/drop
// pattern reaches the printer as it was. Image data goes to the sink as it is
// compressed and the rest of a page when the page ends; nothing of a page is
// kept afterwards.
class PdfStream {
public:
    // Largest image side taken (pixels), source or placed; larger requests are refused.
    static constexpr int32_t kMaxImageSide = 32767;
    // Largest page side in points (200 inches): what PDF readers accept.
    static constexpr double kMaxPageSide = 14400.0;
    // Objects in one document (pages take 3, each image 2 more): bounds the
    // cross-reference table kept until the end.
    static constexpr uint32_t kMaxObjects = 8388607;

    // The image to place. Rows are read top row first, each possibly more
    // than once: as palette indices when the source has a palette (a page
    // from a DIB of 8 bits or less: no colour lookups), else as 0x00RRGGBB.
    struct Source {
        int32_t width = 0;
        int32_t height = 0;
        std::span<const uint32_t> palette;  // at most 256 colours, 0x00RRGGBB
        std::function<void(int32_t row, uint8_t* indices)> readIndices;
        std::function<void(int32_t row, uint32_t* pixels)> readRow;
        // Optional, beside readIndices: a row's indices where the source
        // keeps them (width bytes, valid while the image is drawn), read
        // without a copy.
        std::function<const uint8_t*(int32_t row)> indexRow = {};

        // Row `row` as indices: where the source keeps them, else read into `scratch` (width bytes).
        const uint8_t* Indices(int32_t row, uint8_t* scratch) const
        {
            if (indexRow) return indexRow(row);
            readIndices(row, scratch);
            return scratch;
        }
    };

    // One a processor, a few at most.
    static unsigned DefaultThreads();

    // Large images are compressed in bands by up to `threads` threads at once.
    explicit PdfStream(PrintSink& sink, unsigned threads = DefaultThreads());
    ~PdfStream();
    PdfStream(const PdfStream&) = delete;
    PdfStream& operator=(const PdfStream&) = delete;

    bool IsValid() const { return !m_bFailed; }
    // Starts a page of that size in points.
    bool BeginPage(double width, double height);
    // The source image stored as width x height pixels by nearest neighbour
    // and placed at (x, y) with size (w, h) in points from the page's
    // top-left corner.
    bool DrawImage(const Source& source, int32_t width, int32_t height, double x, double y, double w, double h);
    // Writes the page to the sink.
    bool EndPage();
    // Writes the document's end; false when anything failed.
    bool Finish();

private:
    bool Fail(const char* what);
    void Emit(const void* data, size_t size);
    void Emit(const std::string& text) { Emit(text.data(), text.size()); }
    bool Flush();
    // Starts object `number` at the current offset; false past the limits.
    bool BeginObject(uint32_t number);
    uint32_t NewObject();
    bool WriteImageData(const Source& source, int32_t height, const std::vector<int32_t>& columns,
                        const ColourIndex& colours, const uint8_t* paletteMap, bool ownPalette,
                        const uint8_t* packedRows, size_t& compressed);

    PrintSink& m_sink;
    unsigned m_maxThreads;
    bool m_bFailed = false;
    bool m_bPageOpen = false;
    bool m_bFinished = false;
    uint64_t m_iOffset = 0;                 // bytes emitted so far
    std::vector<unsigned char> m_buffer;    // emitted, not yet handed to the sink
    std::vector<uint64_t> m_objectOffsets;  // by object number; 0 for object 0
    std::vector<uint32_t> m_pages;          // page objects, in order
    // The open page.
    double m_pageWidth = 0.0;
    double m_pageHeight = 0.0;
    std::string m_content;
    std::vector<uint32_t> m_images;
    // One a band, kept from image to image with their buffers.
    std::vector<std::unique_ptr<ImageDeflater>> m_deflaters;
    // A two-entry image's source rows packed a bit a pixel by the colour
    // scan, kept with its room from image to image.
    std::vector<uint8_t> m_packedRows;
    // What each band after the first made, kept with its room likewise.
    std::vector<std::vector<uint8_t>> m_bandOutputs;
};
