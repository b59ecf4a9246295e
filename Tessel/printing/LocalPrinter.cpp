#include "LocalPrinter.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "PaperSizes.h"

namespace {
constexpr size_t kMaxNameLength = 200;

int32_t PointsToTenths(double points)
{
    return static_cast<int32_t>(std::lround(points * 254.0 / 72.0));
}

double TenthsToPoints(int32_t tenths)
{
    return tenths * 72.0 / 254.0;
}
}  // namespace

LocalPrinter::LocalPrinter(const std::string& jobFolder, const PpdFile& ppd) : m_jobFolder(jobFolder), m_ppd(ppd) { }

std::string LocalPrinter::GetPrintersFolder()
{
    const char* folder = getenv("TESSEL_PRINTERS");
    return folder && *folder ? folder : "/etc/tessel/printers";
}

bool LocalPrinter::IsValidName(const char* name)
{
    if (!name || !*name || name[0] == '.' || strlen(name) > kMaxNameLength) return false;
    for (const char* p = name; *p; ++p)
        if (*p == '/' || static_cast<unsigned char>(*p) < 0x20) return false;
    return true;
}

uint32_t LocalPrinter::GetSupportedFields() const
{
    return DM_ORIENTATION | DM_PAPERSIZE | DM_PAPERLENGTH | DM_PAPERWIDTH | DM_SCALE | DM_COPIES | DM_PRINTQUALITY |
           DM_COLLATE;
}

void LocalPrinter::ReadDefaults(DEVMODE& dm)
{
    if (const PpdPageSize* page = m_ppd.GetDefaultPageSize()) {
        const PaperSize* paper = PaperSizes::FindByName(page->name.c_str());
        const int32_t width = PointsToTenths(page->width);
        const int32_t length = PointsToTenths(page->length);
        if (!paper) paper = PaperSizes::FindBySize(width, length);
        dm.dmPaperSize = paper ? paper->id : DMPAPER_USER;
        dm.dmPaperWidth = static_cast<int16_t>(std::min(width, 32767));
        dm.dmPaperLength = static_cast<int16_t>(std::min(length, 32767));
    }
    dm.dmPrintQuality = static_cast<int16_t>(ChooseResolution(0));
}

int32_t LocalPrinter::ChooseResolution(int16_t quality) const
{
    const std::vector<int>& choices = m_ppd.GetResolutions();
    const int32_t fallback = m_ppd.GetDefaultResolution() > 0 ? m_ppd.GetDefaultResolution() : kDefaultPrintQuality;
    if (choices.empty()) return quality > 0 && m_ppd.GetDefaultResolution() == 0 ? quality : fallback;
    if (quality > 0) return std::find(choices.begin(), choices.end(), quality) != choices.end() ? quality : fallback;
    if (quality == DMRES_HIGH) return *std::max_element(choices.begin(), choices.end());
    if (quality == DMRES_LOW || quality == DMRES_DRAFT) return *std::min_element(choices.begin(), choices.end());
    return fallback;
}

bool LocalPrinter::GetGeometry(const DEVMODE& dm, PageGeometry& geometry)
{
    const PpdPageSize* page = nullptr;
    if (const PaperSize* paper = PaperSizes::FindForSetup(dm.dmPaperSize, dm.dmPaperWidth, dm.dmPaperLength))
        page = m_ppd.FindPageSize(paper->ppdName);
    if (!page && dm.dmPaperWidth > 0 && dm.dmPaperLength > 0) {
        for (const PpdPageSize& candidate : m_ppd.GetPageSizes()) {
            if (std::abs(PointsToTenths(candidate.width) - dm.dmPaperWidth) <= 10 &&
                std::abs(PointsToTenths(candidate.length) - dm.dmPaperLength) <= 10) {
                page = &candidate;
                break;
            }
        }
    }
    PageGeometry g;
    if (page) {
        g.width = page->width;
        g.length = page->length;
        g.left = page->left;
        g.bottom = page->bottom;
        g.right = page->right;
        g.top = page->top;
    } else if (m_ppd.AllowsCustomSize() && dm.dmPaperWidth > 0 && dm.dmPaperLength > 0) {
        g = PageGeometry::FullPage(TenthsToPoints(dm.dmPaperWidth), TenthsToPoints(dm.dmPaperLength), 0);
    } else {
        return false;
    }
    return g.CompleteInto(ChooseResolution(dm.dmPrintQuality), dm.dmOrientation, geometry);
}

std::string LocalPrinter::GetDeviceUri()
{
    return "file://" + m_jobFolder + "/";
}
