#include "SeenEntries.h"

#include <cstring>

void SeenEntries::Add(uint8_t entry)
{
    m_seen[entry] = true;
    if (m_fewCount < kFew) m_few[m_fewCount] = entry;
    ++m_fewCount;
}

namespace {
// Whether each of a stretch of indices is one of the first Few of `few`:
// without a branch a byte, so that the stretch is compared a vector at a time.
template <size_t Few, size_t Count>
bool AllAmong(const uint8_t* indices, const std::array<uint8_t, SeenEntries::kFew>& few)
{
    uint8_t among = 0xFF;
    for (size_t i = 0; i < Count; ++i) {
        uint8_t match = 0;
        for (size_t k = 0; k < Few; ++k) match |= static_cast<uint8_t>(-static_cast<int>(indices[i] == few[k]));
        among &= match;
    }
    return among == 0xFF;
}
}  // namespace

bool SeenEntries::OnlyFew(const uint8_t* indices) const
{
    switch (m_fewCount) {
    case 1: return AllAmong<1, kStretch>(indices, m_few);
    case 2: return AllAmong<2, kStretch>(indices, m_few);
    case 3: return AllAmong<3, kStretch>(indices, m_few);
    case 4: return AllAmong<4, kStretch>(indices, m_few);
    default: return false;
    }
}

void SeenEntries::MarkEach(const uint8_t* indices, size_t count)
{
    if (m_fewCount <= kFew) {
        for (size_t i = 0; i < count; ++i)
            if (!m_seen[indices[i]]) Add(indices[i]);
        return;
    }
    // Many entries: eight indices equal to the eight before (a run of white,
    // mostly) cost one comparison.
    const size_t whole = count / 8 * 8;
    uint64_t previous = 0;
    for (size_t i = 0; i < whole; i += 8) {
        uint64_t word;
        std::memcpy(&word, indices + i, sizeof word);
        if (i > 0 && word == previous) continue;
        previous = word;
        for (size_t n = 0; n < 8; ++n) m_seen[indices[i + n]] = true;
    }
    for (size_t i = whole; i < count; ++i) m_seen[indices[i]] = true;
}

void SeenEntries::Mark(const uint8_t* indices, size_t count)
{
    size_t i = 0;
    for (; i + kStretch <= count && m_fewCount <= kFew; i += kStretch)
        if (!OnlyFew(indices + i)) MarkEach(indices + i, kStretch);
    if (i == count) return;
    // The rest is checked as the last whole stretch of the row, overlapping the stretch before.
    if (count >= kStretch && OnlyFew(indices + count - kStretch)) return;
    MarkEach(indices + i, count - i);
}

void SeenEntries::Mark(const uint8_t* indices, const std::vector<int32_t>& columns)
{
    for (const int32_t column : columns) {
        const uint8_t index = indices[static_cast<size_t>(column)];
        if (!m_seen[index]) Add(index);
    }
}
