#include "run_setup.h"

#include "common/frame_geometry.h"
#include "frames/frame_compare.h"
#include "image/png_writers.h"
#include "output_paths.h"
#include "png_library.h"

std::optional<ExpectedFrameCheck> ExpectedFrameFor(const CommandLine &commandLine, std::string *problem)
{
    if (commandLine.expectFrame.empty())
        return std::nullopt;
    const std::string &path = commandLine.expectFrame;
    // The PNG is read by the image layer's library, loaded only now.
    std::string error;
    const PngWriters *png = LoadPngWriters(error);
    SavedFrame frame;
    if (!png || !png->readFrame(path, frame, error)) {
        *problem = "--expect-frame " + path + ": " + error + ".";
        return std::nullopt;
    }
    const bool lineMode = commandLine.tests.front() == TestKind::LineMode;
    const int width = lineMode ? kBitmapSurfaceWidth : kColorFrameSurfaceWidth;
    const int height = lineMode ? kBitmapSurfaceHeight : kColorFrameSurfaceHeight;
    if (frame.width != width || frame.height != height) {
        *problem = "--expect-frame " + path + ": " + std::to_string(frame.width) + " x " + std::to_string(frame.height)
            + " pixels, not the " + std::to_string(width) + " x " + std::to_string(height) + " of a whole "
            + (lineMode ? "bitmap" : "frame") + ".";
        return std::nullopt;
    }
    return ExpectedFrameCheck { path, std::move(frame.pixels), commandLine.tolerance, commandLine.maxDiffering };
}

std::string OutputFilesProblem(const CommandLine &commandLine)
{
    const std::pair<const char *, const std::string *> files[] = {
        { "--save-picture", &commandLine.savePicture },
        { "--save-frame", &commandLine.saveFrame },
        { "--save-reply", &commandLine.saveReply },
        { "--save-run", &commandLine.saveRun },
        { "--report", &commandLine.report },
        { "--junit", &commandLine.junit },
        { "--csv", &commandLine.csv },
    };
    for (const auto &[option, path] : files) {
        if (path->empty())
            continue;
        if (const std::string problem = OutputPathProblem(*path); !problem.empty())
            return std::string(option) + " " + *path + ": " + problem + ".";
    }
    // The folder of --keep-failed, checked as the folder of a file in it.
    if (!commandLine.keepFailed.empty()) {
        if (const std::string problem = OutputPathProblem(commandLine.keepFailed + "/kept"); !problem.empty())
            return "--keep-failed " + commandLine.keepFailed + ": " + problem + ".";
    }
    return {};
}
