#include "hostdata/host_table.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

namespace quorbel {
namespace {

CellRecord record(std::uint8_t kind, std::string text, std::int32_t itemValue = 0) {
    CellRecord cell;
    cell.kind = kind;
    cell.text = std::move(text);
    cell.itemValue = itemValue;
    return cell;
}

TEST(HostTableTest, AppendOnEmptyTableGivesRowZeroWithEmptyColumns) {
    HostTable table;
    EXPECT_EQ(table.appendRow("测试主机", RowState::NotProbed), 0);
    EXPECT_EQ(table.rowCount(), 1);
    EXPECT_EQ(table.columnCount(), 4);
    EXPECT_EQ(table.cellText(0, NameColumn), "测试主机");
    for (int column : {AddressColumn, ResponseColumn, FailureCountColumn}) EXPECT_EQ(table.cellText(0, column), "");
    EXPECT_EQ(table.rowState(0), RowState::NotProbed);
    EXPECT_EQ(table.itemValue(0), 0);
    EXPECT_EQ(table.appendRow("b", RowState::None), 1);
}

TEST(HostTableTest, IndexesOutsideTheTableAreHarmless) {
    HostTable table;
    table.appendRow("a", RowState::Answered);
    for (int row : {-1, 1, 100}) {
        table.setCellText(row, 0, "x");
        table.setRowState(row, RowState::Missed);
        table.setItemValue(row, 9);
        EXPECT_EQ(table.cellText(row, 0), "");
        EXPECT_EQ(table.rowState(row), RowState::None);
        EXPECT_EQ(table.itemValue(row), 0);
        EXPECT_FALSE(table.rowId(row).has_value());
    }
    for (int column : {-1, 4}) {
        table.setCellText(0, column, "x");
        EXPECT_EQ(table.cellText(0, column), "");
    }
    table.deleteRow(-1);
    table.deleteRow(1);
    ASSERT_EQ(table.rowCount(), 1);
    EXPECT_EQ(table.cellText(0, 0), "a");
    EXPECT_EQ(table.rowState(0), RowState::Answered);
}

TEST(HostTableTest, DeleteMovesLaterRowsUpAndKeepsTheirIdentity) {
    HostTable table;
    table.appendRow("a", RowState::NotProbed);
    table.appendRow("b", RowState::NotProbed);
    table.appendRow("c", RowState::NotProbed);
    const RowId idOfC = *table.rowId(2);
    table.deleteRow(1);
    ASSERT_EQ(table.rowCount(), 2);
    EXPECT_EQ(table.cellText(1, 0), "c");
    EXPECT_EQ(table.rowIndex(idOfC), 1);
}

TEST(HostTableTest, UpdateOfADeletedRowIsDroppedAndTouchesNoOtherRow) {
    HostTable table;
    table.appendRow("a", RowState::NotProbed);
    table.appendRow("b", RowState::NotProbed);
    const RowId idOfA = *table.rowId(0);
    table.deleteRow(0);
    // A new row takes the old index but never the old identity.
    table.appendRow("c", RowState::NotProbed);
    EXPECT_NE(*table.rowId(1), idOfA);

    const bool applied = table.updateRow(idOfA, [](HostRow& row) { row.cells[FailureCountColumn] = "1"; });
    EXPECT_FALSE(applied);
    EXPECT_EQ(table.cellText(0, FailureCountColumn), "");
    EXPECT_EQ(table.cellText(1, FailureCountColumn), "");
    EXPECT_FALSE(table.row(idOfA).has_value());
}

TEST(HostTableTest, ReplaceAllBuildsRowsFromCellRecords) {
    HostTable table;
    table.appendRow("old", RowState::Answered);
    table.replaceAll({
        record(0x01, "orphan"),  // no row yet: ignored
        record(0x00, "web", 7), record(0x01, "10.0.0.1"), record(0x01, "12ms"), record(0x01, "3"),
        record(0x01, "fifth column"),  // beyond the last column: ignored
        record(0x00, "db"), record(0x02, "10.0.0.2"),  // any non-zero kind continues the row
    });
    ASSERT_EQ(table.rowCount(), 2);
    EXPECT_EQ(table.cellText(0, NameColumn), "web");
    EXPECT_EQ(table.cellText(0, AddressColumn), "10.0.0.1");
    EXPECT_EQ(table.cellText(0, ResponseColumn), "12ms");
    EXPECT_EQ(table.cellText(0, FailureCountColumn), "3");
    EXPECT_EQ(table.itemValue(0), 7);
    EXPECT_EQ(table.cellText(1, AddressColumn), "10.0.0.2");
    EXPECT_EQ(table.cellText(1, ResponseColumn), "");

    table.resetForMonitoring();
    for (int row = 0; row < 2; ++row) {
        EXPECT_EQ(table.rowState(row), RowState::NotProbed);
        EXPECT_EQ(table.cellText(row, ResponseColumn), "");
        EXPECT_EQ(table.cellText(row, FailureCountColumn), "");
    }
    EXPECT_EQ(table.cellText(0, AddressColumn), "10.0.0.1");
    EXPECT_EQ(table.itemValue(0), 7);
}

TEST(HostTableTest, ObserverHearsEveryChangeInOrder) {
    HostTable table;
    std::vector<TableChange> changes;
    table.setObserver([&](const TableChange& change) { changes.push_back(change); });

    table.appendRow("a", RowState::NotProbed);
    const RowId id = *table.rowId(0);
    table.updateRow(id, [](HostRow& row) { row.cells[ResponseColumn] = "5ms"; });
    table.resetForMonitoring();
    table.deleteRow(0);
    table.deleteRow(-1);

    ASSERT_EQ(changes.size(), 4u);
    EXPECT_EQ(changes[0].kind, TableChange::Kind::RowAppended);
    EXPECT_EQ(changes[0].row.id, id);
    EXPECT_EQ(changes[1].kind, TableChange::Kind::RowChanged);
    EXPECT_EQ(changes[1].row.row.cells[ResponseColumn], "5ms");
    EXPECT_EQ(changes[2].kind, TableChange::Kind::Reset);
    ASSERT_EQ(changes[2].rows.size(), 1u);
    EXPECT_EQ(changes[2].rows[0].row.cells[ResponseColumn], "");
    EXPECT_EQ(changes[3].kind, TableChange::Kind::RowRemoved);
    EXPECT_EQ(changes[3].row.id, id);
}

// Writers address rows by identity while another thread appends and deletes:
// every increment lands in its own row and none is lost.
TEST(HostTableTest, ConcurrentUpdatesAndDeletionsKeepCountsExact) {
    HostTable table;
    table.appendRow("kept", RowState::NotProbed);
    const RowId kept = *table.rowId(0);
    constexpr int kThreads = 4;
    constexpr int kIncrements = 500;

    std::atomic<bool> done{false};
    std::thread editor([&] {
        while (!done) {
            const int index = table.appendRow("temporary", RowState::NotProbed);
            table.cellText(index, 0);
            table.deleteRow(table.rowCount() - 1);
        }
    });
    std::vector<std::thread> writers;
    for (int thread = 0; thread < kThreads; ++thread) {
        writers.emplace_back([&] {
            for (int step = 0; step < kIncrements; ++step) {
                table.updateRow(kept, [](HostRow& row) {
                    row.cells[FailureCountColumn] = std::to_string(std::stoi("0" + row.cells[FailureCountColumn]) + 1);
                });
            }
        });
    }
    for (auto& writer : writers) writer.join();
    done = true;
    editor.join();

    EXPECT_EQ(table.rowCount(), 1);
    EXPECT_EQ(table.cellText(0, FailureCountColumn), std::to_string(kThreads * kIncrements));
}

}  // namespace
}  // namespace quorbel
