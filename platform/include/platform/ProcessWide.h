#pragma once
// One implementation of an interface for the whole process, made on first use, in whose place a
// test may put another for a while (CScopedInPlace).

#include <functional>
#include <memory>
#include <mutex>
#include <utility>

namespace platform {

template <class Interface> class CProcessWide
{
public:
    using MakeDefault = std::function<std::shared_ptr<Interface>()>;

    explicit CProcessWide(MakeDefault makeDefault) : m_makeDefault(std::move(makeDefault)) {}

    // The implementation in place: the default one is made when none is.
    std::shared_ptr<Interface> Get()
    {
        const std::lock_guard guard(m_lock);
        if (!m_pCurrent)
            m_pCurrent = m_makeDefault();
        return m_pCurrent;
    }

    // Puts an implementation in place and hands back the one it replaces (null for the default).
    std::shared_ptr<Interface> Exchange(std::shared_ptr<Interface> pNext)
    {
        const std::lock_guard guard(m_lock);
        return std::exchange(m_pCurrent, std::move(pNext));
    }

private:
    std::mutex m_lock;
    MakeDefault m_makeDefault;
    std::shared_ptr<Interface> m_pCurrent;
};

// Puts an implementation in a process-wide place for the life of the guard, and the one it
// replaced back after.
template <class Interface> class CScopedInPlace
{
public:
    CScopedInPlace(CProcessWide<Interface>& place, std::shared_ptr<Interface> pImplementation)
        : m_place(place), m_pPrevious(place.Exchange(std::move(pImplementation)))
    {
    }
    ~CScopedInPlace() { m_place.Exchange(std::move(m_pPrevious)); }
    CScopedInPlace(const CScopedInPlace&) = delete;
    CScopedInPlace& operator=(const CScopedInPlace&) = delete;

private:
    CProcessWide<Interface>& m_place;
    std::shared_ptr<Interface> m_pPrevious;
};

} // namespace platform
