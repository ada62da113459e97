// CKelNetServer's sends: Write and WriteAll, the per-connection queues of
// bytes the peers have not taken yet, and the send thread that empties them.
#include "KelNetServer.h"

#include "NetServerRecords.h"
#include "platform/StreamSocket.h"

#include <algorithm>
#include <chrono>
#include <vector>

using kel::net::CSendQueue;

namespace {

constexpr int kSendsPerWait = 32;
constexpr int kShortestStallCheckMs = 5;
constexpr int kLongestStallCheckMs = 1000;

// Stalls are looked for a few times within the limit, so that one is found
// at most a quarter of the limit late.
int StallCheckIntervalMs(DWORD limitMs)
{
    return static_cast<int>(std::clamp<DWORD>(limitMs / 4, kShortestStallCheckMs, kLongestStallCheckMs));
}

} // namespace

void CKelNetServer::SetSendStallLimit(DWORD milliseconds)
{
    m_nSendStallLimitMs = milliseconds;
}

void CKelNetServer::Write(SPerIOCPAddr* connection, const BYTE* data, const int& size)
{
    int sent = 0;
    bool sentOk = false;
    if (Record* served = _ServedHere(connection)) {
        // The usual reply, from vOnRead to its own connection.
        sentOk = _Send(served, data, size, sent);
    } else {
        Record* record = nullptr;
        {
            ServerListLock lock;
            if (connection && _g_plistPerIOHandle.Contains(connection)) {
                record = static_cast<Record*>(connection);
                ++record->pins;
            }
        }
        if (record) {
            sentOk = _Send(record, data, size, sent);
            ServerListLock lock;
            _Unpin(record);
        }
    }
    if (!sentOk)
        vOnError();
    vOnWrite(connection, data, sent);
}

void CKelNetServer::WriteAll(const BYTE* data, const int& size)
{
    std::vector<Record*> targets;
    {
        ServerListLock lock;
        targets.reserve(static_cast<size_t>(_g_plistPerIOHandle.GetCount()));
        for (SPerIOCPAddr* connection : _g_plistPerIOHandle) {
            auto* record = static_cast<Record*>(connection);
            ++record->pins;
            targets.push_back(record);
        }
    }
    // Sent outside the section; the pins keep every record alive meanwhile.
    for (Record* record : targets) {
        int sent = 0;
        if (!_Send(record, data, size, sent))
            vOnError();
    }
    {
        ServerListLock lock;
        for (Record* record : targets)
            _Unpin(record);
    }
    vOnWriteAll(data, size);
}

// Sends or queues for a record that the caller keeps alive (pinned, or being
// served on this thread). False when the bytes were not all taken.
bool CKelNetServer::_Send(Record* record, const BYTE* data, int size, int& sent)
{
    sent = 0;
    if (size < 0 || (!data && size > 0))
        return false;
    if (size == 0)
        return true;
    size_t taken = 0;
    const CSendQueue::Written written =
        record->sendQueue.Write(record->sockClient, data, static_cast<size_t>(size), taken);
    sent = static_cast<int>(taken);
    switch (written) {
    case CSendQueue::Written::StartedQueue:
        _WatchSend(record);
        return true;
    case CSendQueue::Written::Sent:
    case CSendQueue::Written::Queued:
        return true;
    case CSendQueue::Written::Overflow:
        _DropConnection(record);
        return false;
    case CSendQueue::Written::Failed:
        break;
    }
    return false;
}

// Ends a connection for its sends. The shutdown wakes the connection's
// receive, so a completion thread ends it with vOnClose (or, when it is
// being served now, as soon as its vOnRead returns).
void CKelNetServer::_DropConnection(Record* record)
{
    record->dropped = true;
    record->sendQueue.Fail();
    kel::platform::ShutdownBoth(record->sockClient);
}

// The queue of `record` has just started: the send thread sends the rest
// when the peer takes more.
void CKelNetServer::_WatchSend(Record* record)
{
    Records& records = *record->owner->m_records;
    const std::lock_guard<std::mutex> lock(records.sendLock);
    if (!records.sending.insert(record).second)
        return;
    if (!records.sendPoll.AddWritable(record->sockClient, record)) {
        // Nothing would ever send the queued bytes.
        records.sending.erase(record);
        _DropConnection(record);
    }
}

// Before a record is freed.
void CKelNetServer::_ForgetSend(Record* record)
{
    Records& records = *record->owner->m_records;
    const std::lock_guard<std::mutex> lock(records.sendLock);
    if (records.sending.erase(record) != 0)
        records.sendPoll.Remove(record->sockClient);
}

unsigned CKelNetServer::_ThreadSend(void* server)
{
    static_cast<CKelNetServer*>(server)->_SendLoop();
    return 0;
}

void CKelNetServer::_SendLoop()
{
    using Clock = std::chrono::steady_clock;
    void* keys[kSendsPerWait];
    auto lastCheck = Clock::now();
    for (;;) {
        const int intervalMs = StallCheckIntervalMs(m_nSendStallLimitMs);
        const int count = m_records->sendPoll.Wait(keys, kSendsPerWait, intervalMs);
        if (count < 0 && kel::platform::LastSocketFailure() != kel::platform::ESocketFailure::Interrupted)
            return; // the epoll instance is unusable
        const std::lock_guard<std::mutex> lock(m_records->sendLock);
        for (int i = 0; i < count; ++i) {
            if (!keys[i])
                return; // the stop event
            _FlushQueued(static_cast<Record*>(keys[i]));
        }
        if (Clock::now() - lastCheck >= std::chrono::milliseconds(intervalMs)) {
            _DropStalled();
            lastCheck = Clock::now();
        }
    }
}

// Under sendLock: sends what the peer takes now; stops watching a record
// whose queue is empty or whose sends failed.
void CKelNetServer::_FlushQueued(Record* record)
{
    // A key of a record forgotten since the wait returned may be stale.
    if (m_records->sending.count(record) == 0)
        return;
    const CSendQueue::Flushed flushed = record->sendQueue.Flush(record->sockClient);
    if (flushed == CSendQueue::Flushed::Pending)
        return;
    m_records->sending.erase(record);
    m_records->sendPoll.Remove(record->sockClient);
    if (flushed == CSendQueue::Flushed::Failed)
        _DropConnection(record);
}

// Under sendLock: ends the connections whose peers took nothing for too long.
void CKelNetServer::_DropStalled()
{
    const std::chrono::milliseconds limit(m_nSendStallLimitMs.load());
    std::vector<Record*> stalled;
    for (Record* record : m_records->sending) {
        if (record->sendQueue.Stalled(limit))
            stalled.push_back(record);
    }
    for (Record* record : stalled) {
        m_records->sending.erase(record);
        m_records->sendPoll.Remove(record->sockClient);
        _DropConnection(record);
    }
}
