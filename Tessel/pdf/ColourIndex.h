#pragma once
#include <array>
#include <cstddef>
#include <cstdint>

// The distinct colours of an image, up to 256, each with its palette index.
// Lets an image be stored with the fewest bits per pixel that keep every
// colour exact. Lookups go through a small hash table: pages can hold
// hundreds of colours and millions of pixels.
class ColourIndex {
public:
    static constexpr int kMaxColours = 256;

    ColourIndex();
    // Adds a colour (0x00RRGGBB; the top byte is ignored). False once the
    // image has more colours than a palette can hold; the index is then full
    // and unchanged.
    bool Add(uint32_t colour);
    int Count() const { return m_iCount; }
    bool IsFull() const { return m_bOverflow; }
    // 1, 2, 4 or 8: the fewest bits that number every colour added.
    int BitsPerIndex() const;
    // The palette index of a colour that was added.
    uint8_t IndexOf(uint32_t colour) const;
    uint32_t ColourAt(int index) const { return m_colours[static_cast<size_t>(index)]; }

private:
    static constexpr uint32_t kEmpty = 0xFFFFFFFFu;  // no 24-bit colour has this value
    static constexpr int kSlotBits = 10;             // 1024 slots: at most a quarter full

    size_t Slot(uint32_t colour) const;

    std::array<uint32_t, kMaxColours> m_colours{};
    std::array<uint32_t, size_t{1} << kSlotBits> m_slotColour;
    std::array<uint8_t, size_t{1} << kSlotBits> m_slotIndex{};
    int m_iCount = 0;
    bool m_bOverflow = false;
};
