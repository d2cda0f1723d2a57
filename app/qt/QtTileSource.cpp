#include "QtTileSource.h"

#include <QDateTime>
#include <QNetworkDiskCache>
#include <QNetworkReply>
#include <QStandardPaths>
#include <algorithm>

#include "QuorvelVersion.h"

namespace {

constexpr int kCacheDays = 7;
constexpr qint64 kDiskCacheBytes = qint64{256} << 20;

// Which tile a reply fetches, and why the network failed when the cache has a second go.
constexpr auto kZoom = QNetworkRequest::Attribute(QNetworkRequest::User);
constexpr auto kX = QNetworkRequest::Attribute(QNetworkRequest::User + 1);
constexpr auto kY = QNetworkRequest::Attribute(QNetworkRequest::User + 2);
constexpr auto kReason = QNetworkRequest::Attribute(QNetworkRequest::User + 3);
constexpr char kCancelled[] = "quorvelCancelled";

QString Reason(QNetworkReply* pReply) {
    const int nStatus = pReply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    switch (pReply->error()) {
        case QNetworkReply::NoError:
            return QStringLiteral("a tile could not be read");
        case QNetworkReply::ConnectionRefusedError:
            return QStringLiteral("connection refused");
        case QNetworkReply::HostNotFoundError:
            return QStringLiteral("server not found");
        case QNetworkReply::OperationCanceledError:
        case QNetworkReply::TimeoutError:
            return QStringLiteral("the server did not answer in time");
        default:
            if (nStatus != 0) return QStringLiteral("the server answered HTTP %1").arg(nStatus);
            return pReply->errorString();
    }
}

}  // namespace

QtTileSource::QtTileSource(const MapTileOptions& options, QObject* pParent)
    : QObject(pParent),
      m_options(options),
      m_pCache(new QNetworkDiskCache(this)),
      m_queue(options.nMaxConnections),
      m_lru(options.nMemoryBytes) {
    // XDG_CACHE_HOME moves it, as for every program on the desktop.
    m_pCache->setCacheDirectory(QStandardPaths::writableLocation(QStandardPaths::CacheLocation) +
                                QStringLiteral("/tiles"));
    m_pCache->setMaximumCacheSize(kDiskCacheBytes);
    m_network.setCache(m_pCache);
    connect(&m_network, &QNetworkAccessManager::finished, this, &QtTileSource::OnFinished);
}

void QtTileSource::Want(const std::vector<TileKey>& keys) {
    if (keys == m_wanted) return;
    m_wanted = keys;
    const auto held = [this](const TileKey& key) { return m_tiles.count(key) > 0; };
    for (const TileKey& key : m_queue.ViewMoved(keys, held)) {
        const auto it = m_open.find(key);
        if (it == m_open.end()) continue;
        it->second->setProperty(kCancelled, true);
        it->second->abort();
    }
    StartNext();
}

const QImage* QtTileSource::Tile(const TileKey& key) {
    const auto it = m_tiles.find(key);
    if (it == m_tiles.end()) return nullptr;
    m_lru.Touch(key);
    return &it->second;
}

void QtTileSource::StartNext() {
    while (const std::optional<TileKey> key = m_queue.Next()) Request(*key, {});
}

void QtTileSource::Request(const TileKey& key, const QString& strFailure) {
    const bool bFromCache = !strFailure.isEmpty();
    QNetworkRequest request(QUrl(QString::fromStdString(TileUrl(m_options.strUrlTemplate, key))));
    request.setHeader(QNetworkRequest::UserAgentHeader,
                      QStringLiteral("Quorvel/" QUORVEL_VERSION_STRING " (GPS track viewer)"));
    request.setTransferTimeout(m_options.nTimeoutMs);
    // Fresh tiles come from the cache without asking; when the server cannot be reached, any
    // tile the cache still holds does.
    request.setAttribute(
        QNetworkRequest::CacheLoadControlAttribute,
        bFromCache ? QNetworkRequest::AlwaysCache : QNetworkRequest::PreferNetwork);
    request.setAttribute(kZoom, key.z);
    request.setAttribute(kX, key.x);
    request.setAttribute(kY, key.y);
    request.setAttribute(kReason, strFailure);
    m_open[key] = m_network.get(request);
}

void QtTileSource::OnFinished(QNetworkReply* pReply) {
    pReply->deleteLater();
    const QNetworkRequest& request = pReply->request();
    const TileKey key{request.attribute(kZoom).toInt(), request.attribute(kX).toInt(),
                      request.attribute(kY).toInt()};
    const QString strFailure = request.attribute(kReason).toString();
    if (const auto it = m_open.find(key); it != m_open.end() && it->second == pReply)
        m_open.erase(it);
    if (pReply->property(kCancelled).toBool()) {
        m_queue.Finished(key, false);
        StartNext();
        return;
    }
    QImage image;
    if (pReply->error() == QNetworkReply::NoError) {
        image.loadFromData(pReply->readAll());
        if (!pReply->attribute(QNetworkRequest::SourceIsFromCacheAttribute).toBool()) {
            // A server that gives no expiry still has its tiles kept a week.
            QNetworkCacheMetaData meta = m_pCache->metaData(pReply->url());
            if (meta.isValid() && !meta.expirationDate().isValid()) {
                meta.setExpirationDate(QDateTime::currentDateTimeUtc().addDays(kCacheDays));
                m_pCache->updateMetaData(meta);
            }
        }
    }
    if (image.isNull()) {
        const QString strReason = strFailure.isEmpty() ? Reason(pReply) : strFailure;
        if (strFailure.isEmpty() && pReply->error() != QNetworkReply::NoError &&
            m_pCache->metaData(pReply->url()).isValid()) {
            // The cache's copy, however old, beats an empty square.
            Request(key, strReason);
            return;
        }
        m_queue.Finished(key, true);
        SetNotice(QStringLiteral("Map tiles unavailable: ") + strReason);
        StartNext();
        return;
    }
    m_queue.Finished(key, false);
    image = image.convertToFormat(QImage::Format_RGB32);
    for (const TileKey& dropped : m_lru.Insert(key, static_cast<size_t>(image.sizeInBytes())))
        m_tiles.erase(dropped);
    m_tiles[key] = std::move(image);
    if (std::all_of(m_wanted.begin(), m_wanted.end(),
                    [this](const TileKey& k) { return m_tiles.count(k) != 0; }))
        SetNotice({});
    StartNext();
    emit Changed();
}

void QtTileSource::SetNotice(const QString& strNotice) {
    if (strNotice == m_strNotice) return;
    m_strNotice = strNotice;
    emit Changed();
}
