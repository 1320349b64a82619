#include <cstdio>

int main() {
  std::puts("ferlo: under construction");
  return 0;
}
