#include "OutputDelivery.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <system_error>
#include <vector>

#include "AppEnvironment.h"
#include "Dravik.h"
#include "File.h"
#include "FileList.h"
#include "GhostScript.h"
#include "Log.h"
#include "MessageBox.h"
#include "Messages.h"
#include "PrintJobInfo.h"
#include "Shell.h"
#include "SysUtils.h"

namespace fs = std::filesystem;

namespace {

constexpr size_t kMaxStem = 150;
// A user-dirs.dirs is a few hundred bytes; more is not one.
constexpr std::streamsize kMaxUserDirs = 64 * 1024;
// Names tried for one job before giving up: "Report.pdf", then with the date and (2) ... (kMaxTries).
constexpr int kMaxTries = 999;

bool EndsWithNoCase(const std::string& text, const char* tail)
{
    const size_t length = std::strlen(tail);
    if (text.size() <= length) return false;
    for (size_t i = 0; i < length; ++i) {
        const char a = text[text.size() - length + i];
        if ((a >= 'A' && a <= 'Z' ? a - 'A' + 'a' : a) != tail[i]) return false;
    }
    return true;
}

std::string ReadUserDirs(const fs::path& file)
{
    std::error_code error;
    // Only a plain file: a pipe in its place would hold the job.
    if (!fs::is_regular_file(file, error)) return {};
    std::ifstream in(file, std::ios::binary);
    std::string text(static_cast<size_t>(kMaxUserDirs), '\0');
    in.read(text.data(), kMaxUserDirs);
    text.resize(static_cast<size_t>(in.gcount()));
    return text;
}

// What the user's desktop calls their documents folder, as xdg-user-dir does.
std::string DocumentsFolder()
{
    if (std::string chosen = GetEnvironmentText("TESSEL_DOCUMENTS"); !chosen.empty()) return chosen;
    const std::string home = GetEnvironmentText("HOME");
    std::string config = GetEnvironmentText("XDG_CONFIG_HOME");
    if (config.empty() && !home.empty()) config = home + "/.config";
    if (!config.empty()) {
        if (std::string named = DocumentsFolderOf(ReadUserDirs(fs::path(config) / "user-dirs.dirs"), home);
            !named.empty())
            return named;
    }
    return home.empty() ? std::string() : home + "/Documents";
}

const char* ExtensionOf(const TextBuffer& device)
{
    if (device.Compare("pdfwrite", true) == 0) return ".pdf";
    if (device.Compare("jpeg", true) == 0) return ".jpg";
    if (device.Compare("bmp256", true) == 0 || device.Compare("bmp16m", true) == 0) return ".bmp";
    return nullptr;
}

std::string Today()
{
    const std::time_t now = std::time(nullptr);
    char text[16] = "";
    if (const std::tm* local = std::localtime(&now)) std::strftime(text, sizeof text, "%Y-%m-%d", local);
    return text;
}

// The working files in page order: the page number is part of every name.
std::vector<std::string> WorkingFiles(const FileList& list)
{
    std::vector<std::string> paths;
    for (int32_t i = 0; i < list.GetSize(); ++i)
        if (list.GetObjectAt(i) && list.GetObjectAt(i)->GetText()) paths.emplace_back(list.FullPath(i).GetText());
    std::sort(paths.begin(), paths.end());
    return paths;
}

// Writes a copy of from under the new name to (never replacing anything
// there); a copy left unfinished is removed. The error, EEXIST when taken.
std::error_code CopyToNewFile(const std::string& from, const std::string& to)
{
    File out;
    if (!out.Create(to.c_str(), true)) return {errno, std::generic_category()};
    std::ifstream in(from, std::ios::binary);
    char chunk[64 * 1024];
    bool whole = static_cast<bool>(in);
    while (whole && in) {
        in.read(chunk, sizeof chunk);
        if (in.gcount() > 0 && !out.Write(chunk, static_cast<size_t>(in.gcount()))) whole = false;
    }
    if (whole && !in.bad() && out.Close()) return {};
    const std::error_code error(errno ? errno : EIO, std::generic_category());
    DeleteFile(to.c_str());
    return error;
}

// Gives a working file its saved name: a second link to it, or a copy where
// the folders lie on different file systems. link(2) never replaces and
// never follows a link planted under the name.
std::error_code SaveAs(const std::string& from, const std::string& to)
{
    std::error_code error;
    fs::create_hard_link(from, to, error);
    if (error == std::errc::cross_device_link || error == std::errc::operation_not_permitted ||
        error == std::errc::operation_not_supported)
        error = CopyToNewFile(from, to);
    return error;
}

struct Saved {
    std::vector<std::string> names;
    bool ok = false;
};

// Saves every file under one free set of names: all pages of a job carry the
// same date and number. Names made in an attempt that met a taken one are
// withdrawn (they are this job's own) and the next number is tried.
Saved SaveAll(const std::vector<std::string>& files, const std::string& folder, const std::string& stem,
              const char* extension, bool paged)
{
    const std::string date = Today();
    Saved saved;
    for (int attempt = 1; attempt <= kMaxTries; ++attempt) {
        std::string base = folder + "/" + stem;
        if (attempt > 1) base += " " + date + " (" + std::to_string(attempt) + ")";
        bool taken = false;
        for (size_t page = 0; page < files.size() && !taken; ++page) {
            const std::string name = base + (paged ? " page " + std::to_string(page + 1) : "") + extension;
            const std::error_code error = SaveAs(files[page], name);
            if (!error) {
                saved.names.push_back(name);
                continue;
            }
            if (error != std::errc::file_exists) {
                LogText("Could not save %s as %s: %s\r\n", files[page].c_str(), name.c_str(), error.message().c_str());
                for (const std::string& made : saved.names) DeleteFile(made.c_str());
                saved.names.clear();
                return saved;
            }
            taken = true;
        }
        if (!taken) {
            saved.ok = true;
            return saved;
        }
        for (const std::string& made : saved.names) DeleteFile(made.c_str());
        saved.names.clear();
    }
    LogText("Every name for %s in %s is taken!\r\n", stem.c_str(), folder.c_str());
    return saved;
}

void OfferFolder(int messageId, const std::string& file, const std::string& folder)
{
    const std::string name = file.substr(file.rfind('/') + 1);
    const TextBuffer text = FormatMessageText(messageId, name.c_str(), folder.c_str());
    const char* caption = gAppEnv ? gAppEnv->AppTitle : "";
    if (MessageBoxA(text.GetText(), caption, MB_YESNO) == IDYES) ShellOpen(folder.c_str());
}

// Opens the first saved file in the desktop's viewer (image viewers step
// through the other pages of the folder from there); when nothing opens it,
// the user is offered the folder instead.
void Show(const std::string& path, const std::string& folder, bool pdf)
{
    const int result = ShellOpen(path.c_str());
    if (result > 32) return;
    if (!pdf)
        LogText("Could not open an image viewer for %s!\r\n", path.c_str());
    else if (result == SE_ERR_NOASSOC)
        LogText("There is no application associated with the .PDF extension!\r\n");
    else
        LogText("Could not open %s!\r\n", path.c_str());
    OfferFolder(pdf ? MSG_NEW_PDF : MSG_NEW_IMAGE, path, folder);
}

}  // namespace

std::string DocumentsFolderOf(std::string_view userDirs, const std::string& home)
{
    constexpr std::string_view kKey = "XDG_DOCUMENTS_DIR=\"";
    std::string found;
    while (!userDirs.empty()) {
        const size_t end = userDirs.find('\n');
        std::string_view line = userDirs.substr(0, end);
        userDirs = end == std::string_view::npos ? std::string_view() : userDirs.substr(end + 1);
        while (!line.empty() && (line.front() == ' ' || line.front() == '\t')) line.remove_prefix(1);
        if (line.substr(0, kKey.size()) != kKey) continue;
        line.remove_prefix(kKey.size());
        std::string value;
        bool closed = false;
        for (size_t i = 0; i < line.size() && !closed; ++i) {
            if (line[i] == '\\' && i + 1 < line.size())
                value.push_back(line[++i]);
            else if (line[i] == '"')
                closed = true;
            else
                value.push_back(line[i]);
        }
        if (!closed) continue;
        // Only "$HOME/..." and absolute paths are meaningful; the last line wins.
        if (value == "$HOME" || value.rfind("$HOME/", 0) == 0) {
            if (home.empty()) continue;
            value = home + value.substr(5);
        } else if (value.empty() || value.front() != '/') {
            continue;
        }
        found = value;
    }
    while (found.size() > 1 && found.back() == '/') found.pop_back();
    return found;
}

std::string OutputFolderPath(const char* setting)
{
    if (setting && *setting) {
        if (setting[0] == '/') {
            std::string folder = setting;
            while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
            return folder;
        }
        LogText("The output folder %s is not an absolute path; the documents folder is used.\r\n", setting);
    }
    const std::string documents = DocumentsFolder();
    if (documents.empty()) return {};
    return documents == "/" ? "/Parsimo" : documents + "/Parsimo";
}

std::string SafeFileStem(const char* title)
{
    std::string stem;
    for (const char* c = title ? title : ""; *c; ++c) {
        const auto byte = static_cast<unsigned char>(*c);
        stem.push_back(byte < 0x20 || byte == 0x7f || byte == '/' ? '_' : *c);
    }
    // A leading '.' would hide the file; spaces at either end are easily missed.
    stem.erase(0, std::min(stem.find_first_not_of(". "), stem.size()));
    stem.erase(std::min(stem.find_last_not_of(' ') + 1, stem.size()));
    for (const char* printed : {".pdf", ".ps", ".eps", ".txt", ".jpg", ".jpeg", ".png", ".bmp", ".tif", ".tiff"}) {
        if (!EndsWithNoCase(stem, printed)) continue;
        stem.resize(stem.size() - std::strlen(printed));
        break;
    }
    if (stem.size() > kMaxStem) {
        // Never cut a character of several bytes in two.
        size_t cut = kMaxStem;
        while (cut > 0 && (static_cast<unsigned char>(stem[cut]) & 0xC0) == 0x80) --cut;
        stem.resize(cut);
    }
    stem.erase(std::min(stem.find_last_not_of(' ') + 1, stem.size()));
    return stem.empty() ? "Document" : stem;
}

bool DeliverOutput()
{
    if (!gGhostscript) return true;
    const GhostScript& gs = *gGhostscript;
    const TextBuffer device(gs.GSDevice);
    const char* extension = ExtensionOf(device);
    if (!extension) return true;
    const std::vector<std::string> files = WorkingFiles(FileList(gs.GSDataDir, gs.GSTempFile));
    if (files.empty()) return true;

    const std::string folder = OutputFolderPath(gAppEnv ? gAppEnv->OutputFolder : "");
    if (folder.empty()) {
        LogText("There is no output folder: neither OutputFolder nor HOME is set!\r\n");
        return false;
    }
    if (!CreateFolder(folder.c_str(), true, true)) {
        LOG_LAST_ERROR(2);
        LogText("The output folder %s cannot be made!\r\n", folder.c_str());
        return false;
    }
    const bool pdf = std::strcmp(extension, ".pdf") == 0;
    const std::string stem = SafeFileStem(gJobInfo ? gJobInfo->PrintDocumentName : "");
    const Saved saved = SaveAll(files, folder, stem, extension, !pdf || files.size() > 1);
    if (!saved.ok) return false;
    // The data folder keeps working files only.
    for (const std::string& file : files) DeleteFile(file.c_str());
    LogText("Saved %zu file(s) as %s\r\n", saved.names.size(), saved.names.front().c_str());
    Show(saved.names.front(), folder, pdf);
    return true;
}
