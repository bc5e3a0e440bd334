// Runs a command and prints its wall time in seconds and its peak resident
// memory in KiB: "measure CMD ARGS...". Kept small, because a child starts
// as a copy of this process and the memory it held then counts too.
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cstdio>

int main(int argc, char** argv) {
    if (argc < 2) return 2;
    timespec start{};
    timespec stop{};
    clock_gettime(CLOCK_MONOTONIC, &start);
    const pid_t child = fork();
    if (child == 0) {
        execvp(argv[1], argv + 1);
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    wait4(child, &status, 0, &usage);
    clock_gettime(CLOCK_MONOTONIC, &stop);
    const double seconds = static_cast<double>(stop.tv_sec - start.tv_sec) + static_cast<double>(stop.tv_nsec - start.tv_nsec) * 1e-9;
    std::fprintf(stderr, "%.6f %ld\n", seconds, usage.ru_maxrss);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 1;
}
