#pragma once

#include <optional>

#include <QString>

namespace veltro {

// How the engine talks to the operator: a question with Yes/No(/Cancel), a message box, the file
// dialogs. The GUI answers with real dialogs, the CLI from its options, a test with scripted answers.
class OperatorInterface {
public:
    enum class Answer { Yes, No, Cancel };
    enum class Buttons { YesNo, YesNoCancel };
    enum class Icon { Information, Warning, Error, Question };

    virtual ~OperatorInterface() = default;

    virtual Answer question(const QString& title, const QString& text, Buttons buttons) = 0;
    // A message box with an OK button.
    virtual void message(const QString& title, const QString& text, Icon icon) = 0;
    // A save dialog opened in `folder` proposing `proposedName`; `filter` in Qt's form
    // ("Text Files (*.txt)"). Nothing when the operator cancels.
    virtual std::optional<QString> saveFileName(const QString& folder, const QString& proposedName,
                                                const QString& filter) = 0;
    virtual std::optional<QString> openFileName(const QString& folder, const QString& filter) = 0;
};

} // namespace veltro
