#include "shell/Help.h"

#include "shell/Maker.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <utility>

namespace kelvar {

QString RomanNumeral(int number) {
    if (number < 0 || number > 3999) {
        return {};
    }
    // Each decade takes the next pair of letters: I V X, X L C, C D M, and
    // the thousands only M.
    static const QString letters = QStringLiteral("IVXLCDM");
    QString numeral;
    for (qsizetype at = 0; number > 0; number /= 10, at += 2) {
        const QString unit = letters.mid(at, 1);
        const QString five = letters.mid(at + 1, 1);
        const QString ten = letters.mid(at + 2, 1);
        const int digit = number % 10;
        QString decade;
        if (digit == 9) {
            decade = unit + ten;
        } else if (digit == 4) {
            decade = unit + five;
        } else {
            decade = (digit >= 5 ? five : QString()) + unit.repeated(digit % 5);
        }
        numeral.prepend(decade);
    }
    return numeral;
}

QString RomanVersionText(const QString& version) {
    QStringList numerals;
    for (const QString& number : version.split(u'.')) {
        bool ok = false;
        const int value = number.toInt(&ok);
        numerals.append(ok ? RomanNumeral(value) : QString());
    }
    return QStringLiteral("Version ") + numerals.join(u'.');
}

QString FindOnPath(const QString& name) {
    return QStandardPaths::findExecutable(name);
}

QString FirstProgram(const QStringList& names, const ProgramLookup& lookup) {
    for (const QString& name : names) {
        if (QString path = lookup(name); !path.isEmpty()) {
            return path;
        }
    }
    return {};
}

void ShowSystemInfo(cPrompter& prompter, const ProgramLookup& lookup) {
    const QString tool = FirstProgram(SystemInfoTools, lookup);
    if (tool.isEmpty() || !QProcess::startDetached(tool, {})) {
        prompter.Ask(QString::fromLatin1(ApplicationTitle),
                     QStringLiteral("System Information Is Unavailable At This Time"),
                     MessageIcon::None, MessageButtons::Ok);
    }
}

QStringList HelpPagePlaces(const QString& programFolder, const QString& sourcePage) {
    QStringList places;
    if (const QString named = qEnvironmentVariable("KELVAR_HELP"); !named.isEmpty()) {
        places.append(named);
    }
    places.append(QDir::cleanPath(programFolder +
                                  QStringLiteral("/../share/doc/kelvar-setup/kelvar-setup.html")));
    places.append(sourcePage);
    return places;
}

cHelp::cHelp(cPrompter& prompter, cBrowser& browser, QStringList pagePlaces)
    : prompter_(&prompter), browser_(&browser), pagePlaces_(std::move(pagePlaces)) {}

QString cHelp::HelpPage() const {
    for (const QString& place : pagePlaces_) {
        if (QFileInfo(place).isFile()) {
            return place;
        }
    }
    return {};
}

void cHelp::ShowContents() {
    const QString page = HelpPage();
    if (page.isEmpty()) {
        prompter_->Ask(QStringLiteral("Help File Error"), QStringLiteral("Help File Not Avalable"),
                       MessageIcon::Exclamation, MessageButtons::Ok);
        return;
    }
    Open(QUrl::fromLocalFile(QFileInfo(page).absoluteFilePath()),
         QStringLiteral("Help Not Available"), QStringLiteral("Help File Error"));
}

void cHelp::ShowHomePage() {
    Open(QUrl(QString::fromLatin1(MakerHomePage)), QStringLiteral("URL Failed"),
         QStringLiteral("Web Page not Opened"));
}

void cHelp::Open(const QUrl& url, const QString& failedTitle, const QString& failedText) {
    // Where the page is, so that it can be opened another way.
    const QString where = url.isLocalFile()
                              ? QStringLiteral("\r\n\r\nThe user guide is %1")
                                    .arg(QDir::toNativeSeparators(url.toLocalFile()))
                              : QStringLiteral("\r\n\r\nThe page is %1").arg(url.toString());
    // The desktop finds the program for web pages itself: no page has to be
    // written to ask it.
    if (!browser_->Found()) {
        prompter_->Ask(QStringLiteral("Browser Not Found"),
                       QStringLiteral("Could not find associated Browser") + where,
                       MessageIcon::Exclamation, MessageButtons::Ok);
    } else if (!browser_->Open(url)) {
        prompter_->Ask(failedTitle, failedText + where, MessageIcon::Exclamation,
                       MessageButtons::Ok);
    }
}

} // namespace kelvar
