#include "shell/Registry.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QSettings>
#include <QStringDecoder>
#include <QStringTokenizer>
#include <QVariant>

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

// Writes '%' and the given ASCII characters as %XX, so that two different
// names never become the same.
QString Escaped(QStringView text, QStringView special) {
    QString out;
    out.reserve(text.size());
    for (const QChar c : text) {
        if (c == u'%' || special.contains(c))
            out += u'%' + QString::number(c.unicode(), 16).toUpper().rightJustified(2, u'0');
        else
            out += c;
    }
    return out;
}

// Whether QSettings reads this line of a settings file without losing any of
// it, judged strictly: QSettings lets a quote, a backslash or a ';' carry or
// cut a line, which the lines it writes itself never need.
bool LineWellFormed(QStringView line) {
    while (line.startsWith(u' ') || line.startsWith(u'\t'))
        line = line.sliced(1);
    if (line.isEmpty() || line.startsWith(u';'))
        return true;
    const qsizetype nameEnd = line.startsWith(u'[') ? line.indexOf(u']') : line.indexOf(u'=');
    if (nameEnd < 0)
        return false;
    for (const QChar c : line.first(nameEnd))
        if (c == u'"' || c == u'\\' || c == u';')
            return false;
    bool quoted = false;
    for (qsizetype i = nameEnd + 1; i < line.size(); ++i) {
        const QChar c = line[i];
        if (c == u'\\' && ++i == line.size())
            return false; // it would carry the line on
        if (c == u'"')
            quoted = !quoted;
        else if (c == u';' && !quoted)
            break; // the rest of the line is a comment
    }
    return !quoted;
}

// QSettings skips what it cannot parse and leaves it out when it next writes
// the file, and it reports it only the first time the process parses the
// file. So the file is checked here before each use; one that fails is never
// rewritten but set aside whole. Text that is not UTF-8 fails too, since
// QSettings would put replacement characters in its place without a word.
bool WellFormed(const QByteArray& data) {
    QStringDecoder utf8(QStringDecoder::Utf8);
    QString text = utf8.decode(data);
    if (utf8.hasError())
        return false;
    text.replace(u'\r', u'\n');
    for (const QStringView line : QStringTokenizer(text, u'\n'))
        if (!LineWellFormed(line))
            return false;
    return true;
}

// QSettings reads a file that starts with a UTF-8 byte-order mark, as some
// editors write them, but calls it malformed, and a file QSettings calls
// malformed is not written here. QSettings leaves the mark out when it
// writes, so dropping it first changes nothing else.
bool WithoutByteOrderMark(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return !file.exists();
    const QByteArray data = file.readAll();
    if (!data.startsWith("\xEF\xBB\xBF"))
        return true;
    QSaveFile out(path);
    return out.open(QIODevice::WriteOnly) && out.write(data.sliced(3)) == data.size() - 3 &&
           out.commit();
}

} // namespace

cRegistry::cRegistry() : cRegistry(QString()) {}

cRegistry::cRegistry(const QString& filePath)
    : folder_(UserSettingsFolder()), filePath_(filePath) {}

QString cRegistry::FileName() const {
    if (!filePath_.isEmpty())
        return filePath_;
    return folder_ + u'/' + Escaped(appname_, u"/\\") + QStringLiteral(".ini");
}

bool cRegistry::RegGet() {
    setting_.clear();
    if (!NamesUsable(false))
        return false;
    const QString path = FileName();
    if (!FileUsable(path))
        return false;
    const QSettings store(path, QSettings::IniFormat);
    const QString key = StoreKey();
    const QVariant value = store.value(key);
    // A value QSettings cannot decode reads as invalid, as a missing one does.
    if (store.contains(key) && value.typeId() != QMetaType::QString)
        return Fail(Status::NotText, QStringLiteral("The setting \"%1\" in section \"%2\" of %3 "
                                                    "is not a single text.")
                                         .arg(key_, section_, path));
    setting_ = value.toString();
    return Succeed();
}

bool cRegistry::RegSave() {
    return Change(false);
}

bool cRegistry::RegDel() {
    return Change(true);
}

bool cRegistry::Change(bool bDelete) {
    if (!NamesUsable(!bDelete))
        return false;
    const QString path = FileName();
    if (!FileUsable(path)) {
        // A file that reads as empty holds no key to remove.
        if (bDelete)
            return Succeed();
        if (!SetAside(path))
            return false;
    }
    const QString notWritten = QStringLiteral("The settings could not be written to %1.").arg(path);
    if (!WithoutByteOrderMark(path))
        return Fail(Status::WriteFailed, notWritten);
    QSettings store(path, QSettings::IniFormat);
    // Parse every section now, so that status() speaks for the whole file.
    static_cast<void>(store.allKeys());
    if (store.status() != QSettings::NoError)
        return Fail(Status::WriteFailed, notWritten);
    const QString key = StoreKey();
    const QVariant before = store.value(key);
    if (bDelete)
        store.remove(key);
    else
        store.setValue(key, setting_);
    store.sync();
    if (store.status() == QSettings::NoError)
        return Succeed();
    // QSettings keeps a change it could not write and writes it along with a
    // later one, even one made through another QSettings object. Put the old
    // value back so that a change reported as failed never turns up later.
    if (before.isValid())
        store.setValue(key, before);
    else
        store.remove(key);
    return Fail(Status::WriteFailed, notWritten);
}

bool cRegistry::NamesUsable(bool bSaving) {
    const bool namedByApp = filePath_.isEmpty();
    if ((namedByApp && appname_.isEmpty()) || section_.isEmpty() || key_.isEmpty())
        return Fail(Status::BadInput,
                    QStringLiteral("A setting needs an application name, a section and a key."));
    if ((namedByApp && !appname_.isValidUtf16()) || !section_.isValidUtf16() ||
        !key_.isValidUtf16() || (bSaving && !setting_.isValidUtf16()))
        return Fail(Status::BadInput,
                    QStringLiteral("A setting's names and value must be valid Unicode text."));
    return true;
}

bool cRegistry::FileUsable(const QString& path) {
    QFile file(path);
    if (!file.exists())
        return true;
    QByteArray data;
    if (file.open(QIODevice::ReadOnly))
        data = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return Fail(Status::Unreadable, QStringLiteral("The settings file %1 cannot be read: %2.")
                                            .arg(path, file.errorString()));
    if (!WellFormed(data))
        return Fail(Status::Damaged, QStringLiteral("The settings file %1 is damaged.").arg(path));
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

QString cRegistry::StoreKey() const {
    QString group = Escaped(section_, u"/");
    // QSettings reads a group spelt "general" in any case back as the top
    // level, where the groups of the other spellings would meet it.
    if (group.compare(u"general", Qt::CaseInsensitive) == 0)
        group = Escaped(group.left(1), group.left(1)) + group.mid(1);
    return group + u'/' + Escaped(key_, u"/");
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
