// Browse and the loaded package: the path, the product-type box in sorted
// order with its entry numbers, the customer-code box, the wrong-magic
// message, and the logo preview (shown, kept, replaced, emptied).
// The packages come from tests/data/fac (made by make_packages.py with the
// openssl command line) or are made here from their parts.

#include <QBuffer>
#include <QComboBox>
#include <QFileDialog>
#include <QImage>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>

#include <fstream>

#include "GuiTestSupport.h"
#include "cfgpush/app/LogoFrame.h"
#include "cfgpush/engine/FacPackage.h"
#include "cfgpush/engine/FacWriter.h"
#include "ui/MessageBox.h"

namespace {

using guitest::CfgpushWindowTest;

QString Fac(const char* name) {
    return QStringLiteral(CAMPREP_TEST_DATA_DIR "/fac/") + QString::fromLatin1(name);
}

QImage PictureFile(const char* name) {
    return QImage(QStringLiteral(CAMPREP_TEST_DATA_DIR "/fac/inputs/pictures/") +
                  QString::fromLatin1(name));
}

std::vector<uint8_t> Bytes(const std::string& text) {
    return {text.begin(), text.end()};
}

class PackageWindowTest : public CfgpushWindowTest {
protected:
    QComboBox* Box(int id) { return qobject_cast<QComboBox*>(Window().ControlById(id)); }
    std::vector<QString> Items(int id) {
        std::vector<QString> items;
        for (int i = 0; i < Box(id)->count(); ++i) {
            items.push_back(Box(id)->itemText(i));
        }
        return items;
    }
    std::vector<int> ItemData(int id) {
        std::vector<int> data;
        for (int i = 0; i < Box(id)->count(); ++i) {
            data.push_back(Box(id)->itemData(i).toInt());
        }
        return data;
    }

    // A package made here, with one product type and the given pictures.
    QString MakePackage(const std::vector<std::pair<std::string, std::vector<uint8_t>>>& pictures) {
        cfgpush::FacPackageSource source;
        source.customerCode = "HERE";
        source.commonText = Bytes("[IPCamera-Config-File]\r\na=1\r\n");
        for (const auto& [name, bytes] : pictures) {
            source.pictures.push_back({name, bytes});
        }
        source.products.push_back({"IPC-A", Bytes("[IPCamera-Config-File]\r\nb=2\r\n")});
        std::vector<uint8_t> file;
        std::string problem;
        EXPECT_TRUE(cfgpush::BuildFacPackage(source, file, problem)) << problem;
        const QString path = m_dir.filePath(QStringLiteral("made%1.fac").arg(++m_made));
        std::ofstream out(path.toStdString(), std::ios::binary);
        out.write(reinterpret_cast<const char*>(file.data()),
                  static_cast<std::streamsize>(file.size()));
        return path;
    }

    static std::vector<uint8_t> Encoded(const QImage& image, const char* format) {
        QByteArray bytes;
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        EXPECT_TRUE(image.save(&buffer, format, 100));
        return {bytes.begin(), bytes.end()};
    }

    QTemporaryDir m_dir;
    int m_made = 0;
};

TEST_F(PackageWindowTest, AGoodPackageFillsTheBoxesInSortedOrderAndPreviewsItsTitleLogo) {
    OpenWindow();
    Window().OnFileChosen(Fac("full.fac"));

    EXPECT_EQ(ControlText(1003), Fac("full.fac"));
    EXPECT_EQ(Window().PackagePath(), Fac("full.fac"));
    // File order IPC-B (0), IPC-A (1), dome-x (2); the box sorts without
    // regard to case and keeps each entry's number as its item data.
    EXPECT_EQ(Items(1010), (std::vector<QString>{"dome-x", "IPC-A", "IPC-B"}));
    EXPECT_EQ(ItemData(1010), (std::vector<int>{2, 1, 0}));
    EXPECT_EQ(Box(1010)->currentIndex(), 0);
    EXPECT_EQ(Items(1011), (std::vector<QString>{"NO", "CUST-0042"}));
    EXPECT_EQ(Box(1011)->currentIndex(), 0);
    EXPECT_TRUE(m_messages.empty());

    // title_icon.png, a 4 x 2 picture, shown at its own size.
    ASSERT_TRUE(Window().Logo().HasBitmap());
    const QImage expected = PictureFile("title_icon.png");
    ASSERT_FALSE(expected.isNull());
    EXPECT_EQ(Window().Logo().Bitmap().convertToFormat(QImage::Format_RGB32),
              expected.convertToFormat(QImage::Format_RGB32));
    for (int id : {1011, 1013, 1022, 1023}) {
        EXPECT_TRUE(Window().ControlById(id)->isHidden()) << id;
    }
}

TEST_F(PackageWindowTest, TheNoEntryIsInTheInterfaceLanguage) {
    OpenWindow("zh_CN.UTF-8");
    Window().OnFileChosen(Fac("small.fac"));
    EXPECT_EQ(Items(1011), (std::vector<QString>{QString::fromUtf8("无"), "ACME"}));
    EXPECT_EQ(Items(1010), (std::vector<QString>{"IPC-A", "IPC-B"}));
    EXPECT_EQ(ItemData(1010), (std::vector<int>{1, 0}));
}

TEST_F(PackageWindowTest, AWrongMagicIsReportedAndLeavesNoPackage) {
    OpenWindow();
    Window().OnFileChosen(Fac("small.fac"));
    ASSERT_EQ(Box(1010)->count(), 2);

    Window().OnFileChosen(Fac("bad_magic.fac"));
    ASSERT_EQ(m_messages.size(), 1u);
    EXPECT_EQ(m_messages[0], "The configuration file is not in the correct format!");
    EXPECT_EQ(ControlText(1003), Fac("bad_magic.fac"));
    EXPECT_FALSE(Window().Package().IsLoaded());
    EXPECT_EQ(Box(1010)->count(), 0);
    EXPECT_EQ(Box(1011)->count(), 0);

    // Lengths that run past the end of the file are refused the same way.
    for (const char* name : {"past_end_product_data.fac", "short_magic.fac", "empty.fac"}) {
        Window().OnFileChosen(Fac(name));
    }
    EXPECT_EQ(m_messages.size(), 4u);
    EXPECT_EQ(m_messages.back(), "The configuration file is not in the correct format!");
}

TEST_F(PackageWindowTest, AFileThatCannotBeOpenedSaysNothingAndLeavesNoPackage) {
    OpenWindow();
    Window().OnFileChosen(Fac("small.fac"));
    Window().OnFileChosen(Fac("no_such_file.fac"));
    EXPECT_TRUE(m_messages.empty());
    EXPECT_FALSE(Window().Package().IsLoaded());
    EXPECT_EQ(Box(1010)->count(), 0);
    EXPECT_EQ(ControlText(1003), Fac("no_such_file.fac"));
}

TEST_F(PackageWindowTest, APackageWithoutPicturesKeepsTheOldPreview) {
    OpenWindow();
    Window().OnFileChosen(Fac("full.fac"));
    ASSERT_TRUE(Window().Logo().HasBitmap());
    const QImage shown = Window().Logo().Bitmap();

    Window().OnFileChosen(Fac("small.fac"));
    EXPECT_EQ(Window().Package().PicturesPresent(), 0);
    EXPECT_TRUE(Window().Logo().HasBitmap());
    EXPECT_EQ(Window().Logo().Bitmap(), shown);

    // Pictures without a title logo (title.jpg is no known kind) change nothing either.
    Window().OnFileChosen(Fac("unknown_picture.fac"));
    EXPECT_EQ(Window().Package().PicturesPresent(), 1);
    EXPECT_EQ(Window().Logo().Bitmap(), shown);
}

TEST_F(PackageWindowTest, ANewTitleLogoReplacesThePreviewAndJpegIsDecoded) {
    OpenWindow();
    Window().OnFileChosen(Fac("full.fac"));
    ASSERT_EQ(Window().Logo().Bitmap().size(), QSize(4, 2));

    QImage picture(40, 20, QImage::Format_RGB32);
    picture.fill(QColor(200, 30, 30));
    const QString path = MakePackage({{"title_icon.jpg", Encoded(picture, "JPG")}});
    Window().OnFileChosen(path);
    ASSERT_TRUE(Window().Logo().HasBitmap());
    const QImage shown = Window().Logo().Bitmap();
    EXPECT_EQ(shown.size(), QSize(40, 20));
    const QColor centre = shown.pixelColor(20, 10);
    EXPECT_NEAR(centre.red(), 200, 8);
    EXPECT_NEAR(centre.green(), 30, 8);
    EXPECT_NEAR(centre.blue(), 30, 8);

    // Upper-case extensions count too.
    const QString upper =
        MakePackage({{"title_icon.PNG", Encoded(PictureFile("wallpaper.png"), "PNG")}});
    Window().OnFileChosen(upper);
    EXPECT_EQ(Window().Logo().Bitmap().size(), QSize(3, 3));
}

TEST_F(PackageWindowTest, ATitleLogoWithAnotherExtensionIsNotPreviewed) {
    OpenWindow();
    Window().OnFileChosen(Fac("full.fac"));
    const QImage shown = Window().Logo().Bitmap();
    const QString path =
        MakePackage({{"title_icon.Jpg", Encoded(PictureFile("title_icon.png"), "JPG")}});
    Window().OnFileChosen(path);
    EXPECT_EQ(Window().Package().PicturesPresent(), 1);
    EXPECT_EQ(Window().Logo().Bitmap(), shown);
}

TEST_F(PackageWindowTest, ATitleLogoThatDoesNotDecodeLeavesAnEmptyFrame) {
    OpenWindow();
    Window().OnFileChosen(Fac("full.fac"));
    ASSERT_TRUE(Window().Logo().HasBitmap());
    // Not an image at all.
    const QString path = MakePackage({{"title_icon.png", Bytes("no picture here")}});
    Window().OnFileChosen(path);
    EXPECT_TRUE(Window().Logo().IsBitmapControl());
    EXPECT_FALSE(Window().Logo().HasBitmap());
    // A block that does not decipher: the last byte of the title block,
    // spoilt in the (scrambled) file, breaks the block's padding.
    Window().OnFileChosen(Fac("full.fac"));
    const QString spoilt = MakePackage({{"title_icon.png", Bytes("no picture here")}});
    cfgpush::FacPackage probe;
    ASSERT_EQ(probe.Load(spoilt.toStdString()), cfgpush::FacLoadResult::kLoaded);
    const cfgpush::FAC_BLOCK_INFO slot = probe.PictureSlot(cfgpush::PictureKind::kTitleLogo);
    {
        std::fstream file(spoilt.toStdString(), std::ios::in | std::ios::out | std::ios::binary);
        file.seekg(slot.offset + slot.length - 1);
        const char last = static_cast<char>(file.get());
        file.seekp(slot.offset + slot.length - 1);
        file.put(static_cast<char>(last ^ 0x5A));
    }
    ASSERT_EQ(probe.Load(spoilt.toStdString()), cfgpush::FacLoadResult::kLoaded);
    ASSERT_TRUE(probe.DecipherBlock(probe.PictureSlot(cfgpush::PictureKind::kTitleLogo)).empty());
    Window().OnFileChosen(spoilt);
    EXPECT_TRUE(Window().Logo().IsBitmapControl());
    EXPECT_FALSE(Window().Logo().HasBitmap());
    EXPECT_TRUE(m_messages.empty());
}

TEST_F(PackageWindowTest, ThePreviewHandlerFollowsTheCustomerCodeBox) {
    OpenWindow();
    Window().OnFileChosen(Fac("full.fac"));
    ASSERT_TRUE(Window().Logo().HasBitmap());

    // "NO" selected: the bitmap goes and the picture-type box stays disabled.
    Box(1011)->setCurrentIndex(0);
    emit Box(1011)->activated(0);
    EXPECT_FALSE(Window().Logo().HasBitmap());
    EXPECT_TRUE(Window().Logo().IsBitmapControl());
    EXPECT_FALSE(Box(1013)->isEnabled());

    // The customer code selected: the title logo is shown again, also
    // through the picture-type box.
    Box(1011)->setCurrentIndex(1);
    emit Box(1011)->activated(1);
    EXPECT_TRUE(Window().Logo().HasBitmap());
    Window().Logo().RemoveBitmap();
    emit Box(1013)->activated(0);
    EXPECT_TRUE(Window().Logo().HasBitmap());
}

TEST_F(PackageWindowTest, TheCustomerCodeBoxHoldsTwoEntriesAfterAnyNumberOfLoads) {
    OpenWindow();
    for (int i = 0; i < 3; ++i) {
        Window().OnFileChosen(Fac("full.fac"));
        Window().OnFileChosen(Fac("small.fac"));
    }
    EXPECT_EQ(Items(1011), (std::vector<QString>{"NO", "ACME"}));
    EXPECT_EQ(Items(1010), (std::vector<QString>{"IPC-A", "IPC-B"}));
}

TEST_F(PackageWindowTest, BrowseUsesTheChooserAndACancelChangesNothing) {
    OpenWindow();
    QString next = Fac("small.fac");
    int asked = 0;
    Window().SetFileChooser([&](QWidget* parent) {
        EXPECT_EQ(parent, &Window());
        ++asked;
        return next;
    });
    Click(1004);
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(Box(1010)->count(), 2);

    next.clear();  // cancelled
    Click(1004);
    EXPECT_EQ(asked, 2);
    EXPECT_EQ(ControlText(1003), Fac("small.fac"));
    EXPECT_EQ(Box(1010)->count(), 2);
}

// The real open-file dialog, driven as an operator would. The dialog lists
// its folder on a thread of its own, which may reset what was typed: the
// path is typed again until the dialog takes it (a cancel ends a dialog
// that never does, so the test cannot hang).
TEST_F(PackageWindowTest, BrowseOpensAFileDialogFilteredToPackages) {
    OpenWindow();
    Window().show();
    QStringList filters;
    int attempts = 0;
    QTimer poll;
    poll.setInterval(50);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        if (dialog == nullptr) {
            return;
        }
        filters = dialog->nameFilters();
        if (++attempts > 200) {
            dialog->reject();
            return;
        }
        // Typed into the file-name box, as an operator would.
        auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
        ASSERT_NE(name, nullptr);
        name->setText(Fac("small.fac"));
        QMetaObject::invokeMethod(dialog, "accept", Qt::QueuedConnection);
    });
    poll.start();
    Click(1004);
    poll.stop();
    ASSERT_GT(attempts, 0);
    ASSERT_LE(attempts, 200);
    EXPECT_EQ(filters, QStringList{QString::fromUtf8("升级文件 (*.fac)")});
    EXPECT_EQ(ControlText(1003), Fac("small.fac"));
    EXPECT_EQ(Items(1010), (std::vector<QString>{"IPC-A", "IPC-B"}));
}

// The message box itself, as the operator sees it.
TEST_F(PackageWindowTest, TheMessageBoxHasTheProgramsNameAndOnlyOk) {
    ui::SetMessageBoxObserver({});  // the real box
    OpenWindow();
    Window().show();
    QString caption;
    QString text;
    int buttons = 0;
    QTimer poll;
    poll.setInterval(20);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box == nullptr) {
            return;
        }
        caption = box->windowTitle();
        text = box->text();
        buttons = static_cast<int>(box->buttons().size());
        EXPECT_EQ(box->icon(), QMessageBox::NoIcon);
        box->button(QMessageBox::Ok)->click();
    });
    poll.start();
    Window().OnFileChosen(Fac("bad_magic.fac"));
    poll.stop();
    EXPECT_EQ(caption, "cfgpush");
    EXPECT_EQ(text, "The configuration file is not in the correct format!");
    EXPECT_EQ(buttons, 1);
}

}  // namespace
