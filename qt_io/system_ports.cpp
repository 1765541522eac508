#include "system_ports.h"

#include <QSerialPortInfo>

std::vector<PortRecord> SystemPorts()
{
    std::vector<PortRecord> ports;
    for (const QSerialPortInfo &info : QSerialPortInfo::availablePorts()) {
        PortRecord port;
        port.device = info.systemLocation().toStdString();
        port.description = info.description().toStdString();
        port.manufacturer = info.manufacturer().toStdString();
        port.serialNumber = info.serialNumber().toStdString();
        if (info.hasVendorIdentifier() && info.hasProductIdentifier()) {
            port.vendorId = info.vendorIdentifier();
            port.productId = info.productIdentifier();
        }
        ports.push_back(std::move(port));
    }
    return ports;
}
