#include "app/host_list_model.h"

#include <QMetaObject>
#include <QString>

#include "resources/pictures.h"
#include "ui/texts.h"

namespace quorbel {

HostListModel::HostListModel(std::shared_ptr<HostTable> table, QObject* parent)
    : QAbstractTableModel(parent), table_(std::move(table)) {
    // Called under the table's lock, so changes are queued in the order
    // they happened; the copy travels with the event.
    rows_ = table_->setObserver([this](const TableChange& change) {
        QMetaObject::invokeMethod(this, [this, change] { apply(change); }, Qt::QueuedConnection);
    });
}

HostListModel::~HostListModel() {
    // Once this returns no worker can queue another change to this model.
    table_->setObserver({});
}

int HostListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int HostListModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : kColumnCount; }

QVariant HostListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= static_cast<int>(rows_.size())) return {};
    const HostRow& row = rows_[index.row()].row;
    if (role == Qt::DisplayRole) return QString::fromStdString(row.cells[index.column()]);
    if (role == kStateRole) return static_cast<int>(row.state);
    if (role == Qt::DecorationRole && index.column() == NameColumn) {
        const QPixmap picture = pictures::statePicture(static_cast<int>(row.state));
        if (!picture.isNull()) return picture;
    }
    return {};
}

QVariant HostListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
    return texts::columnHeader(section);
}

std::optional<RowId> HostListModel::rowIdAt(int row) const {
    if (row < 0 || row >= static_cast<int>(rows_.size())) return std::nullopt;
    return rows_[row].id;
}

int HostListModel::indexOf(RowId id) const {
    for (std::size_t index = 0; index < rows_.size(); ++index)
        if (rows_[index].id == id) return static_cast<int>(index);
    return -1;
}

void HostListModel::apply(const TableChange& change) {
    switch (change.kind) {
    case TableChange::Kind::RowAppended: {
        const int row = static_cast<int>(rows_.size());
        beginInsertRows({}, row, row);
        rows_.push_back(change.row);
        endInsertRows();
        break;
    }
    case TableChange::Kind::RowChanged: {
        const int row = indexOf(change.row.id);
        if (row < 0) return;
        rows_[row] = change.row;
        emit dataChanged(index(row, 0), index(row, kColumnCount - 1));
        break;
    }
    case TableChange::Kind::RowRemoved: {
        const int row = indexOf(change.row.id);
        if (row < 0) return;
        beginRemoveRows({}, row, row);
        rows_.erase(rows_.begin() + row);
        endRemoveRows();
        break;
    }
    case TableChange::Kind::Reset:
        beginResetModel();
        rows_ = change.rows;
        endResetModel();
        break;
    }
}

}  // namespace quorbel
