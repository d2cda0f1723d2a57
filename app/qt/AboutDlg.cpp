#include "AboutDlg.h"

#include <QFontMetrics>
#include <QIcon>
#include <QLabel>
#include <QPushButton>

#include "app/DialogLayout.h"

namespace {

// The box's font: the system's dialog font at 8 points (at 96 dots per inch).
constexpr int kAboutFontPixels = 11;

}  // namespace

CAboutDlg::CAboutDlg(QWidget* pParent) : QDialog(pParent) {
    const WindowLayout& layout = AboutBoxLayout();
    setWindowTitle(QString::fromLatin1(layout.pszTitle));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    QFont boxFont = font();
    boxFont.setPixelSize(kAboutFontPixels);
    setFont(boxFont);

    const QFontMetrics metrics(font());
    const int nBaseX = (metrics.horizontalAdvance(QStringLiteral(
                            "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz")) /
                            26 +
                        1) /
                       2;
    const int nBaseY = metrics.height();
    const auto place = [nBaseX, nBaseY](QWidget* p, int x, int y, int cx, int cy) {
        p->setGeometry((x * nBaseX + 2) / 4, (y * nBaseY + 4) / 8, (cx * nBaseX + 2) / 4,
                       (cy * nBaseY + 4) / 8);
    };

    auto* pIcon = new QLabel(this);
    const int nIconPixels = (20 * nBaseY + 4) / 8;
    pIcon->setPixmap(QIcon(QStringLiteral(":/quorvel/quorvel.png")).pixmap(nIconPixels));
    place(pIcon, 11, 14, 21, 20);

    auto* pVersion = new QLabel(QString::fromLatin1(kAboutVersionLine), this);
    pVersion->setObjectName(QStringLiteral("versionLine"));
    place(pVersion, 40, 10, 119, 8);
    auto* pNotice = new QLabel(QString::fromLatin1(kAboutNoticeLine), this);
    pNotice->setObjectName(QStringLiteral("noticeLine"));
    place(pNotice, 40, 25, 188, 8);

    auto* pOk = new QPushButton(QStringLiteral("OK"), this);
    pOk->setDefault(true);
    place(pOk, 178, 7, 50, 14);
    connect(pOk, &QPushButton::clicked, this, &QDialog::accept);

    setFixedSize((layout.cx * nBaseX + 2) / 4, (layout.cy * nBaseY + 4) / 8);
}
