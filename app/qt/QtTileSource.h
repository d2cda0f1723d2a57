#pragma once

#include <QImage>
#include <QNetworkAccessManager>
#include <QObject>
#include <QString>
#include <unordered_map>
#include <vector>

#include "app/MapTiles.h"

class QNetworkDiskCache;
class QNetworkReply;

// Map tiles over HTTP as a tile server's usage policy asks: a User-Agent naming the program, at
// most two connections, only the tiles in view (those that leave it are cancelled), and a disk
// cache (in the user's cache folder) that honours the server's expiry, keeps tiles a week when
// the server says nothing, and answers when the server does not. Everything runs on the
// window's thread: the network access is asynchronous.
class QtTileSource final : public QObject {
    Q_OBJECT

  public:
    QtTileSource(const MapTileOptions& options, QObject* pParent);

    // The tiles a view shows now, nearest its centre first.
    void Want(const std::vector<TileKey>& keys);
    // A tile in memory, or null.
    const QImage* Tile(const TileKey& key);
    // Why tiles are missing ("Map tiles unavailable: connection refused"), or empty.
    const QString& Notice() const { return m_strNotice; }
    const MapTileOptions& Options() const { return m_options; }

  signals:
    // A tile arrived, or the notice changed.
    void Changed();

  private:
    void StartNext();
    // From the network, or after its failure from the cache alone.
    void Request(const TileKey& key, const QString& strFailure);
    void OnFinished(QNetworkReply* pReply);
    void SetNotice(const QString& strNotice);

    MapTileOptions m_options;
    QNetworkAccessManager m_network;
    QNetworkDiskCache* m_pCache;
    TileQueue m_queue;
    TileLru m_lru;
    std::unordered_map<TileKey, QImage, TileKeyHash> m_tiles;
    std::unordered_map<TileKey, QNetworkReply*, TileKeyHash> m_open;
    std::vector<TileKey> m_wanted;
    QString m_strNotice;
};
