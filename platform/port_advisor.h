#pragma once

#include <string>
#include <vector>

// Says what keeps a serial device from being used and what to do about it,
// a line each (the port doctor on the real system in the console; canned
// lines in tests). Nothing when it finds nothing wrong.
class PortAdvisor {
public:
    virtual ~PortAdvisor() = default;
    virtual std::vector<std::string> adviceFor(const std::string &device) = 0;
};
