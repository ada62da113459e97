#pragma once

// Export macro of the database library: its classes are what crosses the
// library boundary, as with a Windows DLL.
#define KELSTORE_API __attribute__((visibility("default")))
