// quaverflux render: one frame, or a numbered sequence, through the host's render road.
#include "CliError.h"
#include "CommandSupport.h"
#include "ImageFiles.h"
#include "Paths.h"
#include "Progress.h"

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <map>
#include <set>
#include <system_error>

namespace {

struct Job {
    long frame;               // the frame number (the sequence's), or -1 for a single frame at --time
    HostTime time;
    std::string input;
    std::string map;          // empty: no map
    std::string output;
};

// Every frame's files and time, checked before anything is rendered: inputs exist, outputs are numbered
// when there are several, and no output names an input.
std::vector<Job> PlanJobs(const RenderOptions& options)
{
    OutputFormat(options.output);
    const FramePattern input(options.input);
    const FramePattern output(options.output);
    const FramePattern map(options.map.value_or(""));
    const FrameClock clock = ClockFor(options.fps);

    std::vector<Job> jobs;
    if (!options.frames) {
        for (const FramePattern* pattern : {&input, &output, &map}) {
            if (pattern->numbered()) {
                throw CliError(pattern->text() + " holds a frame-number pattern: give --frames A-B to render a sequence");
            }
        }
        jobs.push_back(Job{-1, TimeAt(clock, options.time.value_or(0.0)), input.text(), map.text(), output.text()});
    } else {
        const FrameRange range = ParseFrameRange(*options.frames);
        if (range.count() > 1 && !output.numbered()) {
            throw CliError("--frames " + *options.frames + " renders " + std::to_string(range.count()) +
                           " frames: the output needs a frame-number pattern such as #### or %04d, e.g. out.####.png");
        }
        for (long frame = range.first; frame <= range.last; ++frame) {
            jobs.push_back(Job{frame, TimeOfFrame(clock, frame), input.Name(frame), map.Name(frame), output.Name(frame)});
        }
    }

    // Every image read, checked to exist; with the look file, every file the render reads.
    std::set<std::string> seen;
    std::vector<std::string> images;
    for (const Job& job : jobs) {
        for (const std::string& file : {job.input, job.map}) {
            if (!file.empty() && seen.insert(file).second) {
                std::error_code error;
                if (!std::filesystem::exists(file, error)) {
                    throw CliError("no such file: " + file);
                }
                images.push_back(file);
            }
        }
    }
    std::vector<std::string> inputs = images;
    if (options.look) {
        inputs.push_back(*options.look);
    }
    // Outputs against every input: by canonical path (through "..", "." and links) for long sequences, and
    // each frame against its own inputs through the file system too (hard links).
    std::map<std::filesystem::path, std::string> canonical_inputs;
    for (const std::string& file : inputs) {
        std::error_code error;
        canonical_inputs.emplace(std::filesystem::weakly_canonical(std::filesystem::absolute(file), error), file);
    }
    for (const Job& job : jobs) {
        std::error_code error;
        const auto canonical = std::filesystem::weakly_canonical(std::filesystem::absolute(job.output), error);
        if (const auto input = canonical_inputs.find(canonical); input != canonical_inputs.end()) {
            throw CliError("the output " + job.output + " is the input " + input->second + ": choose another name");
        }
        std::vector<std::string> own = {job.input};
        for (const std::string& file : {job.map, options.look.value_or("")}) {
            if (!file.empty()) {
                own.push_back(file);
            }
        }
        CheckNotAnInput(job.output, "output", own);
        CheckWritableFolder(job.output);
    }
    if (options.save_look) {
        // The look file read may be written again: it is read before anything is written.
        CheckNotAnInput(*options.save_look, "look file to save", images);
        for (const Job& job : jobs) {
            CheckNotAnInput(*options.save_look, "look file to save", {job.output});
        }
        CheckWritableFolder(*options.save_look);
    }
    return jobs;
}

std::string FrameName(const Job& job)
{
    return job.frame < 0 ? std::string("the frame") : "frame " + std::to_string(job.frame);
}

}   // namespace

void RunRender(const GlobalOptions& global, const RenderOptions& options)
{
    const std::vector<Job> jobs = PlanJobs(options);
    const ControlCatalogue controls(StartPlugin(FindModule(global.module)));
    ControlPlan plan = PlanControls(options, controls);
    if (options.preset) {
        plan.preset = controls.FindLook(*options.preset);
    }
    const ImageFileInfo first = ProbeImageFile(jobs.front().input);
    const RenderSetup setup = SetupFor(global, options, first.depth);
    FrameRenderer renderer(setup);

    const bool sequence = options.frames.has_value();
    renderer.SetInput(ReadImageFile(jobs.front().input, setup.depth).pixels, jobs.front().input);
    if (!jobs.front().map.empty()) {
        renderer.SetMap(ReadImageFile(jobs.front().map, setup.depth).pixels);
    }
    renderer.ApplyControls(plan);
    if (options.save_look) {
        WriteLookFile(*options.save_look, controls, renderer.host());
    }

    Progress progress(sequence ? static_cast<long>(jobs.size()) : 0, "frame", global.quiet || !sequence);
    const auto say = [&](const std::string& line) {
        if (global.quiet) {
            return;
        }
        if (sequence) {
            progress.Say(line);
        } else {
            std::fprintf(stderr, "%s\n", line.c_str());
        }
    };
    const auto start = std::chrono::steady_clock::now();
    long written = 0;
    std::string last_note;
    for (std::size_t i = 0; i < jobs.size(); ++i) {
        const Job& job = jobs[i];
        if (i > 0 && job.input != jobs[i - 1].input) {
            renderer.SetInput(ReadImageFile(job.input, setup.depth).pixels, job.input);
        }
        if (i > 0 && job.map != jobs[i - 1].map) {
            renderer.SetMap(ReadImageFile(job.map, setup.depth).pixels);
        }
        RenderedFrame frame;
        try {
            frame = renderer.Render(job.time, FrameName(job));
        } catch (const Interrupted& stop) {
            progress.Finish();
            throw Interrupted(stop.status() - EXIT_SIGNAL_BASE,
                              std::string(stop.what()) + "; " + std::to_string(written) + " of " +
                                  std::to_string(jobs.size()) + (jobs.size() == 1 ? " frame" : " frames") + " written");
        }
        if (global.verbose) {
            say(FrameName(job) + ": " + DrawnBy(frame));
        }
        const std::string note = WriteImageFile(job.output, frame.image, setup.depth);
        if (!note.empty() && note != last_note) {
            say("quaverflux: note: " + note);
            last_note = note;
        }
        ++written;
        progress.Done(job.output);
    }
    progress.Finish();
    if (!sequence && !global.quiet) {
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        char text[64];
        std::snprintf(text, sizeof(text), "%.2f s", seconds);
        const PixelBuffer& layer = renderer.input();
        std::fprintf(stderr, "quaverflux: wrote %s (%d x %d, %s) in %s\n", jobs.front().output.c_str(),
                     static_cast<int>(layer.width()), static_cast<int>(layer.height()), DepthName(setup.depth).c_str(),
                     text);
    }
}
