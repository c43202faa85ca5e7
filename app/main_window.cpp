#include "app/main_window.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QHeaderView>
#include <QMenu>
#include <QSessionManager>
#include <QShortcut>
#include <QStatusBar>
#include <QToolButton>

#include "hostdata/data_directory.h"
#include "hostdata/host_list_file.h"
#include "resources/pictures.h"
#include "ui/add_host_window.h"
#include "ui/help_window.h"
#include "ui/settings_window.h"
#include "ui/texts.h"
#include "ui/window_geometry.h"

namespace quorbel {
namespace {

constexpr QSize kOuterSize{526, 318};
constexpr QRect kListGeometry{0, 56, 516, 216};
constexpr int kColumnWidths[kColumnCount] = {120, 220, 80, 90};

QString fromUtf8(const std::string& text) { return QString::fromStdString(text); }

}  // namespace

MainWindow::MainWindow(MainWindowServices services, std::shared_ptr<SettingsStore> settings, QWidget* parent)
    : QMainWindow(parent),
      services_(std::move(services)),
      settings_(std::move(settings)),
      table_(std::make_shared<HostTable>()),
      gate_(std::make_shared<TimedRoundGate>()) {
    setWindowTitle(texts::mainWindowTitle());
    setWindowIcon(pictures::programIcon());

    loadHostList();
    buildToolbar();
    buildList();
    statusLabel_ = new QLabel(this);
    statusBar()->addWidget(statusLabel_, 1);
    statusBar()->setSizeGripEnabled(false);
    buildTray();
    makeFixedCentredWindow(*this, kOuterSize);

    bridge_ = std::make_shared<MonitorBridge>(gate_, this, static_cast<MonitorView*>(this), &probeTimer_);
    trigger_ = std::make_shared<Trigger>(table_, settings_, services_.shutdownSequence, bridge_, services_.log, bridge_);
    round_ = std::make_unique<ProbeRound>(
        table_, services_.prober,
        [trigger = trigger_](RowId row, std::uint64_t round) { trigger->checkTrigger(row, round); }, bridge_, gate_,
        services_.probeTiming);

    auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    connect(escape, &QShortcut::activated, this, &QWidget::close);
    connect(qApp, &QGuiApplication::commitDataRequest, this, &MainWindow::answerSessionQuery);

    probeTimer_.setInterval(services_.probePeriod);
    connect(&probeTimer_, &QTimer::timeout, this, [this] { round_->startTimedRound(); });
    probeTimer_.start();
}

MainWindow::~MainWindow() {
    // Workers may still run; from here on nothing they do reaches this window.
    bridge_->detach();
    trayIcon_.hide();
}

void MainWindow::loadHostList() {
    const std::filesystem::path path = services_.dataDirectory / kHostListFileName;
    table_->clear();
    if (quorbel::exists(path)) applyHostList(*table_, quorbel::load(path));
}

void MainWindow::buildToolbar() {
    mainToolbar_ = addToolBar(QString());
    mainToolbar_->setObjectName("mainToolbar");
    mainToolbar_->setMovable(false);
    mainToolbar_->setFloatable(false);
    mainToolbar_->setIconSize(QSize(32, 32));
    mainToolbar_->setToolButtonStyle(Qt::ToolButtonIconOnly);
    mainToolbar_->setContextMenuPolicy(Qt::PreventContextMenu);
    mainToolbar_->setFixedHeight(kListGeometry.top());
    for (int position = 0; position <= static_cast<int>(ToolbarAction::Hide); ++position) {
        if (position == static_cast<int>(ToolbarAction::Separator)) {
            mainToolbar_->addSeparator();
            continue;
        }
        QAction* action = mainToolbar_->addAction(pictures::toolbarIcon(position), texts::toolbarCaption(position));
        action->setToolTip(QString());
        action->setObjectName(QStringLiteral("toolbarAction%1").arg(position));
        connect(action, &QAction::triggered, this, [this, position] { toolbarClicked(position); });
    }
}

void MainWindow::buildList() {
    auto* central = new QWidget(this);
    setCentralWidget(central);
    listView_ = new QTableView(central);
    listView_->setObjectName("listView");
    listView_->setGeometry(0, 0, kListGeometry.width(), kListGeometry.height());
    model_ = new HostListModel(table_, this);
    listView_->setModel(model_);
    listView_->setSelectionBehavior(QAbstractItemView::SelectRows);
    listView_->setSelectionMode(QAbstractItemView::SingleSelection);
    listView_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    listView_->setShowGrid(true);
    listView_->setWordWrap(false);
    listView_->setIconSize(QSize(12, 12));
    listView_->verticalHeader()->hide();
    listView_->verticalHeader()->setDefaultSectionSize(18);
    listView_->horizontalHeader()->setSectionsClickable(true);
    listView_->horizontalHeader()->setSortIndicatorShown(false);
    listView_->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    listView_->horizontalHeader()->setHighlightSections(false);
    // The selection shows only while the list has the focus.
    QPalette palette = listView_->palette();
    palette.setColor(QPalette::Inactive, QPalette::Highlight, palette.color(QPalette::Active, QPalette::Base));
    palette.setColor(QPalette::Inactive, QPalette::HighlightedText, palette.color(QPalette::Active, QPalette::Text));
    listView_->setPalette(palette);
    QFont font = listView_->font();
    font.setPixelSize(14);
    listView_->setFont(font);
    for (int column = 0; column < kColumnCount; ++column) listView_->setColumnWidth(column, kColumnWidths[column]);
}

void MainWindow::buildTray() {
    trayMenu_ = new QMenu(this);
    trayMenu_->setObjectName("trayMenu");
    connect(trayMenu_->addAction(texts::trayMenuSettings()), &QAction::triggered, this, &MainWindow::openSettings);
    connect(trayMenu_->addAction(texts::trayMenuHelp()), &QAction::triggered, this, &MainWindow::openHelp);
    trayMenu_->addSeparator();
    connect(trayMenu_->addAction(texts::trayMenuExit()), &QAction::triggered, this, &MainWindow::exitFromTray);

    trayIcon_.setIcon(pictures::trayIcon());
    trayIcon_.setToolTip(texts::trayTip());
    trayIcon_.setContextMenu(trayMenu_);
    connect(&trayIcon_, &QSystemTrayIcon::activated, this, &MainWindow::trayActivated);
}

bool MainWindow::event(QEvent* event) {
    // The tray icon appears once, at the first activation.
    if (event->type() == QEvent::WindowActivate && !trayAdded_) {
        trayAdded_ = true;
        trayIcon_.show();
    }
    return QMainWindow::event(event);
}

void MainWindow::toolbarClicked(int position) {
    switch (static_cast<ToolbarAction>(position)) {
    case ToolbarAction::Refresh: round_->startRound(); break;
    case ToolbarAction::Add:
        openModal(addHostWindow_, [this] {
            return new AddHostWindow(*table_, services_.dataDirectory / kHostListFileName, *services_.dialogs, this);
        });
        break;
    case ToolbarAction::Delete: deleteSelectedHost(); break;
    case ToolbarAction::Settings: openSettings(); break;
    case ToolbarAction::Help: openHelp(); break;
    case ToolbarAction::Hide: hideToTray(); break;
    case ToolbarAction::Separator: break;
    }
}

int MainWindow::selectedRow() const {
    const QModelIndexList rows = listView_->selectionModel()->selectedRows();
    return rows.isEmpty() ? -1 : rows.first().row();
}

void MainWindow::deleteSelectedHost() {
    // The list may lag the table by queued changes; the row's identity
    // says which host the operator saw selected.
    if (const std::optional<RowId> id = model_->rowIdAt(selectedRow()))
        if (const std::optional<int> index = table_->rowIndex(*id)) table_->deleteRow(*index);
    saveHostList();
}

void MainWindow::saveHostList() {
    const std::filesystem::path path = services_.dataDirectory / kHostListFileName;
    const Status saved = quorbel::save(*table_, path);
    if (!saved.ok())
        services_.dialogs->warn(this, texts::hostListSaveCaption(),
                                texts::hostListSaveFailed(fromUtf8(saved.message())));
}

void MainWindow::hideToTray() {
    // Without a notification area a hidden window could never come back.
    if (services_.trayAvailable()) {
        trayIcon_.show();
        trayAdded_ = true;
        hide();
    } else {
        showMinimized();
    }
}

void MainWindow::trayActivated(QSystemTrayIcon::ActivationReason reason) {
    if (reason != QSystemTrayIcon::Trigger && reason != QSystemTrayIcon::DoubleClick) return;
    // show() keeps a window minimised by its own button minimised.
    show();
    raise();
    activateWindow();
}

void MainWindow::openSettings() {
    openModal(settingsWindow_, [this] { return new SettingsWindow(*settings_, *services_.dialogs, this); });
}

void MainWindow::openHelp() {
    openModal(helpWindow_, [this] { return new HelpWindow(this); });
}

void MainWindow::openModal(QPointer<QDialog>& slot, const std::function<QDialog*()>& create) {
    if (slot) {
        slot->raise();
        slot->activateWindow();
        return;
    }
    QDialog* window = create();
    slot = window;
    // Only the main window is blocked; in the nested loop the timer and the
    // tray keep working.
    window->setWindowModality(Qt::WindowModal);
    window->exec();
    delete window;
}

void MainWindow::exitFromTray() {
    if (!confirmClose()) return;
    closeConfirmed_ = true;
    close();
}

bool MainWindow::confirmClose() {
    if (ownShutdownUnderway_) return true;
    return services_.dialogs->askYesNo(this, texts::closeCaption(), texts::closeQuestion());
}

void MainWindow::closeEvent(QCloseEvent* event) {
    if (!closeConfirmed_ && !confirmClose()) {
        event->ignore();
        return;
    }
    closeConfirmed_ = true;
    trayIcon_.hide();
    event->accept();
    QApplication::quit();
}

void MainWindow::answerSessionQuery(QSessionManager& manager) {
    if (ownShutdownUnderway_ || closeConfirmed_) return;
    if (!manager.allowsInteraction()) return;
    const bool agreed = confirmClose();
    manager.release();
    if (!agreed) manager.cancel();
    else closeConfirmed_ = true;
}

QString MainWindow::statusText() const { return statusLabel_->text(); }

void MainWindow::setStatus(const QString& text) {
    // Every probe of a round reports the same local failure.
    if (text == statusLabel_->text()) return;
    statusLabel_->setText(text);
    emit statusChanged(text);
}

void MainWindow::showProbingImpossible(const std::string& reason) {
    const QString text = texts::probingImpossible(fromUtf8(reason));
    // Once per new reason, not once per host and round.
    if (text != statusText()) services_.log->error("Probing impossible on this machine: " + reason);
    setStatus(text);
}

void MainWindow::showProbingRestored() { setStatus(QString()); }

void MainWindow::showTriggerFired(const FireReport& report) {
    probeTimer_.stop();
    setStatus(texts::triggerFired(fromUtf8(report.hostName), fromUtf8(report.address), report.failureCount,
                                  fromUtf8(report.rule), report.limit));
}

void MainWindow::showShutdownFinished(const ShutdownReport& report) {
    if (!report.mode) {
        setStatus(texts::shutdownMethodNotSet());
        return;
    }
    const int method = static_cast<int>(*report.mode);
    if (report.status.ok()) {
        ownShutdownUnderway_ = true;
        setStatus(texts::shutdownRequested(method));
    } else {
        setStatus(texts::shutdownFailed(method, fromUtf8(report.status.message())));
    }
}

}  // namespace quorbel
