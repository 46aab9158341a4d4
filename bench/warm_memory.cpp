// Touches MIB mebibytes of huge-page memory and exits, so that the next program's fresh memory
// is memory the machine already backs. On a virtual machine whose balloon reports free pages to
// the host, memory freed a few seconds ago goes back to the host, and touching it again costs a
// fault on the host for every page: 6-8 s a GiB on the machine these benchmarks were run on,
// which made the wall time of one command vary by 40 % from run to run. The benchmarks warm the
// memory before each timed run so that every contender is timed on the same footing.
//   bench_warm_memory MIB

#include <sys/mman.h>

#include <cstdlib>
#include <cstring>
#include <iostream>

int main(int argc, char** argv) {
  char* end = nullptr;
  const long mebibytes = argc == 2 ? std::strtol(argv[1], &end, 10) : -1;
  if (argc != 2 || *end != '\0' || mebibytes < 0) {
    std::cerr << "usage: bench_warm_memory MIB\n";
    return 2;
  }
  const std::size_t bytes = static_cast<std::size_t>(mebibytes) << 20;
  if (bytes == 0)
    return 0;
  void* memory = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (memory == MAP_FAILED) {
    std::cerr << "bench_warm_memory: cannot map " << mebibytes << " MiB\n";
    return 1;
  }
  // The programs measured ask for huge pages; warming them needs the same pages.
  madvise(memory, bytes, MADV_HUGEPAGE);
  std::memset(memory, 1, bytes);
  return 0;
}
