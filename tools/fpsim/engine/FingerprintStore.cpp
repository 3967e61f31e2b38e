#include "FingerprintStore.h"

#include <QSet>
#include <QString>

namespace fpsim
{

FingerprintStore::FingerprintStore(int capacity)
    : m_capacity(qMax(0, capacity))
{
}

void FingerprintStore::setCapacity(int capacity) { m_capacity = qBound(0, capacity, 65535); }

std::optional<wire::Record> FingerprintStore::findByName(const QByteArray& name) const
{
    const int i = indexOfName(name);
    if (i < 0)
        return std::nullopt;
    return m_records[i];
}

std::optional<wire::Record> FingerprintStore::findByFeature(const QByteArray& feature) const
{
    for (const wire::Record& r : m_records) {
        if (r.feature == feature)
            return r;
    }
    return std::nullopt;
}

quint16 FingerprintStore::nextFreeId() const
{
    // m_records is sorted by ID, so the first gap is the answer.
    quint32 candidate = 1;
    for (const wire::Record& r : m_records) {
        if (r.id < candidate)
            continue;
        if (r.id > candidate)
            break;
        ++candidate;
    }
    return candidate > 0xFFFF ? 0 : quint16(candidate);
}

std::optional<wire::Record> FingerprintStore::put(
    const QByteArray& name, const QByteArray& feature, quint16 preferredId)
{
    const int existing = indexOfName(name);
    if (existing >= 0) {
        m_records[existing].feature = feature;
        return m_records[existing];
    }
    if (isFull())
        return std::nullopt;
    quint16 id = preferredId;
    if (id == 0
        || std::any_of(m_records.cbegin(), m_records.cend(), [id](const wire::Record& r) { return r.id == id; }))
        id = nextFreeId();
    if (id == 0)
        return std::nullopt;
    wire::Record record { name.left(wire::NameSize), id, feature };
    insertSorted(record);
    return record;
}

bool FingerprintStore::remove(const QByteArray& name)
{
    const int i = indexOfName(name);
    if (i < 0)
        return false;
    m_records.removeAt(i);
    return true;
}

void FingerprintStore::clear() { m_records.clear(); }

bool FingerprintStore::putAll(const QList<wire::Record>& records)
{
    QSet<QByteArray> newNames;
    for (const wire::Record& r : records) {
        if (indexOfName(r.name) < 0)
            newNames.insert(r.name);
    }
    if (count() + newNames.size() > m_capacity)
        return false;
    for (const wire::Record& r : records)
        put(r.name, r.feature, r.id);
    return true;
}

QByteArray FingerprintStore::serialize() const
{
    QByteArray bytes;
    bytes.reserve(m_records.size() * wire::RecordSize);
    for (const wire::Record& r : m_records)
        bytes.append(wire::encodeRecord(r));
    return bytes;
}

bool FingerprintStore::deserialize(const QByteArray& bytes, QString* error)
{
    auto fail = [error](const QString& text) {
        if (error)
            *error = text;
        return false;
    };
    if (bytes.size() % wire::RecordSize != 0)
        return fail(QStringLiteral("size %1 is not a multiple of %2").arg(bytes.size()).arg(wire::RecordSize));
    const int n = int(bytes.size() / wire::RecordSize);
    if (n > m_capacity)
        return fail(QStringLiteral("%1 records exceed the capacity %2").arg(n).arg(m_capacity));
    QList<wire::Record> loaded;
    QSet<QByteArray> names;
    QSet<quint16> ids;
    for (int i = 0; i < n; ++i) {
        wire::Record r = wire::decodeRecord(bytes.constData() + i * wire::RecordSize);
        if (r.name.isEmpty())
            return fail(QStringLiteral("record %1 has an empty name").arg(i));
        if (names.contains(r.name))
            return fail(QStringLiteral("record %1 repeats a name").arg(i));
        if (ids.contains(r.id) || r.id == 0)
            return fail(QStringLiteral("record %1 has a repeated or zero ID").arg(i));
        names.insert(r.name);
        ids.insert(r.id);
        loaded.append(r);
    }
    m_records.clear();
    for (const wire::Record& r : loaded)
        insertSorted(r);
    return true;
}

int FingerprintStore::indexOfName(const QByteArray& name) const
{
    for (int i = 0; i < m_records.size(); ++i) {
        if (m_records[i].name == name)
            return i;
    }
    return -1;
}

void FingerprintStore::insertSorted(const wire::Record& record)
{
    auto it = std::lower_bound(m_records.begin(), m_records.end(), record,
        [](const wire::Record& a, const wire::Record& b) { return a.id < b.id; });
    m_records.insert(it, record);
}

} // namespace fpsim
