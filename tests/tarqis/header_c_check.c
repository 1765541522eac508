/* Compiled as C: the public header must be usable from C, with the entry
 * types the console relies on. */
#include "tarqis.h"

_Static_assert(_Generic(&CAM_Init, int32_t (*)(const char *) : 1, default : 0), "CAM_Init type");
_Static_assert(_Generic(&CAM_Ping, int32_t (*)(void) : 1, default : 0), "CAM_Ping type");
_Static_assert(_Generic(&CAM_DumpFrame, int32_t (*)(uint8_t *) : 1, default : 0), "CAM_DumpFrame type");
_Static_assert(_Generic(&CAM_ClosePort, int32_t (*)(void) : 1, default : 0), "CAM_ClosePort type");
_Static_assert(_Generic(&CAM_LastError, const char *(*)(void) : 1, default : 0), "CAM_LastError type");
_Static_assert(TARQIS_FRAME_BUFFER_SIZE == 40001, "frame buffer size");

int tarqis_header_frame_buffer_size_from_c(void)
{
    return TARQIS_FRAME_BUFFER_SIZE;
}
