#pragma once

// Export macro of the codec library: its classes are what crosses the library
// boundary, as with a Windows DLL.
#define KELCODEC_API __attribute__((visibility("default")))
