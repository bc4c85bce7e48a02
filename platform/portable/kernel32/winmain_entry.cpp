// The start-up code of a windowless program: the command text is the rest of the
// command line, i.e. the arguments after the program's name joined by single
// blanks, without the bytes of value 0x20 or less in front of it, which Windows' C
// start-up code skips between the program's name and the text it hands WinMain. A
// Unix exit status keeps only 8 bits, so the full result code is also written to
// standard output as one decimal line.
#include <windows.h>

#include <malloc.h>
#include <sys/mman.h>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

// A run's first touch of each new page of its heap is a page fault, which costs a
// virtual machine 10 to 15 us; a registry command's run touches about 25 of them.
// Asking the kernel for the heap a run uses in one call, before anything allocates,
// spares those faults. The heap is kept once it has grown (a run is short), so that
// what was populated is not handed back at the first free. A kernel without
// MADV_POPULATE_WRITE (before Linux 5.14) declines, and the pages come one by one.
constexpr size_t kStartHeap = 120 << 10;  // below malloc's threshold for mapping apart

void populateHeap() {
  mallopt(M_TRIM_THRESHOLD, 1 << 20);
  void* block = std::malloc(kStartHeap);
  if (!block) return;
  uintptr_t first = (uintptr_t(block) + 4095) & ~uintptr_t(4095);
  uintptr_t end = (uintptr_t(block) + kStartHeap) & ~uintptr_t(4095);
  if (end > first) ::madvise(reinterpret_cast<void*>(first), end - first, MADV_POPULATE_WRITE);
  std::free(block);
}

}  // namespace

int main(int argc, char** argv) {
  populateHeap();
  std::string text;
  for (int i = 1; i < argc; ++i) {
    if (i > 1) text += ' ';
    text += argv[i];
  }
  size_t start = 0;
  while (start < text.size() && static_cast<unsigned char>(text[start]) <= 0x20) ++start;
  int code = WinMain(nullptr, nullptr, text.data() + start, SW_SHOWDEFAULT);
  std::printf("%d\n", code);
  std::fflush(stdout);
  return code & 0xFF;
}
