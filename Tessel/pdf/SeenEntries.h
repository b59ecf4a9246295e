#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

// The palette entries that occur in an image's rows. A printed page mostly
// holds a few entries (black and white, a grey or two): while it has at most
// kFew, a stretch of bytes is checked against them all at once, which the
// compiler does many bytes an instruction, and only a stretch with an entry
// new to the page is looked at byte by byte.
class SeenEntries {
public:
    static constexpr size_t kFew = 4;

    // Marks the entries of `count` indices.
    void Mark(const uint8_t* indices, size_t count);
    // Marks the entries in the given columns of a row of indices.
    void Mark(const uint8_t* indices, const std::vector<int32_t>& columns);
    bool Has(size_t entry) const { return m_seen[entry]; }
    // The entries seen, counted as far as one past kFew.
    size_t Count() const { return m_fewCount; }
    // The first entry seen; Count() must not be 0.
    uint8_t First() const { return m_few[0]; }

private:
    static constexpr size_t kStretch = 256;

    void Add(uint8_t entry);
    // Whether every one of kStretch indices is among the few seen.
    bool OnlyFew(const uint8_t* indices) const;
    // Marks the entries of `count` indices one by one.
    void MarkEach(const uint8_t* indices, size_t count);

    std::array<bool, 256> m_seen{};
    // The first entries seen, while there are at most kFew.
    std::array<uint8_t, kFew> m_few{};
    size_t m_fewCount = 0;  // past kFew: many
};
