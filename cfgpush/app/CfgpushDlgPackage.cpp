// Cfgpush's window: the package. Chosen with Browse, loaded, its product
// types and customer code offered, and its title logo previewed.
#include "cfgpush/app/CfgpushDlg.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QImage>
#include <QLineEdit>

#include <string_view>

#include "cfgpush/app/LogoFrame.h"
#include "cfgpush/engine/CfgpushStringIds.h"
#include "common/platform/Diagnostics.h"

namespace cfgpush {
namespace {

bool NameHasPreviewExtension(std::string_view name) {
    for (const char* extension : {".jpg", ".png", ".JPG", ".PNG"}) {
        if (name.find(extension) != std::string_view::npos) {
            return true;
        }
    }
    return false;
}

}  // namespace

QString CCfgpushDlg::ChooseFacFile(QWidget* parent) {
    // The same filter text in every interface language.
    return QFileDialog::getOpenFileName(parent, QString(), QString(),
                                        QStringLiteral(u"升级文件 (*.fac)"));
}

void CCfgpushDlg::OnBrowse() {
    const QString path = m_chooseFile ? m_chooseFile(this) : QString();
    if (path.isEmpty()) {
        return;  // cancelled: nothing changes
    }
    OnFileChosen(path);
}

void CCfgpushDlg::OnFileChosen(const QString& path) {
    m_packagePath = QDir::toNativeSeparators(QFileInfo(path).absoluteFilePath());
    m_pathEdit->setText(m_packagePath);
    LoadPackage();
    if (m_package.PicturesPresent() == 1) {
        ShowTitlePreview();
    }
}

void CCfgpushDlg::LoadPackage() {
    m_package.Clear();
    m_productType->clear();
    m_customerCode->clear();
    int openErrno = 0;
    const FacLoadResult result =
        m_package.Load(QFile::encodeName(m_packagePath).toStdString(), &openErrno);
    if (result == FacLoadResult::kCannotOpen) {
        platform::DiagPrintf("cannot open the package: errno %d\n", openErrno);
        return;  // nothing is said to the operator
    }
    if (result == FacLoadResult::kBadFormat) {
        ShowMessage(ids::kMsgBadFileFormat);
        return;
    }
    const std::string_view code = m_package.CustomerCode();
    m_customerCode->addItem(LoadText(ids::kCustomerCodeNone));
    m_customerCode->addItem(
        QString::fromLocal8Bit(code.data(), static_cast<qsizetype>(code.size())));
    m_customerCode->setCurrentIndex(0);
    // The box is sorted: the entries go in in the box's order, each tied to
    // its product entry by its item data.
    for (const ProductTypeEntry& entry : m_package.ProductTypesInBoxOrder()) {
        m_productType->addItem(QString::fromLocal8Bit(entry.name), entry.entryNumber);
    }
    if (m_productType->count() > 0) {
        m_productType->setCurrentIndex(0);
    }
}

void CCfgpushDlg::ShowTitlePreview() {
    const FAC_BLOCK_INFO& slot = m_package.PictureSlot(PictureKind::kTitleLogo);
    if (!NameHasPreviewExtension(BlockName(slot))) {
        return;  // the frame keeps what it shows
    }
    const std::vector<uint8_t> bytes = m_package.DecipherBlock(slot);
    QImage image;
    if (!bytes.empty()) {
        image.loadFromData(bytes.data(), static_cast<int>(bytes.size()));
    }
    m_logo->ShowBitmap(image);  // one that does not decode leaves an empty frame
}

void CCfgpushDlg::OnLogoSelChange() {
    if (m_customerCode->currentText() == LoadText(ids::kCustomerCodeNone)) {
        m_pictureType->setEnabled(false);
        m_logo->RemoveBitmap();
        return;
    }
    ShowTitlePreview();
}

}  // namespace cfgpush
