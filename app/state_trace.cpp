#include "app/state_trace.h"

#include "app/main_window.h"

namespace quorbel {

StateTrace::StateTrace(MainWindow& window, std::FILE* stream) : QObject(&window), window_(window), stream_(stream) {
    const HostListModel& model = window.listModel();
    connect(&model, &QAbstractItemModel::dataChanged, this,
            [this](const QModelIndex& topLeft, const QModelIndex& bottomRight) {
                printRows(topLeft.row(), bottomRight.row());
            });
    connect(&model, &QAbstractItemModel::rowsInserted, this,
            [this](const QModelIndex&, int first, int last) { printRows(first, last); });
    connect(&model, &QAbstractItemModel::modelReset, this,
            [this] { printRows(0, window_.listModel().rowCount() - 1); });
    connect(&window, &MainWindow::statusChanged, this, &StateTrace::printStatus);
    printRows(0, model.rowCount() - 1);
}

void StateTrace::printRows(int first, int last) {
    const HostListModel& model = window_.listModel();
    for (int row = first; row <= last; ++row) {
        QStringList columns;
        for (int column = 0; column < kColumnCount; ++column)
            columns << model.index(row, column).data().toString();
        const int state = model.index(row, 0).data(HostListModel::kStateRole).toInt();
        std::fprintf(stream_, "row %d %d|%s\n", row, state, columns.join('|').toUtf8().constData());
    }
    std::fflush(stream_);
}

void StateTrace::printStatus(const QString& text) {
    std::fprintf(stream_, "status %s\n", text.toUtf8().constData());
    std::fflush(stream_);
}

}  // namespace quorbel
