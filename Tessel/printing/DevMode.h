#pragma once
#include <cstdint>

// A printer's page setup with the field names and units of the Windows
// DEVMODE: paper length and width in tenths of a millimetre, print quality in
// dots per inch or a negative DMRES_ value.
constexpr int kDeviceNameSize = 32;

struct DEVMODE {
    char dmDeviceName[kDeviceNameSize];
    uint16_t dmDriverVersion;
    uint32_t dmFields;
    int16_t dmOrientation;
    int16_t dmPaperSize;
    int16_t dmPaperLength;
    int16_t dmPaperWidth;
    int16_t dmScale;
    int16_t dmCopies;
    int16_t dmPrintQuality;
    int16_t dmCollate;
};

constexpr uint32_t DM_ORIENTATION = 0x1;
constexpr uint32_t DM_PAPERSIZE = 0x2;
constexpr uint32_t DM_PAPERLENGTH = 0x4;
constexpr uint32_t DM_PAPERWIDTH = 0x8;
constexpr uint32_t DM_SCALE = 0x10;
constexpr uint32_t DM_COPIES = 0x100;
constexpr uint32_t DM_PRINTQUALITY = 0x400;
constexpr uint32_t DM_COLLATE = 0x8000;

constexpr int16_t DMORIENT_PORTRAIT = 1;
constexpr int16_t DMORIENT_LANDSCAPE = 2;

constexpr int16_t DMPAPER_LETTER = 1;
constexpr int16_t DMPAPER_TABLOID = 3;
constexpr int16_t DMPAPER_LEGAL = 5;
constexpr int16_t DMPAPER_EXECUTIVE = 7;
constexpr int16_t DMPAPER_A3 = 8;
constexpr int16_t DMPAPER_A4 = 9;
constexpr int16_t DMPAPER_A5 = 11;
constexpr int16_t DMPAPER_B5 = 13;
constexpr int16_t DMPAPER_USER = 256;

// The resolution a setup gets when nothing chooses one.
constexpr int16_t kDefaultPrintQuality = 300;
// The resolution cheques are printed at, so the code line keeps its edges.
constexpr int16_t kChequePrintQuality = 600;

constexpr int16_t DMRES_DRAFT = -1;
constexpr int16_t DMRES_LOW = -2;
constexpr int16_t DMRES_MEDIUM = -3;
constexpr int16_t DMRES_HIGH = -4;

constexpr int16_t DMCOLLATE_FALSE = 0;
constexpr int16_t DMCOLLATE_TRUE = 1;
