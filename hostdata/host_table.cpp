#include "hostdata/host_table.h"

#include <algorithm>
#include <utility>

namespace quorbel {
namespace {

bool validColumn(int column) { return column >= 0 && column < kColumnCount; }

RowState stateFromPicture(std::int32_t picture) {
    if (picture >= 0 && picture <= 2) return static_cast<RowState>(picture);
    return RowState::None;
}

}  // namespace

int HostTable::rowCount() const {
    std::lock_guard lock(mutex_);
    return static_cast<int>(entries_.size());
}

std::string HostTable::cellText(int row, int column) const {
    std::lock_guard lock(mutex_);
    if (!validRow(row) || !validColumn(column)) return {};
    return entries_[row].row.cells[column];
}

void HostTable::setCellText(int row, int column, std::string text) {
    std::lock_guard lock(mutex_);
    if (!validRow(row) || !validColumn(column)) return;
    entries_[row].row.cells[column] = std::move(text);
    notify(TableChange::Kind::RowChanged, entries_[row]);
}

RowState HostTable::rowState(int row) const {
    std::lock_guard lock(mutex_);
    return validRow(row) ? entries_[row].row.state : RowState::None;
}

void HostTable::setRowState(int row, RowState state) {
    std::lock_guard lock(mutex_);
    if (!validRow(row)) return;
    entries_[row].row.state = state;
    notify(TableChange::Kind::RowChanged, entries_[row]);
}

std::int32_t HostTable::itemValue(int row) const {
    std::lock_guard lock(mutex_);
    return validRow(row) ? entries_[row].row.itemValue : 0;
}

void HostTable::setItemValue(int row, std::int32_t value) {
    std::lock_guard lock(mutex_);
    if (!validRow(row)) return;
    entries_[row].row.itemValue = value;
    notify(TableChange::Kind::RowChanged, entries_[row]);
}

int HostTable::appendRow(std::string name, RowState state) {
    std::lock_guard lock(mutex_);
    Entry entry{nextId(), HostRow{}};
    entry.row.cells[NameColumn] = std::move(name);
    entry.row.state = state;
    entries_.push_back(std::move(entry));
    notify(TableChange::Kind::RowAppended, entries_.back());
    return static_cast<int>(entries_.size()) - 1;
}

void HostTable::deleteRow(int row) {
    std::lock_guard lock(mutex_);
    if (!validRow(row)) return;
    const Entry removed = std::move(entries_[row]);
    entries_.erase(entries_.begin() + row);
    notify(TableChange::Kind::RowRemoved, removed);
}

void HostTable::clear() {
    std::lock_guard lock(mutex_);
    entries_.clear();
    notifyReset();
}

void HostTable::replaceAll(const std::vector<CellRecord>& records) {
    std::lock_guard lock(mutex_);
    entries_.clear();
    int nextColumn = 0;
    for (const CellRecord& record : records) {
        if (record.kind == 0x00) {
            Entry entry{nextId(), HostRow{}};
            entry.row.cells[NameColumn] = record.text;
            entry.row.state = stateFromPicture(record.statePicture);
            entry.row.itemValue = record.itemValue;
            entries_.push_back(std::move(entry));
            nextColumn = 1;
        } else if (!entries_.empty()) {
            // Later records fill the following columns of the last row;
            // columns beyond the table's are dropped.
            if (validColumn(nextColumn)) entries_.back().row.cells[nextColumn] = record.text;
            ++nextColumn;
        }
    }
    notifyReset();
}

void HostTable::resetForMonitoring() {
    std::lock_guard lock(mutex_);
    for (Entry& entry : entries_) {
        entry.row.state = RowState::NotProbed;
        entry.row.cells[ResponseColumn].clear();
        entry.row.cells[FailureCountColumn].clear();
    }
    notifyReset();
}

std::optional<RowId> HostTable::rowId(int row) const {
    std::lock_guard lock(mutex_);
    if (!validRow(row)) return std::nullopt;
    return entries_[row].id;
}

std::optional<int> HostTable::rowIndex(RowId id) const {
    std::lock_guard lock(mutex_);
    const auto found = std::find_if(entries_.begin(), entries_.end(),
                                    [id](const Entry& entry) { return entry.id == id; });
    if (found == entries_.end()) return std::nullopt;
    return static_cast<int>(found - entries_.begin());
}

std::optional<HostRow> HostTable::row(RowId id) const {
    std::lock_guard lock(mutex_);
    for (const Entry& entry : entries_)
        if (entry.id == id) return entry.row;
    return std::nullopt;
}

std::vector<IdentifiedRow> HostTable::snapshot() const {
    std::lock_guard lock(mutex_);
    return copyRows();
}

std::vector<IdentifiedRow> HostTable::copyRows() const {
    std::vector<IdentifiedRow> rows;
    rows.reserve(entries_.size());
    for (const Entry& entry : entries_) rows.push_back({entry.id, entry.row});
    return rows;
}

bool HostTable::updateRow(RowId id, const std::function<void(HostRow&)>& change) {
    std::lock_guard lock(mutex_);
    for (Entry& entry : entries_) {
        if (entry.id != id) continue;
        change(entry.row);
        notify(TableChange::Kind::RowChanged, entry);
        return true;
    }
    return false;
}

std::vector<IdentifiedRow> HostTable::setObserver(Observer observer) {
    std::lock_guard lock(mutex_);
    observer_ = std::move(observer);
    return copyRows();
}

void HostTable::notify(TableChange::Kind kind, const Entry& entry) const {
    if (!observer_) return;
    TableChange change;
    change.kind = kind;
    change.row = {entry.id, entry.row};
    observer_(change);
}

void HostTable::notifyReset() const {
    if (!observer_) return;
    TableChange change;
    change.kind = TableChange::Kind::Reset;
    change.rows = copyRows();
    observer_(change);
}

}  // namespace quorbel
