#include "IniStatusFile.h"

#include <QElapsedTimer>
#include <QFile>
#include <QList>
#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace IniStatusFile
{

namespace
{

    enum class Mode { Read, Update, Create };

    class Descriptor
    {
    public:
        Descriptor() = default;
        Descriptor(const Descriptor&) = delete;
        Descriptor& operator=(const Descriptor&) = delete;
        ~Descriptor()
        {
            if (fd >= 0)
                ::close(fd);
        }
        int fd = -1;
    };

    // Opens once, then judges the object held, never the name again.
    Access openChecked(const QString& path, Mode mode, Descriptor* file, uid_t* owner)
    {
        int flags = O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC;
        flags |= mode == Mode::Read ? O_RDONLY : O_RDWR;
        if (mode == Mode::Create)
            flags |= O_CREAT;
        file->fd = ::open(QFile::encodeName(path).constData(), flags, 0600);
        if (file->fd < 0) {
            switch (errno) {
            case ENOENT:
                return Access::Absent;
            case ELOOP:
                return Access::Link;
            case EISDIR:
            case ENXIO:
                return Access::NotRegular;
            default:
                return Access::Failed;
            }
        }
        struct stat st;
        if (::fstat(file->fd, &st) != 0)
            return Access::Failed;
        if (owner)
            *owner = st.st_uid;
        if (!S_ISREG(st.st_mode))
            return Access::NotRegular;
        if (st.st_uid != ::geteuid())
            return Access::Foreign;
        if (st.st_nlink != 1)
            return Access::HardLinked;
        if (st.st_size > kMaxFileBytes)
            return Access::TooLarge;
        return Access::Ok;
    }

    // flock without ever blocking for longer than kLockWaitMs.
    bool lockWithin(int fd, int operation)
    {
        QElapsedTimer waited;
        waited.start();
        for (;;) {
            if (::flock(fd, operation | LOCK_NB) == 0)
                return true;
            if (errno == EINTR)
                continue;
            if (errno != EWOULDBLOCK || waited.elapsed() >= kLockWaitMs)
                return false;
            ::usleep(5000);
        }
    }

    Access readContent(int fd, QByteArray* text)
    {
        text->clear();
        char chunk[8192];
        for (;;) {
            const ssize_t n = ::pread(fd, chunk, sizeof chunk, text->size());
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0)
                return Access::Failed;
            if (n == 0)
                return Access::Ok;
            text->append(chunk, static_cast<qsizetype>(n));
            if (text->size() > kMaxFileBytes)
                return Access::TooLarge;
        }
    }

    Access replaceContent(int fd, const QByteArray& text)
    {
        if (text.size() > kMaxFileBytes)
            return Access::TooLarge;
        qsizetype done = 0;
        while (done < text.size()) {
            const ssize_t n = ::pwrite(fd, text.constData() + done, static_cast<size_t>(text.size() - done), done);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                return Access::Failed;
            done += n;
        }
        if (::ftruncate(fd, text.size()) != 0 || ::fsync(fd) != 0)
            return Access::Failed;
        return Access::Ok;
    }

    // Reads, changes and writes back under the exclusive lock.
    template <typename Change> Access update(const QString& path, Mode mode, Change change)
    {
        Descriptor file;
        const Access opened = openChecked(path, mode, &file, nullptr);
        if (opened != Access::Ok)
            return opened;
        if (!lockWithin(file.fd, LOCK_EX))
            return Access::Locked;
        QByteArray text;
        const Access read = readContent(file.fd, &text);
        if (read != Access::Ok)
            return read;
        const QByteArray changed = change(text);
        if (changed == text)
            return ::fsync(file.fd) == 0 ? Access::Ok : Access::Failed;
        return replaceContent(file.fd, changed);
    }

    // The group a line opens ("[17]" gives "17"), or a null array when it opens none.
    QByteArray headerName(const QByteArray& line)
    {
        const QByteArray t = line.trimmed();
        if (!t.startsWith('['))
            return QByteArray();
        const qsizetype close = t.indexOf(']');
        if (close < 0)
            return QByteArray();
        QByteArray name = t.mid(1, close - 1).trimmed();
        return name.isNull() ? QByteArray("") : name;
    }

    // The key of a "key=value" line, or a null array.
    QByteArray keyName(const QByteArray& line)
    {
        const QByteArray t = line.trimmed();
        if (t.startsWith(';') || t.startsWith('#') || t.startsWith('['))
            return QByteArray();
        const qsizetype equals = t.indexOf('=');
        if (equals <= 0)
            return QByteArray();
        return t.left(equals).trimmed();
    }

    QList<QByteArray> splitLines(const QByteArray& text)
    {
        QList<QByteArray> lines = text.split('\n');
        if (!lines.isEmpty() && lines.last().isEmpty())
            lines.removeLast();
        return lines;
    }

    QByteArray joinLines(const QList<QByteArray>& lines)
    {
        QByteArray text;
        for (const QByteArray& line : lines)
            text += line + '\n';
        return text;
    }

} // namespace

Access inspect(const QString& path, uid_t* owner)
{
    Descriptor file;
    return openChecked(path, Mode::Read, &file, owner);
}

Access readValue(const QString& path, const QString& group, const QString& key, QString* value)
{
    *value = QString();
    Descriptor file;
    const Access opened = openChecked(path, Mode::Read, &file, nullptr);
    if (opened == Access::Absent)
        return Access::Ok;
    if (opened != Access::Ok)
        return opened;
    if (!lockWithin(file.fd, LOCK_SH))
        return Access::Locked;
    QByteArray text;
    const Access read = readContent(file.fd, &text);
    if (read != Access::Ok)
        return read;
    *value = valueIn(text, group, key);
    return Access::Ok;
}

Access writeValue(const QString& path, const QString& group, const QString& key, int value)
{
    return update(path, Mode::Create,
        [&](const QByteArray& text) { return withValue(text, group, key, QByteArray::number(value)); });
}

Access removeGroup(const QString& path, const QString& group)
{
    const Access access = update(path, Mode::Update, [&](const QByteArray& text) { return withoutGroup(text, group); });
    return access == Access::Absent ? Access::Ok : access;
}

QString describe(Access access, uid_t owner)
{
    switch (access) {
    case Access::Ok:
    case Access::Absent:
        return QString();
    case Access::Link:
        return QStringLiteral("status file is a symbolic link");
    case Access::NotRegular:
        return QStringLiteral("status file is not a plain file");
    case Access::Foreign:
        return QStringLiteral("status file belongs to uid %1").arg(owner);
    case Access::HardLinked:
        return QStringLiteral("status file has more than one name");
    case Access::TooLarge:
        return QStringLiteral("status file is too large");
    case Access::Locked:
        return QStringLiteral("status file is locked by another process");
    case Access::Failed:
        break;
    }
    return QStringLiteral("status file cannot be used");
}

QString valueIn(const QByteArray& text, const QString& group, const QString& key)
{
    const QByteArray wantedGroup = group.toUtf8();
    const QByteArray wantedKey = key.toUtf8();
    QByteArray current;
    QString found;
    for (const QByteArray& line : splitLines(text)) {
        const QByteArray header = headerName(line);
        if (!header.isNull()) {
            current = header;
            continue;
        }
        if (current != wantedGroup || keyName(line) != wantedKey)
            continue;
        QByteArray value = line.mid(line.indexOf('=') + 1).trimmed();
        if (value.size() >= 2 && value.startsWith('"') && value.endsWith('"'))
            value = value.mid(1, value.size() - 2);
        found = QString::fromUtf8(value);
        if (found.isNull())
            found = QStringLiteral("");
    }
    return found;
}

QByteArray withValue(const QByteArray& text, const QString& group, const QString& key, const QByteArray& value)
{
    const QByteArray wantedGroup = group.toUtf8();
    const QByteArray wantedKey = key.toUtf8();
    const QByteArray newLine = wantedKey + '=' + value;
    QList<QByteArray> lines = splitLines(text);
    QByteArray current;
    bool replaced = false;
    qsizetype lastHeader = -1;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const QByteArray header = headerName(lines.at(i));
        if (!header.isNull()) {
            current = header;
            if (current == wantedGroup)
                lastHeader = i;
            continue;
        }
        if (current == wantedGroup && keyName(lines.at(i)) == wantedKey) {
            lines[i] = newLine;
            replaced = true;
        }
    }
    if (replaced)
        return joinLines(lines);
    if (lastHeader < 0) {
        // A new group at the end, after a blank line.
        while (!lines.isEmpty() && lines.last().trimmed().isEmpty())
            lines.removeLast();
        if (!lines.isEmpty())
            lines.append(QByteArray());
        lines.append('[' + wantedGroup + ']');
        lines.append(newLine);
        return joinLines(lines);
    }
    // Into the group's last block, its keys kept in order.
    qsizetype end = lastHeader + 1;
    while (end < lines.size() && headerName(lines.at(end)).isNull())
        ++end;
    qsizetype at = lastHeader + 1;
    for (qsizetype i = lastHeader + 1; i < end; ++i) {
        const QByteArray k = keyName(lines.at(i));
        if (!k.isNull() && k > wantedKey)
            break;
        if (!lines.at(i).trimmed().isEmpty())
            at = i + 1;
    }
    lines.insert(at, newLine);
    return joinLines(lines);
}

QByteArray withoutGroup(const QByteArray& text, const QString& group)
{
    const QByteArray wantedGroup = group.toUtf8();
    const QList<QByteArray> lines = splitLines(text);
    QList<QByteArray> kept;
    bool dropping = false;
    for (const QByteArray& line : lines) {
        const QByteArray header = headerName(line);
        if (!header.isNull())
            dropping = header == wantedGroup;
        if (!dropping)
            kept.append(line);
    }
    if (kept.size() == lines.size())
        return text;
    while (!kept.isEmpty() && kept.last().trimmed().isEmpty())
        kept.removeLast();
    return joinLines(kept);
}

} // namespace IniStatusFile
