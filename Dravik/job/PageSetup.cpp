#include "PageSetup.h"

#include <algorithm>

#include "Dravik.h"
#include "PrintJobInfo.h"
#include "Printer.h"

namespace {
struct Paper {
    int32_t id, width, length;
};
constexpr Paper kPapers[] = {{1, 2159, 2794}, {9, 2100, 2970}, {13, 1820, 2570}, {5, 2159, 3556}};
}  // namespace

int32_t NearestPaperSize(int32_t width, int32_t length)
{
    int32_t best = kPapers[0].id;
    int64_t bestDistance = -1;
    for (const Paper& paper : kPapers) {
        // 64-bit: a forged page size must not overflow into a wrong answer.
        const int64_t dx = static_cast<int64_t>(paper.width) - width;
        const int64_t dy = static_cast<int64_t>(paper.length) - length;
        const int64_t d = dx * dx + dy * dy;
        if (d == 0) return paper.id;
        if (bestDistance < 0 || d < bestDistance) {
            bestDistance = d;
            best = paper.id;
        }
    }
    return best;
}

void ApplyJobPageSetup()
{
    if (!gVirtualPrinter || !gTargetPrinter || !gJobInfo) return;
    const auto paper = static_cast<int16_t>(gJobInfo->PaperSize);
    gVirtualPrinter->SetDevMode(static_cast<int16_t>(gJobInfo->Orientation), paper, 0, 0,
                                static_cast<int16_t>(gJobInfo->PrintQuality), 1);
    const bool checkOnLetter = gIsCheckDocument != 0 && paper == DMPAPER_LETTER;
    // Copies, sides and the like are the target's to make: the pages come once.
    gTargetPrinter->SetJobOptions(gJobInfo->TargetOptions);
    gTargetPrinter->SetDevMode(DMORIENT_PORTRAIT, checkOnLetter ? DMPAPER_LEGAL : paper, 0, 0, kChequePrintQuality,
                               static_cast<int16_t>(std::clamp(gJobInfo->Copies, 1, 32767)));
}
