#pragma once

class CameraDriver;
class ErrorReporter;
class EventPump;
class PictureSurface;
class PortAdvisor;
class SecondsClock;
class SerialLink;
class Sleeper;
class StatusLog;
class TickClock;

// Everything through which the console's test procedures reach the
// platform. The window supplies the real ones; unit tests supply fakes.
struct ConsolePlatform {
    StatusLog &status;
    PictureSurface &pic;
    SerialLink &com;
    Sleeper &sleeper;
    TickClock &ticks;
    SecondsClock &seconds;
    EventPump &events;
    ErrorReporter &errors;
    CameraDriver &driver;
    PortAdvisor &advisor; // explains a port that can not be used
};
