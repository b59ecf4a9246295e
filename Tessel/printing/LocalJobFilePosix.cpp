#include "LocalJobFile.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "File.h"
#include "Log.h"

namespace {
std::string JobPath(const std::string& folder, int32_t id, bool temporary)
{
    char name[48];
    snprintf(name, sizeof name, temporary ? ".job-%d.pdf.part" : "job-%d.pdf", id);
    return folder + "/" + name;
}

bool Exists(const std::string& path)
{
    struct stat st;
    return lstat(path.c_str(), &st) == 0;
}
}  // namespace

LocalJobFile::LocalJobFile(const std::string& folder, int32_t jobId, int fd, const std::string& tempPath)
    : m_folder(folder), m_iJobId(jobId), m_fd(fd), m_tempPath(tempPath)
{ }

LocalJobFile::~LocalJobFile()
{
    if (m_fd >= 0) Abort();
}

std::unique_ptr<LocalJobFile> LocalJobFile::Create(const std::string& folder, int32_t& jobId)
{
    if (mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) {
        LOG_LAST_ERROR(2);
        LogMessage(2, "Job folder %s cannot be created.\r\n", folder.c_str());
        return nullptr;
    }
    // The exclusive create of the temporary name reserves the id against
    // other writers; finished files are skipped.
    for (int32_t id = 1; id <= kMaxJobId; ++id) {
        if (Exists(JobPath(folder, id, false))) continue;
        const std::string temp = JobPath(folder, id, true);
        const int fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd >= 0) {
            jobId = id;
            return std::unique_ptr<LocalJobFile>(new LocalJobFile(folder, id, fd, temp));
        }
        if (errno != EEXIST) {
            LOG_LAST_ERROR(2);
            LogMessage(2, "Job file %s cannot be created.\r\n", temp.c_str());
            return nullptr;
        }
    }
    LogMessage(2, "Job folder %s holds no free job number.\r\n", folder.c_str());
    return nullptr;
}

bool LocalJobFile::Write(const unsigned char* data, size_t size)
{
    if (m_fd < 0) return false;
    if (WriteAllTo(m_fd, data, size)) return true;
    LOG_LAST_ERROR(2);
    return false;
}

bool LocalJobFile::Finish()
{
    if (m_fd < 0) return false;
    if (fsync(m_fd) != 0 || close(m_fd) != 0) {
        m_fd = -1;
        LOG_LAST_ERROR(2);
        unlink(m_tempPath.c_str());
        return false;
    }
    m_fd = -1;
    // link() never replaces: a name taken meanwhile moves us to the next one.
    for (int32_t id = m_iJobId; id <= kMaxJobId; ++id) {
        const std::string path = JobPath(m_folder, id, false);
        if (link(m_tempPath.c_str(), path.c_str()) == 0) {
            unlink(m_tempPath.c_str());
            const int dir = open(m_folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
            if (dir >= 0) {
                fsync(dir);
                close(dir);
            }
            return true;
        }
        if (errno != EEXIST) break;
    }
    LOG_LAST_ERROR(2);
    LogMessage(2, "Job file %s cannot be completed.\r\n", m_tempPath.c_str());
    unlink(m_tempPath.c_str());
    return false;
}

void LocalJobFile::Abort()
{
    if (m_fd >= 0) {
        close(m_fd);
        m_fd = -1;
        unlink(m_tempPath.c_str());
    }
}
