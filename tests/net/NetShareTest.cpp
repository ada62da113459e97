// CKelNetShare: dotted text, numbers, names and socket addresses.
#include "KelNetShare.h"
#include "NetTestSupport.h"

#include <gtest/gtest.h>

#include <netdb.h>
#include <string>
#include <thread>
#include <vector>

using namespace kel::test;

namespace {

// The first IPv4 address of `name` as the C library resolves it; empty when
// it does not.
std::wstring ResolvedByLibrary(const char* name)
{
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (getaddrinfo(name, nullptr, &hints, &found) != 0)
        return std::wstring();
    char text[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &reinterpret_cast<sockaddr_in*>(found->ai_addr)->sin_addr, text, sizeof text);
    freeaddrinfo(found);
    return std::wstring(text, text + std::strlen(text));
}

} // namespace

TEST(NetShareOwnParse, GivesNetworkOrder)
{
    EXPECT_EQ(CKelNetShare::getulIPbystrIP(L"10.0.0.1"), 0x0100000Au);
    EXPECT_EQ(CKelNetShare::getulIPbystrIP(L"192.168.0.1"), 0x0100A8C0u);
    EXPECT_EQ(CKelNetShare::getulIPbystrIP(L"255.255.255.255"), 0xFFFFFFFFu);
    EXPECT_EQ(CKelNetShare::getulIPbystrIP(L"0.0.0.0"), 0u);
}

TEST(NetShareOwnParse, RejectsMissingPartsAndOutOfRangeParts)
{
    EXPECT_EQ(CKelNetShare::getulIPbystrIP(nullptr), 0u);
    EXPECT_EQ(CKelNetShare::getulIPbystrIP(L""), 0u);
    EXPECT_EQ(CKelNetShare::getulIPbystrIP(L"10.0.0"), 0u);
    EXPECT_EQ(CKelNetShare::getulIPbystrIP(L"10.0.0.256"), 0u);
    EXPECT_EQ(CKelNetShare::getulIPbystrIP(L"10.-1.0.1"), 0u);
    EXPECT_EQ(CKelNetShare::getulIPbystrIP(L"99999999999999999999.0.0.1"), 0u);
}

TEST(NetShareOwnParse, ReadsLeadingDigitsAndIgnoresTheRest)
{
    EXPECT_EQ(CKelNetShare::getulIPbystrIP(L"1.2.3.4.5"), CKelNetShare::getulIPbystrIP(L"1.2.3.4"));
    EXPECT_EQ(CKelNetShare::getulIPbystrIP(L"1.2.3.4xyz"), 0x04030201u);
    // A part without digits reads as 0; the next '.' is searched from the
    // part's start.
    EXPECT_EQ(CKelNetShare::getulIPbystrIP(L"a.2.3.4"), 0x04030200u);
    EXPECT_EQ(CKelNetShare::getulIPbystrIP(L"1x.2.3.4"), 0x04030201u);
    EXPECT_EQ(CKelNetShare::getulIPbystrIP(L" 7.8.9.10"), 0x0A090807u);
}

TEST(NetShareSocketParse, GivesHostOrderAndFormatsBack)
{
    EXPECT_EQ(CKelNetShare::getdwIPFromstrIP(L"10.0.0.1"), 0x0A000001u);
    EXPECT_STREQ(CKelNetShare::getstrFromdwIP(0x0A000001u), L"10.0.0.1");
    EXPECT_STREQ(CKelNetShare::getstrFromdwIP(0xC0A80001u), L"192.168.0.1");
    for (const wchar_t* text : {L"0.0.0.0", L"127.0.0.1", L"172.16.254.3", L"255.255.255.254"}) {
        const DWORD value = CKelNetShare::getdwIPFromstrIP(text);
        EXPECT_STREQ(CKelNetShare::getstrFromdwIP(value), text);
        EXPECT_EQ(CKelNetShare::getulIPbystrIP(text), __builtin_bswap32(value)) << text;
    }
}

TEST(NetShareSocketParse, RejectsBadAndOverlongText)
{
    EXPECT_EQ(CKelNetShare::getdwIPFromstrIP(nullptr), 0xFFFFFFFFu);
    EXPECT_EQ(CKelNetShare::getdwIPFromstrIP(L""), 0xFFFFFFFFu);
    EXPECT_EQ(CKelNetShare::getdwIPFromstrIP(L"not an address"), 0xFFFFFFFFu);
    EXPECT_EQ(CKelNetShare::getdwIPFromstrIP(L"10.0.0.256"), 0xFFFFFFFFu);
    // 16 characters do not fit the 16-byte buffer with its terminator.
    EXPECT_EQ(CKelNetShare::getdwIPFromstrIP(L"010.000.000.0001"), 0xFFFFFFFFu);
    EXPECT_EQ(CKelNetShare::getdwIPFromstrIP(std::wstring(100000, L'1').c_str()), 0xFFFFFFFFu);
    // Non-ASCII text is converted, then refused by the parser.
    EXPECT_EQ(CKelNetShare::getdwIPFromstrIP(L"１０.０.０.１"), 0xFFFFFFFFu);
}

TEST(NetShareNames, ResolvesNamesLikeTheCLibrary)
{
    EXPECT_STREQ(CKelNetShare::getstrIPFromstrDNS(L"127.0.0.1"), L"127.0.0.1");
    EXPECT_STREQ(CKelNetShare::getstrIPFromstrDNS(L"localhost"), ResolvedByLibrary("localhost").c_str());
    // A label longer than DNS allows (63 bytes): the C library refuses the
    // name before any query is sent, so no resolver is asked.
    const std::wstring unresolvable = std::wstring(64, L'n') + L".invalid";
    EXPECT_STREQ(CKelNetShare::getstrIPFromstrDNS(unresolvable.c_str()), L"");
    EXPECT_STREQ(CKelNetShare::getstrIPFromstrDNS(nullptr), L"");
    EXPECT_STREQ(CKelNetShare::getstrIPFromstrDNS(L""), L"");
    // 255 bytes fit the buffer; 256 do not and are refused unresolved.
    const std::wstring longest(255, L'a');
    const std::wstring tooLong(256, L'a');
    EXPECT_STREQ(CKelNetShare::getstrIPFromstrDNS(longest.c_str()), L"");
    EXPECT_STREQ(CKelNetShare::getstrIPFromstrDNS(tooLong.c_str()), L"");
    EXPECT_STREQ(CKelNetShare::getstrIPFromstrDNS(std::wstring(1 << 20, L'x').c_str()), L"");
}

TEST(NetShareNames, LocalHostNameAndAddress)
{
    char name[512] = {};
    ASSERT_EQ(gethostname(name, sizeof name - 1), 0);
    EXPECT_STREQ(CKelNetShare::getstrNameFromLocalHost(), CStringW(name));

    const std::wstring expected = ResolvedByLibrary(name);
    const CString address = CKelNetShare::getstrIPFromLocalHost();
    if (expected.empty())
        EXPECT_STREQ(address, L"Cannot getting host from strHostName.");
    else
        EXPECT_STREQ(address, expected.c_str());
}

TEST(NetShareSockets, AddressOfSockaddrAndOfBoundSocket)
{
    sockaddr_in address = Loopback(8080);
    EXPECT_STREQ(CKelNetShare::getstrIPFromsockaddr(&address), L"127.0.0.1");
    EXPECT_STREQ(CKelNetShare::getstrIPFromsockaddr(nullptr), L"");

    Fd listener = ListenLoopback();
    SOCKET bound = listener.Get();
    EXPECT_STREQ(CKelNetShare::getstrIPFromsock(&bound), L"127.0.0.1");

    // The socket's own name, not its peer's: a client bound to 127.0.0.2
    // talking to 127.0.0.1.
    Fd client(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    sockaddr_in own = Loopback(0);
    own.sin_addr.s_addr = htonl(0x7F000002);
    ASSERT_EQ(::bind(client.Get(), reinterpret_cast<sockaddr*>(&own), sizeof own), 0);
    const sockaddr_in server = Loopback(LocalPort(listener.Get()));
    ASSERT_EQ(::connect(client.Get(), reinterpret_cast<const sockaddr*>(&server), sizeof server), 0);
    SOCKET connected = client.Get();
    EXPECT_STREQ(CKelNetShare::getstrIPFromsock(&connected), L"127.0.0.2");
}

TEST(NetShareSockets, SocketWithoutAddressGivesZeros)
{
    Fd fresh(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    SOCKET unbound = fresh.Get();
    EXPECT_STREQ(CKelNetShare::getstrIPFromsock(&unbound), L"0.0.0.0");
    SOCKET none = INVALID_SOCKET;
    EXPECT_STREQ(CKelNetShare::getstrIPFromsock(&none), L"0.0.0.0");
    EXPECT_STREQ(CKelNetShare::getstrIPFromsock(nullptr), L"0.0.0.0");
    // A descriptor that is not a socket at all.
    SOCKET notSocket = STDERR_FILENO;
    EXPECT_STREQ(CKelNetShare::getstrIPFromsock(&notSocket), L"0.0.0.0");
}

TEST(NetShareThreads, ConcurrentCallsKeepTheirOwnResults)
{
    // No shared result buffer: every thread sees its own answers.
    std::vector<std::thread> threads;
    std::vector<int> wrong(8, 0);
    for (int t = 0; t < 8; ++t) {
        threads.emplace_back([t, &wrong] {
            const DWORD own = 0x0A000000u + static_cast<DWORD>(t);
            for (int i = 0; i < 200; ++i) {
                const CString text = CKelNetShare::getstrFromdwIP(own);
                if (CKelNetShare::getdwIPFromstrIP(text) != own)
                    ++wrong[t];
                if (i % 50 == 0 && CKelNetShare::getstrIPFromstrDNS(L"127.0.0.1").Compare(L"127.0.0.1") != 0)
                    ++wrong[t];
            }
        });
    }
    for (std::thread& thread : threads)
        thread.join();
    for (int t = 0; t < 8; ++t)
        EXPECT_EQ(wrong[t], 0) << "thread " << t;
}
