#include "PrinterDriver.h"

#include <algorithm>

#include "CupsPrinter.h"
#include "LocalPrinter.h"
#include "TextBuffer.h"

std::unique_ptr<PrinterDriver> PrinterDriver::Open(const char* name)
{
    if (std::unique_ptr<PrinterDriver> cups = CupsPrinter::Open(name)) return cups;
    return LocalPrinter::Open(name);
}

std::vector<PrinterEntry> PrinterDriver::List()
{
    std::vector<PrinterEntry> printers = CupsPrinter::List();
    const size_t spooled = printers.size();
    for (std::string& name : LocalPrinter::ListNames()) {
        // Spooler names compare without regard to case, and the spooler is asked first.
        const auto taken = [&](const PrinterEntry& p) {
            return TextBuffer(p.name.c_str()).Compare(name.c_str(), true) == 0;
        };
        if (std::none_of(printers.begin(), printers.begin() + static_cast<std::ptrdiff_t>(spooled), taken))
            printers.push_back({std::move(name), false, {}});
    }
    return printers;
}

std::string PrinterDriver::DefaultName()
{
    return CupsPrinter::DefaultName();
}
