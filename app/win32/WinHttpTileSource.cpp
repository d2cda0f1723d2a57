#include "WinHttpTileSource.h"

#include <objbase.h>
#include <shlobj.h>
#include <wincodec.h>
#include <winhttp.h>

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

#include "QuorvelVersion.h"
#include "app/HttpCaching.h"
#include "app/TrackPlot.h"
#include "platform/Text.h"

namespace {

constexpr int64_t kCacheDays = 7;
constexpr int64_t kTicksPerSecond = 10'000'000;  // FILETIME counts 100 ns
constexpr size_t kMaxTileBytes = size_t{8} << 20;
constexpr UINT kMaxTileSide = 4096;

// Owns a WinHTTP handle.
class InternetHandle {
  public:
    explicit InternetHandle(HINTERNET h = nullptr) : m_h(h) {}
    ~InternetHandle() {
        if (m_h) ::WinHttpCloseHandle(m_h);
    }
    InternetHandle(const InternetHandle&) = delete;
    InternetHandle& operator=(const InternetHandle&) = delete;
    HINTERNET Get() const { return m_h; }

  private:
    HINTERNET m_h;
};

// Holds a COM interface and releases it.
template <class T>
class ComRef {
  public:
    ComRef() = default;
    ~ComRef() {
        if (m_p) m_p->Release();
    }
    ComRef(const ComRef&) = delete;
    ComRef& operator=(const ComRef&) = delete;
    T* operator->() const { return m_p; }
    T* Get() const { return m_p; }
    T** Put() { return &m_p; }

  private:
    T* m_p = nullptr;
};

int64_t Now() {
    FILETIME now{};
    ::GetSystemTimeAsFileTime(&now);
    return static_cast<int64_t>(uint64_t{now.dwHighDateTime} << 32 | now.dwLowDateTime);
}

FILETIME ToFileTime(int64_t nTicks) {
    return {static_cast<DWORD>(uint64_t(nTicks)), static_cast<DWORD>(uint64_t(nTicks) >> 32)};
}

// What the user reads after "Map tiles unavailable: ", by the Qt view's words. Some WinHTTPs
// (Wine's) pass on the socket's error where Windows gives its own.
std::string Reason(DWORD nError) {
    switch (nError) {
        case ERROR_WINHTTP_CANNOT_CONNECT:
        case WSAECONNREFUSED:
            return "connection refused";
        case ERROR_WINHTTP_NAME_NOT_RESOLVED:
            return "server not found";
        case ERROR_WINHTTP_TIMEOUT:
        case WSAETIMEDOUT:
            return "the server did not answer in time";
        default:
            return "network error " + std::to_string(nError);
    }
}

// The picture in PNG (or any format the system decodes) bytes as BGRA pixels; partly transparent
// pixels are laid on the map's background, as GDI draws no alpha.
bool Decode(IWICImagingFactory* pFactory, const std::string& strBytes, TilePicture& picture) {
    if (!pFactory || strBytes.empty()) return false;
    ComRef<IWICStream> stream;
    ComRef<IWICBitmapDecoder> decoder;
    ComRef<IWICBitmapFrameDecode> frame;
    ComRef<IWICFormatConverter> converter;
    UINT cx = 0, cy = 0;
    auto* pBytes = reinterpret_cast<BYTE*>(const_cast<char*>(strBytes.data()));
    if (FAILED(pFactory->CreateStream(stream.Put())) ||
        FAILED(stream->InitializeFromMemory(pBytes, static_cast<DWORD>(strBytes.size()))) ||
        FAILED(pFactory->CreateDecoderFromStream(stream.Get(), nullptr,
                                                 WICDecodeMetadataCacheOnDemand, decoder.Put())) ||
        FAILED(decoder->GetFrame(0, frame.Put())) ||
        FAILED(pFactory->CreateFormatConverter(converter.Put())) ||
        FAILED(converter->Initialize(frame.Get(), GUID_WICPixelFormat32bppBGRA,
                                     WICBitmapDitherTypeNone, nullptr, 0.0,
                                     WICBitmapPaletteTypeCustom)) ||
        FAILED(converter->GetSize(&cx, &cy)) || cx == 0 || cy == 0 || cx > kMaxTileSide ||
        cy > kMaxTileSide) {
        return false;
    }
    std::vector<uint32_t> pixels(size_t{cx} * cy);
    if (FAILED(converter->CopyPixels(nullptr, cx * 4, static_cast<UINT>(pixels.size() * 4),
                                     reinterpret_cast<BYTE*>(pixels.data())))) {
        return false;
    }
    const uint32_t background[3] = {kMapBackground.b, kMapBackground.g, kMapBackground.r};
    for (uint32_t& v : pixels) {
        const uint32_t a = v >> 24;
        if (a == 255) continue;
        uint32_t mixed = 0;
        for (int i = 0; i < 3; ++i) {
            const uint32_t c = (v >> (8 * i)) & 0xff;
            mixed |= ((c * a + background[i] * (255 - a)) / 255) << (8 * i);
        }
        v = mixed | 0xff000000u;
    }
    picture = {static_cast<int>(cx), static_cast<int>(cy), std::move(pixels)};
    return true;
}

std::string ReadAll(HANDLE hFile) {
    std::string strBytes;
    LARGE_INTEGER size{};
    if (!::GetFileSizeEx(hFile, &size) || size.QuadPart <= 0 ||
        static_cast<uint64_t>(size.QuadPart) > kMaxTileBytes) {
        return strBytes;
    }
    strBytes.resize(static_cast<size_t>(size.QuadPart));
    DWORD nRead = 0;
    if (!::ReadFile(hFile, strBytes.data(), static_cast<DWORD>(strBytes.size()), &nRead, nullptr) ||
        nRead != strBytes.size()) {
        strBytes.clear();
    }
    return strBytes;
}

// A cached tile's bytes, and whether its expiry (kept as the file's write time) lies ahead.
std::string ReadCached(const std::wstring& strPath, bool& bFresh) {
    bFresh = false;
    const HANDLE hFile = ::CreateFileW(strPath.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                       OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (hFile == INVALID_HANDLE_VALUE) return {};
    FILETIME expiry{};
    if (::GetFileTime(hFile, nullptr, nullptr, &expiry))
        bFresh = static_cast<int64_t>(uint64_t{expiry.dwHighDateTime} << 32 |
                                      expiry.dwLowDateTime) > Now();
    std::string strBytes = ReadAll(hFile);
    ::CloseHandle(hFile);
    return strBytes;
}

// Written beside and moved over, so that a reader never sees half a tile.
void WriteCached(const std::wstring& strPath, const std::string& strBytes, int64_t nExpiry) {
    const std::wstring strFolder = strPath.substr(0, strPath.find_last_of(L'\\'));
    ::SHCreateDirectoryExW(nullptr, strFolder.c_str(), nullptr);
    const std::wstring strPart = strPath + L"." + std::to_wstring(::GetCurrentThreadId());
    const HANDLE hFile = ::CreateFileW(strPart.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                       FILE_ATTRIBUTE_NORMAL, nullptr);
    if (hFile == INVALID_HANDLE_VALUE) return;
    DWORD nWritten = 0;
    const FILETIME expiry = ToFileTime(nExpiry);
    const bool bWritten = ::WriteFile(hFile, strBytes.data(), static_cast<DWORD>(strBytes.size()),
                                      &nWritten, nullptr) &&
                          nWritten == strBytes.size() &&
                          ::SetFileTime(hFile, nullptr, nullptr, &expiry);
    ::CloseHandle(hFile);
    if (!bWritten || !::MoveFileExW(strPart.c_str(), strPath.c_str(), MOVEFILE_REPLACE_EXISTING))
        ::DeleteFileW(strPart.c_str());
}

std::wstring Header(HINTERNET hRequest, DWORD nQuery) {
    DWORD nBytes = 0;
    ::WinHttpQueryHeaders(hRequest, nQuery, WINHTTP_HEADER_NAME_BY_INDEX, WINHTTP_NO_OUTPUT_BUFFER,
                          &nBytes, WINHTTP_NO_HEADER_INDEX);
    if (::GetLastError() != ERROR_INSUFFICIENT_BUFFER || nBytes == 0) return {};
    std::wstring value(nBytes / sizeof(wchar_t), L'\0');
    if (!::WinHttpQueryHeaders(hRequest, nQuery, WINHTTP_HEADER_NAME_BY_INDEX, value.data(),
                               &nBytes, WINHTTP_NO_HEADER_INDEX)) {
        return {};
    }
    value.resize(nBytes / sizeof(wchar_t));
    return value;
}

// Until when the server lets its answer be used: Cache-Control's max-age, else Expires, else a
// week from now.
int64_t Expiry(HINTERNET hRequest) {
    const int64_t nNow = Now();
    if (const std::optional<int64_t> nAge =
            CacheControlMaxAge(NarrowToUtf8(Header(hRequest, WINHTTP_QUERY_CACHE_CONTROL))))
        return nNow + *nAge * kTicksPerSecond;
    SYSTEMTIME expires{};
    DWORD nBytes = sizeof expires;
    FILETIME expiry{};
    if (::WinHttpQueryHeaders(hRequest, WINHTTP_QUERY_EXPIRES | WINHTTP_QUERY_FLAG_SYSTEMTIME,
                              WINHTTP_HEADER_NAME_BY_INDEX, &expires, &nBytes,
                              WINHTTP_NO_HEADER_INDEX) &&
        ::SystemTimeToFileTime(&expires, &expiry)) {
        return static_cast<int64_t>(uint64_t{expiry.dwHighDateTime} << 32 | expiry.dwLowDateTime);
    }
    return nNow + kCacheDays * 24 * 3600 * kTicksPerSecond;
}

}  // namespace

struct WinHttpTileSource::Shared {
    struct Result {
        TileKey key;
        TilePicture picture;  // empty when it failed
        std::string strFailure;
    };

    ~Shared() {
        if (hSession) ::WinHttpCloseHandle(hSession);
    }
    void FetchLoop();
    Result Fetch(IWICImagingFactory* pFactory, const TileKey& key) const;
    std::string Download(const std::wstring& strUrl, std::string& strBody, int64_t& nExpiry) const;

    // Set before the threads start.
    std::string strTemplate;
    std::wstring strCacheFolder;  // this server's
    HINTERNET hSession = nullptr;
    int nTimeout = 10000;  // milliseconds

    std::mutex mutex;
    std::condition_variable wake;
    std::deque<TileKey> jobs;
    std::vector<Result> results;
    HWND hWnd = nullptr;  // null once the source is gone
    UINT nMessage = 0;
};

void WinHttpTileSource::Shared::FetchLoop() {
    // The decoder is a COM object of this thread's own.
    const HRESULT hrCom = ::CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    ComRef<IWICImagingFactory> factory;
    static_cast<void>(::CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                                         IID_IWICImagingFactory,
                                         reinterpret_cast<void**>(factory.Put())));
    for (;;) {
        TileKey key;
        {
            std::unique_lock lock(mutex);
            wake.wait(lock, [this] { return hWnd == nullptr || !jobs.empty(); });
            if (hWnd == nullptr) break;
            key = jobs.front();
            jobs.pop_front();
        }
        Result result = Fetch(factory.Get(), key);
        const std::lock_guard lock(mutex);
        if (hWnd == nullptr) break;
        results.push_back(std::move(result));
        ::PostMessageW(hWnd, nMessage, 0, 0);
    }
    if (SUCCEEDED(hrCom)) ::CoUninitialize();
}

WinHttpTileSource::Shared::Result WinHttpTileSource::Shared::Fetch(IWICImagingFactory* pFactory,
                                                                   const TileKey& key) const {
    Result result{key, {}, {}};
    const std::wstring strPath = strCacheFolder + L"\\" + std::to_wstring(key.z) + L"\\" +
                                 std::to_wstring(key.x) + L"\\" + std::to_wstring(key.y) + L".png";
    bool bFresh = false;
    const std::string strCached = ReadCached(strPath, bFresh);
    // A tile the server said is still good is not asked for.
    if (bFresh && Decode(pFactory, strCached, result.picture)) return result;
    std::string strBody;
    int64_t nExpiry = 0;
    std::string strFailure = Download(WidenUtf8(TileUrl(strTemplate, key)), strBody, nExpiry);
    if (strFailure.empty()) {
        if (Decode(pFactory, strBody, result.picture)) {
            WriteCached(strPath, strBody, nExpiry);
            return result;
        }
        strFailure = "a tile could not be read";
    }
    // The cache's copy, however old, beats an empty square.
    if (!strCached.empty() && Decode(pFactory, strCached, result.picture)) return result;
    result.strFailure = std::move(strFailure);
    return result;
}

std::string WinHttpTileSource::Shared::Download(const std::wstring& strUrl, std::string& strBody,
                                                int64_t& nExpiry) const {
    if (!hSession) return Reason(ERROR_WINHTTP_NOT_INITIALIZED);
    URL_COMPONENTS parts{};
    parts.dwStructSize = sizeof parts;
    parts.dwHostNameLength = parts.dwUrlPathLength = parts.dwExtraInfoLength = DWORD(-1);
    if (!::WinHttpCrackUrl(strUrl.c_str(), 0, 0, &parts)) return Reason(::GetLastError());
    const std::wstring strHost(parts.lpszHostName, parts.dwHostNameLength);
    const std::wstring strObject =
        std::wstring(parts.lpszUrlPath, parts.dwUrlPathLength) +
        std::wstring(parts.lpszExtraInfo ? parts.lpszExtraInfo : L"", parts.dwExtraInfoLength);
    const InternetHandle connection(::WinHttpConnect(hSession, strHost.c_str(), parts.nPort, 0));
    const InternetHandle request(
        connection.Get()
            ? ::WinHttpOpenRequest(connection.Get(), L"GET", strObject.c_str(), nullptr,
                                   WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES,
                                   parts.nScheme == INTERNET_SCHEME_HTTPS ? WINHTTP_FLAG_SECURE : 0)
            : nullptr);
    // WinHTTP keeps the wait for the answer's head apart from other receives: same limit.
    DWORD nTimeoutMs = static_cast<DWORD>(nTimeout);
    if (request.Get())
        ::WinHttpSetOption(request.Get(), WINHTTP_OPTION_RECEIVE_RESPONSE_TIMEOUT, &nTimeoutMs,
                           sizeof nTimeoutMs);
    if (!request.Get() ||
        !::WinHttpSendRequest(request.Get(), WINHTTP_NO_ADDITIONAL_HEADERS, 0,
                              WINHTTP_NO_REQUEST_DATA, 0, 0, 0) ||
        !::WinHttpReceiveResponse(request.Get(), nullptr)) {
        return Reason(::GetLastError());
    }
    DWORD nStatus = 0;
    DWORD nBytes = sizeof nStatus;
    ::WinHttpQueryHeaders(request.Get(), WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                          WINHTTP_HEADER_NAME_BY_INDEX, &nStatus, &nBytes, WINHTTP_NO_HEADER_INDEX);
    if (nStatus != HTTP_STATUS_OK) return "the server answered HTTP " + std::to_string(nStatus);
    char buffer[16384];
    for (;;) {
        DWORD nRead = 0;
        if (!::WinHttpReadData(request.Get(), buffer, sizeof buffer, &nRead))
            return Reason(::GetLastError());
        if (nRead == 0) break;
        if (strBody.size() + nRead > kMaxTileBytes) return "a tile could not be read";
        strBody.append(buffer, nRead);
    }
    nExpiry = Expiry(request.Get());
    return {};
}

WinHttpTileSource::WinHttpTileSource(const MapTileOptions& options, HWND hWnd, UINT nMessage,
                                     const std::wstring& strCacheFolder)
    : m_pShared(std::make_shared<Shared>()),
      m_queue(std::max(1, options.nMaxConnections)),
      m_lru(options.nMemoryBytes) {
    Shared& shared = *m_pShared;
    shared.strTemplate = options.strUrlTemplate;
    shared.nTimeout = options.nTimeoutMs;
    // A folder per server: another server's tiles at the same place are other pictures.
    uint64_t nHash = 14695981039346656037u;
    for (const char c : options.strUrlTemplate) nHash = (nHash ^ uint8_t(c)) * 1099511628211u;
    wchar_t name[17] = {};
    ::wsprintfW(name, L"%08x%08x", unsigned(nHash >> 32), unsigned(nHash & 0xffffffffu));
    shared.strCacheFolder = strCacheFolder + L"\\" + name;
    shared.hSession = ::WinHttpOpen(L"Quorvel/" QUORVEL_VERSION_STRING " (GPS track viewer)",
                                    WINHTTP_ACCESS_TYPE_DEFAULT_PROXY, WINHTTP_NO_PROXY_NAME,
                                    WINHTTP_NO_PROXY_BYPASS, 0);
    if (shared.hSession) {
        ::WinHttpSetTimeouts(shared.hSession, options.nTimeoutMs, options.nTimeoutMs,
                             options.nTimeoutMs, options.nTimeoutMs);
    }
    shared.hWnd = hWnd;
    shared.nMessage = nMessage;
    // One thread per connection the server allows; they end on their own once the source is gone.
    for (int i = 0; i < std::max(1, options.nMaxConnections); ++i)
        std::thread([pShared = m_pShared] { pShared->FetchLoop(); }).detach();
}

WinHttpTileSource::~WinHttpTileSource() {
    {
        const std::lock_guard lock(m_pShared->mutex);
        m_pShared->hWnd = nullptr;
        m_pShared->jobs.clear();
    }
    m_pShared->wake.notify_all();
}

std::wstring WinHttpTileSource::DefaultCacheFolder() {
    wchar_t folder[MAX_PATH] = {};
    const DWORD nLength = ::GetEnvironmentVariableW(L"LOCALAPPDATA", folder, MAX_PATH);
    if ((nLength == 0 || nLength >= MAX_PATH) &&
        FAILED(::SHGetFolderPathW(nullptr, CSIDL_LOCAL_APPDATA, nullptr, SHGFP_TYPE_CURRENT,
                                  folder))) {
        return {};
    }
    return std::wstring(folder) + L"\\Quorvel\\tiles";
}

void WinHttpTileSource::Want(const std::vector<TileKey>& keys) {
    if (keys == m_wanted) return;
    m_wanted = keys;
    // Fetches of tiles that left the view run to their end: the connection is busy either way,
    // and the tile lands in the caches.
    static_cast<void>(
        m_queue.ViewMoved(keys, [this](const TileKey& key) { return m_tiles.count(key) > 0; }));
    StartNext();
}

void WinHttpTileSource::StartNext() {
    std::vector<TileKey> next;
    while (const std::optional<TileKey> key = m_queue.Next()) next.push_back(*key);
    if (next.empty()) return;
    {
        const std::lock_guard lock(m_pShared->mutex);
        m_pShared->jobs.insert(m_pShared->jobs.end(), next.begin(), next.end());
    }
    m_pShared->wake.notify_all();
}

bool WinHttpTileSource::Arrived() {
    std::vector<Shared::Result> results;
    {
        const std::lock_guard lock(m_pShared->mutex);
        results.swap(m_pShared->results);
    }
    if (results.empty()) return false;
    for (Shared::Result& result : results) {
        const bool bFailed = result.picture.pixels.empty();
        m_queue.Finished(result.key, bFailed);
        if (bFailed) {
            m_strNotice = "Map tiles unavailable: " + result.strFailure;
            continue;
        }
        const size_t nBytes = result.picture.pixels.size() * sizeof(uint32_t);
        for (const TileKey& dropped : m_lru.Insert(result.key, nBytes)) m_tiles.erase(dropped);
        m_tiles[result.key] = std::move(result.picture);
    }
    if (std::all_of(m_wanted.begin(), m_wanted.end(),
                    [this](const TileKey& k) { return m_tiles.count(k) != 0; }))
        m_strNotice.clear();
    StartNext();
    return true;
}

const TilePicture* WinHttpTileSource::Tile(const TileKey& key) {
    const auto it = m_tiles.find(key);
    if (it == m_tiles.end()) return nullptr;
    m_lru.Touch(key);
    return &it->second;
}
