#pragma once

#include <QDialog>

// The About box: the program's name and version, the authors' notice and an OK button.
class CAboutDlg final : public QDialog {
    Q_OBJECT

  public:
    explicit CAboutDlg(QWidget* pParent = nullptr);
};
