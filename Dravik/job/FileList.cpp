#include "FileList.h"

#include <cctype>
#include <cstring>

#include "AppEnvironment.h"
#include "Dravik.h"
#include "File.h"
#include "FileSearch.h"
#include "GhostScript.h"
#include "Log.h"
#include "MessageBox.h"
#include "Messages.h"
#include "PageFiles.h"

FileList::FileList(const char* folder, const char* mask) : m_Folder(folder ? folder : "")
{
    const char* text = m_Folder.GetText();
    const size_t length = std::strlen(text);
    if (length > 0 && text[length - 1] != '/') m_Folder.Append("/");
    for (const std::string& name : FindFiles(m_Folder.GetText(), mask)) Add(new TextBuffer(name.c_str()));
}

TextBuffer FileList::FullPath(int32_t index) const
{
    return TextBuffer(m_Folder, *GetObjectAt(index));
}

namespace {
// Ghostscript's scratch file, as its mkstemp makes it: "gs_" and six letters
// or digits. It copies a job read from a pipe (a PDF) there, and a
// Ghostscript that was killed leaves it behind.
constexpr const char* kScratchMask = "gs_??????";

bool IsScratchName(const TextBuffer& name)
{
    const char* text = name.GetText();
    if (std::strncmp(text, "gs_", 3) != 0) return false;
    for (const char* c = text + 3; *c; ++c)
        if (!std::isalnum(static_cast<unsigned char>(*c))) return false;
    return true;
}
}  // namespace

void CleanUpTempFiles(bool ask)
{
    // No Ghostscript of this user runs now (the data folder's lock is ours),
    // so any scratch file of its is left over.
    const FileList scratch(gGhostscript->GSDataDir, kScratchMask);
    for (int32_t i = 0; i < scratch.GetSize(); ++i)
        if (IsScratchName(*scratch.GetObjectAt(i))) DeleteFile(scratch.FullPath(i).GetText());

    // Page files' spares, which a killed run leaves behind.
    const FileList spares(gGhostscript->GSDataDir, PageFiles::kSpareMask);
    for (int32_t i = 0; i < spares.GetSize(); ++i) DeleteFile(spares.FullPath(i).GetText());

    FileList list(gGhostscript->GSDataDir, gGhostscript->GSTempFile);
    for (int32_t i = 0; i < list.GetSize(); ++i) {
        const TextBuffer path = list.FullPath(i);
        if (DeleteFile(path.GetText())) continue;
        if (ask) {
            const TextBuffer message = FormatMessageText(MSG_FILE_IN_USE, path.GetText());
            MessageBoxA(message.GetText(), gAppEnv->AppTitle, MB_OK);
        }
        DeleteFile(path.GetText());
    }
}
