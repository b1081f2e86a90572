// The document's frame while a command runs on the engine thread. Every call is carried over to
// the window's thread: log lines, status, progress and row updates are queued in the order made
// and never make the engine wait; a question (a message box, the deletion's scope, the request
// for the map table editor) makes the engine wait until the window answered it. A call made on the
// window's own thread goes straight through.
#pragma once

#include <QObject>

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <variant>
#include <vector>

#include "document/Frame.h"
#include "server/ExtSummary.h"

class CQOBDoc;

// A row update with the merged row as it was when the document announced it, copied on the
// engine thread so that the window never reads the document while a command runs.
struct RowUpdate {
    int code = 0;
    std::string number;
    bool found = false;           // the document had a merged row for the number
    server::ExtSummary row{};
    bool synchronizable = false;  // IsSynchronizable with the row's own home (codes 10 and 11)
};

class CMarshalFrame : public QObject, public IQOBFrame {
    Q_OBJECT
public:
    // `window` gets every call on the window's thread (the thread this object is made on); `doc`
    // is read on the engine thread for the row copies.
    CMarshalFrame(IQOBFrame& window, CQOBDoc* doc, QObject* parent = nullptr);
    ~CMarshalFrame() override;

    void Log(uint32_t level, const std::string& text) override;
    int MessageBox(const std::string& text, unsigned type = MB_OK, const std::string& caption = "QOB") override;
    void SetStatusText(const std::string& text) override;
    void UpdateViews(int code, const std::string& hint) override;
    // The command shows its own busy pointer; the document's requests change nothing.
    void BeginWaitCursor() override {}
    void EndWaitCursor() override {}
    void RequestMapEdit() override;
    bool AskDeleteScope(DeleteScopePrompt& prompt) override;
    void ShowProgress(int done, int total) override;

    // Where row updates go on the window's thread; without one, the window's own UpdateViews.
    void SetRowSink(std::function<void(const RowUpdate&)> sink) { m_fnRowSink = std::move(sink); }
    // Runs `fn` on the window's thread after everything queued before it.
    void Post(std::function<void()> fn);
    // On the window's thread: applies everything queued so far.
    void Flush();
    // Questions are answered as cancelled without being shown while closing (the window is going
    // away and the engine must not wait on it); those already queued too.
    void SetClosing(bool closing);
    bool IsWindowThread() const;

private:
    struct Line {
        uint32_t level;
        std::string text;
    };
    struct Status {
        std::string text;
    };
    struct Progress {
        int done, total;
    };
    struct Question {
        enum class Kind { Message, DeleteScope, MapEdit } kind;
        const std::string* text = nullptr;
        const std::string* caption = nullptr;
        unsigned type = MB_OK;
        DeleteScopePrompt* prompt = nullptr;
        int answer = 0;
        bool answered = false;
    };
    using Item = std::variant<Line, Status, Progress, RowUpdate, std::function<void()>, Question*>;

    void Queue(Item item);
    // Waits on the engine thread until the window answered.
    void Ask(Question& q);
    static void AnswerCancelled(Question& q);
    void Answer(Question& q, int answer);
    void Drain(bool budgeted);
    void Apply(Item& item);

    IQOBFrame& m_window;
    CQOBDoc* m_pDoc;
    std::function<void(const RowUpdate&)> m_fnRowSink;

    std::mutex m_mutex;
    std::condition_variable m_answered;
    std::vector<Item> m_pending;  // queued by the engine; guarded by m_mutex
    bool m_bPosted = false;       // a drain is on its way to the window's thread
    bool m_bClosing = false;
    // The window's thread only: the items taken from m_pending and how far they were applied.
    std::vector<Item> m_work;
    size_t m_nWorkAt = 0;
    bool m_bDraining = false;
};
