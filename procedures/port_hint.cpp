#include "port_hint.h"

const char *PortErrorHint(LinkError::Cause cause)
{
    switch (cause) {
    case LinkError::Cause::PermissionDenied:
        return "Hint: the user is probably not in the dialout group.";
    case LinkError::Cause::NoSuchDevice:
        return "Hint: wrong port, or the adapter is unplugged.";
    case LinkError::Cause::Busy:
        return "Hint: another program is using the port.";
    default:
        return nullptr;
    }
}

std::optional<LinkError::Cause> DriverPortCause(std::string_view text)
{
    const auto mentions = [text](std::string_view words) { return text.find(words) != std::string_view::npos; };
    if (mentions("in use by another program") || mentions("busy"))
        return LinkError::Cause::Busy;
    if (mentions("Permission denied"))
        return LinkError::Cause::PermissionDenied;
    if (mentions("No such file or directory") || mentions("No such device"))
        return LinkError::Cause::NoSuchDevice;
    return std::nullopt;
}

const char *DriverErrorHint(std::string_view text)
{
    const std::optional<LinkError::Cause> cause = DriverPortCause(text);
    return cause ? PortErrorHint(*cause) : nullptr;
}
