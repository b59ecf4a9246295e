#include "OutputDelivery.h"

#include <cstring>

#include "AppEnvironment.h"
#include "Dravik.h"
#include "FileList.h"
#include "GhostScript.h"
#include "Log.h"
#include "MessageBox.h"
#include "Messages.h"
#include "Shell.h"

namespace {

// The file a user expects first among several: the lowest name, since the
// page number is part of every name and the folder listing has no order.
int32_t FirstFile(const FileList& list)
{
    int32_t first = -1;
    for (int32_t i = 0; i < list.GetSize(); ++i) {
        const TextBuffer* name = list.GetObjectAt(i);
        if (!name || !name->GetText()) continue;
        if (first < 0 || std::strcmp(name->GetText(), list.GetObjectAt(first)->GetText()) < 0) first = i;
    }
    return first;
}

void OfferFolder(int messageId, const FileList& list, int32_t file)
{
    const char* folder = list.Folder().GetText() ? list.Folder().GetText() : "";
    const TextBuffer text = FormatMessageText(messageId, list.GetObjectAt(file)->GetText(), folder);
    const char* caption = gAppEnv ? gAppEnv->AppTitle : "";
    if (MessageBoxA(text.GetText(), caption, MB_YESNO) == IDYES) ShellOpen(folder);
}

// Opens the first output file in the desktop's viewer (image viewers step
// through the other pages of the folder from there); when nothing opens it,
// the user is offered the folder instead.
void Deliver(const GhostScript& gs, bool pdf)
{
    const FileList list(gs.GSDataDir, gs.GSTempFile);
    const int32_t first = FirstFile(list);
    if (first < 0) return;
    const TextBuffer path = list.FullPath(first);
    const int result = ShellOpen(path.GetText());
    if (result > 32) return;
    if (!pdf)
        LogText("Could not open an image viewer for %s!\r\n", path.GetText());
    else if (result == SE_ERR_NOASSOC)
        LogText("There is no application associated with the .PDF extension!\r\n");
    else
        LogText("Could not open %s!\r\n", path.GetText());
    OfferFolder(pdf ? MSG_NEW_PDF : MSG_NEW_IMAGE, list, first);
}

}  // namespace

void DeliverOutput()
{
    if (!gGhostscript) return;
    const GhostScript& gs = *gGhostscript;
    const TextBuffer device(gs.GSDevice);
    if (device.Compare("pdfwrite", true) == 0)
        Deliver(gs, true);
    else if (device.Compare("jpeg", true) == 0 || device.Compare("bmp256", true) == 0 ||
             device.Compare("bmp16m", true) == 0)
        Deliver(gs, false);
}
