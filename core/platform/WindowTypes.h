#pragma once

// Window handle of the framework. Libraries never open windows; they take
// and pass handles only, so a handle here is an untyped pointer, as
// unixODBC's <sqltypes.h> declares it too.
using HWND = void*;
