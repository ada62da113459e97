#include "ErrorNumbers.h"

#include "Unicode.h"

#include <string.h>

namespace kel::platform {
namespace {

struct InternetText {
    DWORD number;
    const wchar_t* text;
};

constexpr InternetText kInternetTexts[] = {
    {ERROR_INTERNET_OUT_OF_HANDLES, L"No more handles could be generated at this time."},
    {ERROR_INTERNET_TIMEOUT, L"The operation timed out."},
    {ERROR_INTERNET_EXTENDED_ERROR, L"An extended error was returned from the server. This is typically a string or buffer containing a verbose error message."},
    {ERROR_INTERNET_INTERNAL_ERROR, L"An internal error occurred."},
    {ERROR_INTERNET_INVALID_URL, L"The URL is invalid."},
    {ERROR_INTERNET_UNRECOGNIZED_SCHEME, L"The URL scheme could not be recognized or is not supported."},
    {ERROR_INTERNET_NAME_NOT_RESOLVED, L"The server name or address could not be resolved."},
    {ERROR_INTERNET_PROTOCOL_NOT_FOUND, L"A protocol with the required capabilities was not found."},
    {ERROR_INTERNET_INVALID_OPTION, L"The option is invalid."},
    {ERROR_INTERNET_SHUTDOWN, L"The Internet connection has been shut down."},
    {ERROR_INTERNET_INCORRECT_USER_NAME, L"The request to connect and log on to an FTP server could not be completed because the supplied user name is incorrect."},
    {ERROR_INTERNET_INCORRECT_PASSWORD, L"The request to connect and log on to an FTP server could not be completed because the supplied password is incorrect."},
    {ERROR_INTERNET_LOGIN_FAILURE, L"The request to connect to and log on to an FTP server failed."},
    {ERROR_INTERNET_INVALID_OPERATION, L"The requested operation is invalid."},
    {ERROR_INTERNET_OPERATION_CANCELLED, L"The operation was canceled."},
    {ERROR_INTERNET_INCORRECT_HANDLE_TYPE, L"The type of handle supplied is incorrect for this operation."},
    {ERROR_INTERNET_INCORRECT_HANDLE_STATE, L"The requested operation cannot be carried out because the handle supplied is not in the correct state."},
    {ERROR_INTERNET_CANNOT_CONNECT, L"A connection with the server could not be established."},
    {ERROR_INTERNET_CONNECTION_ABORTED, L"The connection with the server was terminated abnormally."},
    {ERROR_INTERNET_CONNECTION_RESET, L"The connection with the server was reset."},
    {ERROR_FTP_TRANSFER_IN_PROGRESS, L"The requested operation cannot be made on the FTP session handle because an operation is already in progress."},
    {ERROR_FTP_DROPPED, L"The FTP operation was not completed because the session was aborted."},
    {ERROR_FTP_NO_PASSIVE_MODE, L"Passive mode is not available on the server."},
    {ERROR_HTTP_HEADER_NOT_FOUND, L"The requested header could not be located."},
    {ERROR_HTTP_DOWNLEVEL_SERVER, L"The server did not return any headers."},
    {ERROR_HTTP_INVALID_SERVER_RESPONSE, L"The server response could not be parsed."},
    {ERROR_HTTP_INVALID_HEADER, L"The supplied header is invalid."},
    {ERROR_HTTP_INVALID_QUERY_REQUEST, L"The request made to HttpQueryInfo is invalid."},
    {ERROR_HTTP_REDIRECT_FAILED, L"The redirection failed because either the scheme changed or all attempts made to redirect failed."},
    {ERROR_INTERNET_SECURITY_CHANNEL_ERROR, L"The application experienced an internal error loading the SSL libraries."},
    {ERROR_INTERNET_DECODING_FAILED, L"The content could not be decoded."},
};

} // namespace

bool LookupErrorText(DWORD number, std::wstring& text)
{
    if (number >= kInternetErrorBase && number <= kInternetErrorLast) {
        for (const InternetText& entry : kInternetTexts)
            if (entry.number == number) {
                text = std::wstring(entry.text) + L"\r\n";
                return true;
            }
        return false;
    }
    if (number > 0x7FFFFFFF)
        return false;
    // strerrordesc_np is thread safe and returns null for unknown numbers.
    const char* description = strerrordesc_np(static_cast<int>(number));
    if (!description)
        return false;
    text = Utf8ToWide(description) + L"\r\n";
    return true;
}

} // namespace kel::platform
