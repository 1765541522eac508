#include "fakes.h"

#include <algorithm>
#include <cstring>
#include <utility>

std::vector<std::string> SplitLogLines(const std::string &text)
{
    std::vector<std::string> result;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = text.find("\r\n", start);
        if (end == std::string::npos) {
            result.push_back(text.substr(start));
            break;
        }
        result.push_back(text.substr(start, end - start));
        start = end + 2;
    }
    return result;
}

void FakeStatusLog::repaintWindow()
{
    const std::vector<std::string> all = lines();
    windowRepaintsAfter.push_back(all.empty() ? std::string() : all.back());
}

void RecordingSurface::setPixel(std::int64_t x, std::int64_t y, ColorValue color)
{
    calls.push_back({ x, y, color });
    if (x >= 0 && y >= 0 && x < kWidth && y < kHeight)
        pixels[static_cast<std::size_t>(y * kWidth + x)] = color;
}

void FakeTime::sleepMs(int milliseconds)
{
    sleeps.push_back(milliseconds);
    if (milliseconds > 0) {
        nowMs += milliseconds;
        sleptMs += milliseconds;
    }
    if (onSleep)
        onSleep(nowMs);
}

SecondsReading FakeTime::now()
{
    const std::int64_t totalSeconds = (nowMs + 500) / 1000;
    return SecondsReading { totalSeconds / 86400, static_cast<std::int32_t>(totalSeconds % 86400) };
}

namespace {

// Raises an injected failure once and forgets it.
void RaiseOnce(std::optional<LinkError> &failure)
{
    if (failure) {
        const LinkError error = *failure;
        failure.reset();
        throw error;
    }
}

} // namespace

void FakeSerialLink::setPortNumber(int port)
{
    if (open)
        throw LinkError(LinkError::Cause::AlreadyOpen, "The port is already open");
    portNumber = port;
}

void FakeSerialLink::setReceiveBufferSize(int bytes)
{
    if (open)
        throw LinkError(LinkError::Cause::AlreadyOpen, "The port is already open");
    receiveBufferSize = bytes;
}

void FakeSerialLink::setPortOpen(bool wantOpen)
{
    if (wantOpen) {
        RaiseOnce(failOpen);
        if (open)
            throw LinkError(LinkError::Cause::AlreadyOpen, "The port is already open");
        open = true;
        ++opens;
    } else if (open) {
        open = false;
        ++closes;
    }
}

void FakeSerialLink::setOutput(const std::string &bytes)
{
    if (!open)
        throw LinkError(LinkError::Cause::NotOpen, "The port is not open");
    RaiseOnce(failOutput);
    written.push_back(bytes);
    if (replies.empty())
        return;
    if (m_time)
        m_inFlight.push_back({ m_time->nowMs + 1, replies.front() });
    else
        received += replies.front();
    replies.pop_front();
}

void FakeSerialLink::deliverArrived()
{
    while (m_time && !m_inFlight.empty() && m_inFlight.front().arrivesAtMs <= m_time->nowMs) {
        received += m_inFlight.front().bytes;
        m_inFlight.pop_front();
    }
}

std::string FakeSerialLink::input()
{
    if (!open)
        throw LinkError(LinkError::Cause::NotOpen, "The port is not open");
    RaiseOnce(failInput);
    deliverArrived();
    return std::exchange(received, {});
}

int FakeSerialLink::inBufferCount()
{
    if (!open)
        throw LinkError(LinkError::Cause::NotOpen, "The port is not open");
    deliverArrived();
    return static_cast<int>(received.size());
}

std::int32_t FakeCameraDriver::CAM_Init(const char *portName)
{
    calls.push_back(std::string("CAM_Init ") + portName);
    if (missingEntry == "CAM_Init")
        throw DriverError(DriverError::Kind::EntryMissing, "undefined symbol: CAM_Init");
    return initResult;
}

std::int32_t FakeCameraDriver::CAM_Ping()
{
    calls.push_back("CAM_Ping");
    if (missingEntry == "CAM_Ping")
        throw DriverError(DriverError::Kind::EntryMissing, "undefined symbol: CAM_Ping");
    return pingResult;
}

std::int32_t FakeCameraDriver::CAM_DumpFrame(std::uint8_t *buffer)
{
    calls.push_back("CAM_DumpFrame");
    if (missingEntry == "CAM_DumpFrame")
        throw DriverError(DriverError::Kind::EntryMissing, "undefined symbol: CAM_DumpFrame");
    if (duringDump)
        duringDump();
    const std::size_t n = std::min(dumpBytes.size(), kFrameBufferSize);
    std::memcpy(buffer, dumpBytes.data(), n);
    return dumpResult;
}

void FakeCameraDriver::CAM_ClosePort()
{
    calls.push_back("CAM_ClosePort");
    if (missingEntry == "CAM_ClosePort")
        throw DriverError(DriverError::Kind::EntryMissing, "undefined symbol: CAM_ClosePort");
}

std::optional<std::string> FakeCameraDriver::CAM_LastError()
{
    if (lastError)
        calls.push_back("CAM_LastError");
    return lastError;
}
