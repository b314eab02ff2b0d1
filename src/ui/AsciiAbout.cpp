#include "ui/AsciiAbout.h"

#include "shell/Maker.h"
#include "ui/Look.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>
#include <utility>

namespace kelvar {

namespace {

constexpr char Disclaimer[] =
    "Warning: this program changes the settings of Actimar sensors that drive hydraulic and "
    "pneumatic cylinders. A wrong setting, or a change applied while the machine runs, can make "
    "a cylinder move suddenly and with great force. Before you apply a change, make sure that "
    "nobody is in reach of the machine and that it can move safely. You are responsible for the "
    "safe setup of the equipment. The program is provided \"as is\", without warranty of any "
    "kind.";

} // namespace

AsciiAbout::AsciiAbout(cPrompter& prompter, QWidget* parent, ProgramLookup lookup)
    : QDialog(parent) {
    setObjectName(QStringLiteral("AsciiAbout"));
    const QString title = QString::fromLatin1(ApplicationTitle);
    setWindowTitle(QStringLiteral("About ") + title);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(MakerNameWithShadow());
    layout->addWidget(CentredLabel(title, QStringLiteral("lblTitle"), 1.5, true));
    layout->addWidget(CentredLabel(RomanVersionText(QStringLiteral(KELVAR_VERSION)),
                                   QStringLiteral("lblVersion")));
    layout->addWidget(
        CentredLabel(QString::fromUtf8(FileDescription), QStringLiteral("lblDescription")));
    layout->addSpacing(12);
    auto* disclaimer = new QLabel(QString::fromLatin1(Disclaimer));
    disclaimer->setObjectName(QStringLiteral("lblDisclaimer"));
    disclaimer->setWordWrap(true);
    layout->addWidget(disclaimer);

    auto* ok = new QPushButton(QStringLiteral("OK"));
    ok->setObjectName(QStringLiteral("cmdOK"));
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    auto* sysInfo = new QPushButton(QStringLiteral("&System Info..."));
    sysInfo->setObjectName(QStringLiteral("cmdSysInfo"));
    connect(sysInfo, &QPushButton::clicked, this,
            [&prompter, lookup = std::move(lookup)] { ShowSystemInfo(prompter, lookup); });
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ok);
    buttons->addWidget(sysInfo);
    layout->addLayout(buttons);
    setMinimumWidth(fontMetrics().horizontalAdvance(QLatin1Char('M')) * 36);
}

} // namespace kelvar
