// A driver library that has CAM_Init and CAM_ClosePort but none of the
// other entries, as an outdated or wrong library would.
#include <cstdint>

extern "C" __attribute__((visibility("default"))) std::int32_t CAM_Init(const char *)
{
    return 1;
}

#ifndef DRIVER_WITHOUT_CLOSE_PORT
extern "C" __attribute__((visibility("default"))) std::int32_t CAM_ClosePort()
{
    return 1;
}
#endif

#ifdef UNRESOLVED_DRIVER_LIBRARY
// Built a second time as a library with all four entries, one of which calls
// a function that no library defines: loaded with immediate binding it is
// refused at once, where lazy binding would load it and end the process at
// the first call of CAM_Ping.
extern "C" std::int32_t FakeDriver_DefinedNowhere();

extern "C" __attribute__((visibility("default"))) std::int32_t CAM_Ping()
{
    return FakeDriver_DefinedNowhere();
}
#elif defined(DRIVER_WITHOUT_CLOSE_PORT)
// Built a third time with every entry but the last one the test calls.
extern "C" __attribute__((visibility("default"))) std::int32_t CAM_Ping()
{
    return 1;
}
#endif

#if defined(UNRESOLVED_DRIVER_LIBRARY) || defined(DRIVER_WITHOUT_CLOSE_PORT)
extern "C" __attribute__((visibility("default"))) std::int32_t CAM_DumpFrame(std::uint8_t *)
{
    return 0;
}
#endif
