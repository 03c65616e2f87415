#pragma once

#include <optional>
#include <vector>

#include <QString>

#include "app/operator_interface.h"

namespace veltro::test {

// An operator who answers from a script and remembers what was shown.
class ScriptedOperator : public OperatorInterface {
public:
    struct Message {
        QString title, text;
        Icon icon;
    };
    struct SaveDialog {
        QString folder, proposedName, filter;
    };

    Answer answer = Answer::Yes;
    std::optional<QString> chosenFile;  // what the file dialogs return; nothing means "Cancel"

    std::vector<Message> messages;
    std::vector<SaveDialog> saveDialogs;

    Answer question(const QString&, const QString&, Buttons) override { return answer; }
    void message(const QString& title, const QString& text, Icon icon) override { messages.push_back({title, text, icon}); }
    std::optional<QString> saveFileName(const QString& folder, const QString& proposedName, const QString& filter) override {
        saveDialogs.push_back({folder, proposedName, filter});
        return chosenFile;
    }
    std::optional<QString> openFileName(const QString&, const QString&) override { return chosenFile; }
};

} // namespace veltro::test
