#include "tests/app/ProgramTest.h"

#include "cli/CommandLine.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <iterator>
#include <spawn.h>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace apptest {

namespace fs = std::filesystem;

namespace {

std::string slurp(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

} // namespace

ExecArguments::ExecArguments(const std::string& program, const std::vector<std::string>& args)
    : All{program} {
    All.insert(All.end(), args.begin(), args.end());
    for (std::string& arg : All)
        Pointers.push_back(arg.data());
    Pointers.push_back(nullptr);
}

Outcome runProgram(const std::string& program, const std::vector<std::string>& args,
                   const std::vector<std::string>& environment) {
    const ScratchFolder capture;
    const std::string outPath = capture.path("stdout");
    const std::string errPath = capture.path("stderr");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT, 0644);
    ExecArguments argv(program, args);
    std::vector<std::string> variables = environment;
    std::vector<char*> envp;
    for (std::string& variable : variables)
        envp.push_back(variable.data());
    for (char** inherited = environ; *inherited; ++inherited)
        envp.push_back(*inherited);
    envp.push_back(nullptr);
    pid_t pid = -1;
    Outcome run;
    if (posix_spawnp(&pid, program.c_str(), &actions, nullptr, argv.argv(), envp.data()) == 0) {
        int status = 0;
        waitpid(pid, &status, 0);
        run.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    posix_spawn_file_actions_destroy(&actions);
    run.out = slurp(outPath);
    run.err = slurp(errPath);
    return run;
}

Outcome umbrix(const std::vector<std::string>& args, const std::vector<std::string>& environment) {
    return runProgram(UMBRIX_PROGRAM, args, environment);
}

namespace {

// A standard stream sent to a file until the end of the scope.
class Redirected {
  public:
    Redirected(int fd, const std::string& path) : Fd(fd), Saved(dup(fd)) {
        flushAll();
        const int file = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        if (Saved < 0 || file < 0 || dup2(file, fd) < 0)
            throw std::runtime_error("cannot capture a standard stream");
        close(file);
    }
    ~Redirected() {
        flushAll();
        dup2(Saved, Fd);
        close(Saved);
    }
    Redirected(const Redirected&) = delete;
    Redirected& operator=(const Redirected&) = delete;

  private:
    static void flushAll() {
        std::fflush(stdout);
        std::fflush(stderr);
    }
    int Fd;
    int Saved;
};

} // namespace

Outcome inProcess(const std::vector<std::string>& args) {
    const ScratchFolder capture;
    const std::string outPath = capture.path("stdout");
    const std::string errPath = capture.path("stderr");
    ExecArguments argv("umbrix", args);
    Outcome run;
    {
        const Redirected out(STDOUT_FILENO, outPath);
        const Redirected err(STDERR_FILENO, errPath);
        run.status = umbrix::runCommandLine(static_cast<int>(args.size()) + 1, argv.argv());
    }
    run.out = slurp(outPath);
    run.err = slurp(errPath);
    return run;
}

ScratchFolder::ScratchFolder() {
    std::string pattern = (fs::temp_directory_path() / "umbrix-app-XXXXXX").string();
    if (!mkdtemp(pattern.data()))
        throw std::runtime_error("cannot make a scratch folder");
    Root = pattern;
}

ScratchFolder::~ScratchFolder() {
    std::error_code ignored;
    fs::remove_all(Root, ignored);
}

std::string ScratchFolder::path(const std::string& name) const {
    return (Root / name).string();
}

std::vector<std::string> ScratchFolder::entries() const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(Root))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

int FileData::channel(const std::string& name) const {
    const auto& names = header.channelnames;
    const auto found = std::find(names.begin(), names.end(), name);
    return found == names.end() ? -1 : static_cast<int>(found - names.begin());
}

float& FileData::at(int x, int y, const std::string& name) {
    const int c = channel(name);
    if (c < 0)
        throw std::out_of_range("no channel " + name);
    const auto pixel = static_cast<std::size_t>(y) * static_cast<std::size_t>(header.width) +
                       static_cast<std::size_t>(x);
    return pixels[pixel * static_cast<std::size_t>(header.nchannels) + static_cast<std::size_t>(c)];
}

float FileData::at(int x, int y, const std::string& name) const {
    return const_cast<FileData&>(*this).at(x, y, name);
}

FileData makeFile(int width, int height, const std::vector<std::string>& channels,
                  const std::function<float(int, int, int)>& value) {
    FileData data;
    data.header =
        OIIO::ImageSpec(width, height, static_cast<int>(channels.size()), OIIO::TypeDesc::FLOAT);
    data.header.channelnames = channels;
    data.header.alpha_channel = -1;
    data.header.z_channel = -1;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            for (int c = 0; c < static_cast<int>(channels.size()); ++c)
                data.pixels.push_back(value(x, y, c));
    return data;
}

namespace {

float depthAt(int x, int y, int width) {
    const float step = x >= width / 2 ? 0.6f : 0.0f;
    return 2.0f + 0.3f * std::sin(0.9f * static_cast<float>(x)) +
           0.2f * std::cos(1.3f * static_cast<float>(y)) + step;
}

float normalAt(int x, int y, int component) {
    const float a = 0.7f * static_cast<float>(x) + 0.3f * static_cast<float>(y);
    const float b = 0.4f * static_cast<float>(y) - 0.2f * static_cast<float>(x);
    const float n[3] = {std::sin(a) * std::cos(b), std::sin(b), std::cos(a) * std::cos(b)};
    return n[component];
}

float roleValue(Role role, int x, int y, int c, int width) {
    switch (role) {
    case Role::Colour:
        return 0.1f * static_cast<float>(x) + 0.01f * static_cast<float>(y) + static_cast<float>(c);
    case Role::Alpha:
        return 0.75f;
    case Role::Depth:
        return depthAt(x, y, width);
    case Role::NormalX:
        return normalAt(x, y, 0);
    case Role::NormalY:
        return normalAt(x, y, 1);
    case Role::NormalZ:
        return normalAt(x, y, 2);
    case Role::Other:
        break;
    }
    return static_cast<float>((x * 7919 + y * 104729 + c * 1299709) % 1000) / 37.0f - 9.0f;
}

} // namespace

FileData sceneFile(int width, int height,
                   const std::vector<std::pair<std::string, Role>>& channels) {
    std::vector<std::string> names;
    for (const auto& channel : channels)
        names.push_back(channel.first);
    return makeFile(width, height, names, [&](int x, int y, int c) {
        return roleValue(channels[static_cast<std::size_t>(c)].second, x, y, c, width);
    });
}

const std::vector<std::pair<std::string, Role>>& usualChannels() {
    static const std::vector<std::pair<std::string, Role>> channels = {
        {"R", Role::Colour},    {"G", Role::Colour},   {"B", Role::Colour},
        {"A", Role::Alpha},     {"Z", Role::Depth},    {"N.X", Role::NormalX},
        {"N.Y", Role::NormalY}, {"N.Z", Role::NormalZ}};
    return channels;
}

void writeFile(const std::string& path, const FileData& data, OIIO::TypeDesc type) {
    OIIO::ImageSpec header = data.header;
    header.set_format(type);
    auto out = OIIO::ImageOutput::create(path);
    ASSERT_TRUE(out) << OIIO::geterror();
    ASSERT_TRUE(out->open(path, header)) << out->geterror();
    ASSERT_TRUE(out->write_image(OIIO::TypeDesc::FLOAT, data.pixels.data())) << out->geterror();
    ASSERT_TRUE(out->close()) << out->geterror();
}

FileData readFile(const std::string& path) {
    FileData data;
    // Channel 3 of a result is occlusion, not coverage: read what the file holds, unmultiplied.
    OIIO::ImageSpec config;
    config.attribute("oiio:UnassociatedAlpha", 1);
    auto in = OIIO::ImageInput::open(path, &config);
    EXPECT_TRUE(in) << path << ": " << OIIO::geterror();
    if (!in)
        return data;
    data.header = in->spec();
    data.pixels.resize(data.header.image_pixels() *
                       static_cast<std::size_t>(data.header.nchannels));
    EXPECT_TRUE(
        in->read_image(0, 0, 0, data.header.nchannels, OIIO::TypeDesc::FLOAT, data.pixels.data()))
        << in->geterror();
    return data;
}

::testing::AssertionResult sameChannelBits(const FileData& expected, const FileData& actual,
                                           const std::vector<std::string>& names) {
    if (expected.header.width != actual.header.width ||
        expected.header.height != actual.header.height)
        return ::testing::AssertionFailure() << "sizes differ";
    for (const std::string& name : names) {
        if (expected.channel(name) < 0 || actual.channel(name) < 0)
            return ::testing::AssertionFailure() << "no channel " << name;
        for (int y = 0; y < actual.header.height; ++y)
            for (int x = 0; x < actual.header.width; ++x)
                if (bits(expected.at(x, y, name)) != bits(actual.at(x, y, name)))
                    return ::testing::AssertionFailure()
                           << name << " at (" << x << ", " << y << "): expected "
                           << expected.at(x, y, name) << ", got " << actual.at(x, y, name);
    }
    return ::testing::AssertionSuccess();
}

::testing::AssertionResult isMessage(const std::string& text,
                                     const std::vector<std::string>& parts) {
    if (text.rfind("umbrix: ", 0) != 0)
        return ::testing::AssertionFailure() << "does not start with 'umbrix: ': " << text;
    for (const std::string& part : parts)
        if (text.find(part) == std::string::npos)
            return ::testing::AssertionFailure() << "no '" << part << "' in: " << text;
    return ::testing::AssertionSuccess();
}

std::optional<double> stampedValue(const OIIO::ImageSpec& header, const std::string& id) {
    const OIIO::ParamValue* stamp = header.find_attribute("umbrix:" + id, OIIO::TypeDesc::DOUBLE);
    return stamp ? std::optional<double>(stamp->get<double>()) : std::nullopt;
}

const std::vector<Setting>& occlusionWithNormals() {
    static const std::vector<Setting> settings = {{"UseSSAO", "1"},
                                                  {"Matrix", "3"},
                                                  {"FilterMethod", "0"},
                                                  {"DepthThreshold", "2"},
                                                  {"SmalDepth", "0.01"},
                                                  {"Amount", "0.05"},
                                                  {"NormalsAngleControll", "20"}};
    return settings;
}

std::vector<std::string> setArguments(const std::vector<Setting>& settings) {
    std::vector<std::string> args;
    for (const Setting& setting : settings) {
        args.push_back("--set");
        args.push_back(std::string(setting.id) + "=" + setting.value);
    }
    return args;
}

minihost::ImagePtr ProgramTest::renderInProcess(const FileData& data,
                                                const std::vector<int>& numbers,
                                                const std::vector<Setting>& settings) {
    std::vector<int> extra;
    for (int number : numbers)
        if (number >= 4)
            extra.push_back(number);
    minihost::ImagePtr source = minihost::makeImage(data.header.width, data.header.height, extra);
    for (int y = 0; y < data.header.height; ++y)
        for (int x = 0; x < data.header.width; ++x)
            for (std::size_t c = 0; c < numbers.size(); ++c)
                minihost::sample(*source, x, y, numbers[c]) =
                    data.at(x, y, data.header.channelnames[c]);
    minihost::OperatorPtr tool = newTool();
    for (const Setting& setting : settings)
        set(*tool, setting.id, std::strtod(setting.value, nullptr));
    return render(*tool, *source);
}

} // namespace apptest
