#include "qt_serial_link.h"

#include "common/port_device.h"

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <poll.h>
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

// The cause of a failed open() of the device, as CauseOf sorts Qt's errors.
LinkError::Cause CauseOfErrno(int error)
{
    switch (error) {
    case ENOENT:
    case ENODEV:
    case ENXIO:
        return LinkError::Cause::NoSuchDevice;
    case EACCES:
    case EPERM:
        return LinkError::Cause::PermissionDenied;
    case EBUSY: // another program holds the terminal in exclusive mode
        return LinkError::Cause::Busy;
    default:
        return LinkError::Cause::Other;
    }
}

bool EndsTheLink(QSerialPort::SerialPortError error)
{
    return error == QSerialPort::ReadError || error == QSerialPort::ResourceError;
}

// Whether the terminal hung up (its other end closed, or the adapter went
// away): it then polls as hung up or in error for good.
bool HungUp(int fd)
{
    pollfd entry { fd, POLLIN, 0 };
    int ready = 0;
    do
        ready = ::poll(&entry, 1, 0);
    while (ready < 0 && errno == EINTR);
    return ready > 0 && (entry.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
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
            m_lost.emplace(readError());
    });
}

QtSerialLink::~QtSerialLink()
{
    closeDevice();
}

LinkError QtSerialLink::deviceError(LinkError::Cause cause, const std::string &text) const
{
    return LinkError(cause, m_device + ": " + text, m_device);
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
    closeAndThrow(deviceError(cause, m_port.errorString().toStdString()));
}

// Ends the link: the error raised is this one, and any failure noted by the
// error signal before it is dropped with the port.
void QtSerialLink::closeAndThrow(LinkError error)
{
    m_lost.reset();
    closeDevice();
    m_port.clearError();
    throw error;
}

// Takes the device for this link alone before Qt opens it, or raises Busy
// when another holder has the lock. Qt's open discards whatever waits in the
// device in both directions, so a refused opener must never get that far:
// the lock is taken on a descriptor of our own, which stays open (and the
// lock held) while the port is open. The lock follows the device, not the
// name, so it holds against every name of the device, and for root too. The
// descriptor only holds the lock, so it is opened for reading alone; its
// close is then told apart from the port's by whoever watches the device.
void QtSerialLink::lockDevice()
{
    const int fd = ::open(m_device.c_str(), O_RDONLY | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        const int openError = errno;
        throw deviceError(CauseOfErrno(openError), std::strerror(openError));
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int lockError = errno;
        // Only our descriptor closes: the holder's exclusive mode and
        // pending bytes stay as they were.
        ::close(fd);
        if (lockError == EWOULDBLOCK)
            throw deviceError(LinkError::Cause::Busy, kInUse);
        throw deviceError(LinkError::Cause::Other, std::strerror(lockError));
    }
    m_lockFd = fd;
}

void QtSerialLink::closeDevice()
{
    if (m_port.isOpen()) {
        if (m_lockFd >= 0)
            ::ioctl(m_port.handle(), TIOCNXCL);
        m_port.close();
    }
    // The lock goes last, once Qt has let go of the device.
    if (m_lockFd >= 0) {
        ::flock(m_lockFd, LOCK_UN);
        ::close(m_lockFd);
        m_lockFd = -1;
    }
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
    lockDevice();
    m_port.setPortName(QString::fromStdString(m_device));
    m_port.setReadBufferSize(m_receiveBufferSize);
    // Line settings made before opening are applied by the open itself.
    m_port.setBaudRate(kBaudRate);
    m_port.setDataBits(QSerialPort::Data8);
    m_port.setParity(QSerialPort::NoParity);
    m_port.setStopBits(QSerialPort::OneStop);
    m_port.setFlowControl(QSerialPort::NoFlowControl);
    if (!m_port.open(QIODevice::ReadWrite))
        failAndClose(CauseOf(m_port.error(), m_port.errorString()));
    // QSerialPort sets the exclusive mode too; setting it here keeps other
    // users out whatever the Qt version does.
    ::ioctl(m_port.handle(), TIOCEXCL);
    // Whatever the device sent while nobody listened is not a reply.
    m_port.clear(QSerialPort::AllDirections);
    m_port.clearError();
}

void QtSerialLink::raiseIfLost()
{
    if (m_lost)
        closeAndThrow(*m_lost);
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
    if (EndsTheLink(error) || HungUp(m_port.handle()))
        closeAndThrow(readError());
    if (error != QSerialPort::NoError)
        m_port.clearError(); // a timeout from the zero wait is not an error here
    raiseIfLost();
}

// A hung-up terminal reads end of file for good. Qt 6.4 reports that as a
// read error with whatever text errno held; Qt 6.8 takes it for "no data"
// and reports nothing at all. Either way the descriptor polls as hung up,
// and the error says so the same way on every Qt version.
LinkError QtSerialLink::readError() const
{
    if (m_port.isOpen() && HungUp(m_port.handle()))
        return deviceError(LinkError::Cause::ReadFailed, std::strerror(EIO));
    return deviceError(LinkError::Cause::ReadFailed, m_port.errorString().toStdString());
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
