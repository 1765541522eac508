#include "frames/capture_format.h"

#include <array>
#include <optional>
#include <set>
#include <utility>

namespace {

using Tag = std::array<char, 4>;

constexpr Tag kRunTag { 'R', 'U', 'N', ' ' };
constexpr Tag kLinkTag { 'L', 'I', 'N', 'K' };
constexpr Tag kCommandsTag { 'C', 'M', 'D', 'S' };
constexpr Tag kReplyTag { 'R', 'P', 'L', 'Y' };
constexpr Tag kReadsTag { 'R', 'E', 'A', 'D' };
constexpr Tag kDriverTag { 'D', 'R', 'V', 'R' };
constexpr Tag kTimingsTag { 'T', 'I', 'M', 'E' };
constexpr Tag kLogTag { 'L', 'O', 'G', ' ' };
constexpr Tag kPixelsTag { 'P', 'I', 'X', 'L' };
constexpr Tag kEndTag { 'E', 'N', 'D', ' ' };

// A byte that stands for "none" where a field is optional.
constexpr std::uint8_t kNone = 0xFF;

// Little-endian fields appended to a string.
class Writer {
public:
    void u8(std::uint8_t v) { m_bytes.push_back(static_cast<char>(v)); }
    void u16(std::uint16_t v) { unsignedField(v, 2); }
    void u32(std::uint32_t v) { unsignedField(v, 4); }
    void u64(std::uint64_t v) { unsignedField(v, 8); }
    void i32(std::int32_t v) { u32(static_cast<std::uint32_t>(v)); }
    void i64(std::int64_t v) { u64(static_cast<std::uint64_t>(v)); }
    void flag(bool v) { u8(v ? 1 : 0); }
    void text(std::string_view v)
    {
        u32(static_cast<std::uint32_t>(v.size()));
        m_bytes.append(v);
    }
    void raw(std::string_view v) { m_bytes.append(v); }
    std::string &bytes() { return m_bytes; }

private:
    void unsignedField(std::uint64_t v, int size)
    {
        for (int i = 0; i < size; ++i)
            m_bytes.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
    }
    std::string m_bytes;
};

// Reads fields from a section; a read past its end marks the reader failed
// and gives zeros, so a caller checks ok() once at the end.
class Reader {
public:
    explicit Reader(std::string_view bytes) : m_bytes(bytes) {}

    std::uint8_t u8() { return static_cast<std::uint8_t>(unsignedField(1)); }
    std::uint16_t u16() { return static_cast<std::uint16_t>(unsignedField(2)); }
    std::uint32_t u32() { return static_cast<std::uint32_t>(unsignedField(4)); }
    std::uint64_t u64() { return unsignedField(8); }
    std::int32_t i32() { return static_cast<std::int32_t>(u32()); }
    std::int64_t i64() { return static_cast<std::int64_t>(u64()); }
    bool flag()
    {
        const std::uint8_t v = u8();
        if (v > 1)
            m_ok = false;
        return v == 1;
    }
    std::string text()
    {
        const std::uint32_t size = u32();
        return std::string(take(size));
    }
    std::string_view take(std::size_t size)
    {
        if (!m_ok || size > left()) {
            m_ok = false;
            return {};
        }
        const std::string_view v = m_bytes.substr(m_at, size);
        m_at += size;
        return v;
    }
    // A count of entries of at least entryBytes each: one the bytes left
    // could not hold fails the reader (so it is never reserved).
    std::size_t count(std::size_t entryBytes)
    {
        const std::uint32_t n = u32();
        if (!m_ok || n > left() / entryBytes) {
            m_ok = false;
            return 0;
        }
        return n;
    }
    // An enum stored as a byte, below `values`.
    template <typename Enum> Enum choice(std::uint8_t values)
    {
        const std::uint8_t v = u8();
        if (v >= values)
            m_ok = false;
        return static_cast<Enum>(v < values ? v : 0);
    }
    // The same, or kNone for none.
    template <typename Enum> std::optional<Enum> optionalChoice(std::uint8_t values)
    {
        const std::uint8_t v = u8();
        if (v == kNone)
            return std::nullopt;
        if (v >= values) {
            m_ok = false;
            return std::nullopt;
        }
        return static_cast<Enum>(v);
    }
    std::size_t left() const { return m_bytes.size() - m_at; }
    bool ok() const { return m_ok; }
    void fail() { m_ok = false; }

private:
    std::uint64_t unsignedField(int size)
    {
        const std::string_view b = take(static_cast<std::size_t>(size));
        std::uint64_t v = 0;
        for (std::size_t i = b.size(); i-- > 0;)
            v = (v << 8) | static_cast<unsigned char>(b[i]);
        return v;
    }

    std::string_view m_bytes;
    std::size_t m_at = 0;
    bool m_ok = true;
};

// How many values each stored enum has (the reader refuses others).
constexpr std::uint8_t kTestKinds = 3;
constexpr std::uint8_t kRunEnds = static_cast<std::uint8_t>(RunEnd::Cancelled) + 1;
constexpr std::uint8_t kReceptionEnds = static_cast<std::uint8_t>(ReceptionEnd::LinkError) + 1;
constexpr std::uint8_t kWalkEnds = static_cast<std::uint8_t>(WalkEnd::EndPassed) + 1;
constexpr std::uint8_t kLinkCauses = static_cast<std::uint8_t>(LinkError::Cause::WriteFailed) + 1;
constexpr std::uint8_t kDriverEntries = static_cast<std::uint8_t>(DriverEntry::ClosePort) + 1;

template <typename Enum> std::uint8_t Byte(Enum v)
{
    return static_cast<std::uint8_t>(v);
}

// Times are kept in ns since the epoch: an int64 holds them to the year 2262.
std::int64_t NsSinceEpoch(std::chrono::system_clock::time_point t)
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(t.time_since_epoch()).count();
}

std::chrono::system_clock::time_point TimeAt(std::int64_t ns)
{
    return std::chrono::system_clock::time_point(
        std::chrono::duration_cast<std::chrono::system_clock::duration>(std::chrono::nanoseconds(ns)));
}

void Section(Writer &file, const Tag &tag, Writer &&content)
{
    file.raw(std::string_view(tag.data(), tag.size()));
    file.u32(static_cast<std::uint32_t>(content.bytes().size()));
    file.raw(content.bytes());
}

std::string TagText(const Tag &tag)
{
    std::string text;
    for (char c : tag)
        text += (c >= 0x20 && c < 0x7F) ? c : '?';
    return '"' + text + '"';
}

bool ReadRun(Reader &r, Capture &c)
{
    FrameRecord &a = c.record;
    c.consoleVersion = r.text();
    a.source = r.text();
    a.startedAt = TimeAt(r.i64());
    c.savedAt = TimeAt(r.i64());
    a.test = r.choice<TestKind>(kTestKinds);
    a.end = r.choice<RunEnd>(kRunEnds);
    a.portOpened = r.flag();
    const std::uint8_t ping = r.u8();
    if (ping != kNone)
        a.pingAnswered = ping == 1;
    if (ping > 1 && ping != kNone)
        r.fail();
    a.failedCommand = r.text();
    a.requested = r.flag();
    a.requestedAtMs = r.i64();
    a.receptionEnd = r.choice<ReceptionEnd>(kReceptionEnds);
    a.pauseMs = r.i64();
    a.bytesWaiting = r.i64();
    a.sleptBeforeFirstReadMs = r.i64();
    a.decoded = r.flag();
    a.walkEnd = r.optionalChoice<WalkEnd>(kWalkEnds);
    a.drewAny = r.flag();
    return r.ok();
}

bool ReadLink(Reader &r, FrameRecord &a)
{
    RunAccount::LinkFault fault;
    fault.cause = r.choice<LinkError::Cause>(kLinkCauses);
    fault.text = r.text();
    fault.afterOpen = r.flag();
    a.linkFault = std::move(fault);
    return r.ok();
}

bool ReadCommands(Reader &r, FrameRecord &a)
{
    const std::size_t n = r.count(4 + 8 + 8 + 1);
    a.commands.reserve(n);
    for (std::size_t i = 0; i < n && r.ok(); ++i) {
        RunAccount::SentCommand sent;
        sent.command = r.text();
        sent.sentAtMs = r.i64();
        sent.replyBytes = static_cast<std::size_t>(r.u64());
        sent.acknowledged = r.flag();
        a.commands.push_back(std::move(sent));
    }
    return r.ok();
}

bool ReadReads(Reader &r, FrameRecord &a)
{
    const std::size_t n = r.count(8 + 8);
    a.reads.reserve(n);
    for (std::size_t i = 0; i < n && r.ok(); ++i) {
        ReceptionRead read;
        read.msSinceCommand = r.i64();
        read.bytes = static_cast<std::size_t>(r.u64());
        a.reads.push_back(read);
    }
    return r.ok();
}

bool ReadDriver(Reader &r, FrameRecord &a)
{
    if (r.flag())
        a.driverCallMs = r.i64();
    else
        r.i64();
    if (r.flag())
        a.driverResult = r.i32();
    else
        r.i32();
    a.driverBytesFilled = static_cast<std::size_t>(r.u64());
    a.driverErrorText = r.text();
    a.driverErrorAfter = r.optionalChoice<DriverEntry>(kDriverEntries);
    a.driverLoadError = r.text();
    a.driverEntryMissing = r.flag();
    return r.ok();
}

bool ReadTimings(Reader &r, FrameRecord &a)
{
    const std::size_t n = r.count(4 + 8 + 8 + 1);
    a.timings.reserve(n);
    for (std::size_t i = 0; i < n && r.ok(); ++i) {
        RunTiming timing;
        timing.name = r.text();
        timing.ms = r.i64();
        timing.logged = r.i64();
        const std::uint8_t unit = r.u8();
        if (unit > 1)
            r.fail();
        timing.unit = unit == 1 ? "s" : "ms";
        a.timings.push_back(std::move(timing));
    }
    return r.ok();
}

bool ReadPixels(Reader &r, FrameRecord &a)
{
    const std::size_t n = r.count(4 + 4 + 4);
    for (std::size_t i = 0; i < n && r.ok(); ++i) {
        const std::int32_t x = r.i32();
        const std::int32_t y = r.i32();
        const std::uint32_t color = r.u32();
        if (x < 0 || y < 0 || color > 0xFFFFFF)
            r.fail();
        else
            a.pixels.paint(x, y, color);
    }
    return r.ok();
}

} // namespace

std::string EncodeCapture(const Capture &capture, bool storePixels)
{
    const FrameRecord &a = capture.record;
    Writer file;
    file.raw(kCaptureMagic);
    file.u16(kCaptureVersion);
    file.u16(0); // flags: none yet

    Writer run;
    run.text(capture.consoleVersion);
    run.text(a.source);
    run.i64(NsSinceEpoch(a.startedAt));
    run.i64(NsSinceEpoch(capture.savedAt));
    run.u8(Byte(a.test));
    run.u8(Byte(a.end));
    run.flag(a.portOpened);
    run.u8(a.pingAnswered ? (*a.pingAnswered ? 1 : 0) : kNone);
    run.text(a.failedCommand);
    run.flag(a.requested);
    run.i64(a.requestedAtMs);
    run.u8(Byte(a.receptionEnd));
    run.i64(a.pauseMs);
    run.i64(a.bytesWaiting);
    run.i64(a.sleptBeforeFirstReadMs);
    run.flag(a.decoded);
    run.u8(a.walkEnd ? Byte(*a.walkEnd) : kNone);
    run.flag(a.drewAny);
    Section(file, kRunTag, std::move(run));

    if (a.linkFault) {
        Writer link;
        link.u8(Byte(a.linkFault->cause));
        link.text(a.linkFault->text);
        link.flag(a.linkFault->afterOpen);
        Section(file, kLinkTag, std::move(link));
    }

    Writer commands;
    commands.u32(static_cast<std::uint32_t>(a.commands.size()));
    for (const RunAccount::SentCommand &sent : a.commands) {
        commands.text(sent.command);
        commands.i64(sent.sentAtMs);
        commands.u64(sent.replyBytes);
        commands.flag(sent.acknowledged);
    }
    Section(file, kCommandsTag, std::move(commands));

    Writer reply;
    reply.raw(a.reply);
    Section(file, kReplyTag, std::move(reply));

    Writer reads;
    reads.u32(static_cast<std::uint32_t>(a.reads.size()));
    for (const ReceptionRead &read : a.reads) {
        reads.i64(read.msSinceCommand);
        reads.u64(read.bytes);
    }
    Section(file, kReadsTag, std::move(reads));

    Writer driver;
    driver.flag(a.driverCallMs.has_value());
    driver.i64(a.driverCallMs.value_or(0));
    driver.flag(a.driverResult.has_value());
    driver.i32(a.driverResult.value_or(0));
    driver.u64(a.driverBytesFilled);
    driver.text(a.driverErrorText);
    driver.u8(a.driverErrorAfter ? Byte(*a.driverErrorAfter) : kNone);
    driver.text(a.driverLoadError);
    driver.flag(a.driverEntryMissing);
    Section(file, kDriverTag, std::move(driver));

    Writer timings;
    timings.u32(static_cast<std::uint32_t>(a.timings.size()));
    for (const RunTiming &timing : a.timings) {
        timings.text(timing.name);
        timings.i64(timing.ms);
        timings.i64(timing.logged);
        timings.u8(timing.unit == "s" ? 1 : 0);
    }
    Section(file, kTimingsTag, std::move(timings));

    Writer log;
    log.raw(a.logText);
    Section(file, kLogTag, std::move(log));

    if (storePixels) {
        Writer pixels;
        pixels.u32(static_cast<std::uint32_t>(a.pixels.size()));
        for (const DrawnPixel &p : a.pixels.pixels()) {
            pixels.i32(p.x);
            pixels.i32(p.y);
            pixels.u32(p.color);
        }
        Section(file, kPixelsTag, std::move(pixels));
    }

    Section(file, kEndTag, Writer {});
    return std::move(file.bytes());
}

std::optional<Capture> DecodeCapture(std::string_view bytes, std::string *error)
{
    const auto refuse = [error](std::string why) -> std::optional<Capture> {
        if (error)
            *error = std::move(why);
        return std::nullopt;
    };
    if (bytes.size() < kCaptureMagic.size() || bytes.substr(0, kCaptureMagic.size()) != kCaptureMagic)
        return refuse("it is not a camconsole capture");
    Reader file(bytes.substr(kCaptureMagic.size()));
    const std::uint16_t version = file.u16();
    file.u16(); // flags: none are defined in version 1
    if (!file.ok())
        return refuse("it is damaged: it ends inside its header");
    if (version > kCaptureVersion || version == 0)
        return refuse("it was written by a newer camconsole (capture format version " + std::to_string(version)
                      + "; this one reads version " + std::to_string(kCaptureVersion) + ")");

    Capture capture;
    std::set<Tag> seen;
    bool ended = false;
    while (!ended) {
        if (file.left() == 0)
            return refuse("it is damaged: it ends before its last section (cut short?)");
        const std::string_view head = file.take(4);
        Tag tag {};
        if (head.size() == 4)
            std::copy(head.begin(), head.end(), tag.begin());
        const std::uint32_t length = file.u32();
        if (!file.ok())
            return refuse("it is damaged: it ends inside a section's heading (cut short?)");
        if (length > file.left())
            return refuse("it is damaged: section " + TagText(tag) + " runs past the end of the file");
        Reader r(file.take(length));
        if (!seen.insert(tag).second)
            return refuse("it is damaged: section " + TagText(tag) + " appears twice");
        if (tag != kRunTag && !seen.contains(kRunTag) && tag != kEndTag)
            return refuse("it is damaged: it does not start with the run's section");
        bool read = true;
        FrameRecord &a = capture.record;
        if (tag == kRunTag)
            read = ReadRun(r, capture);
        else if (tag == kLinkTag)
            read = ReadLink(r, a);
        else if (tag == kCommandsTag)
            read = ReadCommands(r, a);
        else if (tag == kReplyTag)
            a.reply = std::string(r.take(r.left()));
        else if (tag == kReadsTag)
            read = ReadReads(r, a);
        else if (tag == kDriverTag)
            read = ReadDriver(r, a);
        else if (tag == kTimingsTag)
            read = ReadTimings(r, a);
        else if (tag == kLogTag)
            a.logText = std::string(r.take(r.left()));
        else if (tag == kPixelsTag) {
            read = ReadPixels(r, a);
            capture.pixelsStored = true;
        } else if (tag == kEndTag)
            ended = true;
        // A section of another tag is one this version does not know: skipped.
        if (!read || !r.ok())
            return refuse("it is damaged: section " + TagText(tag) + " holds a value it can not hold");
    }
    if (!seen.contains(kRunTag) || !seen.contains(kReplyTag))
        return refuse("it is damaged: it lacks the run's account or its reply");
    if (capture.record.driverBytesFilled > capture.record.reply.size())
        return refuse("it is damaged: section " + TagText(kDriverTag) + " holds a value it can not hold");
    return capture;
}
