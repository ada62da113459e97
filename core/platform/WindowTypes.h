#pragma once

// Window handle of the framework. Libraries never open windows; they take
// and pass handles only, so a handle here is an opaque pointer.
struct HWND__;
using HWND = HWND__*;
