// A driver library that has CAM_Init and CAM_ClosePort but none of the
// other entries, as an outdated or wrong library would.
#include <cstdint>

extern "C" __attribute__((visibility("default"))) std::int32_t CAM_Init(const char *)
{
    return 1;
}

extern "C" __attribute__((visibility("default"))) std::int32_t CAM_ClosePort()
{
    return 1;
}
