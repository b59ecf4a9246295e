#pragma once
#include <cstdint>
#include <vector>

#include "MicrLocator.h"
#include "PageView.h"

// The places of a page where a code may lie, found in one pass over its rows
// by the shapes only codes make: a run of bars of one height that nothing else
// crosses (linear codes and PDF417, either way round), the nested squares of a
// QR code's finder or an Aztec code's centre, and the solid corner of a Data
// Matrix. Text, pictures and rules make none of them, so the decoder, which
// costs some hundred times more a pixel, reads only these places; a page
// without codes costs this pass alone.
class CodeCandidates {
public:
    // A place in page pixels, counted from the top edge; right and bottom
    // included, as the regions the filter keeps whole are.
    using Area = MicrRegion;

    // The places, each wide enough for the whole code with its quiet zone,
    // overlapping ones merged. resolution is the page's, in dots per inch.
    static std::vector<Area> Find(const PageView& page, int32_t resolution);
};
