#include "shell/Registry.h"

#include <QDir>
#include <QFile>
#include <QFileDevice>
#include <QFileInfo>
#include <QHash>
#include <QIODevice>
#include <QSettings>
#include <QStorageInfo>
#include <QStringDecoder>
#include <QUtf8StringView>
#include <QVariant>
#include <algorithm>
#include <utility>

namespace kelvar {

namespace {

QString UserSettingsFolder() {
    const QString configHome = qEnvironmentVariable("XDG_CONFIG_HOME");
    // A relative value is to be ignored, like an unset one.
    const QString base = QDir::isAbsolutePath(configHome)
                             ? configHome
                             : QDir::homePath() + QStringLiteral("/.config");
    return QDir::cleanPath(base + QStringLiteral("/Kelvar"));
}

QString Percent(QChar c) {
    return u'%' + QString::number(c.unicode(), 16).toUpper().rightJustified(2, u'0');
}

// Writes '%' and every character `special(text, index)` picks as %XX, so that
// two different names never become the same.
template <typename Special> QString Escaped(QStringView text, Special special) {
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == u'%' || special(text, i))
            out += Percent(text[i]);
        else
            out += text[i];
    }
    return out;
}

constexpr QChar ByteOrderMark(0xFEFF);

bool IsBlank(QChar c) {
    return c == u' ' || c == u'\t';
}

QStringView WithoutBlanks(QStringView text) {
    while (!text.isEmpty() && IsBlank(text.front()))
        text = text.sliced(1);
    while (!text.isEmpty() && IsBlank(text.back()))
        text.chop(1);
    return text;
}

// A section or key name as the store and the file spell it: QSettings takes
// '/' for a group separator, and the rest would not read back from a line.
QString Spelt(QStringView name) {
    return Escaped(name, [](QStringView text, qsizetype i) {
        const QChar c = text[i];
        const bool atEnd = i == 0 || i == text.size() - 1;
        return c == u'/' || c == u'=' || c.unicode() < 0x20 || (atEnd && c == u' ') ||
               (i == 0 && (c == u';' || c == u'#' || c == u'['));
    });
}

// A name from the file, spelt as the store spells it: there, %XX stands for
// the character with that code and any other '%' for itself.
QString NameRead(QStringView name) {
    const auto digit = [name](qsizetype i) -> int {
        return i < name.size()
                   ? QStringView(u"0123456789abcdef").indexOf(name[i], 0, Qt::CaseInsensitive)
                   : -1;
    };
    QString out;
    for (qsizetype i = 0; i < name.size(); ++i) {
        if (name[i] == u'%' && digit(i + 1) >= 0 && digit(i + 2) >= 0) {
            out += QChar(static_cast<char16_t>(digit(i + 1) * 16 + digit(i + 2)));
            i += 2;
        } else {
            out += name[i];
        }
    }
    return Spelt(out);
}

struct ValueCode {
    QChar c;
    QStringView code;
};
// What stands for what inside a value in quotes.
constexpr ValueCode ValueCodes[] = {{u'\r', u"%0D"}, {u'\n', u"%0A"}, {u'%', u"%25"}};

// A value as the file holds it: as it is, unless a line would not give it
// back so.
QString FileValue(const QString& value) {
    const bool wrapped = value.size() > 1 && value.startsWith(u'"') && value.endsWith(u'"');
    if (!wrapped && !value.contains(u'\r') && !value.contains(u'\n') &&
        WithoutBlanks(value).size() == value.size())
        return value;
    QString out(u'"');
    for (const QChar c : value) {
        const auto code = std::find_if(std::begin(ValueCodes), std::end(ValueCodes),
                                       [c](const ValueCode& v) { return v.c == c; });
        if (code == std::end(ValueCodes))
            out += c;
        else
            out += code->code;
    }
    return out + u'"';
}

QString ReadValue(QStringView text) {
    text = WithoutBlanks(text);
    if (text.size() < 2 || !text.startsWith(u'"') || !text.endsWith(u'"'))
        return text.toString();
    const QStringView inside = text.sliced(1, text.size() - 2);
    QString out;
    for (qsizetype i = 0; i < inside.size(); ++i) {
        const auto code =
            std::find_if(std::begin(ValueCodes), std::end(ValueCodes), [&](const ValueCode& v) {
                return inside.sliced(i).startsWith(v.code, Qt::CaseInsensitive);
            });
        if (code == std::end(ValueCodes)) {
            out += inside[i];
        } else {
            out += code->c;
            i += code->code.size() - 1;
        }
    }
    return out;
}

// One line of the file. A byte-order mark at its start is no part of it (one
// only: the file's writer puts one before a name that starts with U+FEFF).
QString LineText(const QByteArray& bytes) {
    if (!QUtf8StringView(bytes).isValidUtf8())
        return QString::fromLatin1(bytes);
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless |
                                                     QStringDecoder::Flag::ConvertInitialBom);
    QString text = decoder(bytes);
    if (text.startsWith(ByteOrderMark))
        text.remove(0, 1);
    return text;
}

// Reads the text of a settings file into `map`, one path per value: section
// '/' key, each name spelt as first met in the file. Returns the lines that
// do not read.
QStringList ReadSettings(QByteArray data, QSettings::SettingsMap& map) {
    // Some editors start the file with a UTF-8 byte-order mark.
    if (data.startsWith("\xEF\xBB\xBF"))
        data.remove(0, 3);
    data.replace("\r\n", "\n").replace('\r', '\n');
    QHash<QString, QString> spellings; // by case-folded name
    const auto spelt = [&spellings](const QString& name) {
        QString& first = spellings[name.toCaseFolded()];
        if (first.isEmpty())
            first = name;
        return first;
    };
    QStringList skipped;
    QString section; // empty before the first section and after one that does not read
    const QList<QByteArray> lines = data.split('\n');
    for (qsizetype n = 0; n < lines.size(); ++n) {
        const QString text = LineText(lines[n]);
        const QStringView line = WithoutBlanks(text);
        if (line.isEmpty() || line.startsWith(u';') || line.startsWith(u'#'))
            continue;
        const qsizetype equals = line.indexOf(u'=');
        if (line.startsWith(u'[')) {
            section.clear();
            if (line.endsWith(u']'))
                section = WithoutBlanks(line.sliced(1, line.size() - 2)).toString();
            if (!section.isEmpty()) {
                section = spelt(NameRead(section));
                continue;
            }
        } else if (equals > 0 && !section.isEmpty()) {
            const QString key = NameRead(WithoutBlanks(line.first(equals)));
            map.insert(spelt(section + u'/' + key), ReadValue(line.sliced(equals + 1)));
            continue;
        }
        skipped.append(QStringLiteral("line %1: %2").arg(n + 1).arg(line));
    }
    return skipped;
}

bool ReadFormat(QIODevice& device, QSettings::SettingsMap& map) {
    // The store names the lines skipped (FileReadable); here they only stay out.
    ReadSettings(device.readAll(), map);
    return true;
}

bool WriteFormat(QIODevice& device, const QSettings::SettingsMap& map) {
    QString text;
    QStringView section;
    // Every path has a section (see ReadSettings and StoredPath), and in a
    // sorted map the paths of a section are neighbours.
    for (auto it = map.cbegin(); it != map.cend(); ++it) {
        const QStringView path = it.key();
        const qsizetype slash = path.indexOf(u'/');
        if (path.first(slash) != section) {
            if (!text.isEmpty())
                text += u'\n';
            section = path.first(slash);
            text += QStringLiteral("[%1]\n").arg(section);
        }
        const QStringView key = path.sliced(slash + 1);
        // The reader drops one byte-order mark at the start of a line.
        if (key.startsWith(ByteOrderMark))
            text += ByteOrderMark;
        text += QStringLiteral("%1=%2\n").arg(key, FileValue(it.value().toString()));
    }
    const QByteArray bytes = text.toUtf8();
    // QSaveFile (Qt 6.4) takes no notice when the last of its buffer cannot
    // be written out, and puts the file cut short in place of the old one.
    // Written out here, a short write fails the save.
    auto* const file = qobject_cast<QFileDevice*>(&device);
    return device.write(bytes) == bytes.size() && file != nullptr && file->flush();
}

// Our own format: QSettings' IniFormat would read commas as lists, a
// backslash as an escape and ';' as the start of a comment.
QSettings::Format SettingsFormat() {
    // The store matches names whatever their case itself: outside Windows,
    // QSettings keeps every format case-sensitive.
    static const QSettings::Format format =
        QSettings::registerFormat(QStringLiteral("ini"), ReadFormat, WriteFormat);
    return format;
}

} // namespace

cRegistry::cRegistry() : cRegistry(QString()) {}

cRegistry::cRegistry(const QString& filePath)
    : folder_(UserSettingsFolder()), filePath_(filePath) {}

QString cRegistry::FileName() const {
    if (!filePath_.isEmpty())
        return filePath_;
    return folder_ + QStringLiteral("/Kelvar Setup Software v8.1.0.ini");
}

bool cRegistry::RegGet() {
    setting_.clear();
    if (!NamesUsable(false))
        return false;
    const QString path = FileName();
    if (!FileReadable(path))
        return false;
    QSettings store(path, SettingsFormat());
    setting_ = store.value(StoredPath(store, section_, key_)).toString();
    return Succeed();
}

bool cRegistry::RegSave() {
    return NamesUsable(true) && Apply({section_, key_, setting_});
}

bool cRegistry::RegDel() {
    return NamesUsable(false) && Apply({section_, key_, std::nullopt});
}

void cRegistry::BeginChanges() {
    gathered_.emplace();
}

bool cRegistry::CommitChanges() {
    const QList<Change> changes = std::exchange(gathered_, std::nullopt).value_or(QList<Change>());
    return changes.isEmpty() ? Succeed() : Write(changes);
}

bool cRegistry::Apply(Change change) {
    if (!gathered_)
        return Write({std::move(change)});
    gathered_->append(std::move(change));
    return Succeed();
}

bool cRegistry::Write(const QList<Change>& changes) {
    const QString path = FileName();
    if (!FileReadable(path)) {
        // A file that reads as empty holds no key to remove.
        if (std::none_of(changes.begin(), changes.end(),
                         [](const Change& change) { return change.setting.has_value(); }))
            return Succeed();
        if (!SetAside(path))
            return false;
    }
    const QString notWritten = QStringLiteral("The settings could not be written to %1: %2.")
                                   .arg(path, WriteFailureReason(path));
    QSettings store(path, SettingsFormat());
    // What QSettings could not read it would write over.
    if (store.status() != QSettings::NoError)
        return Fail(Status::WriteFailed, notWritten);
    QList<std::pair<QString, QVariant>> before;
    for (const Change& change : changes) {
        const QString key = StoredPath(store, change.section, change.key);
        before.append({key, store.value(key)});
        if (change.setting)
            store.setValue(key, *change.setting);
        else
            store.remove(key);
    }
    store.sync();
    if (store.status() == QSettings::NoError)
        return Succeed();
    // QSettings keeps a change it could not write and writes it along with a
    // later one, even one made through another QSettings object. Put the old
    // values back, the first change's last, so that a change reported as
    // failed never turns up later.
    for (auto it = before.crbegin(); it != before.crend(); ++it) {
        if (it->second.isValid())
            store.setValue(it->first, it->second);
        else
            store.remove(it->first);
    }
    return Fail(Status::WriteFailed, notWritten);
}

QString cRegistry::WriteFailureReason(const QString& path) {
    const QFileInfo file(path);
    const QFileInfo folder(file.absolutePath());
    if (folder.exists() && !folder.isWritable())
        return QStringLiteral("the folder %1 is read-only").arg(folder.absoluteFilePath());
    if (file.exists() && !file.isWritable())
        return QStringLiteral("the file is read-only");
    const QStorageInfo storage(folder.exists() ? folder.absoluteFilePath() : QDir::homePath());
    if (storage.isValid() && storage.isReadOnly())
        return QStringLiteral("the disk %1 is read-only").arg(storage.rootPath());
    if (storage.isValid() && storage.bytesAvailable() < 64 * 1024)
        return QStringLiteral("the disk %1 is full").arg(storage.rootPath());
    return QStringLiteral("the system refused to write it");
}

bool cRegistry::NamesUsable(bool bSaving) {
    if (section_.isEmpty() || key_.isEmpty())
        return Fail(Status::BadInput, QStringLiteral("A setting needs a section and a key."));
    if (!section_.isValidUtf16() || !key_.isValidUtf16() || (bSaving && !setting_.isValidUtf16()))
        return Fail(Status::BadInput,
                    QStringLiteral("A setting's names and value must be valid Unicode text."));
    return true;
}

bool cRegistry::FileReadable(const QString& path) {
    QFile file(path);
    if (!file.exists())
        return true;
    QByteArray data;
    if (file.open(QIODevice::ReadOnly))
        data = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return Fail(Status::Unreadable, QStringLiteral("The settings file %1 cannot be read: %2.")
                                            .arg(path, file.errorString()));
    // QSettings reads the file only when it has changed since this process
    // last read it, so the lines it skips are looked for here each time.
    QSettings::SettingsMap unused;
    for (const QString& line : ReadSettings(data, unused))
        if (!skippedLines_.contains(line))
            skippedLines_.append(line);
    return true;
}

bool cRegistry::SetAside(const QString& path) {
    QString target = path + QStringLiteral(".bad");
    for (int n = 2; QFileInfo::exists(target); ++n)
        target = path + QStringLiteral(".bad") + QString::number(n);
    if (!QDir().rename(path, target))
        return Fail(Status::WriteFailed,
                    QStringLiteral("The settings file %1 could not be used, nor moved aside to "
                                   "start a new one.")
                        .arg(path));
    setAsidePath_ = target;
    return true;
}

// Names match whatever their case; one the file has keeps its spelling.
QString cRegistry::StoredPath(QSettings& store, const QString& section, const QString& key) {
    const auto spelt = [](const QStringList& names, const QString& name) {
        const auto it = std::find_if(names.begin(), names.end(), [&name](const QString& known) {
            return known.compare(name, Qt::CaseInsensitive) == 0;
        });
        return it == names.end() ? name : *it;
    };
    const QString group = spelt(store.childGroups(), Spelt(section));
    store.beginGroup(group);
    const QString stored = spelt(store.childKeys(), Spelt(key));
    store.endGroup();
    return group + u'/' + stored;
}

bool cRegistry::Succeed() {
    status_ = Status::Ok;
    errorText_.clear();
    return true;
}

bool cRegistry::Fail(Status status, const QString& text) {
    status_ = status;
    errorText_ = text;
    return false;
}

} // namespace kelvar
