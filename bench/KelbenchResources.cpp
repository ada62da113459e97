#include "KelbenchResources.h"

namespace kel::bench {

int PageOfTrayCommand(UINT command)
{
    switch (command) {
    case ID_TRAY_VSASSIST:
        return kPageVSAssist;
    case ID_TRAY_FILES:
        return kPageFiles;
    case ID_TRAY_BASE64ENCODING:
        return kPageBase64Encoding;
    case ID_TRAY_BASE64DECODING:
        return kPageBase64Decoding;
    case ID_TRAY_HASH:
        return kPageHash;
    default:
        return -1;
    }
}

} // namespace kel::bench
