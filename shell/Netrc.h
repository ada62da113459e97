#pragma once

// The login and password that a .netrc file gives for a server, by the rules
// of curl's --netrc: "machine NAME" (compared without regard to case) or
// "default" (any server) opens an entry; "login" and "password" fill it;
// "account" is skipped with its value and "macdef" with the lines of its
// macro (up to an empty line). A value may be quoted ("a b", with \", \\,
// \n, \r, \t). A line whose first word starts with '#' is a comment.
//
// Without a user name, the first entry for the server gives both login and
// password; with one, the first entry for the server whose login is that
// name gives the password.
#include <string>
#include <string_view>

struct NetrcLogin {
    bool found = false;
    std::string login;
    std::string password;
};

NetrcLogin FindNetrcLogin(std::string_view text, std::string_view host, std::string_view user);
