#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace quorbel {

// Index of the state picture drawn at the start of a row.
enum class RowState : int {
    None = -1,
    Answered = 0,   // green
    Missed = 1,     // grey
    NotProbed = 2,  // amber
};

enum Column : int {
    NameColumn = 0,
    AddressColumn = 1,
    ResponseColumn = 2,
    FailureCountColumn = 3,
};
inline constexpr int kColumnCount = 4;

// A row's stable identity: unlike its index it never changes while the row
// exists and is never reused, so a probe worker that started before a
// deletion cannot write into another host's row.
struct RowId {
    std::uint64_t value = 0;
    friend bool operator==(RowId, RowId) = default;
};

struct HostRow {
    std::array<std::string, kColumnCount> cells;  // UTF-8
    RowState state = RowState::None;
    std::int32_t itemValue = 0;
};

struct IdentifiedRow {
    RowId id;
    HostRow row;
};

// One cell as the host list file stores it; kind 0x00 starts a row.
struct CellRecord {
    std::uint8_t kind = 0;
    std::int32_t imageIndex = -1;
    std::int32_t statePicture = -1;
    std::int32_t indent = 0;
    std::int32_t itemValue = 0;
    std::string text;        // UTF-8
    std::string secondText;  // the row's hover tip in a row-start record
};

// What changed, with a copy of the rows concerned, so an observer on
// another thread can mirror the table without reading it back.
struct TableChange {
    enum class Kind { RowAppended, RowChanged, RowRemoved, Reset };
    Kind kind = Kind::Reset;
    IdentifiedRow row;                  // RowAppended, RowChanged, RowRemoved
    std::vector<IdentifiedRow> rows;    // Reset: the whole table afterwards
};

// The monitored hosts, in insertion order. Every operation is atomic and
// safe from any thread; indexes outside the table make writes do nothing
// and reads return empty text or 0.
class HostTable {
public:
    using Observer = std::function<void(const TableChange&)>;

    HostTable() = default;
    HostTable(const HostTable&) = delete;
    HostTable& operator=(const HostTable&) = delete;

    int rowCount() const;
    int columnCount() const { return kColumnCount; }

    std::string cellText(int row, int column) const;
    void setCellText(int row, int column, std::string text);
    RowState rowState(int row) const;
    void setRowState(int row, RowState state);
    std::int32_t itemValue(int row) const;
    void setItemValue(int row, std::int32_t value);

    int appendRow(std::string name, RowState state);
    void deleteRow(int row);  // -1 (nothing selected) removes nothing
    void clear();
    void replaceAll(const std::vector<CellRecord>& records);
    void resetForMonitoring();

    std::optional<RowId> rowId(int row) const;
    std::optional<int> rowIndex(RowId id) const;
    std::optional<HostRow> row(RowId id) const;
    std::vector<IdentifiedRow> snapshot() const;

    // Runs `change` on the row under the table's lock, so a read-modify-write
    // (such as raising the failure count) is one atomic step; observers hear
    // of it once. Returns false, without calling `change`, when the row is gone.
    bool updateRow(RowId id, const std::function<void(HostRow&)>& change);

    // Observers are called on the thread that made the change, while the
    // table's lock is held, in the order the changes happened. They must be
    // quick and must not call back into the table. Returns the rows at the
    // moment the observer was attached, so no change falls in between.
    std::vector<IdentifiedRow> setObserver(Observer observer);

private:
    struct Entry {
        RowId id;
        HostRow row;
    };

    bool validRow(int row) const { return row >= 0 && row < static_cast<int>(entries_.size()); }
    void notify(TableChange::Kind kind, const Entry& entry) const;
    void notifyReset() const;
    std::vector<IdentifiedRow> copyRows() const;  // caller holds the lock
    RowId nextId() { return RowId{++lastId_}; }

    mutable std::mutex mutex_;
    std::vector<Entry> entries_;
    std::uint64_t lastId_ = 0;
    Observer observer_;
};

}  // namespace quorbel
