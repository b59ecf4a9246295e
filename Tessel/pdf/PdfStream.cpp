#include "PdfStream.h"

#include <zlib.h>

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>

#include "ColourIndex.h"
#include "ImageDeflater.h"
#include "Log.h"
#include "PrintSink.h"

namespace {
constexpr uint32_t kPagesObject = 2;  // the page tree: written last, referred to by every page
constexpr size_t kFlushSize = 64 * 1024;
// The cross-reference table has ten digits for an offset.
constexpr uint64_t kMaxOffset = 9999999999ull;
// Level 1: the default level halves a thinned page's size but costs about
// 60 % more time, and the job only travels to a spooler on this machine.
constexpr int kDeflateLevel = 1;
constexpr double kMaxCoordinate = 1.0e6;  // points

// A number as PDF wants it: no exponent, no locale, no trailing zeros.
std::string Number(double value)
{
    char text[64];
    auto [end, error] = std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, 6);
    if (error != std::errc()) return "0";
    while (end > text && end[-1] == '0') --end;
    if (end > text && end[-1] == '.') --end;
    std::string result(text, end);
    return result == "-0" || result.empty() ? "0" : result;
}

std::string Reference(uint32_t object)
{
    return std::to_string(object) + " 0 R";
}

// Source column or row for each of `count` placed pixels: the one under the pixel's centre.
int32_t NearestSource(int32_t placed, int32_t sourceCount, int32_t placedCount)
{
    return static_cast<int32_t>((2 * static_cast<int64_t>(placed) + 1) * sourceCount /
                                (2 * static_cast<int64_t>(placedCount)));
}

// Palette indices of the placed pixels (source indices through `map`),
// packed big-endian, Bits each, rows padded to whole bytes. Whole bytes are
// packed apart from the tail so that the compiler can unroll them.
template <int Bits, bool Mapped>
void PackIndicesAs(const uint8_t* indices, const uint8_t* map, const std::vector<int32_t>& columns, unsigned char* out)
{
    constexpr size_t perByte = 8 / Bits;
    const auto at = [&](size_t i) -> unsigned {
        const uint8_t index = indices[columns[i]];
        return Mapped ? map[index] : index;
    };
    const size_t width = columns.size();
    const size_t whole = width / perByte * perByte;
    size_t i = 0;
    for (; i < whole; i += perByte) {
        unsigned byte = 0;
        for (size_t n = 0; n < perByte; ++n) byte = (byte << Bits) | at(i + n);
        *out++ = static_cast<unsigned char>(byte);
    }
    if (i < width) {
        unsigned byte = 0;
        for (size_t n = 0; n < perByte; ++n) byte = (byte << Bits) | (i + n < width ? at(i + n) : 0u);
        *out = static_cast<unsigned char>(byte);
    }
}

template <bool Mapped>
void PackIndices(const uint8_t* indices, const uint8_t* map, const std::vector<int32_t>& columns, int bits,
                 unsigned char* out)
{
    switch (bits) {
    case 1: PackIndicesAs<1, Mapped>(indices, map, columns, out); break;
    case 2: PackIndicesAs<2, Mapped>(indices, map, columns, out); break;
    case 4: PackIndicesAs<4, Mapped>(indices, map, columns, out); break;
    default: PackIndicesAs<8, Mapped>(indices, map, columns, out); break;
    }
}

// 8-bit indices enlarged a whole number of times: each repeated `scale`
// times, without a column lookup per byte.
void RepeatBytes(const uint8_t* indices, size_t count, size_t scale, unsigned char* out)
{
    if (scale == 1) {
        std::memcpy(out, indices, count);
    } else if (scale == 2) {
        for (size_t i = 0; i < count; ++i) out[2 * i] = out[2 * i + 1] = indices[i];
    } else {
        for (size_t i = 0; i < count; ++i)
            for (size_t n = 0; n < scale; ++n) *out++ = indices[i];
    }
}

// Two-colour rows enlarged twice (black-and-white pages on a 600-dpi
// printer): four source pixels make one byte, each bit doubled by a table.
void PackBitsDoubled(const uint8_t* indices, const uint8_t* map, size_t count, unsigned char* out)
{
    static constexpr std::array<uint8_t, 16> kDoubled = [] {
        std::array<uint8_t, 16> table{};
        for (unsigned n = 0; n < 16; ++n)
            for (int bit = 3; bit >= 0; --bit) table[n] = uint8_t(table[n] << 2 | ((n >> bit) & 1u) * 3u);
        return table;
    }();
    const auto bit = [&](size_t i) { return i < count ? map[indices[i]] & 1u : 0u; };
    for (size_t i = 0; i < count; i += 4)
        *out++ = kDoubled[bit(i) << 3 | bit(i + 1) << 2 | bit(i + 2) << 1 | bit(i + 3)];
}

void PackRgb(const uint32_t* pixels, const std::vector<int32_t>& columns, unsigned char* out)
{
    for (const int32_t column : columns) {
        const uint32_t colour = pixels[column];
        *out++ = static_cast<unsigned char>(colour >> 16);
        *out++ = static_cast<unsigned char>(colour >> 8);
        *out++ = static_cast<unsigned char>(colour);
    }
}

// Marks the indices that occur in a row. Pages are mostly long runs of
// white: eight pixels equal to the eight before cost one comparison.
void MarkSeen(const std::vector<uint8_t>& indices, bool* seen)
{
    const size_t whole = indices.size() / 8 * 8;
    uint64_t previous = 0;
    for (size_t i = 0; i < whole; i += 8) {
        uint64_t word;
        memcpy(&word, indices.data() + i, sizeof word);
        if (i > 0 && word == previous) continue;
        previous = word;
        for (size_t n = 0; n < 8; ++n) seen[indices[i + n]] = true;
    }
    for (size_t i = whole; i < indices.size(); ++i) seen[indices[i]] = true;
}

template <typename ColourAt>
std::string HexPalette(int count, ColourAt colourAt)
{
    static const char digits[] = "0123456789ABCDEF";
    std::string hex;
    for (int i = 0; i < count; ++i) {
        const uint32_t colour = colourAt(i);
        for (int shift = 20; shift >= 0; shift -= 4) hex += digits[(colour >> shift) & 0xF];
    }
    return hex;
}

struct Deflater {
    z_stream stream{};
    bool ready = false;
    Deflater() { ready = deflateInit(&stream, kDeflateLevel) == Z_OK; }
    ~Deflater()
    {
        if (ready) deflateEnd(&stream);
    }
    Deflater(const Deflater&) = delete;
    Deflater& operator=(const Deflater&) = delete;
};
}  // namespace

PdfStream::PdfStream(PrintSink& sink) : m_sink(sink)
{
    m_buffer.reserve(kFlushSize + 4096);
    m_objectOffsets.assign(4, 0);  // 0 unused, 1 catalog, 2 page tree, 3 information
    // The second line's high bytes mark the file as binary for transfer programs.
    Emit("%PDF-1.4\n%\xE2\xE3\xCF\xD3\n");
    BeginObject(1);
    Emit("<</Type/Catalog/Pages " + Reference(kPagesObject) + ">>\nendobj\n");
    BeginObject(3);
    Emit("<</Creator(Parsimo)/Producer(Parsimo)>>\nendobj\n");
}

PdfStream::~PdfStream() = default;

bool PdfStream::Fail(const char* what)
{
    if (!m_bFailed) LogMessage(2, "PDF stream: %s\r\n", what);
    m_bFailed = true;
    return false;
}

void PdfStream::Emit(const void* data, size_t size)
{
    if (m_bFailed) return;
    const auto* bytes = static_cast<const unsigned char*>(data);
    m_buffer.insert(m_buffer.end(), bytes, bytes + size);
    m_iOffset += size;
    if (m_buffer.size() >= kFlushSize) Flush();
}

bool PdfStream::Flush()
{
    if (m_bFailed) return false;
    if (!m_buffer.empty() && !m_sink.Write(m_buffer.data(), m_buffer.size()))
        return Fail("write to the print job failed.");
    m_buffer.clear();
    return true;
}

uint32_t PdfStream::NewObject()
{
    if (m_objectOffsets.size() >= kMaxObjects) {
        Fail("too many objects for one document.");
        return 0;
    }
    m_objectOffsets.push_back(0);
    return static_cast<uint32_t>(m_objectOffsets.size() - 1);
}

bool PdfStream::BeginObject(uint32_t number)
{
    if (m_bFailed || number == 0 || number >= m_objectOffsets.size()) return false;
    if (m_iOffset > kMaxOffset) return Fail("document too large.");
    m_objectOffsets[number] = m_iOffset;
    Emit(std::to_string(number) + " 0 obj\n");
    return !m_bFailed;
}

bool PdfStream::BeginPage(double width, double height)
{
    if (m_bFailed || m_bFinished || m_bPageOpen) return false;
    if (!(width > 0.0 && width <= kMaxPageSide && height > 0.0 && height <= kMaxPageSide)) {
        LogMessage(2, "PDF page of %.1f x %.1f points refused.\r\n", width, height);
        return false;
    }
    m_pageWidth = width;
    m_pageHeight = height;
    m_content.clear();
    m_images.clear();
    m_bPageOpen = true;
    return true;
}

bool PdfStream::DrawImage(const Source& source, int32_t width, int32_t height, double x, double y, double w, double h)
{
    if (m_bFailed || !m_bPageOpen) return false;
    const auto sideOk = [](int32_t side) { return side > 0 && side <= kMaxImageSide; };
    const auto placeOk = [](double value) { return std::isfinite(value) && std::fabs(value) <= kMaxCoordinate; };
    const bool indexed = !source.palette.empty();
    const bool readerOk = indexed ? source.palette.size() <= ColourIndex::kMaxColours && source.readIndices
                                  : static_cast<bool>(source.readRow);
    if (!sideOk(source.width) || !sideOk(source.height) || !sideOk(width) || !sideOk(height) || !readerOk ||
        !placeOk(x) || !placeOk(y) || !placeOk(w) || !placeOk(h) || w <= 0.0 || h <= 0.0) {
        LogMessage(2, "PDF image of %d x %d pixels from %d x %d refused.\r\n", width, height, source.width,
                   source.height);
        return false;
    }
    std::vector<int32_t> columns(static_cast<size_t>(width));
    for (int32_t i = 0; i < width; ++i) columns[static_cast<size_t>(i)] = NearestSource(i, source.width, width);

    // The colours of the pixels that will be placed, counted on the source:
    // rows repeated by an enlargement are read once, columns left out by a
    // reduction are not looked at.
    ColourIndex colours;
    uint8_t paletteMap[ColourIndex::kMaxColours] = {};
    {
        std::vector<int32_t> used(columns);
        used.erase(std::unique(used.begin(), used.end()), used.end());  // columns only grow
        const bool contiguous = used.size() == static_cast<size_t>(source.width);
        std::vector<uint32_t> pixels(indexed ? 0 : static_cast<size_t>(source.width));
        std::vector<uint8_t> indices(indexed ? static_cast<size_t>(source.width) : 0);
        bool seen[ColourIndex::kMaxColours] = {};
        int32_t lastRow = -1;
        for (int32_t row = 0; row < height && !colours.IsFull(); ++row) {
            const int32_t srcRow = NearestSource(row, source.height, height);
            if (srcRow == lastRow) continue;
            lastRow = srcRow;
            if (indexed) {
                source.readIndices(srcRow, indices.data());
                if (contiguous)
                    MarkSeen(indices, seen);
                else
                    for (const int32_t column : used) seen[indices[static_cast<size_t>(column)]] = true;
                continue;
            }
            source.readRow(srcRow, pixels.data());
            uint32_t previous = 0xFFFFFFFFu;
            for (const int32_t column : used) {
                const uint32_t colour = pixels[static_cast<size_t>(column)] & 0x00FFFFFFu;
                if (colour != previous && !colours.Add(colour)) break;
                previous = colour;
            }
        }
        // Entries past the palette read as black, as the DIB shows them.
        for (size_t entry = 0; indexed && entry < ColourIndex::kMaxColours; ++entry) {
            if (!seen[entry]) continue;
            const uint32_t colour = entry < source.palette.size() ? source.palette[entry] & 0x00FFFFFFu : 0;
            colours.Add(colour);
            paletteMap[entry] = colours.IndexOf(colour);
        }
    }

    const uint32_t image = NewObject();
    const uint32_t length = NewObject();
    if (!BeginObject(image)) return false;
    std::string dictionary =
        "<</Type/XObject/Subtype/Image/Width " + std::to_string(width) + "/Height " + std::to_string(height);
    // An 8-bit page keeps its own palette: its indices go out as they are,
    // without a lookup per byte.
    const bool ownPalette = indexed && colours.BitsPerIndex() == 8;
    if (colours.IsFull()) {
        dictionary += "/ColorSpace/DeviceRGB/BitsPerComponent 8";
    } else if (ownPalette) {
        const auto count = static_cast<int>(source.palette.size());
        dictionary += "/ColorSpace[/Indexed/DeviceRGB " + std::to_string(count - 1) + "<" +
                      HexPalette(count, [&](int i) { return source.palette[size_t(i)] & 0x00FFFFFFu; }) +
                      ">]/BitsPerComponent 8";
    } else {
        dictionary += "/ColorSpace[/Indexed/DeviceRGB " + std::to_string(colours.Count() - 1) + "<" +
                      HexPalette(colours.Count(), [&](int i) { return colours.ColourAt(i); }) + ">]/BitsPerComponent " +
                      std::to_string(colours.BitsPerIndex());
    }
    dictionary += "/Interpolate false/Filter/FlateDecode/Length " + Reference(length) + ">>\nstream\n";
    Emit(dictionary);
    size_t compressed = 0;
    if (!WriteImageData(source, height, columns, colours, indexed ? paletteMap : nullptr, ownPalette, compressed))
        return false;
    Emit("\nendstream\nendobj\n");
    if (!BeginObject(length)) return false;
    Emit(std::to_string(compressed) + "\nendobj\n");

    const std::string name = "/Im" + std::to_string(m_images.size());
    m_images.push_back(image);
    m_content += "q " + Number(w) + " 0 0 " + Number(h) + " " + Number(x) + " " + Number(m_pageHeight - y - h) +
                 " cm " + name + " Do Q\n";
    return !m_bFailed;
}

bool PdfStream::WriteImageData(const Source& source, int32_t height, const std::vector<int32_t>& columns,
                               const ColourIndex& colours, const uint8_t* paletteMap, bool ownPalette,
                               size_t& compressed)
{
    const bool rgb = colours.IsFull();
    const int bits = rgb || ownPalette ? (rgb ? 24 : 8) : colours.BitsPerIndex();
    const size_t rowBytes = (columns.size() * static_cast<size_t>(bits) + 7) / 8;
    const auto srcWidth = static_cast<size_t>(source.width);
    std::vector<uint32_t> pixels(paletteMap ? 0 : srcWidth);
    std::vector<uint8_t> indices(rgb ? 0 : srcWidth);
    std::vector<unsigned char> packed(rowBytes);
    // Enlarged palette images (the pages of a job printed at a printer's
    // finer resolution) go through our own compressor, which knows their
    // repeated rows and pixels; zlib, which finds more in other images, takes the rest.
    const bool enlarged = height >= 2 * static_cast<int64_t>(source.height);
    // Nearest neighbour repeats every column `wholeScale` times when the width is a whole multiple.
    const size_t wholeScale = columns.size() % srcWidth == 0 ? columns.size() / srcWidth : 0;
    ImageDeflater* fast = nullptr;
    std::unique_ptr<Deflater> deflater;
    if (!rgb && enlarged) {
        if (!m_deflater) m_deflater = std::make_unique<ImageDeflater>();
        fast = m_deflater.get();
        fast->Start(rowBytes);
    } else {
        deflater = std::make_unique<Deflater>();
        if (!deflater->ready) return Fail("no compressor.");
    }
    unsigned char chunk[16384];
    int32_t lastRow = -1;
    for (int32_t row = 0; row <= height; ++row) {
        const bool last = row == height;
        if (!last) {
            // A row repeated by the enlargement is packed once and compressed again.
            const int32_t srcRow = NearestSource(row, source.height, height);
            if (srcRow != lastRow) {
                lastRow = srcRow;
                if (paletteMap) {
                    source.readIndices(srcRow, indices.data());
                } else {
                    source.readRow(srcRow, pixels.data());
                    if (!rgb) {
                        // Neighbours mostly share a colour: look up only changes.
                        uint32_t previous = 0xFFFFFFFFu;
                        uint8_t index = 0;
                        for (size_t i = 0; i < srcWidth; ++i) {
                            if (pixels[i] != previous) index = colours.IndexOf(previous = pixels[i]);
                            indices[i] = index;
                        }
                    }
                }
                if (rgb)
                    PackRgb(pixels.data(), columns, packed.data());
                else if (paletteMap && !ownPalette && bits == 1 && wholeScale == 2)
                    PackBitsDoubled(indices.data(), paletteMap, srcWidth, packed.data());
                else if (paletteMap && !ownPalette)
                    PackIndices<true>(indices.data(), paletteMap, columns, bits, packed.data());
                else if (bits == 8 && wholeScale > 0)
                    RepeatBytes(indices.data(), srcWidth, wholeScale, packed.data());
                else
                    PackIndices<false>(indices.data(), nullptr, columns, bits, packed.data());
            }
        }
        if (fast) {
            if (last)
                fast->Finish();
            else
                fast->AddRow(packed.data());
            if (last || fast->Output().size() >= kFlushSize) {
                compressed += fast->Output().size();
                Emit(fast->Output().data(), fast->Output().size());
                fast->ClearOutput();
            }
            if (m_bFailed) return false;
            continue;
        }
        z_stream& zs = deflater->stream;
        zs.next_in = last ? nullptr : packed.data();
        zs.avail_in = last ? 0u : static_cast<uInt>(rowBytes);
        int status = Z_OK;
        do {
            zs.next_out = chunk;
            zs.avail_out = sizeof chunk;
            status = deflate(&zs, last ? Z_FINISH : Z_NO_FLUSH);
            if (status == Z_STREAM_ERROR) return Fail("compression failed.");
            const size_t produced = sizeof chunk - zs.avail_out;
            compressed += produced;
            Emit(chunk, produced);
        } while (zs.avail_out == 0 && status != Z_STREAM_END);
        if (m_bFailed) return false;
        if (last && status != Z_STREAM_END) return Fail("compression did not end.");
    }
    return true;
}

bool PdfStream::EndPage()
{
    if (m_bFailed || !m_bPageOpen) return false;
    m_bPageOpen = false;
    const uint32_t content = NewObject();
    const uint32_t page = NewObject();
    if (!BeginObject(content)) return false;
    Emit("<</Length " + std::to_string(m_content.size()) + ">>\nstream\n");
    Emit(m_content);
    Emit("\nendstream\nendobj\n");
    if (!BeginObject(page)) return false;
    std::string dictionary = "<</Type/Page/Parent " + Reference(kPagesObject) + "/MediaBox[0 0 " + Number(m_pageWidth) +
                             " " + Number(m_pageHeight) + "]/Resources<<";
    if (!m_images.empty()) {
        dictionary += "/XObject<<";
        for (size_t i = 0; i < m_images.size(); ++i)
            dictionary += "/Im" + std::to_string(i) + " " + Reference(m_images[i]);
        dictionary += ">>";
    }
    dictionary += ">>/Contents " + Reference(content) + ">>\nendobj\n";
    Emit(dictionary);
    m_pages.push_back(page);
    m_content.clear();
    m_images.clear();
    // The page leaves now: a spooler can start on it while the next is made.
    return Flush();
}

bool PdfStream::Finish()
{
    if (m_bFinished) return false;
    if (m_bPageOpen) EndPage();
    m_bFinished = true;
    if (m_bFailed) return false;
    BeginObject(kPagesObject);
    Emit("<</Type/Pages/Kids[");
    for (const uint32_t page : m_pages) Emit(Reference(page) + " ");
    Emit("]/Count " + std::to_string(m_pages.size()) + ">>\nendobj\n");
    const uint64_t xref = m_iOffset;
    if (xref > kMaxOffset) return Fail("document too large.");
    Emit("xref\n0 " + std::to_string(m_objectOffsets.size()) + "\n0000000000 65535 f \n");
    for (size_t i = 1; i < m_objectOffsets.size(); ++i) {
        char entry[32];
        snprintf(entry, sizeof entry, "%010llu 00000 n \n", static_cast<unsigned long long>(m_objectOffsets[i]));
        Emit(entry, 20);
    }
    Emit("trailer\n<</Size " + std::to_string(m_objectOffsets.size()) + "/Root 1 0 R/Info 3 0 R>>\nstartxref\n" +
         std::to_string(xref) + "\n%%EOF\n");
    return Flush();
}
