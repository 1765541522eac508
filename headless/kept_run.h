#pragma once

#include <chrono>
#include <functional>
#include <string>
#include <vector>

// The evidence of one failed run that --keep-failed keeps: files of one
// name with their own suffixes (".bin", ".png", ".log"), written at once
// into the folder, each atomically. Another kind of file is one more add().
//
// The name is claimed before anything is written, by creating every file
// of it exclusively: a console beside this one keeping into the same folder
// (or a run of the same unit, test and round within the same second) gets
// the name with "-2", "-3", ... and no file is ever written over.
class KeptRun {
public:
    // Writes the file at path; false with error set when it could not.
    using Writer = std::function<bool(const std::string &path, std::string &error)>;

    void add(std::string suffix, std::string bytes);
    void add(std::string suffix, Writer writer);

    struct Written {
        std::vector<std::string> files; // the paths written, in the order added
        std::vector<std::pair<std::string, std::string>> failed; // a path and why it could not be written
    };
    // Writes the files as folder/name + suffix.
    Written write(const std::string &folder, const std::string &name) const;

private:
    std::vector<std::pair<std::string, Writer>> m_files;
};

// The name of a kept run: UNIT-TEST-runR-YYYYMMDDTHHMMSS (local time), the
// unit's characters that do not belong in a file name made "_".
std::string KeptRunName(const std::string &unit, const std::string &test, int round,
                        std::chrono::system_clock::time_point start);
