#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

namespace veltro {

class OperatorInterface;

// The communication log `Memo_current`: an ordered list of lines to which every part of the program
// appends one line at a time, emptied by "Clear log". A program left polling for days would grow
// without bound, so it keeps the newest lines only: once `maxLines()` is reached, or the lines hold more
// than `maxCharacters()` (a peer that floods every window makes lines of megabytes), its first line says
// how many older lines were dropped ("... 12 older lines dropped") and counts among the lines kept. The
// newest line is always kept, however long.
class CommunicationLog : public QObject {
    Q_OBJECT

public:
    static inline const QString kSaveFailedMessage = QStringLiteral("Can not write file, no rights...");
    static inline const QString kProposedFileName = QStringLiteral("log.txt");
    static inline const QString kFileFilter = QStringLiteral("Text Files (*.txt)");
    static constexpr qsizetype kMaxLines = 100000;
    // Some 32 MB of text: a hundred thousand ordinary lines fit many times over.
    static constexpr qsizetype kMaxCharacters = 16 * 1024 * 1024;

    // `maxLines` (at least 2) and `maxCharacters` are smaller in tests only.
    explicit CommunicationLog(QObject* parent = nullptr, qsizetype maxLines = kMaxLines,
                              qsizetype maxCharacters = kMaxCharacters);

    // Adds one line at the end. Safe from any thread: a line from another thread (the secondary-search
    // worker) is handed to the log's own thread and added there, in the order it was sent.
    void append(const QString& line);
    void clear();  // `BitBtn5Click`
    const QStringList& lines() const { return m_lines; }
    qsizetype maxLines() const { return m_maxLines; }
    qsizetype maxCharacters() const { return m_maxCharacters; }
    // Lines dropped since the last clear; the first line names them when there are any.
    qsizetype droppedCount() const { return m_dropped; }
    static QString DroppedLinesText(qsizetype count);

    // Writes every line, one per text line, to `path` atomically: on failure the old file is untouched,
    // the line "Can not write file, no rights..." is appended, and false is returned with the reason in
    // `error` when given.
    bool saveTo(const QString& path, QString* error = nullptr);

    // `BitBtn6Click`: the save dialog in `workingFolder` (`Misc` `Dir`) proposing "log.txt" there, then
    // saveTo. False when the operator cancels or the write fails.
    bool saveWithDialog(OperatorInterface& operatorInterface, const QString& workingFolder);

signals:
    void lineAppended(const QString& line);
    void cleared();

private:
    void appendHere(const QString& line);
    void dropOldest();

    QStringList m_lines;
    qsizetype m_maxLines;
    qsizetype m_maxCharacters;
    qsizetype m_characters = 0;  // in m_lines
    qsizetype m_dropped = 0;
};

} // namespace veltro
