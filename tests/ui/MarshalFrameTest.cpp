// The marshalling frame between the engine thread and the window: what the engine reports arrives
// on the window's thread in the order it was made without the engine ever waiting for it, a
// question waits for the window's answer, and row updates carry a copy of the merged row.
#include <QThread>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <future>
#include <thread>

#include "UiDriver.h"
#include "document/QOBDoc.h"
#include "support/RecordingFrame.h"
#include "ui/MarshalFrame.h"

using namespace uitest;

namespace {

// The window's side: records, and notes every call that came on another thread.
class WindowFrame : public RecordingFrame {
public:
    void Log(uint32_t level, const std::string& text) override {
        Check();
        if (lineCost.count() > 0) {
            const auto until = std::chrono::steady_clock::now() + lineCost;
            while (std::chrono::steady_clock::now() < until) {
            }
        }
        RecordingFrame::Log(level, text);
        order.push_back("log " + text);
    }
    int MessageBox(const std::string& text, unsigned type, const std::string& caption) override {
        Check();
        order.push_back("ask " + text);
        return RecordingFrame::MessageBox(text, type, caption);
    }
    void SetStatusText(const std::string& text) override {
        Check();
        RecordingFrame::SetStatusText(text);
        order.push_back("status " + text);
    }
    void ShowProgress(int done, int total) override {
        Check();
        order.push_back("progress " + std::to_string(done) + "/" + std::to_string(total));
    }
    void UpdateViews(int code, const std::string& hint) override {
        Check();
        RecordingFrame::UpdateViews(code, hint);
    }
    bool AskDeleteScope(DeleteScopePrompt& prompt) override {
        Check();
        order.push_back("scope " + prompt.number);
        return RecordingFrame::AskDeleteScope(prompt);
    }
    void RequestMapEdit() override {
        Check();
        RecordingFrame::RequestMapEdit();
    }
    void Check() {
        if (QThread::currentThread() != qApp->thread()) ++offThread;
    }
    std::vector<std::string> order;
    std::atomic<int> offThread{0};
    std::chrono::microseconds lineCost{0};
};

server::ExtSummary Row(const std::string& number, const std::string& first, const std::string& home) {
    server::ExtSummary row{};
    std::snprintf(row.ExtensionNumber, sizeof row.ExtensionNumber, "%s", number.c_str());
    std::snprintf(row.ExtFirstName, sizeof row.ExtFirstName, "%s", first.c_str());
    std::snprintf(row.HomeServer, sizeof row.HomeServer, "%s", home.c_str());
    return row;
}

class MarshalFrame : public UiTest {
protected:
    // Runs `work` as the engine would, on a thread of its own, and waits for it without letting the
    // window's thread take anything: whatever it reported is still queued when it returns.
    void OnEngine(const std::function<void()>& work) {
        std::thread engine(work);
        engine.join();
    }
    bool Eventually(const std::function<bool()>& condition) { return QTest::qWaitFor(condition, 5000); }

    CQOBDoc doc;
    WindowFrame window;
    CMarshalFrame frame{window, &doc};
};

TEST_F(MarshalFrame, EverythingTheEngineReportsArrivesOnTheWindowsThreadInItsOrderWithoutWaiting) {
    std::vector<std::string> expected;
    OnEngine([&] {
        for (int i = 0; i < 3000; ++i) {
            const std::string n = std::to_string(i);
            frame.Log(i % 2 ? LOG_INFO : LOG_DETAIL, "line " + n);
            expected.push_back("log line " + n);
            if (i % 100 == 0) {
                frame.SetStatusText("site " + n);
                frame.ShowProgress(i / 100, 30);
                expected.push_back("status site " + n);
                expected.push_back("progress " + std::to_string(i / 100) + "/30");
            }
        }
    });
    // The engine is done, and nothing has reached the window yet.
    EXPECT_TRUE(window.order.empty());
    ASSERT_TRUE(Eventually([&] { return window.order.size() == expected.size(); })) << window.order.size();
    EXPECT_EQ(window.order, expected);
    EXPECT_EQ(window.offThread, 0);
}

TEST_F(MarshalFrame, TheWindowKeepsTurningWhileALongQueueIsApplied) {
    // Each line takes the window 20 microseconds: 20,000 of them take about 400 ms to apply.
    window.lineCost = std::chrono::microseconds(20);
    OnEngine([&] {
        for (int i = 0; i < 20000; ++i) frame.Log(LOG_DETAIL, "x");
    });
    // A timer of the window ticks between the turns that apply the queue, not only after them.
    int ticksBefore = 0;
    QTimer tick;
    QObject::connect(&tick, &QTimer::timeout, [&] {
        if (window.order.size() < 20000u) ++ticksBefore;
    });
    tick.start(10);
    ASSERT_TRUE(Eventually([&] { return window.order.size() == 20000u; }));
    EXPECT_GE(ticksBefore, 5);
}

TEST_F(MarshalFrame, AQuestionWaitsForTheWindowsAnswerAfterTheLinesBeforeIt) {
    window.answer = IDYES;
    window.deleteScope = 1;
    std::atomic<int> answer{0};
    std::atomic<bool> scoped{false};
    std::atomic<int> choice{-1};
    std::thread engine([&] {
        frame.Log(LOG_INFO, "before");
        answer = frame.MessageBox("Continue?", MB_YESNO);
        DeleteScopePrompt prompt;
        prompt.number = "205";
        scoped = frame.AskDeleteScope(prompt);
        choice = prompt.choice;
        frame.RequestMapEdit();
        frame.Log(LOG_INFO, "after");
    });
    // Without the window's thread turning, the engine stays at the question.
    QThread::msleep(100);
    EXPECT_EQ(answer, 0);
    ASSERT_TRUE(Eventually([&] { return window.order.size() == 4; }));
    engine.join();
    EXPECT_EQ(window.order, (std::vector<std::string>{"log before", "ask Continue?", "scope 205", "log after"}));
    EXPECT_EQ(answer, IDYES);
    EXPECT_TRUE(scoped);
    EXPECT_EQ(choice, 1);
    EXPECT_EQ(window.mapEditRequests, 1);
    EXPECT_EQ(window.offThread, 0);
}

TEST_F(MarshalFrame, WhileClosingQuestionsAreAnsweredAsCancelledWithoutTheWindow) {
    std::promise<int> queuedAnswer;
    std::thread engine([&] { queuedAnswer.set_value(frame.MessageBox("Queued?", MB_YESNOCANCEL)); });
    // The question is queued; the window goes before it was shown.
    QThread::msleep(50);
    frame.SetClosing(true);
    auto pending = queuedAnswer.get_future();
    ASSERT_EQ(pending.wait_for(std::chrono::seconds(5)), std::future_status::ready);
    engine.join();
    EXPECT_EQ(pending.get(), IDCANCEL);

    int yesNo = 0, ok = 0;
    bool scope = true;
    OnEngine([&] {
        yesNo = frame.MessageBox("Sure?", MB_YESNO);
        ok = frame.MessageBox("Note", MB_OK);
        DeleteScopePrompt prompt;
        scope = frame.AskDeleteScope(prompt);
    });
    EXPECT_EQ(yesNo, IDNO);
    EXPECT_EQ(ok, IDOK);
    EXPECT_FALSE(scope);
    QTest::qWait(20);
    EXPECT_TRUE(window.messages.empty());
    EXPECT_TRUE(window.prompts.empty());
}

TEST_F(MarshalFrame, RowUpdatesCarryTheRowAsItWasWhenAnnounced) {
    doc.m_extList.emplace("101", Row("101", "Ann", "North"));
    std::vector<RowUpdate> rows;
    frame.SetRowSink([&](const RowUpdate& u) { rows.push_back(u); });
    OnEngine([&] {
        frame.UpdateViews(UPDATE_ROW_ADDED, "101");
        frame.UpdateViews(UPDATE_ROW_TEXT, "999");  // no such row
        // The document goes on changing before the window took the update.
        std::snprintf(doc.m_extList["101"].ExtFirstName, 33, "%s", "Bea");
        frame.UpdateViews(UPDATE_ROW_REFRESH, "101");
        doc.m_extList.clear();
    });
    ASSERT_TRUE(Eventually([&] { return rows.size() == 3; }));
    EXPECT_EQ(rows[0].code, UPDATE_ROW_ADDED);
    EXPECT_TRUE(rows[0].found);
    EXPECT_EQ(std::string(server::FieldText(rows[0].row.ExtFirstName)), "Ann");
    EXPECT_EQ(std::string(server::FieldText(rows[0].row.HomeServer)), "North");
    EXPECT_FALSE(rows[1].found);
    EXPECT_EQ(rows[1].number, "999");
    EXPECT_EQ(std::string(server::FieldText(rows[2].row.ExtFirstName)), "Bea");
    // Not through the window's own UpdateViews, which would read the document.
    EXPECT_TRUE(window.updates.empty());

    // On the window's thread (no command runs) the window's own update is called, at once.
    frame.UpdateViews(UPDATE_ROW_TEXT, "101");
    EXPECT_EQ(window.updates, (std::vector<std::pair<int, std::string>>{{UPDATE_ROW_TEXT, "101"}}));
}

TEST_F(MarshalFrame, ACallOnTheWindowsThreadComesAfterWhatTheEngineQueuedBeforeIt) {
    OnEngine([&] { frame.Log(LOG_INFO, "queued"); });
    frame.Log(LOG_INFO, "direct");
    std::vector<std::string> ran;
    OnEngine([&] { frame.Post([&] { ran.push_back("posted"); }); });
    frame.Flush();
    EXPECT_EQ(window.order, (std::vector<std::string>{"log queued", "log direct"}));
    EXPECT_EQ(ran, std::vector<std::string>{"posted"});
}

}  // namespace
