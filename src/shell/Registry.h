#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <optional>

class QSettings;

namespace kelvar {

// The per-user settings store: text values addressed by section and key.
// Set Section and Key (both keep their values between calls), then RegGet
// and read Setting, or set Setting and RegSave, or RegDel.
//
// The store is an INI file with one group per section. Unless the object was
// given a file, it is "Kelvar Setup Software v8.1.0.ini" in
// $XDG_CONFIG_HOME/Kelvar, or in ~/.config/Kelvar when XDG_CONFIG_HOME is
// unset, empty or not an absolute path. Names and values may hold any text
// and come back exactly as they were stored. Section and key names match
// whatever their case, as in the Windows registry; a name the file already
// has keeps its spelling there.
//
// People edit the file by hand, so it reads as it looks:
// - "[Section]" starts a section; the line holds nothing else.
// - "key=value": the value is everything after the first '=', without the
//   blanks (spaces and tabs) at either end. Commas, semicolons, backslashes,
//   quotes and '#' stay in it.
// - A value that starts and ends with '"' is read without those two quotes,
//   and inside them %0D, %0A and %25 stand for CR, LF and '%' (not backslash
//   codes, so that a quoted Windows path reads as written). The store writes
//   a value so only when it must: when it holds a line break, starts or ends
//   with a blank, or is itself wrapped in quotes. Every other value is
//   written as it is.
// - Blank lines and lines starting with ';' or '#' are comments. A line that
//   is not valid UTF-8 is read as Latin-1. One byte-order mark at the start
//   of a line is no part of it. When a key appears twice, the later line
//   counts.
// - In a name, %XX stands for the character with that hexadecimal code. The
//   store writes '%', '/', '=', control characters, a blank at either end
//   and a leading ';', '#' or '[' of a name so, and a byte-order mark before
//   a name that starts with one.
// A line that does not read (no '=', an empty name, a '[' line without a
// closing ']', a value outside any readable section) is left out, and named
// in SkippedLines; the rest of the file still counts. The file is written as
// UTF-8 and keeps no comments or skipped lines.
//
// Every RegSave and RegDel reaches the file before it returns, which is
// replaced whole (written beside it, then renamed); a change that could not
// be written returns false and leaves the store as it was. Between
// BeginChanges and CommitChanges they are gathered instead, and all of them
// reach the file in one replacement: whenever the program stops, the file
// holds all of them or none. A settings file that cannot be read at all
// reads as empty (RegGet returns false, Setting is empty); the next save
// moves it aside to "<file>.bad" (or .bad2, .bad3 ...) and starts a new
// file, so nothing the user had is lost.
class cRegistry {
public:
    enum class Status {
        Ok,
        // Section or Key is empty, or a
        // name or the Setting to save is not valid UTF-16.
        BadInput,
        // The settings file exists but cannot be read (RegGet only).
        Unreadable,
        // The change did not reach the file, or a file that reads as empty
        // could not be moved aside; the store is as it was.
        WriteFailed,
    };

    // The per-user file. The folder is fixed here, from the environment at
    // the time.
    cRegistry();
    // Always this file; an empty path means the per-user file, as above.
    explicit cRegistry(const QString& filePath);

    const QString& Section() const { return section_; }
    void setSection(const QString& value) { section_ = value; }
    const QString& Key() const { return key_; }
    void setKey(const QString& value) { key_ = value; }
    const QString& Setting() const { return setting_; }
    void setSetting(const QString& value) { setting_ = value; }

    // Reads the value under (Section, Key) into Setting. A missing
    // value is no failure: Setting becomes empty. On failure Setting is empty
    // too, so a caller that only wants its default may ignore the result.
    bool RegGet();
    // Stores Setting under (Section, Key).
    bool RegSave();
    // Removes Key from Section. Removing a key that is not there, or from a
    // file that reads as empty, succeeds and changes nothing.
    bool RegDel();

    // From here on RegSave and RegDel check their names and keep the change
    // (returning true), and RegGet still reads the file as it is; the file
    // changes at CommitChanges.
    void BeginChanges();
    // Writes every change kept since BeginChanges, in order, in one
    // replacement of the file, and stops keeping them. When the file could
    // not be written, none of them is made.
    bool CommitChanges();

    // The outcome of the last RegGet, RegSave, RegDel or CommitChanges, and a
    // sentence saying what went wrong (empty when Ok).
    Status LastStatus() const { return status_; }
    const QString& ErrorText() const { return errorText_; }

    // The file the next call works on.
    QString FileName() const;
    // Where this object moved an unreadable settings file before it started a
    // new one; empty when it moved none.
    const QString& SetAsidePath() const { return setAsidePath_; }
    // Every line this object found unreadable in the files it read, once
    // each, as "line N: text". The file loses them the next time it is
    // written, so they stay listed here after that.
    const QStringList& SkippedLines() const { return skippedLines_; }

private:
    struct Change {
        QString section;
        QString key;
        std::optional<QString> setting; // none to remove the key
    };

    // Writes the change, or keeps it while changes are gathered.
    bool Apply(Change change);
    bool Write(const QList<Change>& changes);
    bool NamesUsable(bool bSaving);
    // Why a change could not reach the file, in words for the user.
    static QString WriteFailureReason(const QString& path);
    // False, with the status set, when the file exists but cannot be read.
    // Notes the lines of it that do not read.
    bool FileReadable(const QString& path);
    bool SetAside(const QString& path);
    static QString StoredPath(QSettings& store, const QString& section, const QString& key);
    bool Succeed();
    bool Fail(Status status, const QString& text);

    QString folder_;
    QString filePath_;
    QString section_;
    QString key_;
    QString setting_;
    Status status_ = Status::Ok;
    QString errorText_;
    QString setAsidePath_;
    QStringList skippedLines_;
    std::optional<QList<Change>> gathered_; // while changes are gathered
};

} // namespace kelvar
