#include "fwbatch/app/AboutDlg.h"

#include <QLabel>
#include <QPushButton>

#include "fwbatch/engine/FwbatchStringIds.h"
#include "ui/ControlIds.h"
#include "ui/DialogUnits.h"

namespace fwbatch {
namespace {

constexpr int kNameLabel = 101;
constexpr int kVersionLabel = 102;
constexpr int kDateLabel = 103;

}  // namespace

CAboutDlg::CAboutDlg(const strings::StringTable& texts, const QString& versionText,
                     const QString& buildDate, QWidget* parent)
    : QDialog(parent) {
    setWindowTitle(QString::fromStdString(texts.Load(ids::kAboutMenu)));
    setFont(ui::DialogFont(9));
    const ui::DialogUnits units(font());
    setFixedSize(units.Size(207, 100));
    const struct {
        int id;
        uint32_t caption;
        QString value;
        int y;
    } lines[] = {
        {kNameLabel, ids::kAboutName, QStringLiteral("Fwbatch"), 14},
        {kVersionLabel, ids::kAboutVersion, versionText, 32},
        {kDateLabel, ids::kAboutDate, buildDate, 50},
    };
    for (const auto& line : lines) {
        auto* label = new QLabel(QString::fromStdString(texts.Load(line.caption)) + line.value, this);
        ui::SetControlId(label, line.id);
        label->setGeometry(units.Rect(42, line.y, 150, 10));
    }
    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ui::SetControlId(ok, 1);  // IDOK
    ok->setGeometry(units.Rect(150, 76, 50, 14));
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
}

QString CAboutDlg::NameLine() const {
    return static_cast<QLabel*>(ui::FindControl(this, kNameLabel))->text();
}
QString CAboutDlg::VersionLine() const {
    return static_cast<QLabel*>(ui::FindControl(this, kVersionLabel))->text();
}
QString CAboutDlg::DateLine() const {
    return static_cast<QLabel*>(ui::FindControl(this, kDateLabel))->text();
}

}  // namespace fwbatch
