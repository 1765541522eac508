/* Compiled as C: the public header must be usable from C, with the entry
 * types the console relies on. (A builtin rather than _Generic: clang-format
 * releases disagree on the spacing of _Generic's associations.) */
#include "tarqis.h"

#define HAS_TYPE(entry, type) __builtin_types_compatible_p(__typeof__(&(entry)), type)

_Static_assert(HAS_TYPE(CAM_Init, int32_t (*)(const char *)), "CAM_Init type");
_Static_assert(HAS_TYPE(CAM_Ping, int32_t (*)(void)), "CAM_Ping type");
_Static_assert(HAS_TYPE(CAM_DumpFrame, int32_t (*)(uint8_t *)), "CAM_DumpFrame type");
_Static_assert(HAS_TYPE(CAM_ClosePort, int32_t (*)(void)), "CAM_ClosePort type");
_Static_assert(HAS_TYPE(CAM_LastError, const char *(*)(void)), "CAM_LastError type");
_Static_assert(TARQIS_FRAME_BUFFER_SIZE == 40001, "frame buffer size");

int tarqis_header_frame_buffer_size_from_c(void)
{
    return TARQIS_FRAME_BUFFER_SIZE;
}
