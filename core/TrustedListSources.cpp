#include "core/TrustedListSources.h"

#include "core/HttpClient.h"
#include "core/HttpGet.h"
#include "core/TrustedListCache.h"
#include "platform/LastError.h"
#include "support/ErrorText.h"
#include "support/Messages.h"
#include "support/StringIds.h"

#include <algorithm>
#include <dirent.h>
#include <sys/stat.h>

namespace tl {

namespace {

// Subfolders looked into below the folder given, and files looked at in all.
constexpr int kMaxDepth = 3;
constexpr std::size_t kMaxFiles = 10000;

} // namespace

std::string ListName(const std::string& territory) {
    return territory == kLotlTerritory ? LoadResString(IDS_TL_LOTL_NAME)
                                       : FormatRes(IDS_TL_LIST_NAME, territory);
}

// ---- Downloads ----------------------------------------------------------------------------

HttpListSource::HttpListSource(const CConnectionParams& settings, std::string lotlUrl)
    : m_settings(settings), m_lotlUrl(std::move(lotlUrl)) {}

bool HttpListSource::Download(const std::string& url, const std::string& name, Fetched& out,
                              std::string& message) const {
    SetLastError(0);
    int status = 0;
    const int result = HttpGet(m_settings, url, kMaxListBytes, out.xml, status);
    if (result == HTTP_OK) {
        out.origin = url;
        return true;
    }
    message = result == HTTP_E_STATUS ? FormatRes(IDS_TL_DOWNLOAD_STATUS, name, url, status)
                                      : FormatResWithSystemError(IDS_TL_DOWNLOAD_FAILED, name, url);
    return false;
}

bool HttpListSource::FetchLotl(Fetched& lotl, std::string& message) {
    return Download(m_lotlUrl, ListName(kLotlTerritory), lotl, message);
}

std::vector<Fetched> HttpListSource::FetchPivots(const TrustedList& lotl) {
    std::vector<Fetched> pivots;
    for (const std::string& uri : PivotUris(lotl)) {
        if (uri == m_lotlUrl)
            continue;
        Fetched pivot;
        std::string ignored;
        if (Download(uri, ListName(kLotlTerritory), pivot, ignored))
            pivots.push_back(std::move(pivot));
    }
    return pivots;
}

IListSource::Fetch HttpListSource::FetchList(const ListPointer& pointer,
                                             std::vector<Fetched>& candidates,
                                             std::string& message) {
    candidates.clear();
    Fetched list;
    if (!Download(pointer.location, ListName(pointer.territory), list, message))
        return Fetch::Failed;
    candidates.push_back(std::move(list));
    return Fetch::Ok;
}

// ---- A folder of files --------------------------------------------------------------------

FolderListSource::FolderListSource(std::string dir) : m_dir(std::move(dir)) {
    Scan(m_dir, 0);
    for (std::size_t i = 0; i < m_files.size(); ++i) {
        const TslHeader& header = m_files[i].header;
        if (header.tslType == kTypeLotl && header.territory == kLotlTerritory &&
            (m_lotl == SIZE_MAX || header.sequence > m_files[m_lotl].header.sequence))
            m_lotl = i;
    }
}

void FolderListSource::Scan(const std::string& dir, int depth) {
    std::vector<std::string> names;
    if (DIR* folder = opendir(dir.c_str())) {
        while (const dirent* entry = readdir(folder))
            if (entry->d_name[0] != '.')
                names.emplace_back(entry->d_name);
        closedir(folder);
    }
    std::sort(names.begin(), names.end());
    for (const std::string& name : names) {
        const std::string path = dir + "/" + name;
        struct stat info {};
        if (m_files.size() >= kMaxFiles || stat(path.c_str(), &info) != 0)
            continue;
        if (S_ISDIR(info.st_mode)) {
            if (depth < kMaxDepth)
                Scan(path, depth + 1);
            continue;
        }
        File file;
        if (S_ISREG(info.st_mode) && static_cast<std::size_t>(info.st_size) <= kMaxListBytes &&
            ReadFileBytes(path, file.content.xml) && SniffTsl(file.content.xml, file.header)) {
            file.content.origin = path;
            m_files.push_back(std::move(file));
        }
    }
}

bool FolderListSource::FetchLotl(Fetched& lotl, std::string& message) {
    if (m_lotl == SIZE_MAX) {
        message = FormatRes(IDS_TL_NOT_IN_FOLDER, ListName(kLotlTerritory), m_dir);
        return false;
    }
    lotl = m_files[m_lotl].content;
    return true;
}

std::vector<Fetched> FolderListSource::FetchPivots(const TrustedList& /*lotl*/) {
    std::vector<Fetched> pivots;
    for (std::size_t i = 0; i < m_files.size(); ++i)
        if (i != m_lotl && m_files[i].header.tslType == kTypeLotl)
            pivots.push_back(m_files[i].content);
    return pivots;
}

IListSource::Fetch FolderListSource::FetchList(const ListPointer& pointer,
                                               std::vector<Fetched>& candidates,
                                               std::string& message) {
    std::vector<const File*> found;
    for (const File& file : m_files)
        if (file.header.tslType == kTypeGeneric && file.header.territory == pointer.territory)
            found.push_back(&file);
    std::stable_sort(found.begin(), found.end(), [](const File* a, const File* b) {
        return a->header.sequence > b->header.sequence;
    });
    candidates.clear();
    for (const File* file : found)
        candidates.push_back(file->content);
    if (!candidates.empty())
        return Fetch::Ok;
    message = FormatRes(IDS_TL_NOT_IN_FOLDER, ListName(pointer.territory), m_dir);
    return Fetch::Missing;
}

} // namespace tl
