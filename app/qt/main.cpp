#include <QApplication>
#include <QIcon>

#include "QuorvelApp.h"

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Quorvel"));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/quorvel/quorvel.png")));
    CQuorvelApp app;
    (void)app.InitInstance();
    return 0;
}
