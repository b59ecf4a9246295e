#pragma once
#include <cstdint>
#include <string>

// Windows paper numbers, PWG self-describing media names and PPD page size
// keywords, and the sizes they stand for (tenths of a millimetre, portrait).
struct PaperSize {
    int16_t id;
    const char* pwgName;
    const char* ppdName;
    int32_t width;
    int32_t length;
};

class PaperSizes {
public:
    // The known paper of that Windows number, or null.
    static const PaperSize* FindById(int16_t id);
    // The known paper of that PWG name or PPD keyword (case-insensitive), or null.
    static const PaperSize* FindByName(const char* name);
    // The known paper whose size lies within 1 mm of width x length, or null.
    static const PaperSize* FindBySize(int32_t width, int32_t length);
    // The known paper a page setup asks for: that of its number, unless its
    // explicit width and length (when both are set) give another size; then null.
    static const PaperSize* FindForSetup(int16_t id, int32_t width, int32_t length);
    // A PWG custom size name, "custom_<w>x<l>mm" with tenths kept ("custom_100.5x200mm").
    static std::string CustomPwgName(int32_t width, int32_t length);
    // The size coded in a PWG media name ("iso_a4_210x297mm", "na_letter_8.5x11in");
    // false for a name without a valid, positive size.
    static bool ParsePwgSize(const char* name, int32_t& width, int32_t& length);
};
