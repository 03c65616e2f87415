#include "ui/dialog_operator.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QMessageBox>
#include <QRegularExpression>

namespace veltro {
namespace {

QWidget* ActiveWindow() { return QApplication::activeWindow(); }

QMessageBox::Icon BoxIcon(OperatorInterface::Icon icon) {
    switch (icon) {
    case OperatorInterface::Icon::Information: return QMessageBox::Information;
    case OperatorInterface::Icon::Warning: return QMessageBox::Warning;
    case OperatorInterface::Icon::Error: return QMessageBox::Critical;
    case OperatorInterface::Icon::Question: return QMessageBox::Question;
    }
    return QMessageBox::NoIcon;
}

// "CSV files (*.csv);;TXT files (*.txt)" -> "csv": a name typed without extension gets the first one.
QString FirstSuffix(const QString& filter) {
    const QRegularExpressionMatch match = QRegularExpression(QStringLiteral("\\*\\.(\\w+)")).match(filter);
    return match.hasMatch() ? match.captured(1) : QString();
}

} // namespace

OperatorInterface::Answer DialogOperator::question(const QString& title, const QString& text, Buttons buttons) {
    // The three-way question is the table-clearing one, shown with a warning icon; the Yes/No
    // questions (exit) with a question icon.
    const bool threeWay = buttons == Buttons::YesNoCancel;
    QMessageBox box(threeWay ? QMessageBox::Warning : QMessageBox::Question, title, text,
                    threeWay ? QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel
                             : QMessageBox::Yes | QMessageBox::No,
                    ActiveWindow());
    switch (box.exec()) {
    case QMessageBox::Yes: return Answer::Yes;
    case QMessageBox::No: return Answer::No;
    default: return threeWay ? Answer::Cancel : Answer::No;
    }
}

void DialogOperator::message(const QString& title, const QString& text, Icon icon) {
    QMessageBox box(BoxIcon(icon), title, text, QMessageBox::Ok, ActiveWindow());
    box.exec();
}

std::optional<QString> DialogOperator::saveFileName(const QString& folder, const QString& proposedName,
                                                    const QString& filter) {
    QFileDialog dialog(ActiveWindow(), QString(), folder, filter);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix(FirstSuffix(filter));
    if (!proposedName.isEmpty()) dialog.selectFile(QDir(folder).filePath(proposedName));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
    return dialog.selectedFiles().constFirst();
}

std::optional<QString> DialogOperator::openFileName(const QString& folder, const QString& filter) {
    QFileDialog dialog(ActiveWindow(), QString(), folder, filter);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
    return dialog.selectedFiles().constFirst();
}

} // namespace veltro
