/*
 * tarqis.h: camera driver library (libtarqis.so).
 *
 * Four entries that open the camera's serial port, ping the camera, dump one
 * color frame into a caller's buffer and close the port again, and an
 * optional fifth, CAM_LastError, that says why the last call failed. The library
 * keeps one port open at a time; the entries are meant to be called from one
 * thread at a time (they are serialised internally, so concurrent calls do not
 * corrupt the port state, but they do interleave on the wire).
 *
 * Port naming: a port name is "COM" followed by a decimal port number n >= 1,
 * case-insensitive ("COM1", "com1"). Port n is the device named by the
 * environment variable CAMCONSOLE_PORTn when that is set and not empty, else
 * /dev/ttyS(n-1) (port 1 is /dev/ttyS0). The variable is read by each
 * CAM_Init call, from the environment of the process that loaded the
 * library. camconsole relies on this to hand its choice of port on: when
 * given --port DEVICE (or a port picked in its window's menu) it sets
 * CAMCONSOLE_PORT1=DEVICE in its own environment before it calls
 * CAM_Init("COM1"), so the library opens the same device as the console's own
 * link. A program loading the library can do the same with setenv().
 *
 * Line settings: 115200 baud, 8 data bits, no parity, 1 stop bit, no flow
 * control (neither RTS/CTS nor XON/XOFF), raw (every byte value passes
 * unchanged, no line buffering, no CR/LF translation), modem lines ignored.
 *
 * Camera protocol: each command is sent as its text followed by one carriage
 * return (13); the camera answers an accepted command with "ACK" followed by
 * its data.
 *
 * One owner per device: an open port holds an exclusive advisory lock
 * (flock) on the device and the terminal's exclusive mode (TIOCEXCL), both
 * released when the port is closed. The lock belongs to the device, not to
 * the name it was opened by, and it holds for root as well. Programs that
 * take the same lock (the camconsole console does) never share the camera.
 *
 * Results: every entry but CAM_LastError returns 1 on success and 0 on
 * failure.
 */
#ifndef TARQIS_H
#define TARQIS_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#if defined(__GNUC__)
#define TARQIS_API __attribute__((visibility("default")))
#else
#define TARQIS_API
#endif

/* Size in bytes of the buffer handed to CAM_DumpFrame. The library never
 * writes more than this many bytes into it. */
#define TARQIS_FRAME_BUFFER_SIZE 40001

/* CAM_DumpFrame gives up when no byte arrives for this many milliseconds
 * (this includes the wait for the first byte of the reply). */
#define TARQIS_DUMP_IDLE_TIMEOUT_MS 500

/* CAM_Ping waits this many milliseconds for the first byte of the reply. */
#define TARQIS_PING_TIMEOUT_MS 500

/* CAM_Ping takes the reply as complete after a pause of this many
 * milliseconds with no byte. */
#define TARQIS_REPLY_QUIET_MS 50

/* The frame-dump stream that follows the camera's "ACK\r":
 *   1        start of a frame
 *   2        start of the next column
 *   3        end of the frame
 *   other    inside a frame, the red byte of a pixel; the next two bytes are
 *            its green and blue bytes, whatever their values.
 * Only the byte where a step begins is a marker; a green or blue byte of 1, 2
 * or 3 is pixel data. */
#define TARQIS_FRAME_START 1
#define TARQIS_COLUMN_START 2
#define TARQIS_FRAME_END 3

/*
 * CAM_Init: opens and configures the serial port named by `port` (see "Port
 * naming" above) with the line settings above, and discards anything queued
 * in either direction. A port this library already holds open is closed
 * first, so calling CAM_Init again re-opens cleanly. The device is opened
 * without becoming the controlling terminal and is not inherited by child
 * processes.
 *
 * Returns 1 when the port is open and configured; 0 when `port` is null or
 * not a valid port name, the device can not be opened or configured, or
 * another holder of the lock has it open (the port is then closed).
 */
TARQIS_API int32_t CAM_Init(const char *port);

/*
 * CAM_Ping: discards pending input, sends a bare carriage return and reads
 * the reply: it waits up to TARQIS_PING_TIMEOUT_MS for the first byte, then
 * reads until TARQIS_REPLY_QUIET_MS pass without a byte (bounded to about one
 * second in all), so the rest of a short reply (such as the camera's "\r:"
 * prompt) is consumed and does not precede the next command's reply.
 *
 * Returns 1 when the reply starts with "ACK"; 0 otherwise, on a write or read
 * error, or when no port is open.
 */
TARQIS_API int32_t CAM_Ping(void);

/*
 * CAM_DumpFrame: discards pending input, sends "DF\r" and writes the whole
 * reply (the camera's "ACK\r" followed by the frame-dump stream) into
 * `buffer` from index 0, never more than TARQIS_FRAME_BUFFER_SIZE bytes.
 * `buffer` must hold at least TARQIS_FRAME_BUFFER_SIZE bytes; bytes past the
 * end of the reply are left untouched.
 *
 * The library follows the stream's structure (see the markers above; bytes
 * before the frame start are copied but not interpreted) and stops reading at
 * the frame's end marker, which is then the last byte written.
 *
 * Returns 1 when the end marker arrived (a complete frame). Returns 0 when
 * `buffer` is null or no port is open (nothing is written), when no byte
 * arrives for TARQIS_DUMP_IDLE_TIMEOUT_MS, when the buffer is full before the
 * end marker, or on a write or read error; the bytes received so far are in
 * the buffer in those cases.
 */
TARQIS_API int32_t CAM_DumpFrame(uint8_t *buffer);

/*
 * CAM_ClosePort: closes the port that CAM_Init opened. Safe to call when no
 * port is open (before CAM_Init, or twice). Returns 1.
 */
TARQIS_API int32_t CAM_ClosePort(void);

/*
 * CAM_LastError (optional): the text of the last failure of any entry, or ""
 * when the last call of an entry succeeded (and before any call). A failure
 * on the port names the device and its cause, for example
 *   "/dev/ttyUSB0: the port is in use by another program"
 *   "/dev/ttyUSB0: Permission denied"
 *   "/dev/ttyUSB0: No such file or directory"
 *   "/dev/ttyUSB0: the frame stopped before its end marker"
 * The text is meant for people, not to be parsed. The pointer stays valid
 * for as long as the library is loaded; the text it points to changes with
 * the next call of an entry. Never null.
 *
 * Optional: this entry is not part of every camera driver library. A program
 * that wants to work with any of them looks it up (dlsym) and does without
 * it where it is missing.
 */
TARQIS_API const char *CAM_LastError(void);

#ifdef __cplusplus
}
#endif

#endif /* TARQIS_H */
