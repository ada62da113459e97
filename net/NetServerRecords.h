#pragma once

// What CKelNetServer keeps about its connections and threads; shared by the
// server's source files only.
#include "KelNetServer.h"
#include "SendQueue.h"

#include <mutex>
#include <thread>
#include <unordered_set>

// Holds the class-wide section for one scope.
class ServerListLock {
public:
    ServerListLock() { CKelNetServer::_g_criticalsectionServer.Lock(); }
    ~ServerListLock() { CKelNetServer::_g_criticalsectionServer.Unlock(); }
    ServerListLock(const ServerListLock&) = delete;
    ServerListLock& operator=(const ServerListLock&) = delete;
};

// The server's side of a connection: the application's record, its receive,
// its unsent bytes, and who may still use it.
struct CKelNetServer::Record : SPerIOCPAddr {
    SPerIOCPData io;
    CKelNetServer* owner = nullptr;
    int pins = 0;          // sends of Write and WriteAll in progress
    std::atomic<bool> closed{false}; // ended by Close or Stop: freed without vOnClose (set under the section)
    // Ended for its sends (queue full, stalled or failed): the completion
    // thread that meets it next ends it with vOnClose.
    std::atomic<bool> dropped{false};
    bool finished = false; // the server is done with it; freed once unpinned
    // Stored before the record is armed, loaded after epoll hands it over:
    // makes the hand-over between threads visible to the memory model (and
    // to ThreadSanitizer), which cannot see through the kernel.
    std::atomic<unsigned> handOver{0};
    // Held around re-arming, which runs without the section: the completion
    // that the re-arm lets in may reach another thread before the call
    // returns, and the record is freed only once it has.
    std::mutex arming;
    kel::net::CSendQueue sendQueue{kKelSendQueueLimit};
};

// A completion thread claims a slot when it starts. While it hands a record
// to vOnRead, the slot names it: a Write from that hook to that record finds
// it there and needs no section, since only this thread can free it.
struct CKelNetServer::CompletionSlot {
    std::atomic<std::thread::id> thread{}; // set by the thread itself
    Record* serving = nullptr;             // used by that thread only
};

struct CKelNetServer::Records {
    explicit Records(DWORD threads) : slots(std::make_unique<CompletionSlot[]>(threads)) {}
    std::unordered_set<Record*> unfreed; // under the section
    std::unique_ptr<CompletionSlot[]> slots;

    // The send thread watches the connections with queued bytes. A record
    // in `sending` is not freed before it has been taken out under
    // `sendLock`, so the send thread may use every record it finds there.
    std::thread sendThread;
    kel::platform::CEventPoll sendPoll;
    std::mutex sendLock;
    std::unordered_set<Record*> sending; // under sendLock
};
