#pragma once

// Export macro of the HTML parser library: its classes are what crosses the
// library boundary, as with a Windows DLL.
#define KELMARKUP_API __attribute__((visibility("default")))
