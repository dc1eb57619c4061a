// Stands in for the viewer where the packer's tests need a real program to
// carry a book: the signing tools take only a well-formed Windows program,
// and preview runs the book. It links nothing of the reader, so it holds no
// marker, but it holds the viewer's tag, so the packer takes it. Run as a
// book, it notes its own path in the file PAGIMOR_STAND_IN_LOG names, stays
// for PAGIMOR_STAND_IN_SECONDS, and ends with the status
// PAGIMOR_STAND_IN_EXIT gives.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

int main(int, char** argv) {
  if (const char* log = std::getenv("PAGIMOR_STAND_IN_LOG")) {
    if (std::FILE* file = std::fopen(log, "a")) {
      std::fprintf(file, "%s\n", argv[0]);
      std::fclose(file);
    }
  }
  if (const char* seconds = std::getenv("PAGIMOR_STAND_IN_SECONDS")) {
    std::this_thread::sleep_for(std::chrono::seconds(std::atoi(seconds)));
  }
  const char* exit = std::getenv("PAGIMOR_STAND_IN_EXIT");
  return exit != nullptr ? std::atoi(exit) : 0;
}
