#pragma once

#include <QString>

// Every text the program shows, in one place. The interface is Simplified
// Chinese; the sources are UTF-8.
namespace quorbel::texts {

// Main window and tray.
inline QString mainWindowTitle() { return QStringLiteral("Ostrane v2.1"); }

inline QString refreshCaption() { return QStringLiteral("刷新"); }
inline QString addCaption() { return QStringLiteral("添加"); }
inline QString deleteCaption() { return QStringLiteral("删除"); }
inline QString settingsCaption() { return QStringLiteral("设置"); }
inline QString helpCaption() { return QStringLiteral("帮助"); }
inline QString minimiseCaption() { return QStringLiteral("最小化"); }

// The caption of the toolbar button at `position` (the separator, 3, and
// any other position have none).
inline QString toolbarCaption(int position) {
    switch (position) {
    case 0: return refreshCaption();
    case 1: return addCaption();
    case 2: return deleteCaption();
    case 4: return settingsCaption();
    case 5: return helpCaption();
    case 6: return minimiseCaption();
    default: return {};
    }
}

// The host list's column headers, by column (0 name, 1 address, 2 response,
// 3 failure count).
inline QString columnHeader(int column) {
    switch (column) {
    case 0: return QStringLiteral("名称");
    case 1: return QStringLiteral("IP地址");
    case 2: return QStringLiteral("响应");
    case 3: return QStringLiteral("无响应计数");
    default: return {};
    }
}

inline QString trayTip() { return QStringLiteral("Quorbel"); }
inline QString trayMenuSettings() { return QStringLiteral("设置"); }
inline QString trayMenuHelp() { return QStringLiteral("帮助"); }
inline QString trayMenuExit() { return QStringLiteral("退出"); }

inline QString closeQuestion() { return QStringLiteral("你确定要关闭此程序吗?"); }
inline QString closeCaption() { return QStringLiteral("关闭"); }

// Main window status bar.
inline QString probingImpossible(const QString& reason) {
    return QStringLiteral("本机无法发送探测，计数已暂停：%1").arg(reason);
}
inline QString triggerFired(const QString& host, const QString& address, int failures, const QString& rule,
                            int limit) {
    return QStringLiteral("已触发关机：%1（%2）无响应%3次，规则 %4，限值 %5")
        .arg(host, address)
        .arg(failures)
        .arg(rule)
        .arg(limit);
}
inline QString shutdownRequested(int method) { return QStringLiteral("已请求关机（方式%1）").arg(method); }
inline QString shutdownMethodNotSet() { return QStringLiteral("已触发，但关机方式设置无效，未关机"); }
inline QString shutdownFailed(int method, const QString& reason) {
    return QStringLiteral("关机失败（方式%1）：%2").arg(method).arg(reason);
}
// `reason` names the file and says why.
inline QString hostListSaveFailed(const QString& reason) { return QStringLiteral("主机列表未能保存。\n%1").arg(reason); }
inline QString hostListSaveCaption() { return QStringLiteral("保存失败"); }

// Settings window.
inline QString settingsTitle() { return QStringLiteral("设置"); }
inline QString triggerGroupTitle() { return QStringLiteral("触发条件"); }
inline QString anyHostOption() { return QStringLiteral("任意主机"); }
inline QString allHostsOption() { return QStringLiteral("所有主机"); }
inline QString failLimitLabel() { return QStringLiteral("无响应计数："); }
inline QString optionsGroupTitle() { return QStringLiteral("其他选项"); }
inline QString methodLabel() { return QStringLiteral("关机方式："); }
inline QString modeNormal1Option() { return QStringLiteral("普通1"); }
inline QString modeNormal2Option() { return QStringLiteral("普通2"); }
inline QString modeForce1Option() { return QStringLiteral("强制1"); }
inline QString modeForce2Option() { return QStringLiteral("强制2"); }
inline QString runTaskCheck() { return QStringLiteral("关机前执行："); }
inline QString browseButton() { return QStringLiteral("选择"); }
inline QString saveButton() { return QStringLiteral("保存设置"); }
inline QString savedNotice() { return QStringLiteral("保存完毕！"); }
inline QString savedCaption() { return QStringLiteral("配置"); }
// `reason` names the file and says why.
inline QString settingsNotSaved(const QString& reason) { return QStringLiteral("设置未能保存。\n%1").arg(reason); }

// Add-host window.
inline QString addHostTitle() { return QStringLiteral("新增主机"); }
inline QString hostNameLabel() { return QStringLiteral("名称："); }
inline QString hostAddressLabel() { return QStringLiteral("IP地址："); }
inline QString confirmButton() { return QStringLiteral("确定"); }

// Help window.
inline QString helpTitle() { return QStringLiteral("Help"); }
inline QString aboutText() { return QStringLiteral("Quorbel v2.1\n\n版权所有 © Quorbel 开发者"); }
inline QString usageText() {
    return QStringLiteral(
        "使用说明：\n\n"
        "①每15秒检测1次，当列表内的主机PING不通时将执行关机\n"
        "②支持4种关机方式，理论上第一种方式兼容性最好\n"
        "③支持关机之前执行一个任务，比如一个批处理或EXE（等待执行完毕）");
}

}  // namespace quorbel::texts
