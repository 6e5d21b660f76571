#include "NotificationQuestion.h"
#include "util/IgnoreResult.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <vector>

extern char** environ;

namespace halvex {

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::chrono::milliseconds kCallLimit{5000};
constexpr std::size_t kMaxOutput = std::size_t{64} * 1024;
constexpr const char* kBusName = "org.freedesktop.Notifications";
constexpr const char* kObjectPath = "/org/freedesktop/Notifications";

// One gdbus process with its standard output on a pipe; ended and reaped
// when it goes out of scope.
class Gdbus {
public:
    explicit Gdbus(std::vector<std::string> arguments)
    {
        int pipeEnds[2];
        if (::pipe2(pipeEnds, O_CLOEXEC) != 0)
            return;
        // The agent blocks its stop signals; gdbus must not inherit that.
        posix_spawnattr_t attributes;
        posix_spawnattr_init(&attributes);
        sigset_t signals;
        sigemptyset(&signals);
        posix_spawnattr_setsigmask(&attributes, &signals);
        sigaddset(&signals, SIGTERM);
        sigaddset(&signals, SIGINT);
        sigaddset(&signals, SIGPIPE);
        posix_spawnattr_setsigdefault(&attributes, &signals);
        posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
        posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], STDOUT_FILENO);
        posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
        // gdbus writes to a pipe in blocks; stdbuf makes it hand over each line.
        arguments.insert(arguments.begin(), {"stdbuf", "-oL", "gdbus"});
        std::vector<char*> argv;
        argv.reserve(arguments.size() + 1);
        for (std::string& argument : arguments)
            argv.push_back(argument.data());
        argv.push_back(nullptr);
        if (::posix_spawnp(&m_pid, "stdbuf", &actions, &attributes, argv.data(), environ) != 0)
            m_pid = -1;
        posix_spawn_file_actions_destroy(&actions);
        posix_spawnattr_destroy(&attributes);
        ::close(pipeEnds[1]);
        m_out = pipeEnds[0];
        if (m_pid < 0) {
            ::close(m_out);
            m_out = -1;
        }
    }
    ~Gdbus()
    {
        if (m_out >= 0)
            ::close(m_out);
        if (m_pid > 0) {
            ::kill(m_pid, SIGTERM);
            while (::waitpid(m_pid, nullptr, 0) < 0 && errno == EINTR) {
            }
        }
    }
    Gdbus(const Gdbus&) = delete;
    Gdbus& operator=(const Gdbus&) = delete;

    bool started() const { return m_pid > 0; }

    // The next whole line, waiting until the deadline; false at its end, at
    // the deadline, or when `stop` turns readable.
    bool ReadLine(std::string& line, Clock::time_point deadline, int stop = -1)
    {
        for (;;) {
            if (const std::size_t newline = m_buffer.find('\n'); newline != std::string::npos) {
                line = m_buffer.substr(0, newline);
                m_buffer.erase(0, newline + 1);
                return true;
            }
            if (m_out < 0 || m_buffer.size() > kMaxOutput)
                return false;
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
            if (left.count() <= 0)
                return false;
            pollfd descriptors[2] = {{m_out, POLLIN, 0}, {stop, POLLIN, 0}};
            const int ready = ::poll(descriptors, stop >= 0 ? 2 : 1, static_cast<int>(left.count()));
            if (ready < 0 && errno != EINTR)
                return false;
            if (stop >= 0 && descriptors[1].revents != 0)
                return false;
            if (descriptors[0].revents == 0)
                continue;
            char chunk[4096];
            const ssize_t got = ::read(m_out, chunk, sizeof chunk);
            if (got < 0 && errno == EINTR)
                continue;
            if (got <= 0) {
                ::close(m_out);
                m_out = -1;
                if (m_buffer.empty())
                    return false;
                m_buffer += '\n';
                continue;
            }
            m_buffer.append(chunk, static_cast<std::size_t>(got));
        }
    }

    // All output and a zero exit status within the limit; `status` gets the
    // exit status (127: stdbuf found no gdbus), -1 when it did not end so.
    bool Finish(std::string& output, std::chrono::milliseconds limit, int* exitStatus = nullptr)
    {
        const auto deadline = Clock::now() + limit;
        std::string line;
        while (ReadLine(line, deadline))
            output += line + '\n';
        if (m_out >= 0)
            return false;  // still writing at the deadline
        int status = 0;
        while (::waitpid(m_pid, &status, 0) < 0 && errno == EINTR) {
        }
        m_pid = -1;
        if (exitStatus != nullptr)
            *exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        return WIFEXITED(status) && WEXITSTATUS(status) == 0;
    }

private:
    pid_t m_pid = -1;
    int m_out = -1;
    std::string m_buffer;
};

std::vector<std::string> CallArguments(const char* method, std::vector<std::string> values)
{
    std::vector<std::string> arguments{
        "call",   "--session",     "--timeout", "5",        "--dest",
        kBusName, "--object-path", kObjectPath, "--method", std::string("org.freedesktop.Notifications.") + method};
    arguments.insert(arguments.end(), values.begin(), values.end());
    return arguments;
}

bool Call(const char* method, std::vector<std::string> values, std::string& output, int* exitStatus = nullptr)
{
    Gdbus call(CallArguments(method, std::move(values)));
    return call.started() && call.Finish(output, kCallLimit, exitStatus);
}

}  // namespace

NotificationQuestion::NotificationQuestion(std::chrono::milliseconds limit, int stopDescriptor)
    : m_limit(limit), m_stopDescriptor(stopDescriptor)
{}

std::string NotificationQuestion::Quoted(const std::string& text)
{
    std::string quoted = "'";
    for (char c : text) {
        if (c == '\'' || c == '\\')
            quoted += '\\';
        quoted += c;
    }
    return quoted + "'";
}

std::string NotificationQuestion::EscapeMarkup(const std::string& text)
{
    std::string escaped;
    for (char c : text) {
        if (c == '&')
            escaped += "&amp;";
        else if (c == '<')
            escaped += "&lt;";
        else if (c == '>')
            escaped += "&gt;";
        else
            escaped += c;
    }
    return escaped;
}

NotificationQuestion::Signal NotificationQuestion::SignalOf(const std::string& line, unsigned id)
{
    // "/org/freedesktop/Notifications: org.freedesktop.Notifications.ActionInvoked (uint32 7, 'start')"
    const std::string number = "(uint32 " + std::to_string(id) + ", ";
    const std::string invoked = ".ActionInvoked " + number;
    if (const std::size_t at = line.find(invoked); at != std::string::npos) {
        const std::string key = line.substr(at + invoked.size());
        if (key == std::string("'") + kStartAction + "')")
            return Signal::Start;
        if (key == std::string("'") + kAlwaysAction + "')")
            return Signal::Always;
        if (key == std::string("'") + kNotNowAction + "')")
            return Signal::NotNow;
        return Signal::None;
    }
    if (line.find(".NotificationClosed " + number) != std::string::npos)
        return Signal::Closed;
    return Signal::None;
}

Result<DriveAnswer> NotificationQuestion::Ask(const Texts& texts) const
{
    using Answer = Result<DriveAnswer>;
    std::string capabilities;
    int exitStatus = -1;
    if (!Call("GetCapabilities", {}, capabilities, &exitStatus))
        return Answer::Fail(kNoQuestionKey, exitStatus == 127 ? "the gdbus tool (GLib) that asks the desktop is missing"
                                                              : "no desktop notification service answers");
    if (capabilities.find("'actions'") == std::string::npos)
        return Answer::Fail(kNoQuestionKey, "the desktop notification service offers no actions");

    // The monitor listens before the question goes out, so a quick answer is
    // not missed: once it names the service's owner, its match is in place.
    Gdbus monitor({"monitor", "--session", "--dest", kBusName, "--object-path", kObjectPath});
    std::string line;
    const auto readyBy = Clock::now() + kCallLimit;
    bool ready = false;
    while (!ready && monitor.ReadLine(line, readyBy))
        ready = line.find(" is owned by ") != std::string::npos;
    if (!ready)
        return Answer::Fail(kNoQuestionKey, "the desktop notification service cannot be watched");

    const bool markup = capabilities.find("'body-markup'") != std::string::npos;
    const std::string actions = "[" + Quoted(kStartAction) + ", " + Quoted(texts.start) + ", " + Quoted(kAlwaysAction) +
                                ", " + Quoted(texts.always) + ", " + Quoted(kNotNowAction) + ", " +
                                Quoted(texts.notNow) + "]";
    std::string reply;
    // Expiry 0: the question stays until answered, within our own limit.
    if (!Call("Notify",
              {Quoted(texts.application), "0", "''", Quoted(texts.summary),
               Quoted(markup ? EscapeMarkup(texts.body) : texts.body), actions, "{}", "0"},
              reply))
        return Answer::Fail(kNoQuestionKey, "the desktop notification service refused the question");
    const std::size_t at = reply.find("uint32 ");
    const unsigned long id = at == std::string::npos ? 0 : std::strtoul(reply.c_str() + at + 7, nullptr, 10);
    if (id == 0 || id > 0xFFFFFFFFul)
        return Answer::Fail(kNoQuestionKey, "the desktop notification service gave no notification number");

    const auto deadline = Clock::now() + m_limit;
    while (monitor.ReadLine(line, deadline, m_stopDescriptor)) {
        switch (SignalOf(line, static_cast<unsigned>(id))) {
        case Signal::Start: return Answer::Ok(DriveAnswer::Start);
        case Signal::Always: return Answer::Ok(DriveAnswer::Always);
        case Signal::NotNow:
        case Signal::Closed: return Answer::Ok(DriveAnswer::NotNow);
        case Signal::None: break;
        }
    }
    // Unanswered in time, or the agent is asked to end: the question goes.
    std::string ignored;
    IgnoreResult(Call("CloseNotification", {std::to_string(id)}, ignored),
                 "a notification already gone needs no closing");
    return Answer::Ok(DriveAnswer::NotNow);
}

}  // namespace halvex
