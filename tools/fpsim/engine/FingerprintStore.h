#pragma once
// The printer's fingerprint store: up to `capacity` records, one per user name, each with a 16-bit ID.

#include "WireFormat.h"

#include <QList>
#include <optional>

namespace fpsim
{

class FingerprintStore
{
public:
    static constexpr int DefaultCapacity = 1000;

    explicit FingerprintStore(int capacity = DefaultCapacity);

    int capacity() const { return m_capacity; }
    // Lowering the capacity below the current count keeps the records; only new ones are refused.
    void setCapacity(int capacity);
    int count() const { return int(m_records.size()); }
    bool isFull() const { return count() >= m_capacity; }

    // Records ordered by ID.
    const QList<wire::Record>& records() const { return m_records; }
    std::optional<wire::Record> findByName(const QByteArray& name) const;
    std::optional<wire::Record> findByFeature(const QByteArray& feature) const;

    // Lowest ID from 1 upwards that no record uses; 0 when every ID is taken.
    quint16 nextFreeId() const;

    // Enrols `name` with `feature`. A name already enrolled keeps its ID and gets the new template.
    // A new name takes `preferredId` when it is nonzero and free, else the next free ID.
    // Returns the stored record, or nothing when the store is full (nothing changes then).
    std::optional<wire::Record> put(const QByteArray& name, const QByteArray& feature, quint16 preferredId = 0);

    bool remove(const QByteArray& name);
    void clear();

    // Adds a batch all-or-nothing: false (store unchanged) when the new names would not fit.
    bool putAll(const QList<wire::Record>& records);

    // Concatenated 546-byte records, ordered by ID.
    QByteArray serialize() const;
    // Replaces the content with `bytes` (a multiple of 546 bytes, at most `capacity` records, names
    // unique and non-empty). False leaves the store unchanged.
    bool deserialize(const QByteArray& bytes, QString* error = nullptr);

private:
    int indexOfName(const QByteArray& name) const;
    void insertSorted(const wire::Record& record);

    int m_capacity;
    QList<wire::Record> m_records;
};

} // namespace fpsim
