// quaverflux render: one frame, a numbered sequence or a movie, through the host's render road.
#include "CliError.h"
#include "CommandSupport.h"
#include "ImageFiles.h"
#include "Paths.h"
#include "Platform.h"
#include "Progress.h"
#include "VideoFiles.h"

#include <charconv>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <map>
#include <memory>
#include <set>
#include <system_error>

namespace {

struct Job {
    long frame;               // the frame number (the sequence's or the movie's), or -1 for a single frame
    HostTime time;            // image inputs and single frames; a movie's frames bring their own
    long source;              // the input movie's frame; -1 for image inputs
    std::string input;        // image inputs
    std::string map;          // empty: no map
    std::string output;       // the image written; a movie output's name for every frame
};

// Everything decided before the first frame: files, times, and the input movie when there is one.
struct RenderPlan {
    std::vector<Job> jobs;
    bool movie_out = false;
    bool sequence = false;    // more than one frame, or a numbered or movie output: progress per frame
    std::unique_ptr<MovieReader> movie;
    FrameClock clock;
};

// "K/N" of --chunk.
void ParseChunk(const std::string& text, long& piece, long& pieces)
{
    const std::size_t slash = text.find('/');
    const auto whole = [](const std::string& part, long& value) {
        const auto [end, error] = std::from_chars(part.data(), part.data() + part.size(), value);
        return !part.empty() && error == std::errc() && end == part.data() + part.size();
    };
    if (slash == std::string::npos || !whole(text.substr(0, slash), piece) || !whole(text.substr(slash + 1), pieces) ||
        pieces < 1 || piece < 1 || piece > pieces) {
        throw CliError("--chunk " + Quoted(text) + ": give the piece and the number of pieces, K/N with K from 1 to "
                       "N, e.g. --chunk 2/8");
    }
}

// The K-th of N contiguous pieces of the range: N - 1 pieces of count / N frames, the last one the rest.
FrameRange Chunk(const FrameRange& range, long piece, long pieces, bool& empty)
{
    const long size = range.count() / pieces;
    const long first = range.first + (piece - 1) * size;
    const long last = piece == pieces ? range.last : first + size - 1;
    empty = last < first;
    return FrameRange{first, empty ? first : last};
}

void CheckNotAFolder(const std::string& path)
{
    std::error_code error;
    if (std::filesystem::is_directory(path, error)) {
        throw CliError(path + " is a folder: give the output a file name");
    }
}

// Every frame's files and time, checked before anything is rendered: inputs exist, outputs are numbered
// when there are several, and no output names an input.
RenderPlan PlanRender(const RenderOptions& options)
{
    RenderPlan plan;
    plan.movie_out = IsMovieFile(options.output);
    const bool movie_in = IsMovieFile(options.input);
    if (!plan.movie_out) {
        OutputFormat(options.output);
    }
    if (options.map && IsMovieFile(*options.map)) {
        throw CliError("--map " + *options.map + " is a movie: give an image, or a numbered sequence");
    }
    if (movie_in && options.fps_given) {
        throw CliError(options.input + " is a movie: its frames keep their own times; leave out --fps");
    }
    if (plan.movie_out && !movie_in && !options.fps_given) {
        throw CliError("a movie made from images needs its frame rate: give --fps, e.g. --fps 24 or --fps 30000/1001");
    }
    if (plan.movie_out && options.time) {
        throw CliError("--time renders one frame: leave it out to write a movie");
    }
    const FramePattern input(movie_in ? std::string() : options.input);
    const FramePattern output(plan.movie_out ? std::string() : options.output);
    const FramePattern map(options.map.value_or(""));
    plan.clock = ClockFor(options.fps);

    // The frames: --frames, every frame of a movie going into a movie or a sequence, or one frame.
    std::optional<FrameRange> range;
    if (options.frames) {
        range = ParseFrameRange(*options.frames);
    }
    if (movie_in) {
        plan.movie = std::make_unique<MovieReader>(options.input);
        const long count = plan.movie->frame_count();
        if (range && range->last >= count) {
            throw CliError("--frames " + *options.frames + ": " + options.input + " has " + std::to_string(count) +
                           " frames, 0 to " + std::to_string(count - 1));
        }
        if (!range && (plan.movie_out || output.numbered())) {
            range = FrameRange{0, count - 1};
        }
    } else if (!range && plan.movie_out) {
        throw CliError("give --frames A-B: the frames that go into the movie " + options.output);
    }
    if (options.chunk) {
        long piece = 0, pieces = 0;
        ParseChunk(*options.chunk, piece, pieces);
        if (plan.movie_out || !range) {
            throw CliError("--chunk splits a sequence of image files: render to a numbered output such as out.#.png");
        }
        bool empty = false;
        range = Chunk(*range, piece, pieces, empty);
        if (empty) {
            return plan;   // no frames in this piece
        }
    }

    if (!range) {
        for (const FramePattern* pattern : {&input, &output, &map}) {
            if (pattern->numbered()) {
                throw CliError(pattern->text() + " holds a frame-number pattern: give --frames A-B to render a sequence");
            }
        }
        const double seconds = options.time.value_or(0.0);
        const HostTime time = TimeAt(plan.clock, seconds);
        long source = -1;
        if (movie_in) {
            source = plan.movie->FrameAt(seconds);
            if (source < 0) {
                throw CliError("--time " + std::to_string(seconds) + " is before the first frame of " + options.input);
            }
        }
        plan.jobs.push_back(Job{-1, time, source, input.text(), map.text(), output.text()});
    } else {
        if (range->count() > 1 && !plan.movie_out && !output.numbered()) {
            throw CliError("--frames " + options.frames.value_or("A-B") + " renders " + std::to_string(range->count()) +
                           " frames: the output needs a frame-number pattern such as # or %04d, e.g. out.#.png");
        }
        for (long frame = range->first; frame <= range->last; ++frame) {
            const HostTime time = movie_in ? HostTime{} : TimeOfFrame(plan.clock, frame);
            plan.jobs.push_back(Job{frame, time, movie_in ? frame : -1, movie_in ? std::string() : input.Name(frame),
                                    map.Name(frame), plan.movie_out ? options.output : output.Name(frame)});
        }
    }
    plan.sequence = range.has_value() && (plan.jobs.size() > 1 || plan.movie_out || output.numbered());

    // Every file read, checked to exist; with the look file, every file the render reads.
    std::set<std::string> seen;
    std::vector<std::string> images;
    std::vector<std::string> inputs;
    if (movie_in) {
        inputs.push_back(options.input);
    }
    for (const Job& job : plan.jobs) {
        for (const std::string& file : {job.input, job.map}) {
            if (!file.empty() && seen.insert(file).second) {
                std::error_code error;
                if (!std::filesystem::exists(file, error)) {
                    throw CliError("no such file: " + file);
                }
                images.push_back(file);
                inputs.push_back(file);
            }
        }
    }
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
    std::set<std::string> checked;
    for (const Job& job : plan.jobs) {
        if (!checked.insert(job.output).second) {
            continue;
        }
        std::error_code error;
        const auto canonical = std::filesystem::weakly_canonical(std::filesystem::absolute(job.output), error);
        if (const auto found = canonical_inputs.find(canonical); found != canonical_inputs.end()) {
            throw CliError("the output " + job.output + " is the input " + found->second + ": choose another name");
        }
        std::vector<std::string> own = {movie_in ? options.input : job.input};
        for (const std::string& file : {job.map, options.look.value_or("")}) {
            if (!file.empty()) {
                own.push_back(file);
            }
        }
        CheckNotAnInput(job.output, "output", own);
        CheckNotAFolder(job.output);
        CheckWritableFolder(job.output);
    }
    if (options.save_look) {
        // The look file read may be written again: it is read before anything is written.
        CheckNotAnInput(*options.save_look, "look file to save", images);
        if (movie_in) {
            CheckNotAnInput(*options.save_look, "look file to save", {options.input});
        }
        for (const std::string& output_file : checked) {
            CheckNotAnInput(*options.save_look, "look file to save", {output_file});
        }
        CheckNotAFolder(*options.save_look);
        CheckWritableFolder(*options.save_look);
    }
    return plan;
}

std::string FrameName(const Job& job)
{
    return job.frame < 0 ? std::string("the frame") : "frame " + std::to_string(job.frame);
}

std::string Elapsed(std::chrono::steady_clock::time_point start)
{
    char text[32];
    std::snprintf(text, sizeof(text), "%.2f s",
                  std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    return text;
}

}   // namespace

void RunRender(const GlobalOptions& global, const RenderOptions& options)
{
    RenderPlan plan = PlanRender(options);
    const auto say_plain = [&](const std::string& line) {
        if (!global.quiet) {
            std::fprintf(stderr, "%s\n", line.c_str());
        }
    };
    if (plan.jobs.empty()) {
        say_plain("quaverflux: note: --chunk " + *options.chunk + " holds no frames: nothing to render");
        return;
    }
    if (options.skip_existing && plan.movie_out && std::filesystem::exists(options.output)) {
        say_plain("quaverflux: note: " + options.output + " exists: nothing to render (--skip-existing)");
        return;
    }
    const ControlCatalogue catalogue(StartPlugin(FindModule(global.module)));
    ControlPlan controls = PlanControls(options, catalogue);
    if (options.preset) {
        controls.preset = catalogue.FindLook(*options.preset);
    }
    MovieReader* movie = plan.movie.get();
    const std::vector<Job>& jobs = plan.jobs;

    // The input's depth and shape, which the outputs keep.
    PixelDepth input_depth = PixelDepth::Bits8;
    FileShape shape;
    if (movie) {
        input_depth = movie->depth();
        shape.channels = movie->has_alpha() ? 4 : 3;
    } else {
        const ImageFileInfo first = ProbeImageFile(jobs.front().input);
        input_depth = first.depth;
        shape = first.shape;
    }
    const RenderSetup setup = SetupFor(global, options, input_depth);
    FrameRenderer renderer(setup);

    // A movie's frames arrive as they are decoded: the layer is made at the movie's size and filled per frame.
    renderer.SetInput(movie ? FloatImage(movie->width(), movie->height())
                            : ReadImageFile(jobs.front().input, setup.depth).pixels,
                      movie ? options.input : jobs.front().input);
    if (!jobs.front().map.empty()) {
        renderer.SetMap(ReadImageFile(jobs.front().map, setup.depth).pixels);
    }
    renderer.ApplyControls(controls);

    std::unique_ptr<MovieWriter> writer;
    const A_long width = renderer.input().width();
    const A_long height = renderer.input().height();
    if (plan.movie_out) {
        const MovieOptions movie_options{options.codec, options.crf};
        writer = movie ? std::make_unique<MovieWriter>(options.output, *movie, jobs.front().source,
                                                       jobs.back().source, width, height, setup.depth, movie_options)
                       : std::make_unique<MovieWriter>(options.output, plan.clock, width, height, setup.depth,
                                                       shape.channels == 2 || shape.channels == 4, movie_options);
    }

    Progress progress(plan.sequence ? static_cast<long>(jobs.size()) : 0, "frame", global.quiet || !plan.sequence);
    const auto say = [&](const std::string& line) {
        if (plan.sequence) {
            progress.Say(line);
        } else {
            say_plain(line);
        }
    };
    const auto start = std::chrono::steady_clock::now();
    long written = 0;
    std::string last_note;
    std::string described;
    // For the message of a cancelled render: a movie is written only whole.
    const auto what_was_written = [&] {
        return writer ? "nothing written (" + options.output + " appears only when complete)"
                      : std::to_string(written) + " of " + std::to_string(jobs.size()) +
                            (jobs.size() == 1 ? " frame" : " frames") + " written";
    };
    MovieFrame source;
    std::string current_input = jobs.front().input;
    std::string current_map = jobs.front().map;
    for (const Job& job : jobs) {
        const bool skip = options.skip_existing && !plan.movie_out && std::filesystem::exists(job.output);
        if (InterruptSignal() != 0) {
            progress.Finish();
            throw Interrupted(InterruptSignal(), "interrupted before " + FrameName(job) + "; " + what_was_written());
        }
        if (movie) {
            // Decoded in order; frames before this one only decoded.
            while (source.index < job.source) {
                const bool wanted = source.index + 1 == job.source && !skip;
                if (!movie->Next(source, wanted ? std::optional<PixelDepth>(setup.depth) : std::nullopt)) {
                    throw CliError(options.input + " ended after " + std::to_string(source.index + 1) +
                                   " frames, before " + FrameName(job));
                }
            }
        }
        if (skip) {
            if (!plan.sequence) {
                say_plain("quaverflux: note: " + job.output + " exists: nothing to render (--skip-existing)");
            }
            progress.Done(job.output + " (exists)");
            continue;
        }
        if (movie) {
            renderer.SetInput(source.image, options.input);
        } else if (job.input != current_input) {
            renderer.SetInput(ReadImageFile(job.input, setup.depth).pixels, job.input);
            current_input = job.input;
        }
        if (job.map != current_map) {
            renderer.SetMap(ReadImageFile(job.map, setup.depth).pixels);
            current_map = job.map;
        }
        // A movie's frame at its own time; a single frame at --time.
        const HostTime time = movie && job.frame >= 0 ? source.time : job.time;
        RenderedFrame frame;
        try {
            frame = renderer.Render(time, FrameName(job));
        } catch (const Interrupted& stop) {
            progress.Finish();
            throw Interrupted(stop.status() - EXIT_SIGNAL_BASE, std::string(stop.what()) + "; " + what_was_written());
        }
        if (global.verbose) {
            say(FrameName(job) + ": " + DrawnBy(frame));
        }
        if (writer) {
            writer->Write(frame.image, movie ? &source : nullptr);
        } else {
            const std::string note = WriteImageFile(job.output, frame.image, setup.depth, shape, &described);
            if (!note.empty() && note != last_note) {
                say("quaverflux: note: " + note);
                last_note = note;
            }
        }
        ++written;
        progress.Done(job.output);
    }
    if (writer) {
        described = writer->Finish();
    }
    progress.Finish();
    // The look is saved only once the render succeeded: a failed or cancelled one leaves the file as it was.
    if (options.save_look) {
        WriteLookFile(*options.save_look, catalogue, renderer.host());
    }
    const std::string size = std::to_string(width) + " x " + std::to_string(height);
    if (writer) {
        const std::string rate = movie ? movie->RateText() : RateText(plan.clock) + " fps";
        say_plain("quaverflux: wrote " + options.output + " (" + size + ", " + std::to_string(written) + " frames, " +
                  rate + ", " + described + ") in " + Elapsed(start));
    } else if (!plan.sequence && written == 1) {
        say_plain("quaverflux: wrote " + jobs.front().output + " (" + size + ", " + described + ") in " + Elapsed(start));
    }
}
