// Browse with Qt's own file dialog, as an operator meets it, in every
// interface language: the package files of a folder are listed (one without
// an extension too), one is chosen, and its path is the window's package.
// Qt's own texts (the dialog's buttons) follow the interface language.

#include <QApplication>
#include <QDialogButtonBox>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>

#include <functional>

#include "FwbatchTestSupport.h"
#include "fwbatch/app/FwbatchApp.h"
#include "ui/QtTexts.h"

namespace {

using fwbatch::CFwbatchApp;
using fwbatch::CFwbatchDlg;

// What the operator saw in the dialog before choosing `choose`.
struct DialogSeen {
    QStringList listed;
    bool openEnabled = false;
    QString openText;
};

// Runs `poll` every 20 ms on the (modal) dialog's event loop until it
// returns true, or gives up after about ten seconds.
void PollDialog(const std::function<bool(QFileDialog&)>& poll, int triesLeft = 500) {
    QTimer::singleShot(20, [poll, triesLeft] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        if (dialog != nullptr && poll(*dialog)) {
            return;
        }
        if (triesLeft > 0) {
            PollDialog(poll, triesLeft - 1);
        } else if (dialog != nullptr) {
            dialog->reject();
        }
    });
}

class BrowseTest : public fwtest::FwbatchWindowTest {};

TEST_F(BrowseTest, QtsOwnDialogListsAndChoosesAPackageInEveryLanguage) {
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const QString withExtension = folder.filePath(QStringLiteral("fw.pkg"));
    const QString without = folder.filePath(QStringLiteral("firmware"));
    ASSERT_TRUE(QFile::copy(fwtest::Package("sw_250.pkg"), withExtension));
    ASSERT_TRUE(QFile::copy(fwtest::Package("kernel.pkg"), without));

    // English first: Qt's translations, once installed, stay for the process.
    for (const char* locale : {"en_GB.UTF-8", "zh_CN.UTF-8", "zh_TW.UTF-8"}) {
        SCOPED_TRACE(locale);
        OpenWindow(locale);
        ui::InstallQtTranslations(CFwbatchApp::InterfaceLanguage());
        Window().SetFileChooser(&CFwbatchDlg::ChoosePackageFile);
        Window().show();

        DialogSeen seen;
        PollDialog([&](QFileDialog& dialog) {
            if (dialog.directory().absolutePath() != folder.path()) {
                dialog.setDirectory(folder.path());
                return false;
            }
            auto* view = dialog.findChild<QListView*>(QStringLiteral("listView"));
            if (view == nullptr || view->model() == nullptr) {
                return false;
            }
            seen.listed.clear();
            const QModelIndex root = view->rootIndex();
            QModelIndex chosen;
            for (int row = 0; row < view->model()->rowCount(root); ++row) {
                const QModelIndex index = view->model()->index(row, 0, root);
                seen.listed.push_back(index.data().toString());
                if (index.data().toString() == QStringLiteral("firmware")) {
                    chosen = index;
                }
            }
            if (seen.listed.size() < 2) {
                return false;  // the folder is still being read
            }
            // As a click on the file does: it becomes the current one.
            view->setCurrentIndex(chosen);
            auto* buttons = dialog.findChild<QDialogButtonBox*>(QStringLiteral("buttonBox"));
            QPushButton* open =
                buttons != nullptr ? buttons->button(QDialogButtonBox::Open) : nullptr;
            if (open == nullptr) {
                dialog.reject();
                return true;
            }
            seen.openEnabled = open->isEnabled();
            seen.openText = open->text();
            open->click();
            return true;
        });
        Click(1007);  // Browse: returns when the dialog is closed

        seen.listed.sort();
        EXPECT_EQ(seen.listed, (QStringList{QStringLiteral("firmware"), QStringLiteral("fw.pkg")}));
        EXPECT_TRUE(seen.openEnabled);
        if (QString::fromLatin1(locale).startsWith(QStringLiteral("en"))) {
            EXPECT_EQ(seen.openText, QStringLiteral("&Open"));
        } else {
            // Qt's own Chinese, not its English.
            EXPECT_TRUE(std::any_of(seen.openText.begin(), seen.openText.end(), [](QChar c) {
                return c.unicode() >= 0x4E00 && c.unicode() <= 0x9FFF;
            })) << seen.openText.toStdString();
        }
        EXPECT_EQ(QDir::fromNativeSeparators(ControlText(1006)), without);
        CloseWindow();
    }
}

}  // namespace
