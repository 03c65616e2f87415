#include <gtest/gtest.h>

#include <thread>

#include <QDir>
#include <QSignalSpy>
#include <QTest>

#include "app/file_faults.h"
#include "app/scripted_operator.h"
#include "link/communication_log.h"

namespace veltro {
namespace {

QString Path(const std::filesystem::path& path) { return QString::fromStdString(path.string()); }

TEST(CommunicationLog, LinesAreKeptInTheOrderAppendedAndEachAppendIsSignalled) {
    CommunicationLog log;
    QSignalSpy appended(&log, &CommunicationLog::lineAppended);
    log.append("Sent: 10 40 05 45 16 ");
    log.append("");
    log.append("\r");  // the line of a single carriage return the gateway server writes
    EXPECT_EQ(log.lines(), QStringList({"Sent: 10 40 05 45 16 ", "", "\r"}));
    ASSERT_EQ(appended.count(), 3);
    EXPECT_EQ(appended.at(0).at(0).toString(), "Sent: 10 40 05 45 16 ");

    QSignalSpy cleared(&log, &CommunicationLog::cleared);
    log.clear();
    EXPECT_TRUE(log.lines().isEmpty());
    EXPECT_EQ(cleared.count(), 1);
}

TEST(CommunicationLog, LinesFromAWorkerThreadArriveOnTheLogsThreadInTheirOrder) {
    CommunicationLog log;
    std::vector<bool> onLogThread;
    QObject::connect(&log, &CommunicationLog::lineAppended,
                     [&] { onLogThread.push_back(QThread::currentThread() == log.thread()); });
    std::thread worker([&] {
        for (int i = 0; i < 100; ++i) log.append(QString::number(i));
    });
    worker.join();
    QTRY_COMPARE_WITH_TIMEOUT(log.lines().size(), 100, 2000);
    for (int i = 0; i < 100; ++i) EXPECT_EQ(log.lines().at(i), QString::number(i));
    EXPECT_EQ(std::count(onLogThread.begin(), onLogThread.end(), true), 100);
}

TEST(CommunicationLog, AtItsLimitTheOldestLinesGoAndTheFirstLineCountsThem) {
    CommunicationLog log(nullptr, 4);
    for (int i = 0; i < 4; ++i) log.append(QString::number(i));
    EXPECT_EQ(log.lines(), QStringList({"0", "1", "2", "3"}));
    EXPECT_EQ(log.droppedCount(), 0);
    log.append("4");  // the count line takes a place of its own
    EXPECT_EQ(log.lines(), QStringList({"... 2 older lines dropped", "2", "3", "4"}));
    log.append("5");
    EXPECT_EQ(log.lines(), QStringList({"... 3 older lines dropped", "3", "4", "5"}));

    test::TempFolder folder;
    ASSERT_TRUE(log.saveTo(Path(folder / "log.txt")));
    EXPECT_EQ(test::ReadWholeFile(folder / "log.txt"), "... 3 older lines dropped\n3\n4\n5\n");

    log.clear();
    log.append("after");
    EXPECT_EQ(log.lines(), QStringList{"after"});
    EXPECT_EQ(log.droppedCount(), 0);
}

TEST(CommunicationLog, LinesTooLongForItsBudgetDropTheOldestAndOnlyTheNewestOutlivesIt) {
    CommunicationLog log(nullptr, 100, 60);
    for (int i = 0; i < 6; ++i) log.append(QString(10, QChar('0' + i)));  // 60 characters: all stay
    EXPECT_EQ(log.droppedCount(), 0);
    log.append(QString(10, '6'));  // the count line takes its share of the budget too
    EXPECT_EQ(log.lines(), QStringList({"... 4 older lines dropped", QString(10, '4'), QString(10, '5'), QString(10, '6')}));

    const QString flood(1000, 'F');  // longer than the whole budget: kept while it is the newest
    log.append(flood);
    EXPECT_EQ(log.lines(), QStringList({"... 7 older lines dropped", flood}));
    log.append("after");
    EXPECT_EQ(log.lines(), QStringList({"... 8 older lines dropped", "after"}));
}

TEST(CommunicationLog, KeepsAHundredThousandLines) {
    CommunicationLog log;
    for (int i = 0; i < 100005; ++i) log.append(QString::number(i));
    ASSERT_EQ(log.lines().size(), 100000);
    EXPECT_EQ(log.lines().first(), "... 6 older lines dropped");
    EXPECT_EQ(log.lines().at(1), "6");
    EXPECT_EQ(log.lines().last(), "100004");
}

TEST(CommunicationLog, SavingWritesOneTextLinePerLogLine) {
    test::TempFolder folder;
    CommunicationLog log;
    log.append("Connected TCP/IP, at 10:00:00");
    log.append("Respond: E5 ");
    ASSERT_TRUE(log.saveTo(Path(folder / "log.txt")));
    EXPECT_EQ(test::ReadWholeFile(folder / "log.txt"), "Connected TCP/IP, at 10:00:00\nRespond: E5 \n");
    EXPECT_EQ(log.lines().size(), 2);  // nothing logged on success
}

TEST(CommunicationLog, AFailedSaveIsLoggedAndLeavesTheOldFileIntact) {
    test::TempFolder folder;
    const auto path = folder / "log.txt";
    test::WriteWholeFile(path, "old log\n");
    CommunicationLog log;
    log.append(QString(500, 'x'));

    {
        test::ImmutableFolder readOnly(folder.path());
        if (!readOnly.available()) GTEST_SKIP() << "needs chattr +i on " << folder.path();
        QString error;
        EXPECT_FALSE(log.saveTo(Path(path), &error));
        EXPECT_FALSE(error.isEmpty());
    }
    EXPECT_EQ(log.lines().last(), "Can not write file, no rights...");
    EXPECT_EQ(test::ReadWholeFile(path), "old log\n");

    {
        test::FileSizeLimit fullAfter(64);
        ASSERT_TRUE(fullAfter.available());
        EXPECT_FALSE(log.saveTo(Path(path)));
    }
    EXPECT_EQ(test::ReadWholeFile(path), "old log\n");
    EXPECT_EQ(folder.entries(), std::vector<std::string>{"log.txt"});

    test::WriteWholeFile(folder / "plain", "");
    EXPECT_FALSE(log.saveTo(Path(folder / "plain" / "log.txt")));
    EXPECT_EQ(log.lines().count("Can not write file, no rights..."), 3);
}

TEST(CommunicationLog, SaveLogProposesLogTxtInTheWorkingFolder) {
    test::TempFolder folder;
    const QString workingFolder = Path(folder.path());
    CommunicationLog log;
    log.append("line");
    test::ScriptedOperator operatorAtDesk;

    operatorAtDesk.chosenFile.reset();  // the operator cancels
    EXPECT_FALSE(log.saveWithDialog(operatorAtDesk, workingFolder));
    EXPECT_EQ(folder.entries(), std::vector<std::string>{});
    EXPECT_EQ(log.lines().size(), 1);

    operatorAtDesk.chosenFile = Path(folder / "mine.txt");
    EXPECT_TRUE(log.saveWithDialog(operatorAtDesk, workingFolder));
    EXPECT_EQ(test::ReadWholeFile(folder / "mine.txt"), "line\n");

    ASSERT_EQ(operatorAtDesk.saveDialogs.size(), 2u);
    EXPECT_EQ(operatorAtDesk.saveDialogs[1].folder, workingFolder);
    EXPECT_EQ(operatorAtDesk.saveDialogs[1].proposedName, QDir(workingFolder).filePath("log.txt"));
    EXPECT_EQ(operatorAtDesk.saveDialogs[1].filter, "Text Files (*.txt)");
}

} // namespace
} // namespace veltro
