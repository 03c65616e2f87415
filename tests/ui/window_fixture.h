#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <memory>

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QWidget>

#include "engine/engine.h"
#include "app/live_settings.h"
#include "app/scripted_operator.h"
#include "link/communication_log.h"
#include "meters/meter_page.h"
#include "sim/bridge_server.h"
#include "sim/default_bus.h"
#include "ui/main_window.h"

namespace veltro::test {

// The scripted operator, also remembering the questions it was asked.
class UiOperator : public ScriptedOperator {
public:
    struct Question {
        QString title, text;
        Buttons buttons;
    };
    std::vector<Question> questions;
    std::vector<QString> openDialogFolders;

    Answer question(const QString& title, const QString& text, Buttons buttons) override {
        questions.push_back({title, text, buttons});
        return ScriptedOperator::question(title, text, buttons);
    }
    std::optional<QString> openFileName(const QString& folder, const QString& filter) override {
        openDialogFolders.push_back(folder);
        return ScriptedOperator::openFileName(folder, filter);
    }
};

// The real main window on a real engine in a temporary program folder. `startSimulatedBus` puts the
// default simulated bus behind a loopback bridge on this thread and points the INI file at it.
class WindowFixture : public ::testing::Test {
protected:
    static constexpr int kWindow = 80;  // the response window of the bus tests, in ms

    QString iniPath() const { return m_home.filePath(QStringLiteral("veltro.ini")); }
    QString homePath() const { return m_home.path(); }
    QString inHome(const QString& name) const { return m_home.filePath(name); }

    void writeIni(const QByteArray& text) {
        QFile file(iniPath());
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        ASSERT_EQ(file.write(text), text.size());
    }
    QByteArray readIni() const {
        QFile file(iniPath());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    // The engine and the window, as the program makes them (`FormCreate` reads the INI file).
    void createWindow(const QString& iniFile = {}) {
        ASSERT_TRUE(m_home.isValid());
        engine = std::make_unique<Engine>(iniFile.isEmpty() ? iniPath() : iniFile, homePath(), operatorScript);
        engine->meters().setLocale(QLocale::c());
        window = std::make_unique<TForm11>(*engine);
    }

    void startSimulatedBus() {
        m_bus = sim::DefaultBus();
        m_bridge = std::make_unique<sim::BridgeServer>(*m_bus, sim::LineTiming{std::chrono::milliseconds{5}});
        ASSERT_TRUE(m_bridge->listen());
        writeIni("[Misc]\r\nUseVODUD=1\r\nRetry=0\r\n[VODUD]\r\nIP=127.0.0.1\r\nPort=" +
                 QByteArray::number(m_bridge->port()) + "\r\nEthTimeout=20\r\n");
        createWindow();
        // Shorter than the window's field allows (300 ms), as the engine accepts any window.
        engine->settings().setResponseWindow(kWindow);
    }

    template <class Widget>
    Widget* find(const char* name) const {
        auto* widget = window->findChild<Widget*>(QString::fromLatin1(name));
        EXPECT_NE(widget, nullptr) << "no control named " << name;
        return widget;
    }

    // "x" for each checked box or button of `names`, "-" for each unchecked one.
    QString checked(const QStringList& names) const {
        QString marks;
        for (const QString& name : names) marks += find<QAbstractButton>(name.toLatin1().constData())->isChecked() ? "x" : "-";
        return marks;
    }
    // The text a control shows: a button's, a label's, an action's, a group's title or a page's tab.
    QString caption(const char* name) const {
        QObject* control = window->findChild<QObject*>(name);
        if (auto* button = qobject_cast<QAbstractButton*>(control)) return button->text();
        if (auto* label = qobject_cast<QLabel*>(control)) return label->text();
        if (auto* action = qobject_cast<QAction*>(control)) return action->text();
        if (auto* group = qobject_cast<QGroupBox*>(control)) return group->title();
        if (auto* page = qobject_cast<QWidget*>(control)) {
            auto* pages = find<QTabWidget>("PageControl1");
            return pages->tabText(pages->indexOf(page));
        }
        return QStringLiteral("<no control %1>").arg(name);
    }

    static bool waitFor(const std::function<bool()>& done, int limitMs = 15000) {
        QElapsedTimer timer;
        timer.start();
        while (!done() && timer.elapsed() < limitMs) QApplication::processEvents(QEventLoop::AllEvents, 5);
        return done();
    }
    bool waitIdle() {
        return waitFor([&] { return engine->meters().busOperation() == BusOperation::None; });
    }

    // The frames the simulated bus heard so far, as hex text.
    std::vector<std::string> heardFrames() const {
        std::vector<std::string> frames;
        if (m_bus)
            for (const auto& entry : m_bus->journal()) frames.push_back(entry.frame);
        return frames;
    }

    UiOperator operatorScript;
    std::unique_ptr<Engine> engine;
    std::unique_ptr<TForm11> window;

    void TearDown() override {
        window.reset();
        engine.reset();
    }

private:
    QTemporaryDir m_home;
    std::unique_ptr<sim::Bus> m_bus;
    std::unique_ptr<sim::BridgeServer> m_bridge;
};

} // namespace veltro::test
