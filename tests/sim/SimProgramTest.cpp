#include "PtyClient.h"
#include "sim/SimProgramOptions.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using namespace std::chrono_literals;

// ------------------------------------------------------------ command line

TEST(SimProgramOptions, ReadsEveryOption)
{
    const SimProgramOptions o = SimProgramOptions::Parse(
        {"--link", "/tmp/x", "--boot-window=500", "--power-on-delay", "5", "--restart-delay", "7",
         "--comm-message", "PING\\r\\n", "--comm-period", "250", "--no-comm-echo", "--stream", "9600",
         "--check-baud", "--no-validate", "--silent", "at+ipad=", "--silent=AT+PORT=",
         "--vanish-on", "at+apn=", "--reply-delay", "40", "--chunk-size", "8", "--chunk-pause", "3",
         "--zero-bytes", "--garbage", "2", "--verbose"});
    ASSERT_EQ(o.error, "");
    EXPECT_EQ(o.simulator.linkPath, "/tmp/x");
    EXPECT_EQ(o.simulator.bootWindowMs, 500);
    EXPECT_EQ(o.simulator.powerOnDelayMs, 5);
    EXPECT_EQ(o.simulator.restartDelayMs, 7);
    EXPECT_EQ(o.simulator.commMessage, "PING\r\n");
    EXPECT_EQ(o.simulator.commPeriodMs, 250);
    EXPECT_FALSE(o.simulator.commEcho);
    EXPECT_TRUE(o.simulator.checkCommBaudRate);
    EXPECT_FALSE(o.simulator.validateValues);
    EXPECT_EQ(o.streamRate, 9600);
    EXPECT_EQ(o.faults.silentPrefixes, (std::vector<std::string>{"at+ipad=", "AT+PORT="}));
    EXPECT_EQ(o.faults.vanishPrefix, "at+apn=");
    EXPECT_EQ(o.faults.replyDelayMs, 40);
    EXPECT_EQ(o.faults.chunkSize, 8);
    EXPECT_EQ(o.faults.chunkPauseMs, 3);
    EXPECT_TRUE(o.faults.zeroBytes);
    EXPECT_EQ(o.faults.garbageBytes, 2);
    EXPECT_TRUE(o.verbose);
    EXPECT_FALSE(o.showHelp);
}

TEST(SimProgramOptions, RefusesWhatItDoesNotUnderstand)
{
    const std::vector<std::vector<std::string>> bad = {
        {"--boot-window"}, {"--boot-window", "-1"}, {"--boot-window", "3s"},
        {"--frobnicate"}, {"--link="}, {"--silent", ""}, {"stray"}, {"--verbose=1"},
    };
    for (const auto& args : bad) {
        SCOPED_TRACE(args.front());
        EXPECT_NE(SimProgramOptions::Parse(args).error, "");
    }
    EXPECT_TRUE(SimProgramOptions::Parse({"-h"}).showHelp);
}

TEST(SimProgramOptions, UnescapesMessageTexts)
{
    EXPECT_EQ(SimProgramOptions::Unescape("a\\r\\n\\t\\\\\\x41\\x4"), "a\r\n\t\\A\\x4");
    EXPECT_EQ(SimProgramOptions::Unescape("\\xc4\\xac"), "\xC4\xAC");
    EXPECT_EQ(SimProgramOptions::Unescape("trailing\\"), "trailing\\");
}

// ----------------------------------------------------------------- program

// The real sirenset-sim as a child process with pipes on stdin and stdout.
class SimProcess {
public:
    explicit SimProcess(std::vector<std::string> args)
    {
        int in[2], out[2];
        if (pipe2(in, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0)
            return;
        m_pid = fork();
        if (m_pid == 0) {
            dup2(in[0], 0);
            dup2(out[1], 1);
            std::vector<char*> argv{const_cast<char*>(SIRENSET_SIM_PROGRAM)};
            for (auto& a : args)
                argv.push_back(a.data());
            argv.push_back(nullptr);
            execv(SIRENSET_SIM_PROGRAM, argv.data());
            _exit(127);
        }
        close(in[0]);
        close(out[1]);
        m_stdin = in[1];
        m_stdout = out[0];
    }
    ~SimProcess()
    {
        if (m_pid > 0 && !m_exited) {
            kill(m_pid, SIGKILL);
            waitpid(m_pid, nullptr, 0);
        }
        close(m_stdin);
        close(m_stdout);
    }

    std::string ReadLine(std::chrono::milliseconds limit = 5s)
    {
        const auto deadline = std::chrono::steady_clock::now() + limit;
        while (m_buffer.find('\n') == std::string::npos && std::chrono::steady_clock::now() < deadline) {
            pollfd pfd{m_stdout, POLLIN, 0};
            if (poll(&pfd, 1, 50) > 0) {
                char chunk[256];
                const ssize_t n = read(m_stdout, chunk, sizeof chunk);
                if (n <= 0)
                    break;
                m_buffer.append(chunk, static_cast<std::size_t>(n));
            }
        }
        const auto end = m_buffer.find('\n');
        if (end == std::string::npos)
            return {};
        std::string line = m_buffer.substr(0, end);
        m_buffer.erase(0, end + 1);
        return line;
    }

    void Send(const std::string& text) { [[maybe_unused]] auto n = write(m_stdin, text.data(), text.size()); }
    void Signal(int signal) { kill(m_pid, signal); }

    // Exit status, or -1 if it has not ended in time.
    int WaitForExit(std::chrono::milliseconds limit = 5s)
    {
        const auto deadline = std::chrono::steady_clock::now() + limit;
        while (std::chrono::steady_clock::now() < deadline) {
            int status = 0;
            if (waitpid(m_pid, &status, WNOHANG) == m_pid) {
                m_exited = true;
                return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            }
            usleep(5000);
        }
        return -1;
    }

private:
    pid_t m_pid = -1;
    int m_stdin = -1;
    int m_stdout = -1;
    bool m_exited = false;
    std::string m_buffer;
};

std::string TempLinkPath()
{
    return "/tmp/sirenset-sim-test-" + std::to_string(getpid()) + "-link";
}

TEST(SimProgram, PrintsThePathAndPowersOnByOpenSignalAndConsole)
{
    const std::string link = TempLinkPath();
    SimProcess sim({"--link", link, "--boot-window", "2000", "--power-on-delay", "10"});
    const std::string path = sim.ReadLine();
    ASSERT_EQ(path.rfind("/dev/pts/", 0), 0u) << path;
    char target[256] = {};
    ASSERT_GT(readlink(link.c_str(), target, sizeof target - 1), 0);
    EXPECT_EQ(path, target);

    PtyClient client(link);
    ASSERT_TRUE(client.ReadUntil("configure program.\r\n"));
    sim.Signal(SIGUSR1);
    EXPECT_TRUE(client.ReadUntil("configure program.\r\n"));
    sim.Send("power\n");
    EXPECT_TRUE(client.ReadUntil("configure program.\r\n"));
    client.Write("s");
    EXPECT_TRUE(client.ReadUntil("AT+LIST\r\n"));
    sim.Send("mode\n");
    EXPECT_EQ(sim.ReadLine(), "configuration");

    sim.Signal(SIGTERM);
    EXPECT_EQ(sim.WaitForExit(), 0);
    struct stat info{};
    EXPECT_NE(lstat(link.c_str(), &info), 0) << "link left behind";
    EXPECT_TRUE(client.WaitForHangUp());
}

TEST(SimProgram, VanishesAndQuitsFromTheConsole)
{
    SimProcess sim({"--power-on-delay", "10"});
    const std::string path = sim.ReadLine();
    PtyClient client(path);
    ASSERT_TRUE(client.ReadUntil("configure program.\r\n"));
    sim.Send("vanish\n");
    EXPECT_TRUE(client.WaitForHangUp());
    sim.Send("mode\nquit\n");
    EXPECT_EQ(sim.ReadLine(), "vanished");
    EXPECT_EQ(sim.WaitForExit(), 0);
}

TEST(SimProgram, FaultOptionsReachTheTerminal)
{
    SimProcess sim({"--power-on-delay", "10", "--boot-window", "2000", "--silent", "at+ipad="});
    PtyClient client(sim.ReadLine());
    ASSERT_TRUE(client.ReadUntil("configure program.\r\n"));
    client.Write("s");
    ASSERT_TRUE(client.ReadUntil("AT+LIST\r\n"));
    client.Write("at+noecho\r");
    ASSERT_TRUE(client.ReadUntil("OK\r\n"));
    client.Write("at+ipad=1.2.3.4\r");
    EXPECT_EQ(client.ReadFor(200ms), "");
    client.Write("at+port=1\r");
    EXPECT_EQ(client.ReadUntil("\r\n"), "OK\r\n");
    sim.Signal(SIGINT);
    EXPECT_EQ(sim.WaitForExit(), 0);
}

TEST(SimProgram, HelpAndBadOptions)
{
    SimProcess help({"--help"});
    EXPECT_EQ(help.ReadLine(), "Usage: sirenset-sim [options]");
    EXPECT_EQ(help.WaitForExit(), 0);
    SimProcess bad({"--no-such-option"});
    EXPECT_EQ(bad.WaitForExit(), 2);
}

}  // namespace
