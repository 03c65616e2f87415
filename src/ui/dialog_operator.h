#pragma once

#include "app/operator_interface.h"

namespace veltro {

// The desktop program's operator: questions and messages as message boxes, file dialogs as Qt's file
// dialogs, each over the window that is active at the moment.
class DialogOperator final : public OperatorInterface {
public:
    Answer question(const QString& title, const QString& text, Buttons buttons) override;
    void message(const QString& title, const QString& text, Icon icon) override;
    std::optional<QString> saveFileName(const QString& folder, const QString& proposedName,
                                        const QString& filter) override;
    std::optional<QString> openFileName(const QString& folder, const QString& filter) override;
};

} // namespace veltro
