#pragma once

// Export macros of the three network libraries. Each library builds with
// hidden visibility and marks what it offers to applications with its own
// macro, as a Windows DLL would; on ELF one attribute serves both sides.
#define KELADDR_API __attribute__((visibility("default")))
#define KELLISTEN_API __attribute__((visibility("default")))
#define KELREACH_API __attribute__((visibility("default")))
