#include "PrintJobInfo.h"

#include <exception>

PrintJobInfo::PrintJobInfo() = default;

bool PrintJobInfo::ReadFromRegistry(HKEY root, const char* subkey)
{
    try {
        RegistryKey key(root);
        key.OpenForRead(subkey);
        JobID = key.GetDword("JobID", 0);
        key.GetString("PrintDocumentName", PrintDocumentName, kMaxPath + 1);
        key.GetString("UserName", UserName, kMaxPath + 1);
        key.GetString("MachineName", MachineName, kMaxPath + 1);
        // REG_DWORD values are taken with their sign.
        const auto number = [&key](const char* name, int32_t fallback) {
            return static_cast<int32_t>(key.GetDword(name, static_cast<uint32_t>(fallback)));
        };
        Orientation = number("Orientation", DMORIENT_PORTRAIT);
        PaperSize = number("PaperSize", DMPAPER_LETTER);
        PaperLength = number("PaperLength", 0);
        PaperWidth = number("PaperWidth", 0);
        PrintQuality = number("PrintQuality", kDefaultPrintQuality);
        dmScale = number("dmScale", 100);
        Copies = number("Copies", 1);
        Collate = number("Collate", 1);
        TotalPages = number("TotalPages", 0);
        PagesPrinted = number("PagesPrinted", 0);
        key.Close();
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

void PrintJobInfo::SetPageSetup(const DEVMODE& dm)
{
    if (dm.dmFields & DM_ORIENTATION) Orientation = dm.dmOrientation;
    if (dm.dmFields & DM_PAPERSIZE) PaperSize = dm.dmPaperSize;
    if (dm.dmFields & DM_PAPERLENGTH) PaperLength = dm.dmPaperLength;
    if (dm.dmFields & DM_PAPERWIDTH) PaperWidth = dm.dmPaperWidth;
    if (dm.dmFields & DM_PRINTQUALITY) PrintQuality = dm.dmPrintQuality;
    if (dm.dmFields & DM_SCALE) dmScale = dm.dmScale;
    if (dm.dmFields & DM_COPIES) Copies = dm.dmCopies;
    if (dm.dmFields & DM_COLLATE) Collate = dm.dmCollate;
}

void PrintJobInfo::LogInfo() const
{
    LogText("[Print Job Info]\r\n");
    LogText("  - Job ID = %d\r\n", static_cast<int>(JobID));
    LogText("  - Document Name = %s\r\n", PrintDocumentName);
    LogText("  - User Name = %s\r\n", UserName);
    LogText("  - Machine Name = %s\r\n", MachineName);
    LogText("  - Paper Orientation = %d\r\n", Orientation);
    LogText("  - Paper Size = %d\r\n", PaperSize);
    LogText("  - Paper Length = %d\r\n", PaperLength);
    LogText("  - Paper Width = %d\r\n", PaperWidth);
    LogText("  - Paper Quality = %d\r\n", PrintQuality);
    LogText("  - Scale = %d\r\n", dmScale);
    LogText("  - Copies = %d\r\n", Copies);
    LogText("  - Collate = %d\r\n", Collate);
    LogText("  - Total Pages = %d\r\n", TotalPages);
    LogText("  - Pages Printed = %d\r\n", PagesPrinted);
    for (const auto& [name, value] : TargetOptions) LogText("  - %s = %s\r\n", name.c_str(), value.c_str());
    LogText("\r\n");
}
