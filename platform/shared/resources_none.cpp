// Placeholder until the soundtrack is linked in: the executable carries no soundtrack.
#include "platform/resources.h"

ByteSpan findSoundtrackResource() {
    return {nullptr, 0};
}
