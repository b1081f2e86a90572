// What one client connection to a server shares between the associations it uses: a call in
// progress on any of them can be abandoned from another thread, and once one of them failed in
// the transport the server counts as lost, so every later call fails at once instead of
// contacting it again (and waiting out another timeout).
#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "com/HResult.h"

namespace com {

class Association;

class Link {
public:
    Link() = default;
    Link(const Link&) = delete;
    Link& operator=(const Link&) = delete;

    // From any thread: shuts down the sockets of every association attached (a call waiting on
    // one fails at once) and refuses every later call. Safe to repeat.
    void Abort();
    bool Aborted() const { return m_aborted.load(); }

    // A call failed in the transport; `why` is its error text. The first reason is kept.
    void MarkLost(const std::string& why);
    bool Lost() const { return m_lost.load(); }

    // S_OK while usable. Once lost: RPC_S_CALL_FAILED_DNE with the thread's error text saying
    // why, prefixed by `endpoint` ("host port N") when the reason does not name one.
    HRESULT Refuse(const std::string& endpoint) const;

    // Associations attach for their lifetime, so Abort reaches their sockets.
    void Attach(Association* association);
    void Detach(Association* association);

private:
    mutable std::mutex m_mutex;
    std::atomic<bool> m_lost{false};
    std::atomic<bool> m_aborted{false};
    std::string m_why;  // with the endpoint it failed at; empty after an Abort
    std::vector<Association*> m_attached;
};

using LinkPtr = std::shared_ptr<Link>;

// The link an in-process activation on this thread connects its channels to (none outside one).
// In-process servers are activated synchronously on the caller's thread, so the scope is the
// thread's.
class ActivationLinkScope {
public:
    explicit ActivationLinkScope(LinkPtr link);
    ~ActivationLinkScope();
    ActivationLinkScope(const ActivationLinkScope&) = delete;
    ActivationLinkScope& operator=(const ActivationLinkScope&) = delete;

private:
    LinkPtr m_previous;
};
LinkPtr CurrentActivationLink();

}  // namespace com
