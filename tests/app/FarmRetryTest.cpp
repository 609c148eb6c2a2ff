// What a render farm does to a run: kills it while it writes, retries it, signals it, reads its log
// through a pipe that may be gone. A retry must always work and no temporary file may be left.

#include "tests/app/ProgramTest.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <optional>
#include <poll.h>
#include <sys/inotify.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace apptest {
namespace {

namespace fs = std::filesystem;

// A run of the program that the test can signal while it works; stdin and stdout are empty.
class StartedRun {
  public:
    // stderr goes to `errFd`, or nowhere when it is -1.
    explicit StartedRun(const std::vector<std::string>& args, int errFd = -1) {
        ExecArguments argv(UMBRIX_PROGRAM, args);
        Pid = fork();
        if (Pid == 0) {
            // Only calls safe between fork and exec: the test process has threads.
            const rlimit noCore{0, 0};
            setrlimit(RLIMIT_CORE, &noCore);
            for (int signal : {SIGPIPE, SIGINT, SIGTERM, SIGHUP, SIGQUIT})
                std::signal(signal, SIG_DFL);
            const int none = open("/dev/null", O_RDWR);
            dup2(none, 0);
            dup2(none, 1);
            dup2(errFd >= 0 ? errFd : none, 2);
            execv(UMBRIX_PROGRAM, argv.argv());
            _exit(127);
        }
    }
    ~StartedRun() {
        if (Pid > 0 && !Status) {
            kill(Pid, SIGKILL);
            wait();
        }
    }
    StartedRun(const StartedRun&) = delete;
    StartedRun& operator=(const StartedRun&) = delete;

    pid_t pid() const { return Pid; }

    // Exit status, or 128 + the signal that ended it.
    int wait() {
        if (!Status) {
            int status = 0;
            waitpid(Pid, &status, 0);
            Status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        }
        return *Status;
    }

  private:
    pid_t Pid = -1;
    std::optional<int> Status;
};

class FarmRetry : public ProgramTest {
  protected:
    void SetUp() override {
        ProgramTest::SetUp();
        writeFile(Folder.path("in.exr"), sceneFile(64, 48, {{"Z", Role::Depth}}));
    }

    std::vector<std::string> renderTo(const std::string& name) {
        return {"render", Folder.path("in.exr"), "-o", Folder.path(name)};
    }

    // A sequence whose frames take long enough to write that a write can be caught in the act.
    std::vector<std::string> sequence() {
        const FileData frame = sceneFile(256, 192, {{"Z", Role::Depth}, {"id", Role::Other}});
        for (int number = 1; number <= Frames; ++number)
            writeFile(Folder.path("seq." + std::to_string(number) + ".exr"), frame);
        return {"render",   Folder.path("seq.@.exr"),     "-o", Folder.path("out.@.exr"),
                "--frames", "1-" + std::to_string(Frames)};
    }

    // Stops `run` at a moment when it has written into a hidden temporary file that is still
    // there, so that whatever the test does next happens in the middle of a write. False when
    // the run ended first.
    bool stopWhileWriting(StartedRun& run) {
        const int watch = inotify_init1(IN_CLOEXEC | IN_NONBLOCK);
        if (watch < 0 || inotify_add_watch(watch, Folder.path("").c_str(), IN_MODIFY) < 0)
            return false;
        bool stopped = false;
        siginfo_t ended{};
        while (!stopped &&
               waitid(P_PID, static_cast<id_t>(run.pid()), &ended, WEXITED | WNOHANG | WNOWAIT) ==
                   0 &&
               ended.si_pid == 0) {
            pollfd events{watch, POLLIN, 0};
            if (poll(&events, 1, 100) > 0)
                stopped = stopIfWriting(run, watch);
        }
        close(watch);
        return stopped;
    }

    bool stopIfWriting(StartedRun& run, int watch) {
        alignas(inotify_event) char events[4096];
        const ssize_t size = read(watch, events, sizeof(events));
        std::vector<std::string> written;
        for (ssize_t at = 0; at < size;) {
            const auto* event = reinterpret_cast<const inotify_event*>(events + at);
            at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
            if (event->len > 0 && event->name[0] == '.')
                written.push_back(event->name);
        }
        if (written.empty())
            return false;
        kill(run.pid(), SIGSTOP);
        for (const std::string& name : written)
            if (fs::exists(Folder.path(name)))
                return true;
        kill(run.pid(), SIGCONT);
        return false;
    }

    std::vector<std::string> hiddenEntries() const {
        std::vector<std::string> hidden;
        for (const std::string& name : Folder.entries())
            if (name[0] == '.')
                hidden.push_back(name);
        return hidden;
    }

    static constexpr int Frames = 8;
};

// A run killed while writing leaves its temporary file behind, as does a killed run of a version
// that named it after its process id. A retry, which in a container often gets the same process
// id, must write every frame all the same.
TEST_F(FarmRetry, StaleTemporariesDoNotBlockARetry) {
    const std::vector<std::string> args = sequence();
    {
        StartedRun killed(args);
        ASSERT_TRUE(stopWhileWriting(killed));
        kill(killed.pid(), SIGKILL);
        EXPECT_EQ(killed.wait(), 128 + SIGKILL);
    }
    ASSERT_EQ(hiddenEntries().size(), 1u);
    int lastPid = 0;
    std::ifstream("/proc/sys/kernel/ns_last_pid") >> lastPid;
    ASSERT_GT(lastPid, 0);
    for (int pid = lastPid + 1; pid <= lastPid + 64; ++pid)
        std::ofstream(Folder.path(".out.1.umbrix-" + std::to_string(pid) + "-0.exr"));
    const Outcome retry = umbrix(args);
    EXPECT_EQ(retry.status, 0) << retry.err;
    for (int number = 1; number <= Frames; ++number)
        EXPECT_EQ(readFile(Folder.path("out." + std::to_string(number) + ".exr")).header.width,
                  256);
    EXPECT_EQ(hiddenEntries().size(), 65u);
}

TEST_F(FarmRetry, OutputNamesUpToTheLongestAFolderTakes) {
    for (const std::size_t length : {241u, 255u}) {
        const std::string name = std::string(length - 4, 'n') + ".exr";
        const Outcome run = inProcess(renderTo(name));
        EXPECT_EQ(run.status, 0) << run.err;
        EXPECT_EQ(Folder.entries(), (std::vector<std::string>{"in.exr", name}));
        fs::remove(Folder.path(name));
    }
}

TEST_F(FarmRetry, SignalDuringAWriteLeavesNoTemporary) {
    const std::vector<std::string> args = sequence();
    for (int signal : {SIGQUIT, SIGINT, SIGTERM, SIGHUP}) {
        SCOPED_TRACE(strsignal(signal));
        StartedRun run(args);
        ASSERT_TRUE(stopWhileWriting(run));
        kill(run.pid(), signal);
        kill(run.pid(), SIGCONT);
        EXPECT_EQ(run.wait(), 128 + signal);
        EXPECT_EQ(hiddenEntries(), std::vector<std::string>{});
    }
}

TEST_F(FarmRetry, ReplacedOutputKeepsItsModeBits) {
    struct Case {
        std::optional<mode_t> before;
        mode_t umask;
        mode_t after;
    };
    for (const Case& c : {Case{0640, 022, 0640}, Case{0604, 077, 0604},
                          Case{std::nullopt, 027, 0640}, Case{std::nullopt, 002, 0664}}) {
        SCOPED_TRACE(c.after);
        fs::remove(Folder.path("out.exr"));
        if (c.before) {
            std::ofstream(Folder.path("out.exr")) << "previous";
            ASSERT_EQ(chmod(Folder.path("out.exr").c_str(), *c.before), 0);
        }
        const mode_t umaskBefore = umask(c.umask);
        const Outcome run = inProcess(renderTo("out.exr"));
        umask(umaskBefore);
        EXPECT_EQ(run.status, 0) << run.err;
        struct stat info {};
        ASSERT_EQ(stat(Folder.path("out.exr").c_str(), &info), 0);
        EXPECT_EQ(info.st_mode & 07777, c.after);
    }
}

// A farm's log reader that went away must not turn a written frame into a failed task.
TEST_F(FarmRetry, ClosedStderrPipe) {
    int ends[2];
    ASSERT_EQ(pipe(ends), 0);
    close(ends[0]);
    StartedRun run(renderTo("out.exr"), ends[1]);
    close(ends[1]);
    EXPECT_EQ(run.wait(), 0);
    EXPECT_EQ(readFile(Folder.path("out.exr")).header.width, 64);
}

} // namespace
} // namespace apptest
