#pragma once
// The About box (template 133, 207 x 100 dialog units): the program's name,
// version and build date, each after its caption, and an OK button.

#include <QDialog>
#include <QString>

#include "strings/StringTable.h"

namespace fwbatch {

class CAboutDlg : public QDialog {
public:
    CAboutDlg(const strings::StringTable& texts, const QString& versionText,
              const QString& buildDate, QWidget* parent = nullptr);

    // The three lines as shown, for tests.
    QString NameLine() const;
    QString VersionLine() const;
    QString DateLine() const;
};

}  // namespace fwbatch
