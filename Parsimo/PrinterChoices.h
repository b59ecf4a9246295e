#pragma once
#include <string>
#include <vector>

#include "PrinterDriver.h"

class AppEnvironment;

// The printers a user may send the thinned pages to: every spooler
// destination and local printer except the product's own queue, which would
// send the job round in a circle.
class PrinterChoices {
public:
    explicit PrinterChoices(const AppEnvironment& env);
    // For a list already read (tests, or a caller that listed once).
    PrinterChoices(const AppEnvironment& env, std::vector<PrinterEntry> printers);

    const std::vector<PrinterEntry>& GetPrinters() const { return m_printers; }
    // Whether the name is one of the choices (names compare without regard to case).
    bool Contains(const char* name) const;
    // The index to show first: the stored target, else the system's default,
    // else the first printer; -1 when there is none.
    int Preselected(const char* target) const;

private:
    std::vector<PrinterEntry> m_printers;
};
