#include "FileList.h"

#include <cstring>

#include "AppEnvironment.h"
#include "Dravik.h"
#include "File.h"
#include "FileSearch.h"
#include "GhostScript.h"
#include "Log.h"
#include "MessageBox.h"
#include "Messages.h"

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

void CleanUpTempFiles(bool ask)
{
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
