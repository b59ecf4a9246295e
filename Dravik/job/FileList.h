#pragma once
#include "PtrArray.h"
#include "TextBuffer.h"

// The names in one folder that match one mask, in the order the search gives them.
class FileList : public ObjectArray<TextBuffer> {
public:
    FileList(const char* folder, const char* mask);

    const TextBuffer& Folder() const { return m_Folder; }
    TextBuffer FullPath(int32_t index) const;  // folder followed by the name

private:
    TextBuffer m_Folder;
};

// Deletes what earlier jobs left in the data folder, with one retry, after
// a prompt when ask is set.
void CleanUpTempFiles(bool ask = true);
