#include "ColourIndex.h"

ColourIndex::ColourIndex()
{
    m_slotColour.fill(kEmpty);
}

size_t ColourIndex::Slot(uint32_t colour) const
{
    size_t slot = (colour * 2654435761u) >> (32 - kSlotBits);
    while (m_slotColour[slot] != kEmpty && m_slotColour[slot] != colour) slot = (slot + 1) & (m_slotColour.size() - 1);
    return slot;
}

bool ColourIndex::Add(uint32_t colour)
{
    colour &= 0x00FFFFFFu;
    const size_t slot = Slot(colour);
    if (m_slotColour[slot] == colour) return true;
    if (m_iCount == kMaxColours) {
        m_bOverflow = true;
        return false;
    }
    m_slotColour[slot] = colour;
    m_slotIndex[slot] = static_cast<uint8_t>(m_iCount);
    m_colours[static_cast<size_t>(m_iCount++)] = colour;
    return true;
}

int ColourIndex::BitsPerIndex() const
{
    if (m_iCount <= 2) return 1;
    if (m_iCount <= 4) return 2;
    if (m_iCount <= 16) return 4;
    return 8;
}

uint8_t ColourIndex::IndexOf(uint32_t colour) const
{
    const size_t slot = Slot(colour & 0x00FFFFFFu);
    return m_slotColour[slot] == kEmpty ? 0 : m_slotIndex[slot];
}
