#include "port_listing.h"

#include <cstdio>

namespace {

std::string UsbIds(const PortRecord &port)
{
    if (!port.vendorId || !port.productId)
        return {};
    char ids[16];
    std::snprintf(ids, sizeof ids, "%04x:%04x", *port.vendorId, *port.productId);
    return std::string("USB ") + ids;
}

} // namespace

std::string FormatPortListing(const std::vector<PortRecord> &ports, const PortChoice &port1, bool port1Exists)
{
    std::string text;
    for (const PortRecord &port : ports) {
        text += port.device;
        const std::string details[]
            = { port.description, port.manufacturer,
                port.serialNumber.empty() ? std::string() : "serial number " + port.serialNumber, UsbIds(port) };
        bool first = true;
        for (const std::string &detail : details) {
            if (detail.empty())
                continue;
            text += first ? "  " : ", ";
            text += detail;
            first = false;
        }
        text += "\n";
    }
    if (ports.empty())
        text += "The system reports no serial ports.\n";
    text += "Port 1 is " + port1.device + " (" + PortSourceText(port1.source) + ")"
        + (port1Exists ? ".\n" : ", which does not exist.\n");
    return text;
}

std::string PortMenuText(const PortRecord &port)
{
    return port.description.empty() ? port.device : port.device + "  " + port.description;
}
