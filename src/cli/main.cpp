#include "cli/program.h"
#include "link/clock.h"

int main(int argc, char* argv[]) {
  SystemClock clock;
  return RunProgram(argc, argv, clock);
}
