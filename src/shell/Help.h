#pragma once

#include "operations/Prompter.h"

#include <QString>
#include <QStringList>
#include <QUrl>
#include <functional>

namespace kelvar {

// 0 to 3999 in Roman numerals; 0, and any number outside that range, gives
// the empty text.
QString RomanNumeral(int number);
// The about box's version text: "Version " and each number of a dotted
// version in Roman numerals, "Version VIII.I." for 8.1.0.
QString RomanVersionText(const QString& version);

// Finds a program by name: its path, or the empty text when there is none.
using ProgramLookup = std::function<QString(const QString& name)>;
// Looks on PATH.
QString FindOnPath(const QString& name);
// The path of the first of `names` that the lookup finds; empty when none is.
QString FirstProgram(const QStringList& names, const ProgramLookup& lookup);

// The system information tools of the Linux desktops, the first found is used.
inline const QStringList SystemInfoTools{
    QStringLiteral("gnome-system-monitor"),
    QStringLiteral("hardinfo"),
    QStringLiteral("kinfocenter"),
    QStringLiteral("lshw-gtk"),
};
// Starts the first system information tool found, detached; the user is
// told when there is none or it does not start.
void ShowSystemInfo(cPrompter& prompter, const ProgramLookup& lookup);

// Where the user guide is looked for, in order: the file $KELVAR_HELP names
// (when set), the guide installed beside the program
// (<programFolder>/../share/doc/kelvar-setup/kelvar-setup.html), and
// sourcePage, the guide of the source tree that a build tree runs from.
QStringList HelpPagePlaces(const QString& programFolder, const QString& sourcePage);

// The programs through which the desktop opens a web page, as Qt tries
// them: one of them on PATH means a browser can be found.
inline const QStringList WebPageOpeners{
    QStringLiteral("xdg-open"),  QStringLiteral("kde-open"),   QStringLiteral("kde-open5"),
    QStringLiteral("kfmclient"), QStringLiteral("gnome-open"), QStringLiteral("google-chrome"),
    QStringLiteral("firefox"),   QStringLiteral("mozilla"),    QStringLiteral("opera"),
};

// The user's web browser.
class cBrowser {
public:
    virtual ~cBrowser() = default;
    // Whether the desktop has a program that opens web pages.
    virtual bool Found() = 0;
    // False when the page could not be handed to that program.
    virtual bool Open(const QUrl& url) = 0;
};

// The Help menu: the user guide and the maker's home page in the browser.
// What fails is told through the prompter; nothing else changes.
class cHelp {
public:
    cHelp(cPrompter& prompter, cBrowser& browser, QStringList pagePlaces);

    // The first of the page places that is a file; empty when none is.
    QString HelpPage() const;
    void ShowContents();
    void ShowHomePage();

private:
    // Hands the page to the browser; tells the user when there is none, or
    // when it could not take the page.
    void Open(const QUrl& url, const QString& failedTitle, const QString& failedText);

    cPrompter* prompter_;
    cBrowser* browser_;
    QStringList pagePlaces_;
};

} // namespace kelvar
