#pragma once

#include <QString>

#include <deque>
#include <vector>

#include "ui/dialogs.h"

namespace quorbel::testing {

// One question a window asked.
struct DialogCall {
    enum class Kind { AskYesNo, Inform, Warn, ChooseOpenFile };
    Kind kind = Kind::Inform;
    QWidget* parent = nullptr;
    QString caption;  // empty for ChooseOpenFile
    QString text;     // the initial name for ChooseOpenFile
};

// Answers every modal question from a script, at once, and records it.
// When the script runs out, Yes/No questions are answered No and file
// choices are cancelled.
class ScriptedDialogs : public Dialogs {
public:
    void scriptYesNo(bool yes) { yesNoAnswers_.push_back(yes); }
    // An empty path scripts a cancel.
    void scriptOpenFile(const QString& path) { openFileAnswers_.push_back(path); }

    const std::vector<DialogCall>& calls() const { return calls_; }
    std::vector<DialogCall> callsOf(DialogCall::Kind kind) const;
    void clearCalls() { calls_.clear(); }

    bool askYesNo(QWidget* parent, const QString& caption, const QString& text) override;
    void inform(QWidget* parent, const QString& caption, const QString& text) override;
    void warn(QWidget* parent, const QString& caption, const QString& text) override;
    QString chooseOpenFile(QWidget* parent, const QString& initialName) override;

private:
    std::deque<bool> yesNoAnswers_;
    std::deque<QString> openFileAnswers_;
    std::vector<DialogCall> calls_;
};

}  // namespace quorbel::testing
