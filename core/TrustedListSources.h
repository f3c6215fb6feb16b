// Where the lists of an update come from: downloaded over HTTP(S) through the program's
// transport, or found by their content in a folder of files downloaded elsewhere. Neither
// is trusted for where it came from: every list goes through the same checks.
#pragma once

#include "core/ConnectionParams.h"
#include "core/TrustedListChain.h"

#include <cstdint>
#include <string>
#include <vector>

namespace tl {

// "Důvěryhodný seznam státu CZ", or the name of the EU list of the lists for "EU".
std::string ListName(const std::string& territory);

// The address of the EU list of the lists.
inline constexpr char kEuLotlUrl[] = "https://ec.europa.eu/tools/lotl/eu-lotl.xml";

// A list as obtained: its bytes and where they came from.
struct Fetched {
    std::string xml;
    std::string origin;
};

class IListSource {
public:
    virtual ~IListSource() = default;
    // The current LOTL. False with a Czech message.
    [[nodiscard]] virtual bool FetchLotl(Fetched& lotl, std::string& message) = 0;
    // The candidates for the pivots of `lotl`, as many as can be had (none is an error).
    virtual std::vector<Fetched> FetchPivots(const TrustedList& lotl) = 0;
    enum class Fetch {
        Ok,      // at least one candidate
        Missing, // the source does not have this list (a folder without it)
        Failed,  // it should have it but could not deliver (a failed download)
    };
    // The candidates for the list `pointer` names, the most likely first; a Czech message
    // when there is none.
    [[nodiscard]] virtual Fetch FetchList(const ListPointer& pointer,
                                          std::vector<Fetched>& candidates,
                                          std::string& message) = 0;
};

class HttpListSource final : public IListSource {
public:
    // `settings` gives the proxy, user agent and time-out of every download.
    HttpListSource(const CConnectionParams& settings, std::string lotlUrl);

    bool FetchLotl(Fetched& lotl, std::string& message) override;
    std::vector<Fetched> FetchPivots(const TrustedList& lotl) override;
    Fetch FetchList(const ListPointer& pointer, std::vector<Fetched>& candidates,
                    std::string& message) override;

private:
    bool Download(const std::string& url, const std::string& name, Fetched& out,
                  std::string& message) const;

    CConnectionParams m_settings;
    std::string m_lotlUrl;
};

// Reads every file of the folder (and its subfolders, a few levels deep) and keeps those
// that are trusted lists, told apart by their scheme information.
class FolderListSource final : public IListSource {
public:
    explicit FolderListSource(std::string dir);

    bool FetchLotl(Fetched& lotl, std::string& message) override;
    std::vector<Fetched> FetchPivots(const TrustedList& lotl) override;
    Fetch FetchList(const ListPointer& pointer, std::vector<Fetched>& candidates,
                    std::string& message) override;

    // How many files were found to be lists.
    std::size_t ListCount() const { return m_files.size(); }

private:
    struct File {
        TslHeader header;
        Fetched content;
    };
    void Scan(const std::string& dir, int depth);

    std::string m_dir;
    std::vector<File> m_files;
    std::size_t m_lotl = SIZE_MAX; // the newest LOTL among m_files
};

} // namespace tl
