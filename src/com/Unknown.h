// The base interface of every object of the runtime: interface negotiation and reference counting.
#pragma once

#include <atomic>

#include "com/Guid.h"
#include "com/HResult.h"

namespace com {

constexpr IID IID_IUnknown = MakeGuid(0x00000000, 0x0000, 0x0000, 0xC0, 0, 0, 0, 0, 0, 0, 0x46);

class IUnknown {
public:
    virtual HRESULT QueryInterface(REFIID iid, void** ppv) = 0;
    virtual ULONG AddRef() = 0;
    virtual ULONG Release() = 0;

protected:
    ~IUnknown() = default;  // objects are destroyed by Release only
};

// Reference count for implementations; Release deletes through the virtual destructor of the holder.
class RefCount {
public:
    ULONG Increment() { return m_count.fetch_add(1, std::memory_order_relaxed) + 1; }
    ULONG Decrement() { return m_count.fetch_sub(1, std::memory_order_acq_rel) - 1; }
    ULONG Value() const { return m_count.load(std::memory_order_relaxed); }

private:
    std::atomic<ULONG> m_count{1};
};

// An object that serves IUnknown and one interface I (identified by iid), reference counted and
// destroyed by its last Release.
template <class I, const IID& Iid>
class SingleInterfaceObject : public I {
public:
    HRESULT QueryInterface(REFIID iid, void** ppv) override {
        if (!ppv) return E_POINTER;
        if (iid != IID_IUnknown && iid != Iid) {
            *ppv = nullptr;
            return E_NOINTERFACE;
        }
        *ppv = static_cast<I*>(this);
        AddRef();
        return S_OK;
    }
    ULONG AddRef() override { return m_refs.Increment(); }
    ULONG Release() override {
        ULONG n = m_refs.Decrement();
        if (n == 0) delete this;
        return n;
    }

protected:
    virtual ~SingleInterfaceObject() = default;

private:
    RefCount m_refs;
};

// Owning reference: Release on destruction.
template <class T>
class ComPtr {
public:
    ComPtr() = default;
    explicit ComPtr(T* p) : m_p(p) {}  // adopts a reference
    ComPtr(const ComPtr& o) : m_p(o.m_p) {
        if (m_p) m_p->AddRef();
    }
    ComPtr(ComPtr&& o) noexcept : m_p(o.m_p) { o.m_p = nullptr; }
    ComPtr& operator=(ComPtr o) noexcept {
        T* t = m_p;
        m_p = o.m_p;
        o.m_p = t;
        return *this;
    }
    ~ComPtr() { Reset(); }
    void Reset() {
        if (m_p) m_p->Release();
        m_p = nullptr;
    }
    T* Get() const { return m_p; }
    T* operator->() const { return m_p; }
    explicit operator bool() const { return m_p != nullptr; }
    T** Put() {
        Reset();
        return &m_p;
    }
    void** PutVoid() { return reinterpret_cast<void**>(Put()); }
    T* Detach() {
        T* t = m_p;
        m_p = nullptr;
        return t;
    }

private:
    T* m_p = nullptr;
};

}  // namespace com
