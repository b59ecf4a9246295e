#include "PdfStream.h"

#include <libdeflate.h>
#include <zlib.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <system_error>
#include <thread>

#include "ColourIndex.h"
#include "ImageDeflater.h"
#include "ImageRows.h"
#include "Log.h"
#include "PrintSink.h"
#include "SeenEntries.h"

namespace {
constexpr uint32_t kPagesObject = 2;  // the page tree: written last, referred to by every page
constexpr size_t kFlushSize = 64 * 1024;
// The cross-reference table has ten digits for an offset.
constexpr uint64_t kMaxOffset = 9999999999ull;
// Level 1: the default level halves a thinned page's size but costs about
// 60 % more time, and the job only travels to a spooler on this machine.
constexpr int kDeflateLevel = 1;
constexpr double kMaxCoordinate = 1.0e6;  // points
// Images are cut into bands of about a megabyte, at most this many: pages
// are not alike from top to bottom (text above, a dithered photo below), so
// threads that take band after band share the work evenly.
constexpr size_t kBandBytes = size_t{1} << 20;
constexpr size_t kMostBands = 32;
constexpr unsigned kMostThreads = 4;
constexpr size_t kWindowBytes = 32768;  // deflate's
// How often the colour scan counts what it has seen (a count is a few microseconds).
constexpr int32_t kRowsBetweenColourCounts = 64;
// The colour scan reads every this many rows first, then those between.
constexpr size_t kColourScanParts = 16;

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

// Raw deflate: the bands of an image are joined into one stream whose
// header and checksum the writer adds.
struct Deflater {
    z_stream stream{};
    bool ready = false;
    // Made only when `wanted`: a thread that codes with our compressor needs none.
    explicit Deflater(bool wanted)
    {
        ready = wanted && deflateInit2(&stream, kDeflateLevel, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) == Z_OK;
    }
    ~Deflater()
    {
        if (ready) deflateEnd(&stream);
    }
    Deflater(const Deflater&) = delete;
    Deflater& operator=(const Deflater&) = delete;
};

// One band of an image's rows, compressed apart from the others.
struct Band {
    int32_t first = 0;
    int32_t end = 0;
    std::vector<uint8_t>* output = nullptr;
    size_t bytes = 0;    // made, at the start of *output (the rest is room)
    uint32_t adler = 1;  // of the band's rows
    bool ok = true;
    std::atomic<bool> done = false;
};

// Compresses the band's rows into a piece of a deflate stream that the next
// band's piece can follow (the last band's ends the stream), through our
// own compressor when there is one, through zlib otherwise. Matches may
// reach into the rows before the band, as in one stream.
void CompressBand(ImageRows& rows, Band& band, bool last, ImageDeflater* fast, Deflater& deflater)
{
    const size_t rowBytes = rows.RowBytes();
    std::vector<uint8_t>& out = *band.output;
    if (fast) {
        // Rows are packed straight into the compressor's window; a page
        // enlarged twice across goes as its source rows, which it doubles.
        const unsigned doubledBits = rows.DoubledBits();
        fast->StartBand(rowBytes, doubledBits);
        // The band's bytes are made in its own vector's memory, not copied there.
        fast->WriteInto(out);
        const auto pack = [&](int32_t row) {
            uint8_t* space = fast->RowSpace();
            if (doubledBits != 0)
                rows.PackSourceRow(row, space);
            else
                rows.PackRow(row, space);
            return space;
        };
        int32_t lastSource = -1;
        for (int32_t row = std::max(0, band.first - static_cast<int32_t>(ImageDeflater::kRowsKept)); row < band.first;
             ++row) {
            fast->Prime(pack(row));
            lastSource = rows.SourceRow(row);
        }
        for (int32_t row = band.first; row < band.end; ++row) {
            // A row the enlargement repeats is not packed again.
            const int32_t source = rows.SourceRow(row);
            if (source == lastSource) {
                fast->RepeatRow();
            } else {
                fast->AddRow(pack(row));
                lastSource = source;
            }
        }
        fast->EndBand(last);
        band.bytes = fast->TakeOutput(out);
        band.adler = fast->Checksum();
        return;
    }
    out.clear();
    const auto take = [&](const uint8_t* data, size_t size) {
        out.insert(out.end(), data, data + size);
        band.bytes = out.size();
    };
    z_stream& zs = deflater.stream;
    if (!deflater.ready || deflateReset(&zs) != Z_OK) {
        band.ok = false;
        return;
    }
    if (band.first > 0) {
        // The bytes before the band, as far back as a distance reaches.
        std::vector<uint8_t> history;
        const int32_t reach = static_cast<int32_t>((kWindowBytes + rowBytes - 1) / rowBytes);
        for (int32_t row = std::max(0, band.first - reach); row < band.first; ++row) {
            const uint8_t* bytes = rows.Row(row);
            history.insert(history.end(), bytes, bytes + rowBytes);
        }
        const size_t keep = std::min(history.size(), kWindowBytes);
        if (deflateSetDictionary(&zs, history.data() + history.size() - keep, uInt(keep)) != Z_OK) {
            band.ok = false;
            return;
        }
    }
    unsigned char chunk[16384];
    uint32_t rowAdler = 1;
    bool haveRowAdler = false;
    for (int32_t row = band.first; row <= band.end; ++row) {
        const bool end = row == band.end;
        const uint8_t* bytes = end ? nullptr : rows.Row(row);
        if (!end) {
            // A row repeated by the enlargement has the same checksum.
            if (!rows.Repeated() || !haveRowAdler) rowAdler = libdeflate_adler32(1, bytes, rowBytes);
            haveRowAdler = true;
            band.adler = uint32_t(adler32_combine(band.adler, rowAdler, z_off_t(rowBytes)));
        }
        zs.next_in = const_cast<uint8_t*>(bytes);
        zs.avail_in = end ? 0u : static_cast<uInt>(rowBytes);
        const int flush = !end ? Z_NO_FLUSH : (last ? Z_FINISH : Z_SYNC_FLUSH);
        int status = Z_OK;
        do {
            zs.next_out = chunk;
            zs.avail_out = sizeof chunk;
            status = deflate(&zs, flush);
            if (status == Z_STREAM_ERROR) {
                band.ok = false;
                return;
            }
            take(chunk, sizeof chunk - zs.avail_out);
        } while (zs.avail_out == 0 && status != Z_STREAM_END);
        if (end && last && status != Z_STREAM_END) band.ok = false;
    }
}
}  // namespace

unsigned PdfStream::DefaultThreads()
{
    return std::clamp(std::thread::hardware_concurrency(), 1u, kMostThreads);
}

PdfStream::PdfStream(PrintSink& sink, unsigned threads) : m_sink(sink), m_maxThreads(std::max(threads, 1u))
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
    if (size >= kFlushSize) {
        // A large piece (an image's band) goes to the sink as it is, after what waits.
        if (Flush() && !m_sink.Write(bytes, size)) Fail("write to the print job failed.");
        m_iOffset += size;
        return;
    }
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
    for (int32_t i = 0; i < width; ++i)
        columns[static_cast<size_t>(i)] = ImageRows::NearestSource(i, source.width, width);

    // The colours of the pixels that will be placed, counted on the source:
    // rows repeated by an enlargement are read once, columns left out by a
    // reduction are not looked at.
    ColourIndex colours;
    uint8_t paletteMap[ColourIndex::kMaxColours] = {};
    bool packing = false;
    {
        std::vector<int32_t> used(columns);
        used.erase(std::unique(used.begin(), used.end()), used.end());  // columns only grow
        const bool contiguous = used.size() == static_cast<size_t>(source.width);
        std::vector<uint32_t> pixels(indexed ? 0 : static_cast<size_t>(source.width));
        std::vector<uint8_t> indices(indexed ? static_cast<size_t>(source.width) : 0);
        SeenEntries seen;
        // An image of two entries at most, stored at its source's width or
        // twice it, is packed a bit a pixel while the scan has its rows at
        // hand: they are then not read from the source a second time.
        const size_t packedBytes = (static_cast<size_t>(source.width) + 7) / 8;
        packing = indexed && (width == source.width || width == 2 * source.width);
        if (packing) m_packedRows.resize(packedBytes * static_cast<size_t>(source.height));
        // Entries past the palette read as black, as the DIB shows them.
        const auto colourOf = [&](size_t entry) {
            return entry < source.palette.size() ? source.palette[entry] & 0x00FFFFFFu : 0u;
        };
        // Once an indexed image needs 8 bits an index it keeps its own
        // palette, and which other colours it holds no longer matters: a
        // colour page mostly shows that long before its last row.
        const auto needsEightBits = [&] {
            ColourIndex probe;
            for (size_t entry = 0; entry < ColourIndex::kMaxColours; ++entry)
                if (seen.Has(entry) && probe.Add(colourOf(entry)) && probe.BitsPerIndex() == 8) return true;
            return false;
        };
        // Reads a source row; true once what is seen settles the encoding.
        int32_t rowsRead = 0;
        const auto scan = [&](int32_t srcRow) {
            if (indexed) {
                const uint8_t* rowIndices = source.Indices(srcRow, indices.data());
                if (contiguous)
                    seen.Mark(rowIndices, indices.size());
                else
                    seen.Mark(rowIndices, used);
                packing = packing && seen.Count() <= 2;
                if (packing)
                    ImageRows::PackOnes(rowIndices, indices.size(), seen.First(),
                                        m_packedRows.data() + static_cast<size_t>(srcRow) * packedBytes);
                return ++rowsRead % kRowsBetweenColourCounts == 0 && needsEightBits();
            }
            source.readRow(srcRow, pixels.data());
            uint32_t previous = 0xFFFFFFFFu;
            for (const int32_t column : used) {
                const uint32_t colour = pixels[static_cast<size_t>(column)] & 0x00FFFFFFu;
                if (colour != previous && !colours.Add(colour)) break;
                previous = colour;
            }
            return colours.IsFull();
        };
        // The source rows placed, each once, read a part at a time spread
        // over the page: a picture low on a page shows its colours early.
        std::vector<int32_t> sourceRows;
        for (int32_t row = 0; row < height; ++row) {
            const int32_t srcRow = ImageRows::NearestSource(row, source.height, height);
            if (sourceRows.empty() || sourceRows.back() != srcRow) sourceRows.push_back(srcRow);
        }
        bool settled = false;
        for (size_t part = 0; part < kColourScanParts && !settled; ++part)
            for (size_t i = part; i < sourceRows.size() && !settled; i += kColourScanParts)
                settled = scan(sourceRows[i]);
        for (size_t entry = 0; indexed && entry < ColourIndex::kMaxColours; ++entry) {
            if (!seen.Has(entry)) continue;
            const uint32_t colour = colourOf(entry);
            colours.Add(colour);
            paletteMap[entry] = colours.IndexOf(colour);
        }
        // The rows were packed with the first entry seen as 1: turned over
        // where that entry is 0 and the other 1. Two entries of one colour
        // are both 0 and are packed again from the source.
        size_t other = 0;
        while (other < ColourIndex::kMaxColours && (!seen.Has(other) || other == seen.First())) ++other;
        const bool twoEntries = other < ColourIndex::kMaxColours;
        packing = packing && !settled && colours.BitsPerIndex() == 1 &&
                  (!twoEntries || paletteMap[seen.First()] != paletteMap[other]);
        if (packing && paletteMap[seen.First()] == 0) {
            const size_t padding = static_cast<size_t>(-source.width & 7);
            const auto last = static_cast<uint8_t>(0xFFu << padding);
            for (const int32_t srcRow : sourceRows) {
                uint8_t* bytes = m_packedRows.data() + static_cast<size_t>(srcRow) * packedBytes;
                for (size_t i = 0; i + 1 < packedBytes; ++i) bytes[i] = static_cast<uint8_t>(~bytes[i]);
                bytes[packedBytes - 1] ^= last;
            }
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
    if (!WriteImageData(source, height, columns, colours, indexed ? paletteMap : nullptr, ownPalette,
                        packing ? m_packedRows.data() : nullptr, compressed))
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
                               const uint8_t* packedRows, size_t& compressed)
{
    const ImageRows rows(source, height, columns, colours, paletteMap, ownPalette, packedRows);
    const size_t rowBytes = rows.RowBytes();
    // Palette images (every page of a job) go through our own compressor,
    // which knows the repeated rows and pixels of enlarged pages and the
    // thinning pattern's rows; full-colour images go through zlib.
    const bool ownCoder = !colours.IsFull();
    // A large image is compressed in bands by several threads at once and
    // the pieces joined into one stream: compression is most of a job's work.
    const size_t count = std::clamp<size_t>(rowBytes * static_cast<size_t>(height) / kBandBytes, 1,
                                            std::min(kMostBands, static_cast<size_t>(height)));
    const size_t threads = std::min<size_t>(m_maxThreads, count);
    std::vector<Band> bands(count);
    if (m_bandOutputs.size() < count) m_bandOutputs.resize(count);
    for (size_t i = 0; i < count; ++i) {
        bands[i].first = static_cast<int32_t>(int64_t{height} * int64_t(i) / int64_t(count));
        bands[i].end = static_cast<int32_t>(int64_t{height} * int64_t(i + 1) / int64_t(count));
        bands[i].output = &m_bandOutputs[i];
    }
    while (ownCoder && m_deflaters.size() < threads) m_deflaters.push_back(std::make_unique<ImageDeflater>());

    std::atomic<size_t> next = 0;
    // Each thread takes the next band not yet taken, with its own rows and coder.
    const auto work = [&](size_t thread, const std::function<void()>& afterBand) {
        ImageRows own(rows);
        Deflater deflater(!ownCoder);
        for (size_t i; (i = next.fetch_add(1)) < count;) {
            CompressBand(own, bands[i], i + 1 == count, ownCoder ? m_deflaters[thread].get() : nullptr, deflater);
            bands[i].done.store(true, std::memory_order_release);
            afterBand();
        }
    };
    std::vector<std::thread> helpers;
    for (size_t thread = 1; thread < threads; ++thread) {
        try {
            helpers.emplace_back(work, thread, [] {});
        } catch (const std::system_error&) {
            break;  // no more threads to be had: this one takes the bands left
        }
    }

    // A 32 KiB window, no dictionary, check bits as zlib writes them.
    static constexpr uint8_t kHeader[2] = {0x78, 0x01};
    Emit(kHeader, sizeof kHeader);
    compressed = sizeof kHeader;
    bool ok = true;
    uint32_t adler = 1;
    size_t emitted = 0;
    // Only this thread writes: the bands finished so far go out in order.
    const auto emitDone = [&] {
        for (; emitted < count && bands[emitted].done.load(std::memory_order_acquire); ++emitted) {
            const Band& band = bands[emitted];
            ok = ok && band.ok;
            compressed += band.bytes;
            Emit(band.output->data(), band.bytes);
            adler = uint32_t(adler32_combine(adler, band.adler, z_off_t(rowBytes) * (band.end - band.first)));
        }
    };
    work(0, emitDone);
    for (std::thread& helper : helpers) helper.join();
    emitDone();
    if (!ok) return Fail("compression failed.");
    const uint8_t trailer[4] = {uint8_t(adler >> 24), uint8_t(adler >> 16), uint8_t(adler >> 8), uint8_t(adler)};
    Emit(trailer, sizeof trailer);
    compressed += sizeof trailer;
    return !m_bFailed;
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
