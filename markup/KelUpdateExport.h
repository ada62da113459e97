#pragma once

// Export macro of the update check library.
#define KELUPDATE_API __attribute__((visibility("default")))
