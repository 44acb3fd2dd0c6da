// The soundtrack as the executable's own RCDATA resource "MP3TRACK".
#include "platform/resources.h"

#include <windows.h>

ByteSpan findSoundtrackResource() {
    HRSRC found = FindResourceA(nullptr, "MP3TRACK", RT_RCDATA);
    if (found == nullptr)
        return {nullptr, 0};
    HGLOBAL loaded = LoadResource(nullptr, found);
    const void* bytes = loaded != nullptr ? LockResource(loaded) : nullptr;
    DWORD size = SizeofResource(nullptr, found);
    if (bytes == nullptr || size == 0)
        return {nullptr, 0};
    return {static_cast<const unsigned char*>(bytes), size};
}
