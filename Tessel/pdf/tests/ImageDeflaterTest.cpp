#include "ImageDeflater.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <random>
#include <utility>
#include <vector>

namespace {

// zlib's own inflate of the whole stream; empty when it is refused or has bytes after its end.
std::vector<uint8_t> Inflate(const std::vector<uint8_t>& stream, size_t expected)
{
    std::vector<uint8_t> out(expected + 16);
    uLongf size = uLongf(out.size());
    if (uncompress(out.data(), &size, stream.data(), uLong(stream.size())) != Z_OK) return {};
    out.resize(size);
    return out;
}

std::vector<uint8_t> Deflate(const std::vector<uint8_t>& image, size_t rowBytes)
{
    ImageDeflater deflater(rowBytes);
    std::vector<uint8_t> stream;
    for (size_t at = 0; at < image.size(); at += rowBytes) {
        deflater.AddRow(image.data() + at);
        // Taken away in pieces, as the PDF writer does.
        stream.insert(stream.end(), deflater.Output().begin(), deflater.Output().end());
        deflater.ClearOutput();
    }
    deflater.Finish();
    stream.insert(stream.end(), deflater.Output().begin(), deflater.Output().end());
    return stream;
}

// Source rows given before doubling, each twice (as the enlargement
// repeats it: given again, or repeated), into a deflater started for rows
// of `rowBytes` doubled.
std::vector<uint8_t> DeflateDoubled(const std::vector<uint8_t>& source, size_t halfBytes, size_t rowBytes,
                                    unsigned bits)
{
    ImageDeflater deflater(rowBytes, bits);
    std::vector<uint8_t> stream;
    for (size_t at = 0, row = 0; at < source.size(); at += halfBytes, ++row) {
        deflater.AddRow(source.data() + at);
        if (row % 2 == 0)
            deflater.AddRow(source.data() + at);
        else
            deflater.RepeatRow();
        stream.insert(stream.end(), deflater.Output().begin(), deflater.Output().end());
        deflater.ClearOutput();
    }
    deflater.Finish();
    stream.insert(stream.end(), deflater.Output().begin(), deflater.Output().end());
    return stream;
}

enum class Content { Noise, Text, Dither };

// A page of `width` x `height` source pixels of `bits` each, enlarged
// nearest neighbour by `scale` both ways and packed into rows of whole bytes.
std::vector<uint8_t> EnlargedPage(int bits, int scale, int width, int height, Content content, size_t& rowBytes,
                                  unsigned seed)
{
    std::mt19937 random(seed);
    const unsigned top = (1u << bits) - 1u;
    std::vector<unsigned> source(size_t(width) * size_t(height));
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            unsigned value = 0;
            if (content == Content::Noise) value = random() & top;
            if (content == Content::Text) value = (random() % 16 == 0 || (y % 7 == 3 && x > width / 3)) ? top : 0;
            if (content == Content::Dither) value = ((x + y) % 2 == 0 ? top / 2 : top) & top;
            source[size_t(y) * size_t(width) + size_t(x)] = value;
        }
    }
    const size_t placedWidth = size_t(width) * size_t(scale);
    rowBytes = (placedWidth * size_t(bits) + 7) / 8;
    std::vector<uint8_t> image;
    for (int y = 0; y < height * scale; ++y) {
        std::vector<uint8_t> row(rowBytes, 0);
        for (size_t x = 0; x < placedWidth; ++x) {
            const unsigned value = source[size_t(y / scale) * size_t(width) + x / size_t(scale)];
            const size_t bit = x * size_t(bits);
            row[bit / 8] |= uint8_t(value << (8 - bits - bit % 8));
        }
        image.insert(image.end(), row.begin(), row.end());
    }
    return image;
}

TEST(ImageDeflaterTest, EveryDepthScaleAndWidthInflatesToTheSameBytes)
{
    unsigned seed = 1;
    for (const int bits : {1, 2, 4, 8}) {
        for (int scale = 1; scale <= 4; ++scale) {
            for (const int width : {1, 3, 37, 251}) {
                for (const Content content : {Content::Noise, Content::Text, Content::Dither}) {
                    size_t rowBytes = 0;
                    const auto image = EnlargedPage(bits, scale, width, 23, content, rowBytes, seed++);
                    const auto stream = Deflate(image, rowBytes);
                    EXPECT_EQ(Inflate(stream, image.size()), image)
                        << bits << " bits, scale " << scale << ", width " << width << ", content " << int(content);
                }
            }
        }
    }
}

// Pages enlarged twice, given as their source rows: every depth, widths
// whose doubled rows take twice the bytes and widths whose last doubled
// byte would be padding only (a byte short), and as small as the rows
// given when coded whole.
TEST(ImageDeflaterTest, RowsGivenBeforeDoublingInflateToTheDoubledRows)
{
    unsigned seed = 100;
    for (const unsigned bits : {1u, 2u, 4u, 8u}) {
        for (const int width : {1, 3, 37, 256, 1275}) {
            for (const Content content : {Content::Noise, Content::Text, Content::Dither}) {
                size_t halfBytes = 0, rowBytes = 0;
                const int height = width > 1000 ? 200 : 23;
                const auto source = EnlargedPage(int(bits), 1, width, height, content, halfBytes, seed);
                const auto image = EnlargedPage(int(bits), 2, width, height, content, rowBytes, seed++);
                const auto stream = DeflateDoubled(source, halfBytes, rowBytes, bits);
                EXPECT_EQ(Inflate(stream, image.size()), image)
                    << bits << " bits, width " << width << ", content " << int(content);
                if (width > 1000) {
                    EXPECT_LE(stream.size() * 10, Deflate(image, rowBytes).size() * 11)
                        << bits << " bits, content " << int(content);
                }
            }
        }
    }
    // Rows too long for a distance to reach the row above.
    std::vector<uint8_t> wide(20000 * 2);
    for (size_t i = 0; i < wide.size(); ++i) wide[i] = uint8_t(i < 20000 ? i % 7 : i % 251);
    std::vector<uint8_t> doubled;
    for (size_t row = 0; row < 2; ++row)
        for (int copy = 0; copy < 2; ++copy)
            for (size_t i = 0; i < 20000; ++i) doubled.insert(doubled.end(), 2, wide[row * 20000 + i]);
    EXPECT_EQ(Inflate(DeflateDoubled(wide, 20000, 40000, 8), doubled.size()), doubled);
}

// A long match goes as pieces of the longest length a code has (258
// bytes) and a rest that may be no shorter than three: rows and runs a
// byte or two past a multiple of it, repeated whole, run out and doubled.
TEST(ImageDeflaterTest, MatchesJustPastAMultipleOfTheLongestPieceInflate)
{
    for (const size_t rowBytes : {258u, 259u, 260u, 261u, 516u, 517u, 518u, 774u, 775u}) {
        std::vector<uint8_t> image(rowBytes * 6, 0);
        // A row, the same again, a run of one byte but for its first, and a row of noise.
        for (size_t i = 0; i < rowBytes; ++i) image[i] = image[rowBytes + i] = uint8_t(i * 7);
        image[2 * rowBytes] = 9;
        for (size_t i = 3 * rowBytes; i < 4 * rowBytes; ++i) image[i] = uint8_t(i * 2654435761u >> 24);
        EXPECT_EQ(Inflate(Deflate(image, rowBytes), image.size()), image) << rowBytes;
        if (rowBytes % 2 == 0) {
            // The same lengths reached by doubling rows of half as many bytes.
            std::vector<uint8_t> source(image.size() / 2), doubled;
            for (size_t i = 0; i < source.size(); ++i) source[i] = image[i] % 3 == 0 ? 0 : image[i];
            for (size_t row = 0; row < source.size(); row += rowBytes / 2)
                for (int copy = 0; copy < 2; ++copy)
                    for (size_t i = 0; i < rowBytes / 2; ++i) doubled.insert(doubled.end(), 2, source[row + i]);
            EXPECT_EQ(Inflate(DeflateDoubled(source, rowBytes / 2, rowBytes, 8), doubled.size()), doubled) << rowBytes;
        }
    }
}

TEST(ImageDeflaterTest, LargeWideTinyAndEmptyImagesRoundTrip)
{
    // Large pages span several blocks and stay far smaller than their pixels;
    // noise needs many blocks of literals.
    size_t rowBytes = 0;
    const auto image = EnlargedPage(8, 2, 1275, 600, Content::Text, rowBytes, 7);
    const auto stream = Deflate(image, rowBytes);
    EXPECT_EQ(Inflate(stream, image.size()), image);
    EXPECT_LT(stream.size() * 10, image.size());
    const auto noise = EnlargedPage(8, 1, 1000, 300, Content::Noise, rowBytes, 8);
    EXPECT_EQ(Inflate(Deflate(noise, rowBytes), noise.size()), noise);
    // Rows longer than the 32 KiB window cannot be matched with the row above.
    std::vector<uint8_t> wide(40000 * 3);
    for (size_t i = 0; i < wide.size(); ++i) wide[i] = uint8_t(i / 40000 == 1 ? i % 251 : 0);
    std::copy(wide.begin() + 40000, wide.begin() + 80000, wide.begin() + 80000);
    EXPECT_EQ(Inflate(Deflate(wide, 40000), wide.size()), wide);
    const std::vector<uint8_t> tiny = {1, 1, 2, 2, 2, 2, 2, 0};
    EXPECT_EQ(Inflate(Deflate(tiny, 1), tiny.size()), tiny);
    EXPECT_EQ(Inflate(Deflate(tiny, 2), tiny.size()), tiny);
    const auto empty = Deflate({}, 5);
    uint8_t none[1];
    uLongf size = sizeof none;
    EXPECT_EQ(uncompress(none, &size, empty.data(), uLong(empty.size())), Z_OK);
    EXPECT_EQ(size, 0u);
}

// Byte counts growing like the Fibonacci numbers make an unlimited Huffman
// code deeper than the 15 bits deflate allows: the codes must be built
// again flatter, and still be complete and decodable.
TEST(ImageDeflaterTest, VeryUnequalByteCountsGetCodesNoLongerThanDeflateAllows)
{
    std::vector<uint8_t> image;
    for (uint32_t byte = 0, count = 1, next = 1; byte < 24; ++byte, count = std::exchange(next, count + next))
        image.insert(image.end(), count, uint8_t(byte * 10));
    std::shuffle(image.begin(), image.end(), std::mt19937(5));
    const size_t rowBytes = 1000;
    image.resize(image.size() / rowBytes * rowBytes);
    EXPECT_EQ(Inflate(Deflate(image, rowBytes), image.size()), image);
}

// A repeated long match goes out as a run of its longest pieces, two at a
// time where their codes are short: here its length and distance are rare
// among many literals and distances, so each piece's bits are too many to
// pair and the run goes out piece by piece.
TEST(ImageDeflaterTest, RunsOfPiecesWithLongCodesInflate)
{
    const size_t rowBytes = 12000;
    std::mt19937 random(11);
    std::vector<uint8_t> image(rowBytes * 3);
    for (auto& byte : image) byte = uint8_t(random());
    // Strings from all over the rows before, at every distance code...
    for (size_t at = rowBytes; at + 10 < 2 * rowBytes; at += 40) {
        const size_t from = at - 1 - random() % (at - 1);
        std::copy_n(image.begin() + long(from), 10, image.begin() + long(at));
    }
    // ... and the third row starting as the first: a match of four pieces two rows up.
    std::copy_n(image.begin(), 1000, image.begin() + 2 * rowBytes);
    EXPECT_EQ(Inflate(Deflate(image, rowBytes), image.size()), image);
}

// Bands coded apart, each primed with the rows above it, joined into one
// stream as the PDF writer joins them: header, pieces, combined checksum.
TEST(ImageDeflaterTest, BandsCodedApartJoinIntoOneStream)
{
    size_t rowBytes = 0, halfBytes = 0;
    // Doubled 2- and 4-bit rows of this width are a byte short.
    for (const Content content : {Content::Noise, Content::Text, Content::Dither})
        for (const unsigned doubledBits : {0u, 2u, 4u, 8u}) {
            const int bits = doubledBits == 0 ? 8 : int(doubledBits);
            const auto image = EnlargedPage(bits, 2, 301, 90, content, rowBytes, 11);
            const auto source = EnlargedPage(bits, 1, 301, 90, content, halfBytes, 11);
            // A source row given before doubling, or the placed row.
            const auto given = [&](size_t row) {
                return doubledBits != 0 ? source.data() + row / 2 * halfBytes : image.data() + row * rowBytes;
            };
            const size_t rows = image.size() / rowBytes;
            // Uneven cuts, a band of one row, and a band starting inside a repeated pair.
            const std::vector<size_t> cuts = {0, 1, 2, 41, 42, 133, rows};
            std::vector<uint8_t> stream = {0x78, 0x01};
            uint32_t adler = 1;
            ImageDeflater deflater;
            for (size_t band = 0; band + 1 < cuts.size(); ++band) {
                deflater.StartBand(rowBytes, doubledBits);
                for (size_t row = cuts[band] >= ImageDeflater::kRowsKept ? cuts[band] - ImageDeflater::kRowsKept : 0;
                     row < cuts[band]; ++row)
                    deflater.Prime(given(row));
                for (size_t row = cuts[band]; row < cuts[band + 1]; ++row) deflater.AddRow(given(row));
                deflater.EndBand(band + 2 == cuts.size());
                stream.insert(stream.end(), deflater.Output().begin(), deflater.Output().end());
                deflater.ClearOutput();
                adler = uint32_t(
                    adler32_combine(adler, deflater.Checksum(), z_off_t((cuts[band + 1] - cuts[band]) * rowBytes)));
            }
            for (int shift = 24; shift >= 0; shift -= 8) stream.push_back(uint8_t(adler >> shift));
            EXPECT_EQ(Inflate(stream, image.size()), image) << int(content) << ", doubled " << doubledBits;
        }
}

TEST(ImageDeflaterTest, OneDeflaterServesImageAfterImageEvenWhenOneIsLeftUnfinished)
{
    ImageDeflater deflater;
    size_t rowBytes = 0;
    for (const int width : {300, 37, 300}) {
        const auto image = EnlargedPage(4, 2, width, 40, Content::Text, rowBytes, unsigned(width));
        // A stream abandoned halfway leaves nothing behind for the next one.
        deflater.Start(rowBytes);
        deflater.AddRow(image.data());
        deflater.Start(rowBytes);
        std::vector<uint8_t> stream;
        for (size_t at = 0; at < image.size(); at += rowBytes) deflater.AddRow(image.data() + at);
        deflater.Finish();
        stream.assign(deflater.Output().begin(), deflater.Output().end());
        deflater.ClearOutput();
        EXPECT_EQ(Inflate(stream, image.size()), image) << width;
    }
}

}  // namespace
