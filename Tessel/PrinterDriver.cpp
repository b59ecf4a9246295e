#include "PrinterDriver.h"

#include "CupsPrinter.h"
#include "LocalPrinter.h"

std::unique_ptr<PrinterDriver> PrinterDriver::Open(const char* name)
{
    if (std::unique_ptr<PrinterDriver> cups = CupsPrinter::Open(name)) return cups;
    return LocalPrinter::Open(name);
}

std::string PrinterDriver::DefaultName() { return CupsPrinter::DefaultName(); }
