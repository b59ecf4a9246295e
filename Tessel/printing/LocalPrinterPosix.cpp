#include <algorithm>
#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "LocalJobFile.h"
#include "LocalPrinter.h"
#include "Log.h"

std::unique_ptr<LocalPrinter> LocalPrinter::Open(const char* name)
{
    if (!IsValidName(name)) return nullptr;
    const std::string folder = GetPrintersFolder();
    const std::string path = folder + "/" + name + ".ppd";
    PpdFile ppd;
    if (access(path.c_str(), F_OK) != 0) return nullptr;  // no such printer: not an error here
    if (!ppd.Load(path)) {
        LogMessage(2, "PPD %s is not usable.\r\n", path.c_str());
        return nullptr;
    }
    return std::make_unique<LocalPrinter>(folder + "/" + name, ppd);
}

std::unique_ptr<PrintSink> LocalPrinter::StartJob(const char*, const DEVMODE&, const std::vector<PrintOption>&,
                                                  int32_t& jobId)
{
    return LocalJobFile::Create(m_jobFolder, jobId);
}

std::vector<std::string> LocalPrinter::ListNames()
{
    std::vector<std::string> names;
    const std::string folder = GetPrintersFolder();
    DIR* dir = opendir(folder.c_str());
    if (!dir) return names;
    const std::string suffix = ".ppd";
    while (const dirent* entry = readdir(dir)) {
        std::string name = entry->d_name;
        if (name.size() <= suffix.size() || name.compare(name.size() - suffix.size(), suffix.size(), suffix) != 0)
            continue;
        name.resize(name.size() - suffix.size());
        struct stat st;
        if (IsValidName(name.c_str()) && stat((folder + "/" + entry->d_name).c_str(), &st) == 0 && S_ISREG(st.st_mode))
            names.push_back(std::move(name));
    }
    closedir(dir);
    std::sort(names.begin(), names.end());
    return names;
}
