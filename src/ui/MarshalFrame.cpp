#include "ui/MarshalFrame.h"

#include <QElapsedTimer>
#include <QThread>

#include "document/QOBDoc.h"

namespace {

// How long one turn of the window's thread applies queued items before it lets the window paint
// and take input again.
constexpr qint64 kTurnMs = 25;

}  // namespace

CMarshalFrame::CMarshalFrame(IQOBFrame& window, CQOBDoc* doc, QObject* parent)
    : QObject(parent), m_window(window), m_pDoc(doc) {}

CMarshalFrame::~CMarshalFrame() { SetClosing(true); }

bool CMarshalFrame::IsWindowThread() const { return QThread::currentThread() == thread(); }

void CMarshalFrame::Queue(Item item) {
    bool post = false;
    {
        std::lock_guard lock(m_mutex);
        m_pending.push_back(std::move(item));
        post = !m_bPosted;
        m_bPosted = true;
    }
    if (post) QMetaObject::invokeMethod(this, [this] { Drain(true); }, Qt::QueuedConnection);
}

void CMarshalFrame::Log(uint32_t level, const std::string& text) {
    if (!IsWindowThread()) return Queue(Line{level, text});
    Flush();
    m_window.Log(level, text);
}

void CMarshalFrame::SetStatusText(const std::string& text) {
    if (!IsWindowThread()) return Queue(Status{text});
    Flush();
    m_window.SetStatusText(text);
}

void CMarshalFrame::ShowProgress(int done, int total) {
    if (!IsWindowThread()) return Queue(Progress{done, total});
    Flush();
    m_window.ShowProgress(done, total);
}

void CMarshalFrame::UpdateViews(int code, const std::string& hint) {
    if (IsWindowThread() || !m_fnRowSink) {
        if (!IsWindowThread()) return;  // nobody could take the copy; the window must not look itself
        Flush();
        m_window.UpdateViews(code, hint);
        return;
    }
    RowUpdate update;
    update.code = code;
    update.number = hint;
    if (m_pDoc) {
        if (const server::ExtSummary* row = m_pDoc->FindExtRow(hint)) {
            update.found = true;
            update.row = *row;
            if (code != UPDATE_ROW_TEXT)
                update.synchronizable = m_pDoc->IsSynchronizable(hint, std::string(server::FieldText(row->HomeServer)));
        }
    }
    Queue(std::move(update));
}

void CMarshalFrame::Post(std::function<void()> fn) {
    if (!IsWindowThread()) return Queue(std::move(fn));
    Flush();
    fn();
}

int CMarshalFrame::MessageBox(const std::string& text, unsigned type, const std::string& caption) {
    if (IsWindowThread()) {
        Flush();
        return m_window.MessageBox(text, type, caption);
    }
    Question q{Question::Kind::Message, &text, &caption, type};
    Ask(q);
    return q.answer;
}

bool CMarshalFrame::AskDeleteScope(DeleteScopePrompt& prompt) {
    if (IsWindowThread()) {
        Flush();
        return m_window.AskDeleteScope(prompt);
    }
    Question q{Question::Kind::DeleteScope};
    q.prompt = &prompt;
    Ask(q);
    return q.answer != 0;
}

void CMarshalFrame::RequestMapEdit() {
    if (IsWindowThread()) {
        Flush();
        return m_window.RequestMapEdit();
    }
    Question q{Question::Kind::MapEdit};
    Ask(q);
}

void CMarshalFrame::Ask(Question& q) {
    {
        std::lock_guard lock(m_mutex);
        if (m_bClosing) {
            AnswerCancelled(q);
            return;
        }
    }
    Queue(&q);
    std::unique_lock lock(m_mutex);
    m_answered.wait(lock, [&q] { return q.answered; });
}

void CMarshalFrame::AnswerCancelled(Question& q) {
    switch (q.kind) {
    case Question::Kind::Message:
        switch (q.type & 0xF) {
        case MB_OK: q.answer = IDOK; break;
        case MB_YESNO: q.answer = IDNO; break;
        default: q.answer = IDCANCEL; break;
        }
        break;
    case Question::Kind::DeleteScope:
    case Question::Kind::MapEdit: q.answer = 0; break;
    }
    q.answered = true;
}

void CMarshalFrame::Answer(Question& q, int answer) {
    {
        std::lock_guard lock(m_mutex);
        q.answer = answer;
        q.answered = true;
    }
    m_answered.notify_all();
}

void CMarshalFrame::SetClosing(bool closing) {
    {
        std::lock_guard lock(m_mutex);
        m_bClosing = closing;
        if (!closing) return;
        // Questions not shown yet are answered now; their items stay as nothing to do, since the
        // engine may drop a question as soon as it has its answer.
        auto cancel = [](Item& item) {
            if (Question** q = std::get_if<Question*>(&item)) {
                AnswerCancelled(**q);
                item = std::function<void()>();
            }
        };
        for (Item& item : m_pending) cancel(item);
        for (size_t i = m_nWorkAt; i < m_work.size(); ++i) cancel(m_work[i]);
    }
    m_answered.notify_all();
}

void CMarshalFrame::Flush() {
    if (IsWindowThread()) Drain(false);
}

void CMarshalFrame::Drain(bool budgeted) {
    // A question's dialog runs an event loop of its own: the drain that showed it goes on after it.
    if (m_bDraining) return;
    m_bDraining = true;
    QElapsedTimer turn;
    turn.start();
    for (;;) {
        if (m_nWorkAt == m_work.size()) {
            m_work.clear();
            m_nWorkAt = 0;
            std::lock_guard lock(m_mutex);
            if (m_pending.empty()) {
                m_bPosted = false;
                break;
            }
            m_work.swap(m_pending);
        }
        if (budgeted && turn.elapsed() >= kTurnMs) {
            // More to do: the next turn comes after what the window has waiting meanwhile.
            QMetaObject::invokeMethod(this, [this] { Drain(true); }, Qt::QueuedConnection);
            break;
        }
        Item item = std::move(m_work[m_nWorkAt++]);
        Apply(item);
    }
    m_bDraining = false;
}

void CMarshalFrame::Apply(Item& item) {
    if (auto* line = std::get_if<Line>(&item)) {
        m_window.Log(line->level, line->text);
    } else if (auto* status = std::get_if<Status>(&item)) {
        m_window.SetStatusText(status->text);
    } else if (auto* progress = std::get_if<Progress>(&item)) {
        m_window.ShowProgress(progress->done, progress->total);
    } else if (auto* row = std::get_if<RowUpdate>(&item)) {
        if (m_fnRowSink) m_fnRowSink(*row);
    } else if (auto* fn = std::get_if<std::function<void()>>(&item)) {
        if (*fn) (*fn)();
    } else if (auto* question = std::get_if<Question*>(&item)) {
        Question& q = **question;
        switch (q.kind) {
        case Question::Kind::Message: Answer(q, m_window.MessageBox(*q.text, q.type, *q.caption)); break;
        case Question::Kind::DeleteScope: Answer(q, m_window.AskDeleteScope(*q.prompt) ? 1 : 0); break;
        case Question::Kind::MapEdit:
            m_window.RequestMapEdit();
            Answer(q, 0);
            break;
        }
    }
}
