#pragma once

#include <chrono>
#include <deque>

#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>

#include "sim/bus.h"
#include "mbus/frame_assembler.h"

namespace veltro::sim {

struct LineTiming {
    // From the end of the master's frame to the first character of the answer, for every device that
    // does not keep its own (a meter's `answer_delay_ms`).
    std::chrono::milliseconds answerDelay{20};
    // Both directions at the line speed, 11 bits per character (start, 8 data, parity, stop): the bus hears
    // a master frame once its last character has crossed the line, and answers trickle back the same way.
    bool wireSpeed = false;
    // A pause this long inside a frame makes the meters drop what they have of it.
    std::chrono::milliseconds interCharacterTimeout{200};
};

// Where one transport meets the bus: assembles the master's frames from the bytes the transport
// receives, lets the bus answer them, and hands the answer back after the answer delay. In wire-speed
// mode the master's characters take their line time before the bus hears the frame, and the answer
// leaves character by character at the line speed. Answers leave in the order of the frames. A text for
// the display is heard once the line has been quiet for TextGapFor(line speed) after it (at wire speed,
// quiet on the line), which a timer watches, since no byte may come to end it.
class BusPort : public QObject {
    Q_OBJECT
public:
    BusPort(Bus& bus, LineTiming timing, QString name, QObject* parent = nullptr);

    // Bytes the master wrote, sent at `lineBaud` (0: a speed no meter uses).
    void receive(const QByteArray& bytes, int lineBaud);

    // Puts what the devices send of their own accord on the line (a receiver forwarding radio
    // telegrams), polling the bus every kUnsolicitedPoll. Off by default: a gateway takes only answers.
    void forwardUnsolicited();

    // The master went away: forget its unfinished frame and the answers not yet delivered.
    void reset();

    // No frame still crossing the line, no text waiting for its quiet gap, no answer waiting or in delivery.
    bool idle() const { return m_inbound.empty() && m_queue.empty() && !m_assembler.textPending(); }

signals:
    void transmit(const QByteArray& bytes);
    void log(const QString& line);

private:
    struct Outgoing {
        QByteArray bytes;
        int baud = 0;
        qint64 dueMs = 0;
        qint64 startedMs = -1;
        qsizetype sent = 0;
        bool text = false;  // a display's answer, logged as text
        // Per character, when it may leave, in milliseconds from the start: at wire speed when it has crossed
        // the line, else at once; later by the pauses a noisy line (Bus::disturb) puts before it.
        std::vector<qint64> readyMs;
    };

    // Master bytes received in one piece; they cross the line one after another from `startUs`.
    struct Chunk {
        quint64 firstOffset = 0;  // in the master's byte stream
        qsizetype count = 0;
        qint64 startUs = 0;
        int baud = 0;
    };
    struct Inbound {
        MasterFrame frame;
        int baud = 0;
        qint64 heardUs = 0;  // when its last character has crossed the line
    };

    void pump();
    void hearDue();
    void take(const std::vector<AssemblyEvent>& events, int lineBaud, qint64 nowUs);
    void armFlush();
    void flushQuiet();
    qint64 lineEndUs(quint64 streamOffset, qint64 nowUs);
    void handle(const MasterFrame& frame, int lineBaud, qint64 heardMs);
    void handleOne(const MasterFrame& frame, int lineBaud, qint64 heardMs);
    void pollUnsolicited();
    void enqueue(QByteArray bytes, int baud, qint64 dueMs, bool text);

    Bus& m_bus;
    LineTiming m_timing;
    QString m_name;
    FrameAssembler m_assembler;
    QElapsedTimer m_clock;
    std::deque<Outgoing> m_queue;
    QTimer m_timer;
    // Wire-speed mode only: the master's side of the line.
    std::deque<Chunk> m_chunks;
    std::deque<Inbound> m_inbound;
    quint64 m_received = 0;  // master bytes received so far
    quint64 m_assembled = 0; // of them, bytes the assembler has turned into frames or discarded
    qint64 m_lineFreeUs = 0;
    QTimer m_inboundTimer;
    // Ends a text (and drops an unfinished frame) once the line has been quiet long enough.
    QTimer m_flushTimer;
    int m_lastBaud = 0;  // the speed of the bytes the assembler holds
    QTimer m_unsolicitedTimer;
    std::uint64_t m_unsolicitedCursor = 0;
    quint64 m_generation = 0;  // counts resets, so a reset from a slot of transmit() is noticed
};

} // namespace veltro::sim
