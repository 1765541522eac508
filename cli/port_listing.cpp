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

std::string FormatPortListing(const std::vector<PortRecord> &ports, const PortChoice &port1, bool port1Exists,
                              const std::vector<PortDiagnosis> &diagnoses)
{
    std::string text;
    for (std::size_t i = 0; i < ports.size(); ++i) {
        const PortRecord &port = ports[i];
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
        if (i < diagnoses.size() && !diagnoses[i].usable())
            text += "  Warning: " + diagnoses[i].lines.front() + " (camconsole --check-port " + port.device
                + " says what to do)\n";
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

std::vector<PortDiagnosis> DiagnosePorts(const std::vector<PortRecord> &ports, const SystemRoots &roots)
{
    std::vector<PortDiagnosis> diagnoses;
    diagnoses.reserve(ports.size());
    for (const PortRecord &port : ports)
        diagnoses.push_back(Diagnose(InspectPort(port.device, roots, PortProbe::AccessOnly)));
    return diagnoses;
}

PortCheck CheckPort(const std::string &device, const SystemRoots &roots)
{
    PortFacts facts = InspectPort(device, roots);
    std::string text;
    if (facts.lockFile && RemoveStaleLock(facts)) {
        text = "Removed the stale lock file " + facts.lockFile->path + " (its process "
            + std::to_string(facts.lockFile->pid) + " is gone).\n";
        facts = InspectPort(device, roots);
    }
    const PortDiagnosis diagnosis = Diagnose(facts);
    return { text + diagnosis.text(), diagnosis.usable() };
}
