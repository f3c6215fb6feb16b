#include "core/SystemProxy.h"

#include "core/CurlPerform.h"

#include <proxy.h>

#include <dlfcn.h>

#include <array>
#include <atomic>
#include <mutex>
#include <string_view>

// libproxy's functions, found in the library loaded; their types come from its header, so a
// change of the interface shows at compile time.
struct CSystemProxy::Library {
    void* handle = nullptr;
    decltype(&px_proxy_factory_new) factoryNew = nullptr;
    decltype(&px_proxy_factory_get_proxies) getProxies = nullptr;
    decltype(&px_proxy_factory_free_proxies) freeProxies = nullptr;
    decltype(&px_proxy_factory_free) factoryFree = nullptr;

    std::mutex mutex; // one question at a time, and the factory made once
    pxProxyFactory* factory = nullptr;
};

namespace {

template <typename Function> bool Resolve(void* handle, const char* name, Function& function) {
    function = reinterpret_cast<Function>(dlsym(handle, name));
    return function != nullptr;
}

bool StartsWith(std::string_view text, std::string_view head) {
    return text.substr(0, head.size()) == head;
}

} // namespace

std::optional<std::string> CurlProxyOf(const std::string& answer) {
    if (answer == "direct://")
        return std::string();
    if (StartsWith(answer, "socks://"))
        return "socks5://" + answer.substr(8);
    static constexpr std::array<std::string_view, 6> kSchemes = {
        "http://", "https://", "socks4://", "socks4a://", "socks5://", "socks5h://"};
    for (const std::string_view scheme : kSchemes)
        if (StartsWith(answer, scheme) && answer.size() > scheme.size())
            return answer;
    return std::nullopt;
}

CSystemProxy::CSystemProxy(const char* library) {
    void* handle = dlopen(library, RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr)
        return;
    auto loaded = std::make_unique<Library>();
    loaded->handle = handle;
    if (!Resolve(handle, "px_proxy_factory_new", loaded->factoryNew) ||
        !Resolve(handle, "px_proxy_factory_get_proxies", loaded->getProxies) ||
        !Resolve(handle, "px_proxy_factory_free_proxies", loaded->freeProxies) ||
        !Resolve(handle, "px_proxy_factory_free", loaded->factoryFree)) {
        dlclose(handle);
        return;
    }
    m_library = std::move(loaded);
}

CSystemProxy::~CSystemProxy() {
    // The library stays loaded: its plug-ins may have left threads or handlers behind.
    if (m_library && m_library->factory != nullptr)
        m_library->factoryFree(m_library->factory);
}

bool CSystemProxy::Available() const {
    return m_library != nullptr;
}

std::optional<std::vector<std::string>> CSystemProxy::ProxiesFor(const std::string& url) {
    if (!m_library)
        return std::nullopt;
    Library& lib = *m_library;
    std::vector<std::string> proxies;
    {
        const std::lock_guard<std::mutex> lock(lib.mutex);
        if (lib.factory == nullptr)
            lib.factory = lib.factoryNew();
        if (lib.factory == nullptr)
            return std::nullopt;
        char** answer = lib.getProxies(lib.factory, url.c_str());
        if (answer == nullptr)
            return std::nullopt;
        for (char** entry = answer; *entry != nullptr; ++entry)
            if (auto proxy = CurlProxyOf(*entry))
                proxies.push_back(std::move(*proxy));
        lib.freeProxies(answer);
    }
    if (proxies.empty())
        proxies.emplace_back(); // nothing usable: straight to the server
    return proxies;
}

namespace {
std::atomic<CSystemProxy*> g_installedProxy{nullptr};
} // namespace

CSystemProxy& SystemProxy() {
    CSystemProxy* installed = g_installedProxy.load();
    if (installed != nullptr)
        return *installed;
    // Never destroyed: freeing libproxy's factory at exit unloads its PAC runner while the
    // script engine's own threads may still run, and that crashes.
    static CSystemProxy* const processWide = new CSystemProxy;
    return *processWide;
}

CSystemProxy* InstallSystemProxy(CSystemProxy* proxy) {
    return g_installedProxy.exchange(proxy);
}

CURLcode CProxyChain::Start(CURL* easy, const std::string& url) {
    auto proxies = SystemProxy().ProxiesFor(url);
    if (!proxies) {
        m_proxies.clear();
        m_nCurrent = m_nFirst = 0;
        return CURLE_OK;
    }
    return Start(easy, std::move(*proxies));
}

CURLcode CProxyChain::Start(CURL* easy, std::vector<std::string> proxies) {
    m_proxies = std::move(proxies);
    m_nFirst = 0;
    if (m_proxies.empty())
        return CURLE_OK;
    // libproxy has applied the desktop's exceptions already; no_proxy must not undo that.
    const CURLcode rc = curl_easy_setopt(easy, CURLOPT_NOPROXY, "");
    return rc != CURLE_OK ? rc : Use(easy, 0);
}

CURLcode CProxyChain::Use(CURL* easy, std::size_t index) {
    m_nCurrent = index;
    return curl_easy_setopt(easy, CURLOPT_PROXY, m_proxies[index].c_str());
}

bool CProxyChain::ProxyUnreachable(CURL* easy, CURLcode result) const {
    if (m_proxies[m_nCurrent].empty())
        return false;
    // A proxy that answered (with 407, say) was reached.
    long connectCode = 0;
    if (curl_easy_getinfo(easy, CURLINFO_HTTP_CONNECTCODE, &connectCode) == CURLE_OK &&
        connectCode != 0)
        return false;
    return result == CURLE_COULDNT_RESOLVE_PROXY || result == CURLE_COULDNT_CONNECT ||
           result == CURLE_PROXY;
}

CURLcode CProxyChain::Perform(CURL* easy) {
    if (m_proxies.empty())
        return PerformTransfer(easy);
    if (m_nCurrent != m_nFirst && Use(easy, m_nFirst) != CURLE_OK)
        return CURLE_FAILED_INIT;
    for (;;) {
        const CURLcode result = PerformTransfer(easy);
        if (result == CURLE_OK || !ProxyUnreachable(easy, result) ||
            m_nCurrent + 1 >= m_proxies.size()) {
            if (result == CURLE_OK || !ProxyUnreachable(easy, result))
                m_nFirst = m_nCurrent;
            return result;
        }
        if (Use(easy, m_nCurrent + 1) != CURLE_OK)
            return result;
    }
}

const std::string& CProxyChain::Current() const {
    static const std::string kNone;
    return m_proxies.empty() ? kNone : m_proxies[m_nCurrent];
}
