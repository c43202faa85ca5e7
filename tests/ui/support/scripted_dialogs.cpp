#include "tests/ui/support/scripted_dialogs.h"

namespace quorbel::testing {

std::vector<DialogCall> ScriptedDialogs::callsOf(DialogCall::Kind kind) const {
    std::vector<DialogCall> matching;
    for (const DialogCall& call : calls_) {
        if (call.kind == kind) matching.push_back(call);
    }
    return matching;
}

bool ScriptedDialogs::askYesNo(QWidget* parent, const QString& caption, const QString& text) {
    calls_.push_back({DialogCall::Kind::AskYesNo, parent, caption, text});
    if (yesNoAnswers_.empty()) return false;
    const bool answer = yesNoAnswers_.front();
    yesNoAnswers_.pop_front();
    return answer;
}

void ScriptedDialogs::inform(QWidget* parent, const QString& caption, const QString& text) {
    calls_.push_back({DialogCall::Kind::Inform, parent, caption, text});
}

void ScriptedDialogs::warn(QWidget* parent, const QString& caption, const QString& text) {
    calls_.push_back({DialogCall::Kind::Warn, parent, caption, text});
}

QString ScriptedDialogs::chooseOpenFile(QWidget* parent, const QString& initialName) {
    calls_.push_back({DialogCall::Kind::ChooseOpenFile, parent, QString(), initialName});
    if (openFileAnswers_.empty()) return {};
    const QString answer = openFileAnswers_.front();
    openFileAnswers_.pop_front();
    return answer;
}

}  // namespace quorbel::testing
