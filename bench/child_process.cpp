#include "child_process.h"

#include "bench_support.h"

#include <csignal>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

namespace Bench {

Child spawn(const std::vector<std::string>& args, int64_t& execNs, const std::vector<std::string>& env, bool quiet)
{
    int pipeFd[2];
    if (::pipe(pipeFd) != 0)
        return {};
    std::vector<char*> argv;
    for (const auto& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execNs = monoNs();
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(pipeFd[1], STDOUT_FILENO);
        ::close(pipeFd[0]);
        ::close(pipeFd[1]);
        if (quiet) {
            const int null = ::open("/dev/null", O_WRONLY);
            ::dup2(null, STDERR_FILENO);
        }
        for (const auto& e : env)
            ::putenv(const_cast<char*>(e.c_str()));
        ::execvp(argv[0], argv.data());
        ::_exit(127);
    }
    ::close(pipeFd[1]);
    return {pid, ::fdopen(pipeFd[0], "r")};
}

std::string lineStarting(FILE* out, const std::string& prefix)
{
    char buf[512];
    while (out && std::fgets(buf, sizeof buf, out)) {
        const std::string line(buf);
        if (line.rfind(prefix, 0) == 0)
            return line;
    }
    return {};
}

int finish(Child& c)
{
    int status = 0;
    if (c.out)
        std::fclose(c.out);
    c.out = nullptr;
    if (c.pid > 0)
        ::waitpid(c.pid, &status, 0);
    c.pid = -1;
    return status;
}

void terminate(Child& c)
{
    if (c.pid > 0)
        ::kill(c.pid, SIGTERM);
    finish(c);
}

double procCpuSeconds(pid_t pid)
{
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string all;
    std::getline(stat, all);
    const auto close = all.rfind(')');
    if (close == std::string::npos)
        return -1;
    std::istringstream rest(all.substr(close + 2));
    std::string field;
    unsigned long utime = 0, stime = 0;
    for (int i = 3; rest >> field; ++i) {
        if (i == 14)
            utime = std::stoul(field);
        else if (i == 15) {
            stime = std::stoul(field);
            break;
        }
    }
    return double(utime + stime) / double(sysconf(_SC_CLK_TCK));
}

std::vector<ThreadTime> threadTimes(pid_t pid)
{
    std::vector<ThreadTime> out;
    const std::string dir = "/proc/" + std::to_string(pid) + "/task";
    DIR* d = ::opendir(dir.c_str());
    if (!d)
        return out;
    while (const dirent* e = ::readdir(d)) {
        if (e->d_name[0] == '.')
            continue;
        std::ifstream schedstat(dir + "/" + e->d_name + "/schedstat");
        std::ifstream comm(dir + "/" + e->d_name + "/comm");
        ThreadTime t{pid_t(std::atol(e->d_name)), {}, 0};
        std::getline(comm, t.name);
        if (schedstat >> t.ns)
            out.push_back(std::move(t));
    }
    ::closedir(d);
    return out;
}

long procSwitches(pid_t pid)
{
    const std::string dir = "/proc/" + std::to_string(pid) + "/task";
    DIR* d = ::opendir(dir.c_str());
    if (!d)
        return -1;
    long total = 0;
    while (const dirent* e = ::readdir(d)) {
        if (e->d_name[0] == '.')
            continue;
        std::ifstream status(dir + "/" + e->d_name + "/status");
        for (std::string line; std::getline(status, line);) {
            if (line.rfind("voluntary_ctxt_switches:", 0) == 0 || line.rfind("nonvoluntary_ctxt_switches:", 0) == 0)
                total += std::atol(line.c_str() + line.find(':') + 1);
        }
    }
    ::closedir(d);
    return total;
}

} // namespace Bench
