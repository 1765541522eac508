#include "qt_serial_link.h"

#include "common/port_device.h"

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace {

LinkError::Cause CauseOf(QSerialPort::SerialPortError error, const QString &text)
{
    // A device held by another program shows up as a permission error on
    // its lock file, or as "busy".
    if (text.contains(QLatin1String("lock"), Qt::CaseInsensitive)
        || text.contains(QLatin1String("busy"), Qt::CaseInsensitive))
        return LinkError::Cause::Busy;
    switch (error) {
    case QSerialPort::PermissionError:
        return LinkError::Cause::PermissionDenied;
    case QSerialPort::DeviceNotFoundError:
        return LinkError::Cause::NoSuchDevice;
    case QSerialPort::ReadError:
    case QSerialPort::ResourceError:
        return LinkError::Cause::ReadFailed;
    case QSerialPort::WriteError:
        return LinkError::Cause::WriteFailed;
    default:
        return LinkError::Cause::Other;
    }
}

bool EndsTheLink(QSerialPort::SerialPortError error)
{
    return error == QSerialPort::ReadError || error == QSerialPort::ResourceError;
}

// The text of a device whose lock another program holds.
constexpr const char *kInUse = "the port is in use by another program";

} // namespace

QtSerialLink::QtSerialLink()
{
    // Remember the first fatal error seen while events run (the drain loop
    // processes events); the next operation closes the port and raises it.
    QObject::connect(&m_port, &QSerialPort::errorOccurred, &m_port, [this](QSerialPort::SerialPortError error) {
        if (EndsTheLink(error) && m_port.isOpen() && !m_lost)
            m_lost.emplace(deviceError(LinkError::Cause::ReadFailed, m_port.errorString().toStdString()));
    });
}

LinkError QtSerialLink::deviceError(LinkError::Cause cause, const std::string &text) const
{
    return LinkError(cause, m_device + ": " + text);
}

void QtSerialLink::requireClosed() const
{
    if (m_port.isOpen())
        throw LinkError(LinkError::Cause::AlreadyOpen, "Port already open");
}

void QtSerialLink::requireOpen() const
{
    if (!m_port.isOpen())
        throw LinkError(LinkError::Cause::NotOpen, "Port is closed");
}

void QtSerialLink::setPortNumber(int port)
{
    requireClosed();
    m_portNumber = port;
}

void QtSerialLink::setReceiveBufferSize(int bytes)
{
    requireClosed();
    m_receiveBufferSize = bytes;
}

bool QtSerialLink::portOpen() const
{
    return m_port.isOpen();
}

void QtSerialLink::failAndClose(LinkError::Cause cause)
{
    const LinkError error = deviceError(cause, m_port.errorString().toStdString());
    m_lost.reset(); // this failure is the one raised now
    closeDevice();
    m_port.clearError();
    throw error;
}

// Takes the device for this link alone, or closes it again and raises Busy
// when another holder of the lock has it open. QSerialPort set TIOCEXCL when
// it opened; that keeps out other users but not root, hence the lock.
void QtSerialLink::claimDevice()
{
    const int fd = m_port.handle();
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
        ::ioctl(fd, TIOCEXCL);
        m_ownsDevice = true;
        return;
    }
    const int lockError = errno;
    // Closing clears the terminal's exclusive mode, which is the holder's:
    // set it again through a second descriptor that outlives the close.
    const int keep = lockError == EWOULDBLOCK ? ::fcntl(fd, F_DUPFD_CLOEXEC, 0) : -1;
    closeDevice();
    if (keep >= 0) {
        ::ioctl(keep, TIOCEXCL);
        ::close(keep);
    }
    m_port.clearError();
    if (lockError == EWOULDBLOCK)
        throw deviceError(LinkError::Cause::Busy, kInUse);
    throw deviceError(LinkError::Cause::Other, std::strerror(lockError));
}

void QtSerialLink::closeDevice()
{
    if (!m_port.isOpen())
        return;
    if (m_ownsDevice) {
        const int fd = m_port.handle();
        ::ioctl(fd, TIOCNXCL);
        ::flock(fd, LOCK_UN);
        m_ownsDevice = false;
    }
    m_port.close();
}

void QtSerialLink::setPortOpen(bool open)
{
    if (!open) {
        closeDevice();
        m_port.clearError();
        m_lost.reset();
        return;
    }

    requireClosed();
    m_lost.reset();
    m_port.clearError();
    m_device = PortDevicePath(m_portNumber);
    m_port.setPortName(QString::fromStdString(m_device));
    m_port.setReadBufferSize(m_receiveBufferSize);
    // Line settings made before opening are applied by the open itself, so a
    // device that turns out to be busy is never switched to another speed.
    m_port.setBaudRate(kBaudRate);
    m_port.setDataBits(QSerialPort::Data8);
    m_port.setParity(QSerialPort::NoParity);
    m_port.setStopBits(QSerialPort::OneStop);
    m_port.setFlowControl(QSerialPort::NoFlowControl);
    if (!m_port.open(QIODevice::ReadWrite))
        failAndClose(CauseOf(m_port.error(), m_port.errorString()));
    claimDevice();
    // Whatever the device sent while nobody listened is not a reply.
    m_port.clear(QSerialPort::AllDirections);
    m_port.clearError();
}

void QtSerialLink::raiseIfLost()
{
    if (!m_lost)
        return;
    const LinkError error = *m_lost;
    m_lost.reset();
    closeDevice();
    m_port.clearError();
    throw error;
}

void QtSerialLink::setOutput(const std::string &bytes)
{
    raiseIfLost();
    requireOpen();
    const QByteArray data(bytes.data(), static_cast<qsizetype>(bytes.size()));
    if (m_port.write(data) != data.size())
        failAndClose(LinkError::Cause::WriteFailed);
    // QSerialPort writes from the event loop; the console may sleep without
    // one, so hand the bytes to the device now.
    m_port.flush();
    if (m_port.error() == QSerialPort::WriteError || m_port.error() == QSerialPort::ResourceError)
        failAndClose(LinkError::Cause::WriteFailed);
}

void QtSerialLink::pullReceived()
{
    raiseIfLost();
    requireOpen();
    // waitForReadyRead(0) reads what the device has now and returns at once;
    // it stops returning true when nothing more is there or the receive
    // buffer is full.
    for (int round = 0; round < 64 && m_port.waitForReadyRead(0); ++round) {}
    const QSerialPort::SerialPortError error = m_port.error();
    if (EndsTheLink(error))
        failAndClose(LinkError::Cause::ReadFailed);
    if (error != QSerialPort::NoError)
        m_port.clearError(); // a timeout from the zero wait is not an error here
    raiseIfLost();
}

std::string QtSerialLink::input()
{
    pullReceived();
    const QByteArray data = m_port.readAll();
    return std::string(data.constData(), static_cast<std::size_t>(data.size()));
}

int QtSerialLink::inBufferCount()
{
    pullReceived();
    return static_cast<int>(m_port.bytesAvailable());
}
