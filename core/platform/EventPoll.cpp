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

int CEventPoll::Wait(void** keys, int capacity)
{
    constexpr int kMostAtOnce = 64;
    epoll_event events[kMostAtOnce];
    const int count = epoll_wait(m_fd, events, capacity < kMostAtOnce ? capacity : kMostAtOnce, -1);
    for (int i = 0; i < count; ++i)
        keys[i] = events[i].data.ptr;
    return count;
}

void CEventPoll::Close()
{
    CloseDescriptor(m_fd);
}

SocketWait WaitForSocket(SOCKET socket, const CWakeEvent& stop, int timeoutMs)
{
    pollfd events[2] = {{stop.Descriptor(), POLLIN, 0}, {socket, POLLIN | POLLRDHUP, 0}};
    if (::poll(events, 2, timeoutMs) <= 0)
        return SocketWait::TimedOut; // or interrupted: the caller looks again
    if (events[0].revents)
        return SocketWait::Stopped;
    const short ready = events[1].revents;
    if (ready & (POLLERR | POLLNVAL))
        return SocketWait::Failed;
    return ready & (POLLIN | POLLRDHUP | POLLHUP) ? SocketWait::Readable : SocketWait::TimedOut;
}

} // namespace kel::platform
