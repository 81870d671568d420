#include "tests/support/killtest.h"

#include <sys/wait.h>

#include <csignal>
#include <thread>

#include <unistd.h>

namespace testing_support {

std::chrono::microseconds timeOf(const std::function<void()> &work)
{
    const auto start = std::chrono::steady_clock::now();
    work();
    return std::chrono::duration_cast<std::chrono::microseconds>(
        std::chrono::steady_clock::now() - start);
}

std::chrono::microseconds timeInChild(const std::function<void()> &work)
{
    return timeOf([&work] {
        const pid_t pid = ::fork();
        if (pid == 0) {
            work();
            ::_exit(0);
        }
        int status = 0;
        if (pid > 0)
            ::waitpid(pid, &status, 0);
    });
}

int killedAtRandomPoint(
    const std::function<void()> &work, std::chrono::microseconds runTime, std::mt19937 &random)
{
    int started[2];
    if (::pipe(started) != 0)
        return -1;
    const pid_t pid = ::fork();
    if (pid == 0) {
        (void)!::write(started[1], "s", 1);
        work();
        ::_exit(0);
    }
    char c;
    if (pid > 0)
        (void)!::read(started[0], &c, 1);
    ::close(started[0]);
    ::close(started[1]);
    if (pid < 0)
        return -1;
    std::this_thread::sleep_for(
        std::chrono::microseconds(random() % (runTime.count() * 5 / 4 + 1)));
    ::kill(pid, SIGKILL);
    int status = 0;
    return ::waitpid(pid, &status, 0) == pid ? status : -1;
}

int killedBeforeCall(FaultyFileSystem::Call call, const std::string &path, int nth,
    std::size_t tornAfter, const std::function<void()> &work)
{
    const pid_t pid = ::fork();
    if (pid == 0) {
        FaultyFileSystem files;
        const platform::ScopedFileSystem installed(files);
        int left = nth;
        std::function<void()> arm = [&] {
            files.before(call, path, [&] {
                if (--left > 0)
                    return arm();
                if (tornAfter == 0)
                    ::raise(SIGKILL);
                files.shortWrite(tornAfter);
                files.before(call, path, [] { ::raise(SIGKILL); });
            });
        };
        arm();
        try {
            work();
        } catch (...) { }
        ::_exit(0);
    }
    int status = 0;
    return pid > 0 && ::waitpid(pid, &status, 0) == pid ? status : -1;
}

} // namespace testing_support
