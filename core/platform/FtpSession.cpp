#include "FtpSession.h"

#include "ErrorNumbers.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <cstring>

namespace kel::platform {
namespace {

constexpr WORD kDefaultFtpPort = 21;
constexpr size_t kReceiveBuffer = 64 * 1024;
constexpr int kPreliminaryLimit = 8;
// QUIT is a courtesy: a server that does not answer it quickly is left.
constexpr int kQuitTimeoutMs = 1000;

bool IsPositivePreliminary(int code) { return code >= 100 && code < 200; }
bool IsCompletion(int code) { return code >= 200 && code < 300; }

// A line break inside an argument would smuggle a second command.
bool IsSafeArgument(std::string_view argument)
{
    return argument.find_first_of("\r\n") == std::string_view::npos;
}

// The server's words end up in messages, logs and on terminals, where an
// escape sequence would act instead of being read. Every control character
// but tab becomes '?', C1 controls (U+0080 to U+009F in UTF-8) included;
// only the CR LF between the lines of a reply is kept.
std::string PrintableText(std::string_view text)
{
    std::string printable;
    printable.reserve(text.size());
    for (size_t at = 0; at < text.size(); ++at) {
        const auto byte = static_cast<unsigned char>(text[at]);
        if (byte == '\r' && at + 1 < text.size() && text[at + 1] == '\n') {
            printable += "\r\n";
            ++at;
        } else if (byte == 0xC2 && at + 1 < text.size() && static_cast<unsigned char>(text[at + 1]) < 0xA0
                   && static_cast<unsigned char>(text[at + 1]) >= 0x80) {
            printable += '?';
            ++at;
        } else if ((byte < 0x20 && byte != '\t') || byte == 0x7F) {
            printable += '?';
        } else {
            printable += static_cast<char>(byte);
        }
    }
    return printable;
}

// What the server said after PASS goes into error messages and logs, so an
// answer that quotes the password is replaced whole. Masking only the
// password inside it would show where and how often it occurs. The answer
// may already be printable text, so the password is looked for in that form too.
std::string WithoutPassword(const std::string& response, const std::string& password)
{
    const bool quoted = response.find(password) != std::string::npos
        || response.find(PrintableText(password)) != std::string::npos;
    if (password.empty() || !quoted)
        return response;
    return "(the server's answer is not shown: it quotes the password)";
}

} // namespace

void CFtpSession::_Fail(DWORD number, const std::string& response)
{
    m_control.Close();
    m_pending.clear();
    throw InternetError {number, PrintableText(response)};
}

void CFtpSession::Connect(const std::string& host, WORD port, const std::string& user, const std::string& password,
                          bool passive)
{
    m_pending.clear();
    m_bPassive = passive;
    if (!IsSafeArgument(user) || !IsSafeArgument(password))
        _Fail(ERROR_INTERNET_LOGIN_FAILURE);
    if (const DWORD error = m_control.Connect(host, port ? port : kDefaultFtpPort, m_timeoutMs))
        _Fail(error);

    // "120 ready in n minutes" may come first; a server that keeps saying
    // only that is not waited for without end.
    FtpReply greeting = _ReadReply();
    for (int preliminary = 0; IsPositivePreliminary(greeting.code) && preliminary < kPreliminaryLimit; ++preliminary)
        greeting = _ReadReply();
    if (greeting.code != 220)
        _Fail(ERROR_INTERNET_CANNOT_CONNECT, greeting.text);
    _Login(user, password);
    const FtpReply type = _Command("TYPE I");
    if (!IsCompletion(type.code))
        _Fail(ERROR_INTERNET_EXTENDED_ERROR, type.text);
}

void CFtpSession::_Login(const std::string& user, const std::string& password)
{
    const FtpReply userReply = _Command("USER " + user);
    if (userReply.code == 230)
        return;
    if (userReply.code != 331)
        _Fail(userReply.code == 530 ? ERROR_INTERNET_INCORRECT_USER_NAME : ERROR_INTERNET_LOGIN_FAILURE, userReply.text);
    FtpReply passReply;
    try {
        passReply = _Command("PASS " + password);
    } catch (InternetError& error) {
        error.response = WithoutPassword(error.response, password);
        throw;
    }
    if (passReply.code == 230 || passReply.code == 202)
        return;
    _Fail(passReply.code == 530 ? ERROR_INTERNET_INCORRECT_PASSWORD : ERROR_INTERNET_LOGIN_FAILURE,
          WithoutPassword(passReply.text, password));
}

void CFtpSession::Close()
{
    if (!m_control.IsOpen())
        return;
    if (m_control.SendAll("QUIT\r\n", kQuitTimeoutMs) == 0) {
        char scratch[512];
        size_t received = 0;
        m_control.Receive(scratch, sizeof(scratch), received, kQuitTimeoutMs);
    }
    m_control.Close();
    m_pending.clear();
}

FtpReply CFtpSession::_Command(std::string_view command)
{
    if (!m_control.IsOpen())
        _Fail(ERROR_INTERNET_CONNECTION_ABORTED);
    std::string line(command);
    line += "\r\n";
    if (const DWORD error = m_control.SendAll(line, m_timeoutMs))
        _Fail(error);
    FtpReply reply = _ReadReply();
    // 421: the server is closing the control connection; nothing more can follow.
    if (reply.code == 421)
        _Fail(ERROR_FTP_DROPPED, reply.text);
    return reply;
}

FtpReply CFtpSession::_ReadReply()
{
    FtpReply reply;
    for (;;) {
        size_t used = 0;
        switch (ParseFtpReply(m_pending, reply, used)) {
        case FtpReplyStatus::Complete:
            m_pending.erase(0, used);
            return reply;
        case FtpReplyStatus::Malformed:
            _Fail(ERROR_HTTP_INVALID_SERVER_RESPONSE, m_pending.substr(0, 512));
        case FtpReplyStatus::Incomplete:
            break;
        }
        char buffer[2048];
        size_t received = 0;
        if (const DWORD error = m_control.Receive(buffer, sizeof(buffer), received, m_timeoutMs))
            _Fail(error, m_pending.substr(0, 512));
        if (received == 0)
            _Fail(ERROR_INTERNET_CONNECTION_ABORTED, m_pending.substr(0, 512));
        m_pending.append(buffer, received);
    }
}

bool CFtpSession::SetCurrentDirectory(const std::string& path)
{
    if (path.empty() || !IsSafeArgument(path))
        return false;
    return IsCompletion(_Command("CWD " + path).code);
}

bool CFtpSession::CreateDirectory(const std::string& path)
{
    if (path.empty() || !IsSafeArgument(path))
        return false;
    return IsCompletion(_Command("MKD " + path).code);
}

bool CFtpSession::FileSize(const std::string& path, ULONGLONG& size)
{
    if (!IsSafeArgument(path))
        return false;
    const FtpReply reply = _Command("SIZE " + path);
    if (reply.code != 213 || reply.text.size() < 5)
        return false;
    const char* first = reply.text.data() + 4;
    const char* last = reply.text.data() + reply.text.size();
    unsigned long long value = 0;
    const auto [end, error] = std::from_chars(first, last, value);
    if (error != std::errc() || end == first)
        return false;
    size = value;
    return true;
}

CSocket CFtpSession::_OpenPassiveData()
{
    WORD port = 0;
    FtpReply reply = _Command("EPSV");
    if (reply.code != 229 || !ParseEpsvPort(reply.text, port)) {
        reply = _Command("PASV");
        if (reply.code != 227 || !ParsePasvPort(reply.text, port))
            _Fail(ERROR_FTP_NO_PASSIVE_MODE, reply.text);
    }
    // The data connection goes to the address of the control connection,
    // never to one the server names (it may be private or another host).
    std::string address;
    WORD controlPort = 0;
    if (!m_control.PeerAddress(address, controlPort))
        _Fail(ERROR_INTERNET_CONNECTION_ABORTED);
    CSocket data;
    if (const DWORD error = data.Connect(address, port, m_timeoutMs, false))
        _Fail(error);
    return data;
}

bool CFtpSession::_OfferActivePort(CSocket& listener)
{
    if (listener.ListenBeside(m_control) != 0)
        return false;
    std::string address;
    WORD port = 0;
    if (!listener.LocalAddress(address, port))
        return false;
    const bool v6 = listener.IsIPv6();
    if (IsCompletion(_Command("EPRT |" + std::string(v6 ? "2" : "1") + "|" + address + "|" + std::to_string(port) + "|").code))
        return true;
    if (v6)
        return false;
    std::replace(address.begin(), address.end(), '.', ',');
    return IsCompletion(_Command("PORT " + address + "," + std::to_string(port / 256) + "," + std::to_string(port % 256)).code);
}

std::unique_ptr<CFtpFile> CFtpSession::OpenFile(const std::string& path, bool write)
{
    if (!IsSafeArgument(path))
        _Fail(ERROR_INTERNET_INVALID_OPERATION, "(a line break in the path)");
    CSocket data;
    CSocket listener;
    if (m_bPassive)
        data = _OpenPassiveData();
    else if (!_OfferActivePort(listener))
        _Fail(ERROR_INTERNET_EXTENDED_ERROR, "(active mode refused)");

    const FtpReply reply = _Command((write ? "STOR " : "RETR ") + path);
    if (!IsPositivePreliminary(reply.code))
        _Fail(ERROR_INTERNET_EXTENDED_ERROR, reply.text);
    if (!m_bPassive) {
        // Only the server may connect: whoever else reaches the port first
        // would otherwise be sent the upload or feed the download.
        std::string server;
        WORD controlPort = 0;
        if (!m_control.PeerAddress(server, controlPort))
            _Fail(ERROR_INTERNET_CONNECTION_ABORTED);
        if (const DWORD error = listener.AcceptFrom(data, server, m_timeoutMs))
            _Fail(error);
    }
    return std::make_unique<CFtpFile>(*this, std::move(data), write);
}

CFtpFile::CFtpFile(CFtpSession& session, CSocket data, bool write)
    : m_session(session), m_data(std::move(data)), m_bWrite(write)
{
    if (m_bWrite)
        m_data.CorkSends();
    else
        m_pReceived = std::make_unique<char[]>(kReceiveBuffer);
}

size_t CFtpFile::Read(void* buffer, size_t length)
{
    auto* at = static_cast<char*>(buffer);
    size_t filled = 0;
    while (filled < length) {
        if (m_nReceivedAt == m_nReceivedEnd) {
            if (!m_data.IsOpen())
                break;
            size_t received = 0;
            if (const DWORD error = m_data.Receive(m_pReceived.get(), kReceiveBuffer, received, m_session.m_timeoutMs))
                m_session._Fail(error);
            if (received == 0)
                m_data.Close();
            m_nReceivedAt = 0;
            m_nReceivedEnd = received;
        }
        const size_t take = std::min(length - filled, m_nReceivedEnd - m_nReceivedAt);
        std::memcpy(at + filled, m_pReceived.get() + m_nReceivedAt, take);
        m_nReceivedAt += take;
        filled += take;
    }
    return filled;
}

void CFtpFile::Write(std::string_view bytes)
{
    if (const DWORD error = m_data.SendAll(bytes, m_session.m_timeoutMs))
        m_session._Fail(error);
}

void CFtpFile::Close()
{
    if (m_bClosed)
        return;
    m_bClosed = true;
    // Closing our end tells the server that an upload is complete; for a
    // download the server has already closed its end.
    m_data.Close();
    const FtpReply reply = m_session._ReadReply();
    if (!IsCompletion(reply.code))
        m_session._Fail(ERROR_INTERNET_EXTENDED_ERROR, reply.text);
}

} // namespace kel::platform
