#pragma once

#include <QAbstractTableModel>
#include <QMutex>
#include <QPointer>
#include <memory>
#include <vector>

#include "hostdata/host_table.h"

namespace quorbel {

// The list's view of the host table. It keeps its own copy of the rows and
// applies the table's changes in the order they happened, on the GUI
// thread, so probe workers never touch a widget.
class HostListModel : public QAbstractTableModel {
    Q_OBJECT
public:
    // The row's state picture index, as an int.
    static constexpr int kStateRole = Qt::UserRole;

    explicit HostListModel(std::shared_ptr<HostTable> table, QObject* parent = nullptr);
    ~HostListModel() override;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    // The identity of the row shown at `row`, if any.
    std::optional<RowId> rowIdAt(int row) const;

private:
    void apply(const TableChange& change);
    int indexOf(RowId id) const;

    std::shared_ptr<HostTable> table_;
    std::vector<IdentifiedRow> rows_;
};

}  // namespace quorbel
