// Prints the registry path and the three start values as the program itself
// compiles them, for the check of the Group Policy templates:
//   path System\...\Start
//   values 2 3 4
#include <cstdio>

#include "policy/start_mode.h"

int main() {
  using namespace kestrana;
  std::printf("path %s\n", kStartModePath);
  std::printf("values %d %d %d\n", static_cast<int>(kStartAutomatic), static_cast<int>(kStartManual),
              static_cast<int>(kStartDisabled));
  return 0;
}
