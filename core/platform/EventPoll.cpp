#include "EventPoll.h"

#include <cerrno>
#include <cstdint>
#include <poll.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <unistd.h>

namespace kel::platform {
namespace {

void CloseDescriptor(int& fd)
{
    if (fd >= 0) {
        ::close(fd);
        fd = -1;
    }
}

} // namespace

bool CWakeEvent::Create()
{
    Close();
    m_fd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    return m_fd >= 0;
}

void CWakeEvent::Set()
{
    if (m_fd < 0)
        return;
    const uint64_t one = 1;
    // An eventfd refuses a write only when its counter is full: set already.
    [[maybe_unused]] const ssize_t written = ::write(m_fd, &one, sizeof one);
}

bool CWakeEvent::WaitSet(int timeoutMs) const
{
    pollfd wait{m_fd, POLLIN, 0};
    return ::poll(&wait, 1, timeoutMs) == 1;
}

void CWakeEvent::Reset()
{
    uint64_t count = 0;
    [[maybe_unused]] const ssize_t read = ::read(m_fd, &count, sizeof count);
}

void CWakeEvent::Close()
{
    CloseDescriptor(m_fd);
}

bool CEventPoll::Create()
{
    Close();
    m_fd = epoll_create1(EPOLL_CLOEXEC);
    return m_fd >= 0;
}

bool CEventPoll::AddWakeEvent(const CWakeEvent& event)
{
    epoll_event entry{};
    entry.events = EPOLLIN;
    entry.data.ptr = nullptr;
    return epoll_ctl(m_fd, EPOLL_CTL_ADD, event.Descriptor(), &entry) == 0;
}

bool CEventPoll::AddOneShot(SOCKET socket, void* key)
{
    epoll_event entry{};
    entry.events = EPOLLIN | EPOLLONESHOT;
    entry.data.ptr = key;
    return epoll_ctl(m_fd, EPOLL_CTL_ADD, socket, &entry) == 0;
}

bool CEventPoll::Rearm(SOCKET socket, void* key)
{
    epoll_event entry{};
    entry.events = EPOLLIN | EPOLLONESHOT;
    entry.data.ptr = key;
    return epoll_ctl(m_fd, EPOLL_CTL_MOD, socket, &entry) == 0;
}

bool CEventPoll::AddWritable(SOCKET socket, void* key)
{
    epoll_event entry{};
    entry.events = EPOLLOUT;
    entry.data.ptr = key;
    return epoll_ctl(m_fd, EPOLL_CTL_ADD, socket, &entry) == 0;
}

bool CEventPoll::Remove(SOCKET socket)
{
    return epoll_ctl(m_fd, EPOLL_CTL_DEL, socket, nullptr) == 0;
}

int CEventPoll::Wait(void** keys, int capacity, int timeoutMs)
{
    constexpr int kMostAtOnce = 64;
    epoll_event events[kMostAtOnce];
    const int count = epoll_wait(m_fd, events, capacity < kMostAtOnce ? capacity : kMostAtOnce, timeoutMs);
    for (int i = 0; i < count; ++i)
        keys[i] = events[i].data.ptr;
    return count;
}

void CEventPoll::Close()
{
    CloseDescriptor(m_fd);
}

SocketReady WaitForSocketIO(SOCKET socket, const CWakeEvent& stop, const CWakeEvent& kick, bool wantWrite,
                            int timeoutMs)
{
    const short wanted = static_cast<short>(POLLIN | POLLRDHUP | (wantWrite ? POLLOUT : 0));
    pollfd events[3] = {{stop.Descriptor(), POLLIN, 0}, {kick.Descriptor(), POLLIN, 0}, {socket, wanted, 0}};
    SocketReady ready;
    if (::poll(events, 3, timeoutMs) <= 0)
        return ready;
    const short found = events[2].revents;
    ready.stopped = events[0].revents != 0;
    ready.kicked = events[1].revents != 0;
    ready.failed = (found & (POLLERR | POLLNVAL)) != 0;
    ready.readable = (found & (POLLIN | POLLRDHUP | POLLHUP)) != 0;
    ready.writable = (found & POLLOUT) != 0;
    return ready;
}

} // namespace kel::platform
