// SPDX-FileCopyrightText: The Kelvara developers
// SPDX-License-Identifier: BSD-3-Clause

// Starts Kelvara and the reference programs in turn, many times, and prints
// the median time from process start to the first frame on screen and the
// resident memory at that moment, each also as a ratio to the floor. Then it
// counts Kelvara's paints per apply click and has callgrind count the
// instructions of its paints.
//
// usage: kelvara_bench [--rounds N] [--warmup N]

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <optional>
#include <string>
#include <vector>

extern char **environ;

namespace {

struct Program
{
    std::string name;
    std::vector<std::string> command;
};

struct FirstFrame
{
    double startupMs;
    double residentKib;
    std::string event;
    std::string driver;
};

long long monotonicNs()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return now.tv_sec * 1000000000LL + now.tv_nsec;
}

// This process's environment with the variables the preload library reads.
std::vector<std::string> environmentWithPreload(const std::string &reportPath)
{
    std::vector<std::string> environment;
    for (char **entry = environ; *entry; ++entry) {
        if (std::strncmp(*entry, "LD_PRELOAD=", 11) != 0)
            environment.emplace_back(*entry);
    }
    environment.push_back("LD_PRELOAD=" FIRST_FRAME_LIBRARY);
    environment.push_back("FIRST_FRAME_REPORT=" + reportPath);
    return environment;
}

std::vector<char *> pointersTo(std::vector<std::string> &strings)
{
    std::vector<char *> pointers;
    for (std::string &string : strings)
        pointers.push_back(string.data());
    pointers.push_back(nullptr);
    return pointers;
}

// Starts the program with its output discarded and waits for the preload
// library to end it at the first frame. Empty when no frame came within
// the time limit or the report is missing.
std::optional<FirstFrame> measureFirstFrame(const Program &program)
{
    char reportPath[] = "/tmp/kelvara-bench-XXXXXX";
    const int reportFd = mkstemp(reportPath);
    if (reportFd < 0)
        return std::nullopt;
    close(reportFd);

    std::vector<std::string> environment = environmentWithPreload(reportPath);
    std::vector<std::string> command = program.command;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);

    const long long startNs = monotonicNs();
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, command.front().c_str(), &actions, nullptr,
                                    pointersTo(command).data(), pointersTo(environment).data());
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) {
        unlink(reportPath);
        return std::nullopt;
    }

    int status = 0;
    const long long deadlineNs = startNs + 60'000'000'000LL;
    while (waitpid(pid, &status, WNOHANG) == 0) {
        if (monotonicNs() > deadlineNs) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            break;
        }
        usleep(500);
    }

    std::ifstream report(reportPath);
    long long frameNs = 0;
    FirstFrame frame{};
    const bool complete = static_cast<bool>(report >> frameNs >> frame.residentKib >> frame.event
                                            >> frame.driver);
    unlink(reportPath);
    if (!complete || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return std::nullopt;
    frame.startupMs = double(frameNs - startNs) / 1e6;
    return frame;
}

// The value below which the given fraction of the values lie, interpolated
// between neighbours; 0.5 gives the median.
double quantile(std::vector<double> values, double fraction)
{
    std::sort(values.begin(), values.end());
    const double position = fraction * double(values.size() - 1);
    const size_t below = size_t(position);
    const size_t above = std::min(below + 1, values.size() - 1);
    return values[below] + (values[above] - values[below]) * (position - double(below));
}

double median(const std::vector<double> &values)
{
    return quantile(values, 0.5);
}

std::string output(const std::string &command)
{
    std::string text;
    FILE *pipe = popen(command.c_str(), "r");
    if (!pipe)
        return text;
    char buffer[4096];
    size_t read = 0;
    while ((read = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
        text.append(buffer, read);
    pclose(pipe);
    return text;
}

struct PaintCount
{
    int firstFramePaints = -1;
    int clicks = -1;
    int clickPaints = -1;
};

PaintCount parsePaintCount(const std::string &text)
{
    PaintCount count;
    std::sscanf(text.c_str(), "first frame paints %d, clicks %d, paints after them %d",
                &count.firstFramePaints, &count.clicks, &count.clickPaints);
    return count;
}

// Instructions executed inside OpenGLWidget::paintGL and everything it
// calls, over a run of the paint probe with the given number of clicks.
std::optional<long long> paintInstructions(int clicks, PaintCount *count)
{
    const std::string profile = "/tmp/kelvara-bench-callgrind.out";
    *count = parsePaintCount(output(
            "valgrind --tool=callgrind --toggle-collect='OpenGLWidget::paintGL()' "
            "--callgrind-out-file=" + profile + " " PAINT_PROBE " " + std::to_string(clicks)
            + " 400 2>/dev/null"));
    std::ifstream file(profile);
    std::string line;
    std::optional<long long> instructions;
    while (std::getline(file, line)) {
        if (line.rfind("summary: ", 0) == 0)
            instructions = std::atoll(line.c_str() + 9);
    }
    unlink(profile.c_str());
    return instructions;
}

int argumentValue(int argc, char *argv[], const char *name, int fallback)
{
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::strcmp(argv[i], name) == 0)
            return std::max(0, std::atoi(argv[i + 1]));
    }
    return fallback;
}

} // namespace

int main(int argc, char *argv[])
{
    const int rounds = std::max(1, argumentValue(argc, argv, "--rounds", 40));
    const int warmupRounds = argumentValue(argc, argv, "--warmup", 2);

    // The programs read assets/ under the working directory.
    if (chdir(PROJECT_DIR) != 0) {
        std::perror(PROJECT_DIR);
        return 1;
    }

    const std::vector<Program> programs = {
        { "kelvara", { KELVARA_PROGRAM } },
        { "unchecked", { REFERENCE_PROGRAM, "unchecked" } },
        { "floor", { REFERENCE_PROGRAM, "floor" } },
        { "clear", { REFERENCE_PROGRAM, "clear" } },
        { "peer", { REFERENCE_PROGRAM, "peer" } },
    };

    const char *platform = std::getenv("QT_QPA_PLATFORM");
    const bool onX11 = platform && std::strcmp(platform, "xcb") == 0;

    std::map<std::string, std::vector<double>> startupMs;
    std::map<std::string, std::vector<double>> residentKib;
    std::map<std::string, std::string> frameEvent;
    std::map<std::string, std::string> frameDriver;
    for (int round = 0; round < warmupRounds + rounds; ++round) {
        for (const Program &program : programs) {
            const std::optional<FirstFrame> frame = measureFirstFrame(program);
            if (!frame) {
                std::fprintf(stderr, "%s showed no first frame\n", program.name.c_str());
                return 1;
            }
            // The peer stands for a program that never draws with OpenGL. On
            // Wayland, Qt 6.4 itself loads the driver for every window: it asks
            // its EGL buffer integration whether to decorate the window.
            if (onX11 && program.name == "peer" && frame->driver != "no-mesa-driver") {
                std::fprintf(stderr, "peer loaded an OpenGL driver\n");
                return 1;
            }
            if (round < warmupRounds)
                continue;
            startupMs[program.name].push_back(frame->startupMs);
            residentKib[program.name].push_back(frame->residentKib);
            frameEvent[program.name] = frame->event;
            frameDriver[program.name] = frame->driver;
        }
    }

    const double floorMs = median(startupMs["floor"]);
    const double floorKib = median(residentKib["floor"]);
    std::printf("Medians of %d interleaved runs each, after %d warm-up rounds, on %s\n\n",
                rounds, warmupRounds, platform ? platform : "the default platform");
    std::printf("| program | start to first frame (ms) | middle half (ms) | x floor "
                "| resident at first frame (KiB) | x floor | first frame seen at "
                "| driver at first frame |\n");
    std::printf("|---|---:|---:|---:|---:|---:|---|---|\n");
    for (const Program &program : programs) {
        const std::vector<double> &times = startupMs[program.name];
        const double ms = median(times);
        const double kib = median(residentKib[program.name]);
        std::printf("| %s | %.1f | %.1f-%.1f | %.3f | %.0f | %.3f | %s | %s |\n",
                    program.name.c_str(), ms, quantile(times, 0.25), quantile(times, 0.75),
                    ms / floorMs, kib, kib / floorKib, frameEvent[program.name].c_str(),
                    frameDriver[program.name].c_str());
    }

    const PaintCount clicked = parsePaintCount(output(PAINT_PROBE " 20 100 2>/dev/null"));
    std::printf("\nKelvara paints: %d for the first frame, %d for %d apply clicks\n",
                clicked.firstFramePaints, clicked.clickPaints, clicked.clicks);

    PaintCount firstOnly;
    PaintCount withClicks;
    const int profiledClicks = 10;
    const std::optional<long long> firstFrameIr = paintInstructions(0, &firstOnly);
    const std::optional<long long> withClicksIr = paintInstructions(profiledClicks, &withClicks);
    if (!firstFrameIr || !withClicksIr || firstOnly.firstFramePaints <= 0
        || withClicks.clickPaints <= 0) {
        std::fprintf(stderr, "callgrind gave no paint cost\n");
        return 1;
    }
    std::printf("Kelvara paintGL, instructions with everything it calls (callgrind): "
                "%lld for the %d paints of the first frame, %lld per paint after a click "
                "(%d paints)\n",
                *firstFrameIr, firstOnly.firstFramePaints,
                (*withClicksIr - *firstFrameIr) / withClicks.clickPaints, withClicks.clickPaints);
    return 0;
}
