#include "PrinterChoices.h"

#include <algorithm>

#include "AppEnvironment.h"
#include "TextBuffer.h"

namespace {
bool SameName(const std::string& a, const char* b)
{
    return TextBuffer(a.c_str()).Compare(b, true) == 0;
}

// The product's own queue: the backend's device URI, the virtual printer's
// name, or the product's name, which the installer gives the queue.
bool IsOwnQueue(const AppEnvironment& env, const PrinterEntry& printer)
{
    TextBuffer scheme;
    scheme.Format("%s:", env.AppName);
    const std::string uriScheme = printer.deviceUri.substr(0, static_cast<size_t>(scheme.GetLength()));
    return SameName(uriScheme, scheme.GetText()) || (env.PrinterName[0] && SameName(printer.name, env.PrinterName)) ||
           SameName(printer.name, env.AppName);
}
}  // namespace

PrinterChoices::PrinterChoices(const AppEnvironment& env) : PrinterChoices(env, PrinterDriver::List()) { }

PrinterChoices::PrinterChoices(const AppEnvironment& env, std::vector<PrinterEntry> printers)
    : m_printers(std::move(printers))
{
    std::erase_if(m_printers, [&](const PrinterEntry& printer) { return IsOwnQueue(env, printer); });
}

bool PrinterChoices::Contains(const char* name) const
{
    return std::any_of(m_printers.begin(), m_printers.end(),
                       [&](const PrinterEntry& p) { return SameName(p.name, name); });
}

int PrinterChoices::Preselected(const char* target) const
{
    for (size_t i = 0; target && *target && i < m_printers.size(); ++i)
        if (SameName(m_printers[i].name, target)) return static_cast<int>(i);
    for (size_t i = 0; i < m_printers.size(); ++i)
        if (m_printers[i].isDefault) return static_cast<int>(i);
    return m_printers.empty() ? -1 : 0;
}
