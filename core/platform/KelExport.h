#pragma once

// Export macro of the foundation library. Libraries build with hidden
// visibility; classes marked with their library's macro are what crosses the
// library boundary, as with a Windows DLL. On ELF the same attribute serves
// both the library and its users.
#define KELCORE_API __attribute__((visibility("default")))
