// The file system's share of a batch: COUNT new files of SIZE bytes each written into DIR
// with nothing else done (open, one write, close), by JOBS threads taking every JOBS-th
// file. Prints the wall time in seconds. bench/batch.sh runs it as the floor that no
// batch tool writing the same files can go below.
// Usage: bench_plain_files DIR COUNT SIZE JOBS
#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

int main(int argc, char** argv) {
    if (argc != 5) {
        std::fprintf(stderr, "usage: bench_plain_files DIR COUNT SIZE JOBS\n");
        return 2;
    }
    const std::string dir = argv[1];
    const long count = std::atol(argv[2]), size = std::atol(argv[3]), jobs = std::atol(argv[4]);
    if (count < 0 || size < 0 || jobs < 1) {
        std::fprintf(stderr, "bench_plain_files: bad COUNT, SIZE or JOBS\n");
        return 2;
    }
    const std::vector<char> bytes(static_cast<std::size_t>(size), 'x');
    std::atomic<bool> failed{false};
    const auto start = std::chrono::steady_clock::now();
    std::vector<std::thread> threads;
    for (long j = 0; j < jobs; ++j)
        threads.emplace_back([&, j] {
            char name[32];
            for (long i = j; i < count; i += jobs) {
                std::snprintf(name, sizeof name, "/%06ld.bin", i + 1);
                const int fd = ::open((dir + name).c_str(), O_WRONLY | O_CREAT | O_EXCL, 0644);
                if (fd < 0 || ::write(fd, bytes.data(), bytes.size()) != size) failed = true;
                if (fd >= 0) ::close(fd);
            }
        });
    for (std::thread& thread : threads) thread.join();
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (failed) {
        std::fprintf(stderr, "bench_plain_files: could not write into %s\n", dir.c_str());
        return 1;
    }
    std::printf("%.3f\n", seconds);
    return 0;
}
